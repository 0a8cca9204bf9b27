#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/M3u8Context.h"
#include "support/MiniHttpServer.h"
#include "support/TestAppState.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The service client against a small in-test server, where faults must be exact.
class TestApiTransport : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestAppState> m_env;
    std::unique_ptr<APIHandler> m_api;
    std::unique_ptr<FileStream> m_stream;

    static void pointWebHostAt(const MiniHttpServer &server)
    {
        qputenv("LUMRA_WEB_HOST", server.hostPort().toUtf8());
        ServiceSettings::reload();
    }

    // Sends one request whose reply is `body` and returns the signals it caused.
    QList<QList<QVariant>> exchange(const QByteArray &body, const std::function<void()> &send)
    {
        MiniHttpServer server(
            [body](const MiniHttpServer::Request &) { return MiniHttpServer::json(body); });
        pointWebHostAt(server);
        QSignalSpy spy(m_api.get(), &APIHandler::HttpResponseSignal);
        send();
        QElapsedTimer clock;
        clock.start();
        while (server.requests().isEmpty() && clock.elapsed() < 5000)
            QTest::qWait(10);
        // Let the reply arrive and be parsed; some outcomes emit nothing.
        QTest::qWait(150);
        if (server.requests().size() != 1)
            qWarning("expected one request, saw %d", int(server.requests().size()));
        return spy;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestAppState>();
        m_api = std::make_unique<APIHandler>();
        m_stream = std::make_unique<FileStream>();
        registerApiHandler(m_api.get());
        registerFileStream(m_stream.get());
        m_env->state().user.sid = QStringLiteral("sid1");
    }

    void cleanup()
    {
        registerApiHandler(nullptr);
        registerFileStream(nullptr);
        m_stream.reset();
        m_api.reset();
        m_env.reset();
    }

    void requestCarriesOnlyTheAgentHeader()
    {
        MiniHttpServer server([](const MiniHttpServer::Request &) {
            return MiniHttpServer::json("{\"flag\":1,\"data\":[]}");
        });
        pointWebHostAt(server);
        QSignalSpy spy(m_api.get(), &APIHandler::HttpResponseSignal);
        m_api->getMyCourseList();
        QVERIFY(spy.wait(5000));
        const MiniHttpServer::Request &request = server.requests().first();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.header("TAVI-USER-AGENT"), QByteArray("PCVersion:3.4.3.0 WINVersion"));
        QVERIFY(request.header("Cookie").isEmpty());
        QVERIFY(
            request.target.startsWith("/course_2016_app/MyCourseList/?php_new_123sid=sid1&p=15"));
        QCOMPARE(spy.first().at(0).toInt(), int(ReqMyCourseList));
        QCOMPARE(spy.first().at(1).toInt(), 1);
    }

    void unansweredRequestTimesOut()
    {
        MiniHttpServer server([](const MiniHttpServer::Request &) {
            MiniHttpServer::Response stall;
            stall.kind = MiniHttpServer::Response::Stall;
            return stall;
        });
        pointWebHostAt(server);
        QSignalSpy spy(m_api.get(), &APIHandler::HttpResponseSignal);
        QElapsedTimer clock;
        clock.start();
        m_api->getMyCourseInfo(QStringLiteral("12"));
        QVERIFY(spy.wait(15000));
        QVERIFY(clock.elapsed() >= 9500); // not before the time limit
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().at(0).toInt(), int(ReqMyCourseInfo));
        QCOMPARE(spy.first().at(1).toInt(), 0);
        QCOMPARE(spy.first().at(2).toString(), QStringLiteral("网络超时"));
    }

    void sessionIdIsResentQuietly()
    {
        MiniHttpServer server([](const MiniHttpServer::Request &) {
            MiniHttpServer::Response close;
            close.kind = MiniHttpServer::Response::Close;
            return close;
        });
        pointWebHostAt(server);
        QSignalSpy spy(m_api.get(), &APIHandler::HttpResponseSignal);
        m_api->getSessionId();
        QTest::qWait(3500);
        // First try plus one resend a second: four tries in 3.5 s, give or take one.
        QVERIFY2(server.requests().size() >= 3 && server.requests().size() <= 5,
                 QByteArray::number(server.requests().size()).constData());
        QCOMPARE(spy.size(), 0);
        m_api.reset(); // stops the resend loop with the handler
    }

    void networkFailureReachesListeners()
    {
        MiniHttpServer server([](const MiniHttpServer::Request &) {
            MiniHttpServer::Response close;
            close.kind = MiniHttpServer::Response::Close;
            return close;
        });
        pointWebHostAt(server);
        QSignalSpy spy(m_api.get(), &APIHandler::HttpResponseSignal);
        m_api->getMyCourseList();
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.first().at(1).toInt(), 0);
        QCOMPARE(spy.first().at(2).toString(), QStringLiteral("远程服务器过早的关闭了连接"));

        // An empty avatar address fails at the network level as a type 3 failure.
        spy.clear();
        m_env->state().user.isImg.clear();
        m_api->fetchAvatar();
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.first().at(0).toInt(), int(ReqAvatar));
        QCOMPARE(spy.first().at(1).toInt(), 0);
        QVERIFY(!spy.first().at(2).toString().isEmpty());
    }

    void failedReplies_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("info");
        for (int type :
             {int(ReqLogin), int(ReqRegister), int(ReqChangePassword), int(ReqMyCourseList),
              int(ReqMyCourseInfo), int(ReqPlayKeys), int(ReqDownloadKeys)}) {
            const QByteArray t = QByteArray::number(type);
            // Not the service's reply at all: it gave no text, so the client says it could not read
            // it.
            QTest::newRow("html page, type " + t)
                << type << QByteArray("<html><body>502</body></html>")
                << QStringLiteral("服务器返回了无法识别的内容，请稍后重试");
            QTest::newRow("flag as string, type " + t)
                << type << QByteArray("{\"flag\":\"1\",\"infos\":\"失败\"}")
                << QStringLiteral("失败");
            QTest::newRow("flag 0, type " + t)
                << type << QByteArray("{\"flag\":0,\"infos\":\"密码错误\"}")
                << QStringLiteral("密码错误");
        }
    }

    void failedReplies()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, body);
        QFETCH(QString, info);
        Courseware lesson;
        const auto spy = exchange(body, [&] {
            switch (type) {
            case ReqLogin: m_api->login(); break;
            case ReqRegister: m_api->registerUser(); break;
            case ReqChangePassword: m_api->changePassword(QStringLiteral("newpass")); break;
            case ReqMyCourseList: m_api->getMyCourseList(); break;
            case ReqMyCourseInfo: m_api->getMyCourseInfo(QStringLiteral("1")); break;
            default: m_api->getKeysAndUrl(&lesson, type); break;
            }
        });
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().at(0).toInt(), type);
        QCOMPARE(spy.first().at(1).toInt(), 0);
        QCOMPARE(spy.first().at(2).userType(), int(QMetaType::QString));
        QCOMPARE(spy.first().at(2).toString(), info);
        QVERIFY(!m_env->state().signedIn);
    }

    void updateOffers_data()
    {
        QTest::addColumn<QString>("offered");
        QTest::addColumn<bool>("announced");
        QTest::newRow("same") << "3.4.3.0" << false;
        QTest::newRow("older") << "3.4.2.9" << false;
        QTest::newRow("newer") << "3.4.3.1" << true;
        QTest::newRow("more parts") << "3.4.3.0.1" << true;
        QTest::newRow("fewer parts") << "3.5" << false;
    }

    void updateOffers()
    {
        QFETCH(QString, offered);
        QFETCH(bool, announced);
        const QByteArray body =
            "{\"flag\":1,\"data\":{\"meta_version\":\"" + offered.toUtf8()
            + "\",\"meta_content\":\"修复问题\",\"meta_download_url\":\"http://x/i\"}}";
        const auto spy = exchange(body, [&] { m_api->getPcUpdate(); });
        QCOMPARE(spy.size(), announced ? 1 : 0);
        if (announced) {
            QCOMPARE(spy.first().at(0).toInt(), int(ReqPcUpdate));
            QCOMPARE(spy.first().at(1).toInt(), 1);
            QVERIFY(!spy.first().at(2).isValid());
        }
        // The last offer is kept either way.
        QCOMPARE(m_env->state().update->version, offered);
        QCOMPARE(m_env->state().update->content, QStringLiteral("修复问题"));
    }

    void sessionIdStoredWhateverTheFlag()
    {
        auto spy =
            exchange("{\"flag\":0,\"data\":{\"sid\":\"new-sid\"}}", [&] { m_api->getSessionId(); });
        QCOMPARE(m_env->state().user.sid, QStringLiteral("new-sid"));
        QCOMPARE(spy.size(), 0);
        spy = exchange("not json", [&] { m_api->getSessionId(); });
        QVERIFY(m_env->state().user.sid.isEmpty());
    }

    void lessonAddress_data()
    {
        QTest::addColumn<QString>("filesize");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("megabytes");
        QTest::newRow("MB") << "35.2MB"
                            << "35.2" << 35.2;
        QTest::newRow("M") << "120M"
                           << "120" << 120.0;
        QTest::newRow("GB") << "1.5 GB"
                            << "1.5 GB" << 0.0;
    }

    void lessonAddress()
    {
        QFETCH(QString, filesize);
        QFETCH(QString, text);
        QFETCH(double, megabytes);
        Courseware lesson;
        lesson.courseId = QStringLiteral("12");
        lesson.id = QStringLiteral("101");
        const QByteArray body = "{\"flag\":1,\"data\":{\"url\":\"http://v/12/101/index.m3u8\","
                                "\"filesize\":\""
                                + filesize.toUtf8()
                                + "\",\"watchtimes\":\"42\","
                                  "\"keys\":\"a+b/c=\"}}";
        const auto spy = exchange(body, [&] { m_api->getKeysAndUrl(&lesson, ReqPlayKeys); });
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().at(0).toInt(), int(ReqPlayKeys));
        QCOMPARE(spy.first().at(1).toInt(), 1);
        const M3u8Context context = spy.first().at(2).value<M3u8Context>();
        QCOMPARE(context.courseId, QStringLiteral("12"));
        QCOMPARE(context.lessonId, QStringLiteral("101"));
        QCOMPARE(context.url, QStringLiteral("http://v/12/101/index.m3u8"));
        QCOMPARE(context.filesize, text);
        QCOMPARE(context.sizeMb, megabytes);
        QCOMPARE(context.watchtimes, 0.0); // a string is not a number
        QCOMPARE(context.keys, QByteArray("a%2Bb%2Fc%3D"));
    }

    void courseListAndDetail()
    {
        auto spy = exchange("{\"flag\":1,\"data\":[{\"id\":\"12\",\"title\":\"内科\"},{\"id\":13,"
                            "\"title\":\"外科\"}]}",
                            [&] { m_api->getMyCourseList(); });
        QCOMPARE(spy.size(), 1);
        QVERIFY(!spy.first().at(2).isValid());
        AppState &state = m_env->state();
        QCOMPARE(state.courses.size(), 2);
        QVERIFY(state.courses.at(1)->id.isEmpty()); // numeric id: never matched

        const QByteArray detail = "{\"flag\":1,\"data\":{\"id\":\"12\",\"list\":["
                                  "{\"id\":\"1\",\"type\":\"kejian\",\"title\":\"导论\"},"
                                  "{\"id\":\"2\",\"type\":\"zhang\",\"title\":\"第一章\"},"
                                  "{\"id\":\"3\",\"type\":\"kejian\",\"title\":\"课一\"}]}}";
        spy = exchange(detail, [&] { m_api->getMyCourseInfo(QStringLiteral("12")); });
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().at(2).value<Course *>(), state.courses.first());
        QCOMPARE(state.courses.first()->coursewares.size(), 3);
        QCOMPARE(state.courses.first()->coursewares.at(0).courseId, QStringLiteral("12"));
        QCOMPARE(state.courses.first()->coursewares.at(1).level, 1);

        // A second detail replaces the list; titles stay as sent.
        spy = exchange(detail, [&] { m_api->getMyCourseInfo(QStringLiteral("12")); });
        QCOMPARE(state.courses.first()->coursewares.size(), 3);
        QCOMPARE(state.courses.first()->coursewares.at(2).title, QStringLiteral("课一"));

        // A detail that matches no course fails with a text, so whoever waits for it stops
        // waiting; an empty id (a course whose id came as a number) matches nothing.
        const QString unreadable = QStringLiteral("服务器返回了无法识别的内容，请稍后重试");
        spy = exchange("{\"flag\":1,\"data\":{\"id\":\"99\",\"list\":[]}}",
                       [&] { m_api->getMyCourseInfo(QStringLiteral("99")); });
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().at(1).toInt(), 0);
        QCOMPARE(spy.first().at(2).toString(), unreadable);
        spy = exchange(
            "{\"flag\":1,\"data\":{\"id\":13,\"list\":[{\"id\":\"7\",\"type\":\"kejian\"}]}}",
            [&] { m_api->getMyCourseInfo(QString()); });
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().at(1).toInt(), 0);
        QVERIFY(state.courses.at(1)->coursewares.isEmpty());
        QVERIFY(!state.findCourse(QString()));

        // A second list reply appends.
        spy =
            exchange("{\"flag\":1,\"data\":[{\"id\":\"14\"}]}", [&] { m_api->getMyCourseList(); });
        QCOMPARE(state.courses.size(), 3);
    }

    void httpDnsLines()
    {
        MiniHttpServer dns([](const MiniHttpServer::Request &) {
            return MiniHttpServer::json("{\"ips\":[\"10.0.0.1:81\",\"10.0.0.2:82\"],\"ttl\":60}");
        });
        qputenv("LUMRA_HTTPDNS_SERVERS", dns.hostPort().toUtf8());
        qputenv("LUMRA_HTTPDNS_ACCOUNT", "123456");
        qputenv("LUMRA_COURSEWARE_HOST", "media.test:8000");
        ServiceSettings::reload();
        AppState &state = m_env->state();
        state.lines = QStringList() << QStringLiteral("media.test:8000");
        state.currentLine = 5;

        const QDateTime before = QDateTime::currentDateTime();
        m_api->resolveLines();
        QCOMPARE(dns.requests().size(), 1);
        QCOMPARE(dns.requests().first().target, QByteArray("/123456/d?host=media.test:8000"));
        QCOMPARE(state.lines, QStringList() << "media.test:8000"
                                            << "10.0.0.1:81"
                                            << "10.0.0.2:82");
        QCOMPARE(state.currentLine, 2);
        QVERIFY(state.linesResolved);
        QVERIFY(qAbs(before.addSecs(60).secsTo(state.linesResolvedAt)) <= 1);

        const QString url = QStringLiteral("http://media.test:8000/12/101/index.m3u8");
        QCOMPARE(m_api->mapToLine(url), QStringLiteral("http://10.0.0.2:82/12/101/index.m3u8"));
        state.currentLine = 0;
        state.linesResolvedAt = QDateTime::currentDateTime().addSecs(-5);
        QCOMPARE(m_api->mapToLine(url), url); // line 0 never resolves again
        QCOMPARE(dns.requests().size(), 1);

        // Expired lines are resolved again before mapping.
        state.currentLine = 1;
        QCOMPARE(m_api->mapToLine(url), QStringLiteral("http://10.0.0.1:81/12/101/index.m3u8"));
        QCOMPARE(dns.requests().size(), 2);
    }

    void httpDnsAllServersFailing()
    {
        std::vector<std::unique_ptr<MiniHttpServer>> servers;
        QStringList addresses;
        for (int i = 0; i < 5; ++i) {
            servers.push_back(std::make_unique<MiniHttpServer>([](const MiniHttpServer::Request &) {
                MiniHttpServer::Response failure;
                failure.status = 500;
                return failure;
            }));
            addresses << servers.back()->hostPort();
        }
        qputenv("LUMRA_HTTPDNS_SERVERS", addresses.join(QLatin1Char(',')).toUtf8());
        qputenv("LUMRA_COURSEWARE_HOST", "media.test:8000");
        ServiceSettings::reload();
        AppState &state = m_env->state();
        state.lines = QStringList() << QStringLiteral("media.test:8000") << QStringLiteral("old:1");
        state.currentLine = 1;
        state.linesResolved = true;
        state.linesResolvedAt = QDateTime::currentDateTime().addSecs(-1);

        // Expired lines with every server down: one pass, then the old address is used, and
        // the next addresses (every play, every download) do not ask again for a minute.
        for (int play = 0; play < 3; ++play) {
            const QString mapped = m_api->mapToLine(QStringLiteral("http://media.test:8000/a.ts"));
            QCOMPARE(mapped, QStringLiteral("http://old:1/a.ts"));
        }
        for (const auto &server : servers)
            QCOMPARE(server->requests().size(), 1);
        QCOMPARE(state.lines.size(), 2);
    }

    void localPathForUrl()
    {
        QCOMPARE(APIHandler::localPathForUrl(QStringLiteral("/f"),
                                             QStringLiteral("http://h/pic/12.jpg")),
                 QStringLiteral("/f/12.jpg"));
        QCOMPARE(APIHandler::localPathForUrl(QStringLiteral("/f"), QStringLiteral("noslash")),
                 QStringLiteral("/f/noslash"));
    }
};

QTEST_GUILESS_MAIN(TestApiTransport)
#include "tst_apitransport.moc"
