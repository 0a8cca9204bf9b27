#include "api/APIHandler.h"
#include "api/RequestCatalogue.h"
#include "api/RequestSigner.h"
#include "api/RequestType.h"
#include "api/ServiceSettings.h"
#include "model/Courseware.h"

#include <QTest>
#include <QUrl>

// Digests below were computed independently (MD5 over the GBK bytes of salt+value runs).
class TestRequestSigning : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("LUMRA_WEB_HOST", "svc.test:8080");
        ServiceSettings::reload();
    }

    void digests_data()
    {
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QString>("digest");
        QTest::newRow("worked example: empty session id") << "php_new_123sid=&php_new_vs=2&type=2"
                                                          << "e88abd5e200865853913cd80b266942b";
        QTest::newRow("password with '=': only the text before it counts")
            << "php_new_123sid=sid1&password=ab=cd&username=13800138000&php_new_vs=2&type=2"
            << "5e7cd48a1509463503b39d80a4086f06";
        QTest::newRow("Chinese user name hashed as GBK") << QStringLiteral(
            "php_new_123sid=sid1&password=pw123456&username=张三&php_new_vs=2&type=2")
                                                         << "b22228e1402c97f8898c1fcb3a0837ab";
        QTest::newRow("'&' in a value: the split-off part is a key with an empty value")
            << "php_new_123sid=sid1&password=a&b&username=u1&php_new_vs=2&type=2"
            << "57f991afb0c05e1150dd0fff8a4860e8";
        QTest::newRow("equal keys keep their order") << "a=2&a=1"
                                                     << "c5c4df66a85e8353a49f1ce3fed3fc23";
        QTest::newRow("lesson address")
            << "php_new_123sid=sid1&class_id=12&lesson_id=101&c_type=1&php_new_vs=2&type=2"
            << "2de86a4f4b75694529387697786eb369";
    }

    void digests()
    {
        QFETCH(QString, parameters);
        QFETCH(QString, digest);
        QCOMPARE(APIHandler::sign(parameters), digest);
    }

    void digestInputOrdersByKey()
    {
        const QString salt = RequestSigner::salt();
        QCOMPARE(salt, QStringLiteral("zqmvtkp5820|"));
        // Keys of the registration request sort as password, php_new_123sid, php_new_vs,
        // register_client, register_site, repassword, type, username.
        const QString input = RequestSigner::digestInput(RequestCatalogue::registerUser(
            QStringLiteral("S"), QStringLiteral("U"), QStringLiteral("P")));
        QCOMPARE(input, salt + "P" + salt + "S" + salt + "2" + salt + "5" + salt + "2" + salt + "P"
                            + salt + "2" + salt + "U");
        // Shorter key first when one is a prefix of the other; code units, not locale.
        QCOMPARE(RequestSigner::digestInput(QStringLiteral("ab=1&a=2&B=3")),
                 salt + "3" + salt + "2" + salt + "1");
        QCOMPARE(RequestSigner::digestInput(QString()), salt);
        QCOMPARE(APIHandler::md5Hex(QString()), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    }

    void addresses_data()
    {
        Courseware cw;
        cw.courseId = QStringLiteral("12");
        cw.id = QStringLiteral("101");
        cw.cType = QStringLiteral("1");
        const QString sid = QStringLiteral("sid1");
        const QString base = QStringLiteral("http://svc.test:8080/");

        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0 update")
            << int(ReqPcUpdate) << QString(RequestCatalogue::pcUpdate(sid))
            << base
                   + "course_2016_app/getPcUpdate/"
                     "?php_new_123sid=sid1&php_new_vs=2&type=2&type_client=pexil_app";
        QTest::newRow("1 session")
            << int(ReqSessionId) << QString(RequestCatalogue::sessionId(sid))
            << base + "foreuser_2016_app/getSessionId/?php_new_123sid=sid1&php_new_vs=2&type=2";
        QTest::newRow("2 login")
            << int(ReqLogin) << QString(RequestCatalogue::login(sid, "u", "p"))
            << base
                   + "foreuser_2016_app/dologin/"
                     "?php_new_123sid=sid1&password=p&username=u&php_new_vs=2&type=2";
        QTest::newRow("4 register")
            << int(ReqRegister) << QString(RequestCatalogue::registerUser(sid, "u", "p"))
            << base
                   + "foreuser_2016_app/doregister/"
                     "?php_new_123sid=sid1&username=u&password=p&repassword=p&register_site=2&"
                     "register_client=5&php_new_vs=2&type=2";
        QTest::newRow("5 password")
            << int(ReqChangePassword)
            << QString(RequestCatalogue::changePassword(sid, "u", "old", "new"))
            << base
                   + "foreuser_2016_app/doforget/"
                     "?php_new_123sid=sid1&php_new_vs=2&type=2&username=u&old_pwd=old&new_pwd=new&"
                     "new_repwd=new";
        QTest::newRow("6 courses")
            << int(ReqMyCourseList) << QString(RequestCatalogue::myCourseList(sid))
            << base
                   + "course_2016_app/MyCourseList/"
                     "?php_new_123sid=sid1&p=15&num=0&php_new_vs=2&type=2";
        QTest::newRow("7 course") << int(ReqMyCourseInfo)
                                  << QString(RequestCatalogue::myCourseInfo(sid, "12"))
                                  << base
                                         + "course_2016_app/GetMyCourseInfo/"
                                           "?php_new_123sid=sid1&class_id=12&php_new_vs=2&type=2";
        QTest::newRow("8 play")
            << int(ReqPlayKeys) << QString(RequestCatalogue::keysAndUrl(sid, cw))
            << base
                   + "course_2016_app/GetKeysAndUrlByLid/"
                     "?php_new_123sid=sid1&class_id=12&lesson_id=101&c_type=1&php_new_vs=2&type=2";
        QTest::newRow("9 download")
            << int(ReqDownloadKeys) << QString(RequestCatalogue::keysAndUrl(sid, cw))
            << base
                   + "course_2016_app/GetKeysAndUrlByLid/"
                     "?php_new_123sid=sid1&class_id=12&lesson_id=101&c_type=1&php_new_vs=2&type=2";
        QTest::newRow("10 status")
            << int(ReqLearnStatus)
            << QString(RequestCatalogue::learnStatus(sid, "12", "101", "1", "1"))
            << base
                   + "course_2016_app/PushLearnStatus/"
                     "?php_new_123sid=sid1&php_new_vs=2&type=2&class_id=12&lesson_id=101&stutas=1&"
                     "c_type=1";
        QTest::newRow("11 watch") << int(
            ReqWatchTime) << QString(RequestCatalogue::watchTime(sid, "12", "101", "30", "1"))
                                  << base
                                         + "course_2016_app/Editwatchtime/"
                                           "?php_new_123sid=sid1&php_new_vs=2&type=2&class_id=12&"
                                           "lesson_id=101&watchtimes=30&c_type=1";
    }

    void addresses()
    {
        QFETCH(int, type);
        QFETCH(QString, parameters);
        QFETCH(QString, expected);
        const QString address = RequestCatalogue::address(type, parameters);
        if (type == ReqPcUpdate) {
            QCOMPARE(address, expected); // the update check is not signed
        } else {
            QCOMPARE(address, expected + "&sign=" + APIHandler::sign(parameters));
        }
        // No time stamp or counter: the same request twice is the same address.
        QCOMPARE(RequestCatalogue::address(type, parameters), address);
    }

    void chineseNameIsUtf8InTheUrl()
    {
        const RequestQuery params = RequestCatalogue::login(
            QStringLiteral("s"), QStringLiteral("张三"), QStringLiteral("a b"));
        const QUrl url(RequestCatalogue::address(ReqLogin, params), QUrl::TolerantMode);
        const QByteArray encoded = url.toEncoded();
        QVERIFY2(encoded.contains("username=%E5%BC%A0%E4%B8%89"), encoded.constData());
        QVERIFY2(encoded.contains("password=a%20b"), encoded.constData());
        QVERIFY(encoded.endsWith("&sign=" + APIHandler::sign(params).toLatin1()));

        // Symbols travel encoded, so the address keeps every byte; the digest reads them raw.
        const RequestQuery symbols = RequestCatalogue::login(
            QStringLiteral("s"), QStringLiteral("u"), QStringLiteral("a#b&c=d%41+ "));
        const QByteArray sent =
            QUrl(RequestCatalogue::address(ReqLogin, symbols), QUrl::TolerantMode).toEncoded();
        QVERIFY2(sent.contains("?php_new_123sid=s&password=a%23b%26c%3Dd%2541%2B%20&username=u&php_"
                               "new_vs=2&type=2&sign="),
                 sent.constData());
        QCOMPARE(symbols.raw(),
                 QStringLiteral(
                     "php_new_123sid=s&password=a#b&c=d%41+ &username=u&php_new_vs=2&type=2"));
        QVERIFY(sent.endsWith("&sign=" + APIHandler::sign(symbols.raw()).toLatin1()));
    }
};

QTEST_GUILESS_MAIN(TestRequestSigning)
#include "tst_requestsigning.moc"
