// The local demo course service: signing, catalogue, media access rules, lines, faults, log.
#include "support/DemoService.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHttpMultiPart>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

const QByteArray clientAgent = "PCVersion:3.4.3.0 WINVersion";

struct Reply
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

// Digest as the client computes it, written independently of the service's code.
QString signatureOf(const QString &parameters)
{
    QList<QPair<QString, QString>> pairs;
    for (const QString &part : parameters.split(QLatin1Char('&'))) {
        const QStringList pieces = part.split(QLatin1Char('='));
        pairs.append({pieces.at(0), pieces.value(1)});
    }
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QString input;
    for (const auto &pair : pairs)
        input += QStringLiteral("zqmvtkp5820|") + pair.second;
    const QByteArray gbk = QTextCodec::codecForName("GBK")->fromUnicode(input);
    return QString::fromLatin1(QCryptographicHash::hash(gbk, QCryptographicHash::Md5).toHex());
}

Reply fetch(QNetworkAccessManager &network, const QNetworkRequest &request, int timeoutMs = 15000)
{
    QNetworkReply *reply = network.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    if (!reply->isFinished())
        reply->abort();
    Reply result{reply->error(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                 reply->isOpen() ? reply->readAll() : QByteArray()};
    delete reply;
    return result;
}

} // namespace

class TestDemoService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void announcesClientSettings();
    void refusesBadSignatureAndUnknownClient();
    void signsInAndListsCourses();
    void courseDetailHasLessonTree();
    void keepsLearningProgressAcrossRestart();
    void registersAndChangesPassword();
    void lessonPlaysOnlyWithHostAndCookie();
    void otherLineReachesSameServer();
    void requestLogRecordsConcurrency();
    void failsEveryNthMediaRequest();
    void answersHtmlTruncatesAndFailsDns();
    void stallsUntilLimit();
    void chaosIsRepeatableWithSeed();
    void keepsUploadedErrorLog();
    void offersConfiguredUpdate();
    void stopsPromptlyOnTerminate();

private:
    QString apiUrl(const QString &path, const QString &parameters, bool sign = true) const;
    Reply api(const QString &path, const QString &parameters, bool sign = true,
              const QByteArray &agent = clientAgent);
    QString signIn();
    QJsonObject lessonKeys(const QString &courseId, const QString &lessonId);
    Reply media(const QString &address, const QString &line,
                const QByteArray &cookie = QByteArray());

    std::unique_ptr<DemoService> m_service;
    QNetworkAccessManager m_network;
    QString m_sid;
};

void TestDemoService::initTestCase()
{
    m_service = std::make_unique<DemoService>();
    QElapsedTimer timer;
    timer.start();
    QVERIFY2(m_service->start(), qPrintable(m_service->errorString()));
    qInfo("service ready after %lld ms", timer.elapsed());
    const Reply session = api(QStringLiteral("foreuser_2016_app/getSessionId/?"),
                              QStringLiteral("php_new_123sid=&php_new_vs=2&type=2"));
    m_sid = session.json()
                .value(QStringLiteral("data"))
                .toObject()
                .value(QStringLiteral("sid"))
                .toString();
    QVERIFY(!m_sid.isEmpty());
}

void TestDemoService::cleanupTestCase() { m_service.reset(); }

void TestDemoService::init()
{
    QVERIFY(m_service->clearFaults());
    m_network.clearConnectionCache();
}

QString TestDemoService::apiUrl(const QString &path, const QString &parameters, bool sign) const
{
    QString text =
        QStringLiteral("http://127.0.0.1:%1/").arg(m_service->port()) + path + parameters;
    if (sign)
        text += QStringLiteral("&sign=") + signatureOf(parameters);
    return text;
}

Reply TestDemoService::api(const QString &path, const QString &parameters, bool sign,
                           const QByteArray &agent)
{
    QNetworkRequest request(QUrl(apiUrl(path, parameters, sign), QUrl::TolerantMode));
    if (!agent.isEmpty())
        request.setRawHeader("TAVI-USER-AGENT", agent);
    return fetch(m_network, request);
}

QString TestDemoService::signIn()
{
    const Reply reply =
        api(QStringLiteral("foreuser_2016_app/dologin/?"),
            QStringLiteral("php_new_123sid=%1&password=lumra2026&username=13800138000"
                           "&php_new_vs=2&type=2")
                .arg(m_sid));
    return reply.json()
        .value(QStringLiteral("data"))
        .toObject()
        .value(QStringLiteral("nickname"))
        .toString();
}

QJsonObject TestDemoService::lessonKeys(const QString &courseId, const QString &lessonId)
{
    signIn();
    const Reply reply = api(QStringLiteral("course_2016_app/GetKeysAndUrlByLid/?"),
                            QStringLiteral("php_new_123sid=%1&class_id=%2&lesson_id=%3&c_type=1"
                                           "&php_new_vs=2&type=2")
                                .arg(m_sid, courseId, lessonId));
    return reply.json().value(QStringLiteral("data")).toObject();
}

// GET of a media address through a line, with the Host header the loader sends.
Reply TestDemoService::media(const QString &address, const QString &line, const QByteArray &cookie)
{
    const QString host = m_service->variable(QStringLiteral("LUMRA_COURSEWARE_HOST"));
    QNetworkRequest request(QUrl(QString(address).replace(host, line)));
    request.setRawHeader("Host", host.toUtf8());
    if (!cookie.isEmpty())
        request.setRawHeader("Cookie", "keys=" + cookie);
    return fetch(m_network, request);
}

void TestDemoService::announcesClientSettings()
{
    const QString port = QString::number(m_service->port());
    QVERIFY(m_service->port() > 0);
    QCOMPARE(m_service->variable(QStringLiteral("LUMRA_WEB_HOST")),
             QStringLiteral("127.0.0.1:") + port);
    QCOMPARE(m_service->variable(QStringLiteral("LUMRA_COURSEWARE_HOST")),
             QStringLiteral("localhost:") + port);
    QCOMPARE(m_service->variable(QStringLiteral("LUMRA_ERRORLOG_HOST")),
             QStringLiteral("127.0.0.1:") + port);
    QVERIFY(m_service->variable(QStringLiteral("LUMRA_HTTPDNS_SERVERS"))
                .contains(QStringLiteral("127.0.0.1:") + port));
    QCOMPARE(m_service->variable(QStringLiteral("LUMRA_HTTPDNS_ACCOUNT")).size(), 6);
    QVERIFY(!m_service->variable(QStringLiteral("LUMRA_COOKIE_DOMAIN")).isEmpty());

    m_service->applyToCurrentProcess();
    QCOMPARE(qEnvironmentVariable("LUMRA_WEB_HOST"), QStringLiteral("127.0.0.1:") + port);
}

void TestDemoService::refusesBadSignatureAndUnknownClient()
{
    const QString path = QStringLiteral("course_2016_app/MyCourseList/?");
    const QString parameters =
        QStringLiteral("php_new_123sid=%1&p=15&num=0&php_new_vs=2&type=2").arg(m_sid);
    const QString badSign = QStringLiteral("&sign=") + QString(32, QLatin1Char('0'));
    Reply reply = api(path, parameters + badSign, false);
    QCOMPARE(reply.json().value(QStringLiteral("flag")).toInt(-1), 0);
    QCOMPARE(reply.json().value(QStringLiteral("infos")).toString(), QStringLiteral("签名错误"));

    // A value changed after signing no longer matches.
    const QString tampered =
        apiUrl(path, parameters).replace(QStringLiteral("p=15"), QStringLiteral("p=16"));
    QNetworkRequest request{QUrl(tampered)};
    request.setRawHeader("TAVI-USER-AGENT", clientAgent);
    QCOMPARE(fetch(m_network, request).json().value(QStringLiteral("infos")).toString(),
             QStringLiteral("签名错误"));

    reply = api(path, parameters, true, QByteArray());
    QCOMPARE(reply.json().value(QStringLiteral("flag")).toInt(-1), 0);
    reply = api(path, parameters, true, "Mozilla/5.0");
    QCOMPARE(reply.json().value(QStringLiteral("flag")).toInt(-1), 0);

    // A Chinese user name is hashed as GBK while the URL carries UTF-8, and a value with
    // "+" and "=" travels percent-encoded while the digest reads it raw; all must agree.
    const auto sendEncoded = [this](const QString &path, const QString &raw) {
        const QString sent =
            QString(raw).replace(QStringLiteral("a+b=c1"), QStringLiteral("a%2Bb%3Dc1"));
        QNetworkRequest encoded(
            QUrl(apiUrl(path, sent, false) + QStringLiteral("&sign=") + signatureOf(raw),
                 QUrl::TolerantMode));
        encoded.setRawHeader("TAVI-USER-AGENT", clientAgent);
        return fetch(m_network, encoded).json().value(QStringLiteral("flag")).toInt(-1);
    };
    QCOMPARE(sendEncoded(QStringLiteral("foreuser_2016_app/doregister/?"),
                         QStringLiteral(
                             "php_new_123sid=%1&username=张医生&password=a+b=c1&repassword=a+b=c1"
                             "&register_site=2&register_client=5&php_new_vs=2&type=2")
                             .arg(m_sid)),
             1);
    const QString login =
        QStringLiteral("php_new_123sid=%1&password=a+b=c1&username=张医生&php_new_vs=2&type=2")
            .arg(m_sid);
    QCOMPARE(sendEncoded(QStringLiteral("foreuser_2016_app/dologin/?"), login), 1);
    // Sent raw, "+" reads as a blank on the service side, as in any web form.
    QCOMPARE(api(QStringLiteral("foreuser_2016_app/dologin/?"), login)
                 .json()
                 .value(QStringLiteral("flag"))
                 .toInt(-1),
             0);
}

void TestDemoService::signsInAndListsCourses()
{
    Reply reply = api(
        QStringLiteral("foreuser_2016_app/dologin/?"),
        QStringLiteral("php_new_123sid=%1&password=wrong&username=13800138000&php_new_vs=2&type=2")
            .arg(m_sid));
    QCOMPARE(reply.json().value(QStringLiteral("flag")).toInt(-1), 0);
    QVERIFY(!reply.json().value(QStringLiteral("infos")).toString().isEmpty());

    QCOMPARE(signIn(), QStringLiteral("演示学员"));
    reply = api(QStringLiteral("foreuser_2016_app/dologin/?"),
                QStringLiteral(
                    "php_new_123sid=%1&password=lumra2026&username=13800138000&php_new_vs=2&type=2")
                    .arg(m_sid));
    const QString avatar = reply.json()
                               .value(QStringLiteral("data"))
                               .toObject()
                               .value(QStringLiteral("is_img"))
                               .toString();
    QVERIFY(QImage::fromData(fetch(m_network, QNetworkRequest(QUrl(avatar))).body).width() > 0);

    reply = api(QStringLiteral("course_2016_app/MyCourseList/?"),
                QStringLiteral("php_new_123sid=%1&p=15&num=0&php_new_vs=2&type=2").arg(m_sid));
    QCOMPARE(reply.json().value(QStringLiteral("flag")).toInt(-1), 1);
    const QJsonArray courses = reply.json().value(QStringLiteral("data")).toArray();
    QVERIFY(courses.size() >= 2);
    int expired = 0;
    for (const QJsonValue &value : courses) {
        const QJsonObject course = value.toObject();
        QVERIFY(course.value(QStringLiteral("id")).isString());
        QVERIFY(course.value(QStringLiteral("title"))
                    .toString()
                    .contains(QRegularExpression(QStringLiteral("\\p{Han}"))));
        const QImage cover = QImage::fromData(
            fetch(m_network, QNetworkRequest(QUrl(course.value(QStringLiteral("img")).toString())))
                .body);
        QVERIFY2(!cover.isNull(), qPrintable(course.value(QStringLiteral("img")).toString()));
        if (course.value(QStringLiteral("is_expired")).toString() == QLatin1String("1")) {
            ++expired;
            QVERIFY(!course.value(QStringLiteral("end_info")).toString().isEmpty());
        } else {
            QCOMPARE(course.value(QStringLiteral("is_expired")).toString(), QStringLiteral("0"));
        }
    }
    QCOMPARE(expired, 1);

    // Without a signed-in session there is no course list.
    reply = api(QStringLiteral("course_2016_app/MyCourseList/?"),
                QStringLiteral("php_new_123sid=unknown&p=15&num=0&php_new_vs=2&type=2"));
    QCOMPARE(reply.json().value(QStringLiteral("flag")).toInt(-1), 0);
}

void TestDemoService::courseDetailHasLessonTree()
{
    signIn();
    bool lessonBeforeChapter = false;
    for (const QString &courseId : {QStringLiteral("101"), QStringLiteral("102")}) {
        const Reply reply = api(QStringLiteral("course_2016_app/GetMyCourseInfo/?"),
                                QStringLiteral("php_new_123sid=%1&class_id=%2&php_new_vs=2&type=2")
                                    .arg(m_sid, courseId));
        const QJsonObject data = reply.json().value(QStringLiteral("data")).toObject();
        QCOMPARE(data.value(QStringLiteral("id")).toString(), courseId);
        const QJsonArray list = data.value(QStringLiteral("list")).toArray();
        QVERIFY(!list.isEmpty());
        QSet<QString> types;
        for (const QJsonValue &value : list) {
            const QJsonObject node = value.toObject();
            QVERIFY(node.value(QStringLiteral("number")).isDouble());
            QVERIFY(node.value(QStringLiteral("c_type")).isDouble());
            QVERIFY(node.value(QStringLiteral("stutas")).isDouble());
            QVERIFY(node.value(QStringLiteral("c_time")).isString());
            QVERIFY(node.value(QStringLiteral("id")).isString());
            types.insert(node.value(QStringLiteral("type")).toString());
        }
        QCOMPARE(types, (QSet<QString>{QStringLiteral("zhang"), QStringLiteral("jie"),
                                       QStringLiteral("kejian")}));
        lessonBeforeChapter = lessonBeforeChapter
                              || list.first().toObject().value(QStringLiteral("type")).toString()
                                     == QLatin1String("kejian");
    }
    QVERIFY(lessonBeforeChapter);
}

// Status and watch time per account and lesson: answered in the course list ("use"), the
// course detail and the lesson address, a repeated status told apart, and all of it still
// there after the service was stopped and started again.
void TestDemoService::keepsLearningProgressAcrossRestart()
{
    signIn();
    auto pushStatus = [this] {
        return api(QStringLiteral("course_2016_app/PushLearnStatus/?"),
                   QStringLiteral("php_new_123sid=%1&php_new_vs=2&type=2&class_id=102&lesson_id="
                                  "1025&stutas=1&c_type=1")
                       .arg(m_sid))
            .json()
            .value(QStringLiteral("flag"))
            .toInt();
    };
    QCOMPARE(pushStatus(), 1);
    QCOMPARE(pushStatus(), 3); // "已标注"
    const Reply watch = api(QStringLiteral("course_2016_app/Editwatchtime/?"),
                            QStringLiteral("php_new_123sid=%1&php_new_vs=2&type=2&class_id=102&"
                                           "lesson_id=1024&watchtimes=75&c_type=1")
                                .arg(m_sid));
    QCOMPARE(watch.json().value(QStringLiteral("flag")).toInt(), 1);

    QVERIFY(m_service->restart());
    m_network.clearConnectionCache();
    const QJsonArray courses =
        api(QStringLiteral("course_2016_app/MyCourseList/?"),
            QStringLiteral("php_new_123sid=%1&p=15&num=0&php_new_vs=2&type=2").arg(m_sid))
            .json()
            .value(QStringLiteral("data"))
            .toArray();
    QJsonObject nursing;
    for (const QJsonValue &course : courses) {
        if (course.toObject().value(QStringLiteral("id")).toString() == QLatin1String("102"))
            nursing = course.toObject();
    }
    QCOMPARE(nursing.value(QStringLiteral("use")).toInt(), 1);
    QCOMPARE(nursing.value(QStringLiteral("sum")).toString(), QStringLiteral("3"));
    const QJsonArray lessons =
        api(QStringLiteral("course_2016_app/GetMyCourseInfo/?"),
            QStringLiteral("php_new_123sid=%1&class_id=102&php_new_vs=2&type=2").arg(m_sid))
            .json()
            .value(QStringLiteral("data"))
            .toObject()
            .value(QStringLiteral("list"))
            .toArray();
    QMap<QString, QJsonObject> byId;
    for (const QJsonValue &lesson : lessons)
        byId.insert(lesson.toObject().value(QStringLiteral("id")).toString(), lesson.toObject());
    QCOMPARE(byId.value(QStringLiteral("1025")).value(QStringLiteral("stutas")).toInt(), 1);
    QCOMPARE(byId.value(QStringLiteral("1024")).value(QStringLiteral("watchtimes")).toString(),
             QStringLiteral("75"));
    QCOMPARE(byId.value(QStringLiteral("1021")).value(QStringLiteral("stutas")).toInt(), 0);
    QCOMPARE(lessonKeys(QStringLiteral("102"), QStringLiteral("1024"))
                 .value(QStringLiteral("watchtimes"))
                 .toDouble(),
             75.0);
}

void TestDemoService::registersAndChangesPassword()
{
    const QString registration =
        QStringLiteral("php_new_123sid=%1&username=%2&password=secret1&repassword=secret1"
                       "&register_site=2&register_client=5&php_new_vs=2&type=2");
    const QString path = QStringLiteral("foreuser_2016_app/doregister/?");
    QCOMPARE(api(path, registration.arg(m_sid, QStringLiteral("13700137000")))
                 .json()
                 .value(QStringLiteral("flag"))
                 .toInt(-1),
             1);
    const Reply taken = api(path, registration.arg(m_sid, QStringLiteral("13700137000")));
    QCOMPARE(taken.json().value(QStringLiteral("flag")).toInt(-1), 0);
    QVERIFY(!taken.json().value(QStringLiteral("infos")).toString().isEmpty());

    const QString change =
        QStringLiteral("php_new_123sid=%1&php_new_vs=2&type=2&username=13700137000"
                       "&old_pwd=%2&new_pwd=newpass1&new_repwd=newpass1");
    const QString changePath = QStringLiteral("foreuser_2016_app/doforget/?");
    QCOMPARE(api(changePath, change.arg(m_sid, QStringLiteral("nope123")))
                 .json()
                 .value(QStringLiteral("flag"))
                 .toInt(-1),
             0);
    QCOMPARE(api(changePath, change.arg(m_sid, QStringLiteral("secret1")))
                 .json()
                 .value(QStringLiteral("flag"))
                 .toInt(-1),
             1);
    const QString login =
        QStringLiteral("php_new_123sid=%1&password=%2&username=13700137000&php_new_vs=2&type=2");
    QCOMPARE(api(QStringLiteral("foreuser_2016_app/dologin/?"),
                 login.arg(m_sid, QStringLiteral("secret1")))
                 .json()
                 .value(QStringLiteral("flag"))
                 .toInt(-1),
             0);
    QCOMPARE(api(QStringLiteral("foreuser_2016_app/dologin/?"),
                 login.arg(m_sid, QStringLiteral("newpass1")))
                 .json()
                 .value(QStringLiteral("flag"))
                 .toInt(-1),
             1);
}

void TestDemoService::lessonPlaysOnlyWithHostAndCookie()
{
    const QJsonObject keys = lessonKeys(QStringLiteral("101"), QStringLiteral("1013"));
    const QString url = keys.value(QStringLiteral("url")).toString();
    const QString keysText = keys.value(QStringLiteral("keys")).toString();
    const QString host = m_service->variable(QStringLiteral("LUMRA_COURSEWARE_HOST"));
    QVERIFY2(url.startsWith(QStringLiteral("http://") + host + QLatin1Char('/')), qPrintable(url));
    QVERIFY(keysText.contains(QLatin1Char('+')) && keysText.contains(QLatin1Char('/'))
            && keysText.contains(QLatin1Char('=')));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d+(\\.\\d)?MB$"))
                .match(keys.value(QStringLiteral("filesize")).toString())
                .hasMatch());
    const QByteArray cookie = keysText.toUtf8().toPercentEncoding();

    const QString direct =
        QString(url).replace(host, QStringLiteral("127.0.0.1:%1").arg(m_service->port()));
    auto probe = [&](const QByteArray &headers, double *duration) {
        QProcess ffprobe;
        ffprobe.start(QStringLiteral("ffprobe"),
                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-headers"),
                       QString::fromUtf8(headers), QStringLiteral("-show_entries"),
                       QStringLiteral("format=duration"), QStringLiteral("-of"),
                       QStringLiteral("csv=p=0"), direct});
        if (!ffprobe.waitForFinished(60000))
            return false;
        *duration = ffprobe.readAllStandardOutput().trimmed().toDouble();
        return ffprobe.exitCode() == 0;
    };
    double duration = 0;
    QVERIFY(probe("Host: " + host.toUtf8() + "\r\nCookie: keys=" + cookie + "\r\n", &duration));
    QVERIFY2(qAbs(duration - 6.0) < 0.5, qPrintable(QString::number(duration)));
    QVERIFY(!probe("Cookie: keys=" + cookie + "\r\n", &duration));
    QVERIFY(!probe("Host: " + host.toUtf8() + "\r\n", &duration));

    // The key is refused without the cookie, with the raw (unencoded) text and for another lesson.
    const Reply playlist = media(url, QStringLiteral("127.0.0.1:%1").arg(m_service->port()));
    const QString keyUri = QRegularExpression(QStringLiteral("URI=\"([^\"]+)\""))
                               .match(QString::fromUtf8(playlist.body))
                               .captured(1);
    QVERIFY2(keyUri.startsWith(QStringLiteral("http://")), qPrintable(keyUri));
    auto keyStatus = [&](const QByteArray &value) {
        QNetworkRequest request{QUrl(keyUri)};
        if (!value.isNull())
            request.setRawHeader("Cookie", "keys=" + value);
        return fetch(m_network, request);
    };
    const Reply key = keyStatus(cookie);
    QCOMPARE(key.status, 200);
    QCOMPARE(key.body.size(), 16);
    QCOMPARE(keyStatus(QByteArray()).status, 403);
    QCOMPARE(keyStatus(keysText.toUtf8()).status, 403);
    QCOMPARE(keyStatus(lessonKeys(QStringLiteral("101"), QStringLiteral("1014"))
                           .value(QStringLiteral("keys"))
                           .toString()
                           .toUtf8()
                           .toPercentEncoding())
                 .status,
             403);

    // The log shows the cookie exactly as sent.
    const QList<QJsonObject> keyLog = m_service->requestLog(QStringLiteral("key"));
    QVERIFY(std::any_of(keyLog.cbegin(), keyLog.cend(), [&](const QJsonObject &entry) {
        return entry.value(QStringLiteral("cookie")).toString() == QLatin1String("keys=" + cookie);
    }));
}

void TestDemoService::otherLineReachesSameServer()
{
    const QString host = m_service->variable(QStringLiteral("LUMRA_COURSEWARE_HOST"));
    QNetworkRequest dnsRequest(
        QUrl(QStringLiteral("http://127.0.0.1:%1/%2/d?host=%3")
                 .arg(m_service->port())
                 .arg(m_service->variable(QStringLiteral("LUMRA_HTTPDNS_ACCOUNT")), host)));
    const QJsonObject dns = fetch(m_network, dnsRequest).json();
    const QJsonArray ips = dns.value(QStringLiteral("ips")).toArray();
    QCOMPARE(ips.size(), 2);
    QVERIFY(dns.value(QStringLiteral("ttl")).toInt() > 0);

    const QJsonObject keys = lessonKeys(QStringLiteral("101"), QStringLiteral("1014"));
    const QString line = ips.at(0).toString();
    const Reply playlist = media(keys.value(QStringLiteral("url")).toString(), line);
    QCOMPARE(playlist.status, 200);
    // Segments are named relative to the playlist, as the loader resolves them.
    const QStringList segments = QString::fromUtf8(playlist.body)
                                     .split(QLatin1Char('\n'))
                                     .filter(QRegularExpression(QStringLiteral("^[^#].")));
    QCOMPARE(segments.size(), 12);
    QVERIFY(!segments.first().contains(QLatin1Char('/')));
    const QString base =
        keys.value(QStringLiteral("url")).toString().section(QLatin1Char('/'), 0, -2);
    QCOMPARE(media(base + QLatin1Char('/') + segments.first(), line).status, 200);
    const QList<QJsonObject> log = m_service->requestLog(QStringLiteral("segment"));
    QCOMPARE(log.last().value(QStringLiteral("local")).toString(), line);
    QCOMPARE(log.last().value(QStringLiteral("host")).toString(), host);

    // Without the courseware host name the media is refused.
    QNetworkRequest plain{
        QUrl(QString(keys.value(QStringLiteral("url")).toString()).replace(host, line))};
    QCOMPARE(fetch(m_network, plain).status, 403);
}

void TestDemoService::requestLogRecordsConcurrency()
{
    QVERIFY(m_service->setFaults({{QStringLiteral("latency"), QStringLiteral("400")}}));
    const int parallel = 4;
    QList<QNetworkReply *> replies;
    QNetworkAccessManager network;
    for (int i = 0; i < parallel; ++i) {
        QNetworkRequest request(QUrl(apiUrl(
            QStringLiteral("course_2016_app/getPcUpdate/?"),
            QStringLiteral("php_new_123sid=%1&php_new_vs=2&type=2&type_client=pexil_app&n=%2")
                .arg(m_sid)
                .arg(i),
            false)));
        request.setRawHeader("TAVI-USER-AGENT", clientAgent);
        replies.append(network.get(request));
    }
    for (QNetworkReply *reply : qAsConst(replies)) {
        if (!reply->isFinished())
            QVERIFY(QSignalSpy(reply, &QNetworkReply::finished).wait(10000));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        delete reply;
    }
    const QList<QJsonObject> log = m_service->requestLog(QStringLiteral("getPcUpdate"));
    QVERIFY(log.size() >= parallel);
    int maxInFlight = 0;
    for (int i = log.size() - parallel; i < log.size(); ++i) {
        const QJsonObject entry = log.at(i);
        maxInFlight = qMax(maxInFlight, entry.value(QStringLiteral("inFlight")).toInt());
        QVERIFY(entry.value(QStringLiteral("ms")).toInt() >= 390);
        QCOMPARE(entry.value(QStringLiteral("taviUserAgent")).toString(),
                 QString::fromLatin1(clientAgent));
        QCOMPARE(entry.value(QStringLiteral("host")).toString(),
                 QStringLiteral("127.0.0.1:%1").arg(m_service->port()));
        QVERIFY(entry.value(QStringLiteral("query"))
                    .toString()
                    .contains(QStringLiteral("type_client=pexil_app")));
        QVERIFY(entry.value(QStringLiteral("bytes")).toInt() > 0);
        QVERIFY(!entry.value(QStringLiteral("time")).toString().isEmpty());
    }
    QVERIFY2(maxInFlight > 1, qPrintable(QString::number(maxInFlight)));
}

void TestDemoService::failsEveryNthMediaRequest()
{
    const QJsonObject keys = lessonKeys(QStringLiteral("101"), QStringLiteral("1016"));
    const QString url = keys.value(QStringLiteral("url")).toString();
    const QString line = QStringLiteral("127.0.0.1:%1").arg(m_service->port());

    // Default mode: the answer is cut short, which every client sees as an error.
    QVERIFY(m_service->setFaults({{QStringLiteral("fail-every"), QStringLiteral("3")}}));
    QList<QNetworkReply::NetworkError> errors;
    for (int i = 0; i < 6; ++i)
        errors.append(media(url, line).error);
    QCOMPARE(errors, (QList<QNetworkReply::NetworkError>{
                         QNetworkReply::NoError, QNetworkReply::NoError,
                         QNetworkReply::RemoteHostClosedError, QNetworkReply::NoError,
                         QNetworkReply::NoError, QNetworkReply::RemoteHostClosedError}));
    QCOMPARE(m_service->requestLog(QStringLiteral("playlist"))
                 .last()
                 .value(QStringLiteral("fault"))
                 .toString(),
             QStringLiteral("cut"));

    // Reset mode: the connection is reset before a single byte of the answer.
    QVERIFY(m_service->setFaults({{QStringLiteral("fail-every"), QStringLiteral("1")},
                                  {QStringLiteral("fail-mode"), QStringLiteral("reset")}}));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), m_service->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write("GET " + QUrl(url).path().toUtf8() + " HTTP/1.1\r\nHost: "
                 + m_service->variable(QStringLiteral("LUMRA_COURSEWARE_HOST")).toUtf8()
                 + "\r\n\r\n");
    QByteArray received;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        received += socket.readAll();
    QVERIFY(received.isEmpty());
    QCOMPARE(socket.error(), QAbstractSocket::RemoteHostClosedError);

    QVERIFY(m_service->setFaults({{QStringLiteral("fail-every"), QStringLiteral("2")},
                                  {QStringLiteral("fail-mode"), QStringLiteral("500")}}));
    QCOMPARE(media(url, line).status, 200);
    QCOMPARE(media(url, line).status, 500);
    QVERIFY(!m_service->setFaults({{QStringLiteral("fail-mode"), QStringLiteral("sometimes")}}));
}

void TestDemoService::answersHtmlTruncatesAndFailsDns()
{
    QVERIFY(m_service->setFaults({{QStringLiteral("html"), QStringLiteral("dologin")}}));
    Reply reply =
        api(QStringLiteral("foreuser_2016_app/dologin/?"),
            QStringLiteral(
                "php_new_123sid=%1&password=lumra2026&username=13800138000&php_new_vs=2&type=2")
                .arg(m_sid));
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.body.startsWith("<!DOCTYPE html>"));
    QVERIFY(QJsonDocument::fromJson(reply.body).isNull());

    QVERIFY(m_service->setFaults({{QStringLiteral("html"), QString()},
                                  {QStringLiteral("truncate"), QStringLiteral("getPcUpdate")}}));
    reply = api(QStringLiteral("course_2016_app/getPcUpdate/?"),
                QStringLiteral("php_new_123sid=&php_new_vs=2&type=2&type_client=pexil_app"), false);
    QCOMPARE(reply.error, QNetworkReply::NoError);
    QVERIFY(!reply.body.isEmpty());
    QVERIFY(QJsonDocument::fromJson(reply.body).isNull());

    QVERIFY(m_service->setFaults({{QStringLiteral("dns-fail"), QStringLiteral("1")}}));
    const QUrl dns(QStringLiteral("http://127.0.0.2:%1/%2/d?host=x")
                       .arg(m_service->port())
                       .arg(m_service->variable(QStringLiteral("LUMRA_HTTPDNS_ACCOUNT"))));
    QCOMPARE(fetch(m_network, QNetworkRequest(dns)).status, 500);
    QCOMPARE(fetch(m_network, QNetworkRequest(dns)).status, 200);
}

void TestDemoService::stallsUntilLimit()
{
    const int keyRequestsBefore = m_service->requestLog(QStringLiteral("key")).size();
    QVERIFY(m_service->setFaults({{QStringLiteral("stall"), QStringLiteral("key")},
                                  {QStringLiteral("stall-max-ms"), QStringLiteral("1500")}}));
    const QUrl key(QStringLiteral("http://127.0.0.1:%1/hlskey/1013.key").arg(m_service->port()));
    QNetworkRequest request(key);
    request.setTransferTimeout(500); // the client gives up long before the stall ends
    QCOMPARE(fetch(m_network, request).error, QNetworkReply::OperationCanceledError);
    QCOMPARE(m_service->requestLog(QStringLiteral("key")).size(), keyRequestsBefore); // still held

    // After stall-max-ms the connection is dropped without an answer.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), m_service->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write("GET /hlskey/1013.key HTTP/1.1\r\nHost: x\r\n\r\n");
    QElapsedTimer timer;
    timer.start();
    QByteArray received;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        received += socket.readAll();
    QVERIFY(received.isEmpty());
    QVERIFY2(timer.elapsed() >= 1300 && timer.elapsed() < 4000,
             qPrintable(QString::number(timer.elapsed())));
    QTRY_VERIFY(m_service->requestLog(QStringLiteral("key")).size() >= keyRequestsBefore + 2);
    QCOMPARE(m_service->requestLog(QStringLiteral("key"))
                 .last()
                 .value(QStringLiteral("fault"))
                 .toString(),
             QStringLiteral("stall"));

    // Once cleared, the key answers again (403: no cookie).
    QVERIFY(m_service->clearFaults());
    QCOMPARE(fetch(m_network, QNetworkRequest(key)).status, 403);
}

void TestDemoService::chaosIsRepeatableWithSeed()
{
    const QString url = lessonKeys(QStringLiteral("101"), QStringLiteral("1016"))
                            .value(QStringLiteral("url"))
                            .toString();
    const QString line = QStringLiteral("127.0.0.1:%1").arg(m_service->port());
    auto run = [&] {
        m_service->setFaults({{QStringLiteral("chaos-cut"), QStringLiteral("30")},
                              {QStringLiteral("chaos-500"), QStringLiteral("30")},
                              {QStringLiteral("chaos-seed"), QStringLiteral("42")}});
        QList<int> outcomes;
        for (int i = 0; i < 20; ++i) {
            const Reply reply = media(url, line);
            outcomes.append(reply.error == QNetworkReply::RemoteHostClosedError ? -1
                                                                                : reply.status);
        }
        return outcomes;
    };
    const QList<int> first = run();
    QCOMPARE(run(), first);
    QVERIFY(first.contains(-1));
    QVERIFY(first.contains(500));
    QVERIFY(first.contains(200));
}

void TestDemoService::keepsUploadedErrorLog()
{
    QTemporaryDir dumps;
    const QString dumpPath = dumps.filePath(QStringLiteral("3.4.3.0.dmp"));
    QFile dump(dumpPath);
    QVERIFY(dump.open(QIODevice::WriteOnly));
    dump.write(QByteArray(5000, 'D'));
    dump.close();
    QVERIFY(dump.open(QIODevice::ReadOnly));

    QHttpMultiPart multipart(QHttpMultiPart::FormDataType);
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("image/jpeg"));
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"Filedata\"; filename=\"%1\"").arg(dumpPath));
    part.setBodyDevice(&dump);
    multipart.append(part);
    QNetworkReply *reply = m_network.post(
        QNetworkRequest(QUrl(QStringLiteral("http://%1/record_log/c_errorlog/")
                                 .arg(m_service->variable(QStringLiteral("LUMRA_ERRORLOG_HOST"))))),
        &multipart);
    QVERIFY(QSignalSpy(reply, &QNetworkReply::finished).wait(10000));
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    delete reply;

    QFile kept(m_service->uploadsDir() + QStringLiteral("/001-3.4.3.0.dmp"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray(5000, 'D'));
}

void TestDemoService::offersConfiguredUpdate()
{
    const QString parameters =
        QStringLiteral("php_new_123sid=&php_new_vs=2&type=2&type_client=pexil_app");
    QJsonObject data = api(QStringLiteral("course_2016_app/getPcUpdate/?"), parameters, false)
                           .json()
                           .value(QStringLiteral("data"))
                           .toObject();
    QCOMPARE(data.value(QStringLiteral("meta_version")).toString(), QStringLiteral("3.4.3.0"));

    QVERIFY(m_service->setFaults({{QStringLiteral("update-version"), QStringLiteral("3.4.4.0")}}));
    data = api(QStringLiteral("course_2016_app/getPcUpdate/?"), parameters, false)
               .json()
               .value(QStringLiteral("data"))
               .toObject();
    QCOMPARE(data.value(QStringLiteral("meta_version")).toString(), QStringLiteral("3.4.4.0"));
    const Reply installer =
        fetch(m_network,
              QNetworkRequest(QUrl(data.value(QStringLiteral("meta_download_url")).toString())));
    QCOMPARE(installer.status, 200);
    QVERIFY(installer.body.startsWith("\x7f"
                                      "ELF"));
    QVERIFY(installer.body.size() > 100000);

    // Redirected, it is the same file one "/mirror" further.
    QVERIFY(m_service->setFaults({{QStringLiteral("redirect"), QStringLiteral("installer")}}));
    QNetworkRequest manual(QUrl(data.value(QStringLiteral("meta_download_url")).toString()));
    manual.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                        QNetworkRequest::ManualRedirectPolicy);
    const Reply moved = fetch(m_network, manual);
    QCOMPARE(moved.status, 302);
    QCOMPARE(fetch(m_network, QNetworkRequest(m_service->webUrl(QStringLiteral("/mirror")
                                                                + manual.url().path())))
                 .body,
             installer.body);
    QVERIFY(m_service->clearFaults());
}

void TestDemoService::stopsPromptlyOnTerminate()
{
    DemoService service({QStringLiteral("--stall"), QStringLiteral("all")});
    QVERIFY2(service.start(), qPrintable(service.errorString()));
    QNetworkAccessManager network;
    QNetworkReply *reply =
        network.get(QNetworkRequest(service.webUrl(QStringLiteral("/100861/d?host=x"))));
    QTest::qWait(300);
    QVERIFY(!reply->isFinished());
    QElapsedTimer timer;
    timer.start();
    service.stop();
    QVERIFY(!service.isRunning());
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 5000);
    qInfo() << reply->error() << service.requestLog().size();
    QVERIFY(reply->error() != QNetworkReply::NoError);
    delete reply;
}

QTEST_MAIN(TestDemoService)
#include "tst_demoservice.moc"
