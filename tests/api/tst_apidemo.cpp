#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "api/ServiceSettings.h"
#include "api/UploadHandler.h"
#include "app/Accessors.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/M3u8Context.h"
#include "support/DemoService.h"
#include "support/TestAppState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The service client against the local demo service, request by request as the screens
// would send them.
class TestApiDemo : public QObject
{
    Q_OBJECT

private:
    DemoService m_service;
    std::unique_ptr<TestAppState> m_env;
    std::unique_ptr<APIHandler> m_api;
    std::unique_ptr<FileStream> m_stream;

    // Waits for the reply of one request type and returns (result, info).
    QPair<int, QVariant> waitFor(int type)
    {
        QSignalSpy spy(m_api.get(), &APIHandler::HttpResponseSignal);
        for (int waited = 0; waited < 100; ++waited) {
            for (const QList<QVariant> &call : spy) {
                if (call.at(0).toInt() == type)
                    return qMakePair(call.at(1).toInt(), call.at(2));
            }
            spy.wait(100);
        }
        return qMakePair(-1, QVariant());
    }

    void fetchSessionId()
    {
        m_api->getSessionId();
        QTRY_VERIFY_WITH_TIMEOUT(!m_env->state().user.sid.isEmpty(), 10000);
    }

    // A value of the last request to an endpoint, decoded the way a web service reads a
    // query ("+" a blank, %XX escapes as UTF-8).
    QString sentValue(const QString &endpoint, const QString &key) const
    {
        const QList<QJsonObject> log = m_service.requestLog(endpoint);
        if (log.isEmpty())
            return QStringLiteral("<no request>");
        for (const QString &part :
             log.last().value(QLatin1String("query")).toString().split(QLatin1Char('&'))) {
            if (part.section(QLatin1Char('='), 0, 0) == key) {
                const QString value =
                    part.section(QLatin1Char('='), 1).replace(QLatin1Char('+'), QLatin1Char(' '));
                return QString::fromUtf8(QByteArray::fromPercentEncoding(value.toUtf8()));
            }
        }
        return QStringLiteral("<no ") + key + QLatin1Char('>');
    }

    bool signIn(const QString &name, const QString &password, QVariant *info = nullptr)
    {
        m_env->state().user.loginName = name;
        m_env->state().user.password = password;
        m_api->login();
        const QPair<int, QVariant> outcome = waitFor(ReqLogin);
        if (info)
            *info = outcome.second;
        return outcome.first == 1;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
        m_service.applyToCurrentProcess();
        ServiceSettings::reload();
    }

    void init()
    {
        m_env = std::make_unique<TestAppState>();
        m_api = std::make_unique<APIHandler>();
        m_stream = std::make_unique<FileStream>();
        registerApiHandler(m_api.get());
        registerFileStream(m_stream.get());
        m_env->state().lines << ServiceSettings::coursewareHost();
    }

    void cleanup()
    {
        registerApiHandler(nullptr);
        registerFileStream(nullptr);
        m_stream.reset();
        m_api.reset();
        m_env.reset();
    }

    void wrongPasswordIsRefusedWithTheServiceText()
    {
        fetchSessionId();
        QVariant info;
        QVERIFY(!signIn(QStringLiteral("13800138000"), QStringLiteral("wrong-password"), &info));
        QVERIFY(!info.toString().isEmpty());
        QVERIFY(!m_env->state().signedIn);
        QVERIFY(Settings::text(m_env->state().settings.get(), SettingKeys::LastUser).isEmpty());
    }

    void signInCompletes()
    {
        fetchSessionId();
        QVERIFY(signIn(QStringLiteral("13800138000"), QStringLiteral("lumra2026")));
        const AppState &state = m_env->state();
        QVERIFY(state.signedIn);
        QCOMPARE(state.user.nickname, QStringLiteral("演示学员"));
        QCOMPARE(state.user.version, QStringLiteral("3.4.3.0"));
        QCOMPARE(state.userDataDir, state.userDir + QStringLiteral("/13800138000"));
        QVERIFY(QFileInfo(state.userDataDir).isDir());
        QCOMPARE(Settings::text(state.settings.get(), SettingKeys::LastUser),
                 QStringLiteral("13800138000"));
        QCOMPARE(state.avatarPath, state.userDataDir + QStringLiteral("/13800138000.jpg"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(state.avatarPath).size() > 0, 10000);
        QVERIFY(!QImage(state.avatarPath).isNull());
        QVERIFY(QFile::exists(state.userStoreFile + QLatin1Char('c')));

        // The requests carried the client's header and the session id.
        const QList<QJsonObject> logins = m_service.requestLog(QStringLiteral("dologin"));
        QVERIFY(!logins.isEmpty());
        QCOMPARE(logins.last().value(QLatin1String("taviUserAgent")).toString(),
                 QStringLiteral("PCVersion:3.4.3.0 WINVersion"));
        QVERIFY(logins.last().value(QLatin1String("query")).toString().contains(state.user.sid));

        // Sign-out keeps the session but pushes the sign-in time back and saves.
        QSignalSpy spy(m_api.get(), &APIHandler::HttpResponseSignal);
        m_api->signOut();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().at(0).toInt(), int(ReqLogin));
        QCOMPARE(spy.first().at(1).toInt(), 0);
        QVERIFY(!state.signedIn);
        QVERIFY(state.user.loginTime < QDateTime::currentDateTime().addYears(-999));
        QVERIFY(!m_stream->loadIndex()); // the next start does not sign in by itself
    }

    void coursesLessonsAndAddress()
    {
        fetchSessionId();
        QVERIFY(signIn(QStringLiteral("13800138000"), QStringLiteral("lumra2026")));
        m_api->getMyCourseList();
        QCOMPARE(waitFor(ReqMyCourseList).first, 1);
        const AppState &state = m_env->state();
        QVERIFY(state.courses.size() >= 2);
        int expired = 0;
        for (const Course *course : state.courses) {
            QVERIFY(!course->id.isEmpty());
            if (course->isExpired != QLatin1String("0")) {
                ++expired;
                QVERIFY(!course->endInfo.isEmpty());
            }
        }
        QCOMPARE(expired, 1);

        Course *course = nullptr;
        for (Course *candidate : state.courses) {
            if (candidate->isExpired == QLatin1String("0"))
                course = candidate;
        }
        m_api->getMyCourseInfo(course->id);
        const QPair<int, QVariant> detail = waitFor(ReqMyCourseInfo);
        QCOMPARE(detail.first, 1);
        QCOMPARE(detail.second.value<Course *>(), course);
        // The course opened a second time lists its lessons once.
        const int lessons = course->coursewares.size();
        QVERIFY(lessons > 0);
        m_api->getMyCourseInfo(course->id);
        QCOMPARE(waitFor(ReqMyCourseInfo).first, 1);
        QCOMPARE(course->coursewares.size(), lessons);
        Courseware *lesson = nullptr;
        for (Courseware &cw : course->coursewares) {
            if (cw.level == Courseware::Lesson && !lesson)
                lesson = &cw;
        }
        QVERIFY(lesson);

        m_api->getKeysAndUrl(lesson, ReqDownloadKeys);
        const QPair<int, QVariant> address = waitFor(ReqDownloadKeys);
        QCOMPARE(address.first, 1);
        const M3u8Context context = address.second.value<M3u8Context>();
        QCOMPARE(context.courseId, course->id);
        QCOMPARE(context.lessonId, lesson->id);
        QVERIFY(
            context.url.startsWith(QStringLiteral("http://") + ServiceSettings::coursewareHost()));
        QVERIFY(context.sizeMb > 0);
        // Percent-encoded: nothing outside the unreserved set is left.
        QVERIFY(!context.keys.isEmpty());
        for (char c : context.keys)
            QVERIFY(
                QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%")
                    .contains(c));
    }

    // Passwords with the symbols people use: the service must receive exactly what was typed
    // at registration, sign-in and password change.
    void passwordsWithSymbols_data()
    {
        QTest::addColumn<QString>("password");
        for (const char *typed : {"a#b", "a+b", "100%", "a&b=c", "a b", "%41&sign=0"})
            QTest::newRow(typed) << QString::fromLatin1(typed);
        QTest::newRow("Chinese") << QStringLiteral("密码123");
        QString symbols;
        for (char c = 0x21; c < 0x7f; ++c) {
            if (!QChar::isLetterOrNumber(uint(c)))
                symbols += QLatin1Char(c);
        }
        QCOMPARE(symbols.size(), 32);
        QTest::newRow("every printable ASCII symbol") << QStringLiteral("a ") + symbols;
        for (const QChar symbol : symbols)
            QTest::newRow(qPrintable(QStringLiteral("symbol ") + symbol))
                << QStringLiteral("x") + symbol + QStringLiteral("y");
    }

    void passwordsWithSymbols()
    {
        QFETCH(QString, password);
        // The service wants six characters at least; the lead keeps the symbols where they are.
        const QString typed = QStringLiteral("pw12") + password;
        const QString changed = password + QStringLiteral("新pw34");
        static int accounts = 0;
        const QString name = QStringLiteral("1770000%1").arg(++accounts, 4, 10, QLatin1Char('0'));
        fetchSessionId();
        AppState &state = m_env->state();

        state.user.loginName = name;
        state.user.password = typed;
        m_api->registerUser();
        QCOMPARE(waitFor(ReqRegister).first, 1);
        QCOMPARE(sentValue(QStringLiteral("doregister"), QStringLiteral("password")), typed);
        QCOMPARE(sentValue(QStringLiteral("doregister"), QStringLiteral("repassword")), typed);

        QVERIFY(signIn(name, typed));
        QCOMPARE(sentValue(QStringLiteral("dologin"), QStringLiteral("password")), typed);

        m_api->changePassword(changed);
        QCOMPARE(waitFor(ReqChangePassword).first, 1);
        QCOMPARE(sentValue(QStringLiteral("doforget"), QStringLiteral("old_pwd")), typed);
        QCOMPARE(sentValue(QStringLiteral("doforget"), QStringLiteral("new_pwd")), changed);
        m_api->signOut();
        QVERIFY(!signIn(name, typed));
        QVERIFY(signIn(name, changed));
    }

    void linesFromHttpDns()
    {
        m_api->resolveLines();
        const AppState &state = m_env->state();
        QVERIFY(state.linesResolved);
        QCOMPARE(state.lines.size(), 3);
        QCOMPARE(state.lines.first(), ServiceSettings::coursewareHost());
        QVERIFY(state.lines.at(1).startsWith(QStringLiteral("127.0.0.2:")));
        QVERIFY(state.lines.at(2).startsWith(QStringLiteral("127.0.0.3:")));
    }

    void crashDumpIsUploadedThenDeleted()
    {
        const QString dump = m_env->root() + QStringLiteral("/lumraplayer_crash_3.4.3.0.dmp");
        QByteArray content("crash report\n");
        content.append(QByteArray(5000, 'x'));
        {
            QFile file(dump);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        UploadHandler uploader;
        QVERIFY(
            !uploader.upload(ServiceSettings::errorLogUrl(), dump + QStringLiteral(".missing")));
        QVERIFY(uploader.upload(ServiceSettings::errorLogUrl(), dump));
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(dump), 10000);

        const QStringList kept =
            QDir(m_service.uploadsDir()).entryList(QStringList() << "*.dmp", QDir::Files);
        QCOMPARE(kept.size(), 1);
        QFile received(m_service.uploadsDir() + QLatin1Char('/') + kept.first());
        QVERIFY(received.open(QIODevice::ReadOnly));
        QCOMPARE(received.readAll(), content);
    }
};

QTEST_GUILESS_MAIN(TestApiDemo)
#include "tst_apidemo.moc"
