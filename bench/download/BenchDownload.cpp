// lumra-bench-download: downloads one lesson of N segments from a local demo service with
// a chosen media latency and prints the time, the throughput and the requests in flight.
//
//   lumra-bench-download [--segments N] [--latency MS] [--service PATH]
//
// The demo service binary comes from --service, LUMRA_DEMO_SERVICE or the build tree.
#include "api/APIHandler.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "download/AesCipher.h"
#include "download/M3u8Loader.h"
#include "model/Courseware.h"
#include "model/M3u8Context.h"
#include "model/MetaTypes.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

QString defaultServicePath()
{
    const QString fromEnv = qEnvironmentVariable("LUMRA_DEMO_SERVICE");
    if (!fromEnv.isEmpty())
        return fromEnv;
#ifdef LUMRA_DEMO_SERVICE_PATH
    return QStringLiteral(LUMRA_DEMO_SERVICE_PATH);
#else
    return QString();
#endif
}

// Starts the service and puts its client settings into this process; false on failure.
bool startService(QProcess &service, const QString &program, const QStringList &arguments)
{
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service.start(program, arguments);
    if (!service.waitForStarted(10000))
        return false;
    int exports = 0;
    QElapsedTimer timer;
    timer.start();
    while (exports < 6 && timer.elapsed() < 120000 && service.state() == QProcess::Running) {
        if (!service.canReadLine() && !service.waitForReadyRead(200))
            continue;
        while (service.canReadLine()) {
            const QString line = QString::fromUtf8(service.readLine()).trimmed();
            if (!line.startsWith(QLatin1String("export ")))
                continue;
            const QString assignment = line.mid(7);
            const int equals = assignment.indexOf(QLatin1Char('='));
            qputenv(assignment.left(equals).toUtf8().constData(),
                    assignment.mid(equals + 1).toUtf8());
            ++exports;
        }
    }
    ServiceSettings::reload();
    return exports >= 6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Download benchmark against the local demo service."));
    parser.addHelpOption();
    const QCommandLineOption segmentsOption(QStringLiteral("segments"),
                                            QStringLiteral("Segments of the lesson."),
                                            QStringLiteral("n"), QStringLiteral("30"));
    const QCommandLineOption latencyOption(QStringLiteral("latency"),
                                           QStringLiteral("Media latency in ms."),
                                           QStringLiteral("ms"), QStringLiteral("50"));
    const QCommandLineOption serviceOption(QStringLiteral("service"),
                                           QStringLiteral("Demo service binary."),
                                           QStringLiteral("path"), defaultServicePath());
    parser.addOptions({segmentsOption, latencyOption, serviceOption});
    parser.process(app);
    const int segments = qMax(1, parser.value(segmentsOption).toInt());
    const int latency = qMax(0, parser.value(latencyOption).toInt());
    const QString program = parser.value(serviceOption);
    if (program.isEmpty()) {
        std::fprintf(stderr, "no demo service: pass --service or set LUMRA_DEMO_SERVICE\n");
        return 2;
    }
    // Only the debug lines of the loader would flood the figures.
    qputenv("QT_LOGGING_RULES", "default.debug=false");

    QTemporaryDir work;
    const QString cache = qEnvironmentVariable(
        "LUMRA_DEMO_MEDIA_CACHE", QDir::tempPath() + QStringLiteral("/lumra-demo-media-cache"));
    QProcess service;
    // The long demo lesson is made of 10-second segments.
    if (!startService(service, program,
                      {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--data"),
                       work.filePath(QStringLiteral("service")), QStringLiteral("--media-cache"),
                       cache, QStringLiteral("--demo-lesson-seconds"),
                       QString::number(segments * 10)})) {
        std::fprintf(stderr, "the demo service did not start\n");
        return 1;
    }

    registerMetaTypes();
    AppState state;
    state.userDir = work.filePath(QStringLiteral("users"));
    QDir().mkpath(state.userDir);
    state.openSettings(work.filePath(QStringLiteral("settings.ini")));
    registerAppState(&state);
    AesCipher cipher;
    cipher.setKey(AesCipher::storeKey());
    registerLocalCipher(&cipher);
    APIHandler api;
    registerApiHandler(&api);

    int signedIn = -1;
    M3u8Context address;
    bool haveAddress = false;
    QObject::connect(&api, &APIHandler::HttpResponseSignal,
                     [&](int type, int result, const QVariant &info) {
                         if (type == 2)
                             signedIn = result;
                         if (type == 9 && result == 1) {
                             address = info.value<M3u8Context>();
                             haveAddress = true;
                         }
                     });
    api.getSessionId();
    waitFor([&] { return !state.user.sid.isEmpty(); }, 15000);
    state.user.loginName = QStringLiteral("13800138000");
    state.user.password = QStringLiteral("lumra2026");
    api.login();
    if (!waitFor([&] { return signedIn >= 0; }, 15000) || signedIn != 1) {
        std::fprintf(stderr, "sign-in failed\n");
        return 1;
    }
    Courseware lesson;
    lesson.courseId = QStringLiteral("102");
    lesson.id = QStringLiteral("1024");
    lesson.cType = QStringLiteral("1");
    api.getKeysAndUrl(&lesson, 9);
    if (!waitFor([&] { return haveAddress; }, 15000)) {
        std::fprintf(stderr, "no lesson address\n");
        return 1;
    }

    // The lesson is made while the service runs; a first load waits for it, unmeasured.
    const QString warmFolder = work.filePath(QStringLiteral("warm"));
    QDir().mkpath(warmFolder);
    {
        M3u8Loader warm;
        warm.setPauseCheck([] { return false; });
        bool ended = false;
        QObject::connect(&warm, &M3u8Loader::FinishedSignal, [&] { ended = true; });
        QObject::connect(&warm, &M3u8Loader::ErrorSignal, [&] { ended = true; });
        warm.start(address.url, warmFolder, address.keys);
        if (!waitFor([&] { return ended; }, 600000)) {
            std::fprintf(stderr, "the warm-up download did not end\n");
            return 1;
        }
    }

    // Latency applies from here on.
    const QString port = ServiceSettings::webHost().section(QLatin1Char(':'), -1);
    {
        QNetworkAccessManager network;
        QNetworkReply *reply = network.get(
            QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/__control?media-latency=%2")
                                     .arg(port)
                                     .arg(latency))));
        waitFor([&] { return reply->isFinished(); }, 10000);
        const bool set = reply->error() == QNetworkReply::NoError;
        delete reply;
        if (!set) {
            std::fprintf(stderr, "the service refused the latency\n");
            return 1;
        }
    }
    QFile log(work.filePath(QStringLiteral("service/requests.jsonl")));
    const qint64 logStart = QFileInfo(log).size();

    const QString folder = work.filePath(QStringLiteral("lesson"));
    QDir().mkpath(folder);
    M3u8Loader loader;
    loader.setPauseCheck([] { return false; });
    bool finished = false;
    QString error;
    QObject::connect(&loader, &M3u8Loader::FinishedSignal, [&] { finished = true; });
    QObject::connect(&loader, &M3u8Loader::ErrorSignal, [&](const QString &text) { error = text; });
    QElapsedTimer timer;
    timer.start();
    loader.start(address.url, folder, address.keys);
    waitFor([&] { return finished || !error.isEmpty(); }, 600000);
    const double seconds = timer.elapsed() / 1000.0;
    if (!finished) {
        std::fprintf(stderr, "download failed: %s\n", qPrintable(error));
        return 1;
    }

    qint64 bytes = 0;
    int files = 0;
    QDirIterator it(folder, QStringList() << QStringLiteral("*.ts"), QDir::Files);
    while (it.hasNext()) {
        bytes += QFileInfo(it.next()).size();
        ++files;
    }
    int mostInFlight = 0;
    double inFlightSum = 0;
    int segmentRequests = 0;
    if (log.open(QIODevice::ReadOnly)) {
        log.seek(logStart);
        for (const QByteArray &line : log.readAll().split('\n')) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            if (entry.value(QStringLiteral("endpoint")).toString() != QLatin1String("segment"))
                continue;
            const int inFlight = entry.value(QStringLiteral("inFlight")).toInt();
            mostInFlight = qMax(mostInFlight, inFlight);
            inFlightSum += inFlight;
            ++segmentRequests;
        }
    }
    out() << "segments " << files << " of " << segments << ", latency " << latency << " ms\n"
          << "seconds " << QString::number(seconds, 'f', 3) << '\n'
          << "MB/s " << QString::number(bytes / (1024.0 * 1024.0) / seconds, 'f', 2) << " ("
          << bytes << " bytes)\n"
          << "segment requests " << segmentRequests << ", in flight: most " << mostInFlight
          << ", mean "
          << QString::number(segmentRequests ? inFlightSum / segmentRequests : 0, 'f', 2) << '\n';
    out().flush();

    registerApiHandler(nullptr);
    registerLocalCipher(nullptr);
    registerAppState(nullptr);
    service.terminate();
    service.waitForFinished(10000);
    return 0;
}
