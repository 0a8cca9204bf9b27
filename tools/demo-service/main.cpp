// lumra-demo-service: a local stand-in for the course service, for the demo and the tests.
#include "AccountStore.h"
#include "Catalogue.h"
#include "DemoServer.h"
#include "FaultInjector.h"
#include "MediaLibrary.h"
#include "RequestLog.h"
#include "ServiceOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <pthread.h>

namespace {

void fail(const QString &message)
{
    QTextStream(stderr) << "lumra-demo-service: " << message << '\n';
}

bool parseOptions(const QCoreApplication &app, ServiceOptions *options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Local stand-in for the course service."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port (0: any free port)."),
                                  QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption data(QStringLiteral("data"),
                                  QStringLiteral("Folder for state, logs and uploads."),
                                  QStringLiteral("dir"));
    const QCommandLineOption cache(
        QStringLiteral("media-cache"),
        QStringLiteral("Folder of generated media (default: <data>/media)."),
        QStringLiteral("dir"));
    const QCommandLineOption update(QStringLiteral("update-version"),
                                    QStringLiteral("Version the update check offers."),
                                    QStringLiteral("version"), options->updateVersion);
    const QCommandLineOption account(QStringLiteral("dns-account"),
                                     QStringLiteral("HTTP DNS account number."),
                                     QStringLiteral("number"), options->dnsAccount);
    const QCommandLineOption ttl(QStringLiteral("dns-ttl"),
                                 QStringLiteral("TTL of HTTP DNS answers (s)."),
                                 QStringLiteral("seconds"), QString::number(options->dnsTtl));
    const QCommandLineOption demo(
        QStringLiteral("demo-lesson-seconds"), QStringLiteral("Length of the long demo lesson."),
        QStringLiteral("seconds"), QString::number(options->demoLessonSeconds));
    const QCommandLineOption courses(
        QStringLiteral("courses"), QStringLiteral("Courses of the demo account (at least 3)."),
        QStringLiteral("count"), QString::number(options->demoCourses));
    const QCommandLineOption files(QStringLiteral("static"),
                                   QStringLiteral("Serve the files under this folder at /static/."),
                                   QStringLiteral("dir"));
    parser.addOptions({port, data, cache, update, account, ttl, demo, courses, files});
    for (const QString &key : FaultInjector::keys())
        parser.addOption(QCommandLineOption(key, QStringLiteral("Fault: %1 (see README).").arg(key),
                                            QStringLiteral("value")));
    parser.process(app);

    bool ok = false;
    options->port = parser.value(port).toInt(&ok);
    if (!ok || options->port < 0 || options->port > 65535) {
        fail(QStringLiteral("bad --port"));
        return false;
    }
    options->dataDir = parser.isSet(data)
                           ? parser.value(data)
                           : QDir::tempPath() + QStringLiteral("/lumra-demo-service");
    options->dataDir = QDir(options->dataDir).absolutePath();
    options->mediaCache = parser.isSet(cache) ? QDir(parser.value(cache)).absolutePath()
                                              : options->dataDir + QStringLiteral("/media");
    options->updateVersion = parser.value(update);
    options->dnsAccount = parser.value(account);
    options->dnsTtl = parser.value(ttl).toInt();
    options->demoLessonSeconds = qMax(10, parser.value(demo).toInt());
    options->demoCourses = qBound(3, parser.value(courses).toInt(), 500);
    if (parser.isSet(files)) {
        const QFileInfo folder(parser.value(files));
        if (!folder.isDir()) {
            fail(QStringLiteral("--static: no folder %1").arg(parser.value(files)));
            return false;
        }
        options->staticDir = folder.canonicalFilePath();
    }
    for (const QString &key : FaultInjector::keys()) {
        if (parser.isSet(key))
            options->faults.append({key, parser.value(key)});
    }
    return true;
}

void printLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    // Termination signals are taken by sigwait below; block them before any thread starts
    // so that none of the server threads is picked to receive them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // writes to reset connections must fail, not kill us

    QCoreApplication app(argc, argv);
    ServiceOptions options;
    if (!parseOptions(app, &options))
        return 2;
    if (!QDir().mkpath(options.dataDir)) {
        fail(QStringLiteral("cannot create %1").arg(options.dataDir));
        return 1;
    }

    FaultInjector faults;
    for (const auto &fault : qAsConst(options.faults)) {
        QString error;
        if (!faults.set(fault.first, fault.second, &error)) {
            fail(error);
            return 2;
        }
    }

    const Catalogue catalogue(options.demoLessonSeconds, options.demoCourses);
    MediaLibrary media(options.mediaCache);
    QString error;
    if (!media.preparePictures(&error)) {
        fail(error);
        return 1;
    }
    for (const ClipSpec &clip : catalogue.quickClips()) {
        if (!media.prepare(clip, &error)) {
            fail(error);
            return 1;
        }
    }

    AccountStore accounts(catalogue, options.dataDir + QStringLiteral("/state.json"));
    RequestLog log(options.dataDir + QStringLiteral("/requests.jsonl"));
    if (!log.isOpen()) {
        fail(QStringLiteral("cannot open %1").arg(log.path()));
        return 1;
    }
    DemoServer server(options, catalogue, accounts, media, faults, log);
    if (!server.bind(&error)) {
        fail(error);
        return 1;
    }
    server.start();
    // The long lesson is made while the service already answers; its media waits for it.
    media.prepareInBackground(catalogue.demoClip());

    printLine(QStringLiteral("listening on 127.0.0.1:%1").arg(server.port()));
    for (const QString &variable : server.environment())
        printLine(QStringLiteral("export ") + variable);
    std::fflush(stdout);
    QTextStream(stderr) << "lumra-demo-service: request log " << log.path() << '\n';

    int received = 0;
    sigwait(&stopSignals, &received);

    faults.shutdown();
    media.shutdown();
    server.stop();
    return 0;
}
