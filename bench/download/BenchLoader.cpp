// lumra-bench-loader: runs one M3u8Loader over a playlist URL into a folder, as the download
// queue would, and prints how long it took. bench/run times the whole process like the other
// download tools and reads the phase lines for the resume figures.
//
//   lumra-bench-loader URL FOLDER [--cookie TEXT]
//
// The Host header of playlist and segment requests is LUMRA_COURSEWARE_HOST (set it to the
// address of the server). Output, one "name value" pair a line:
//   seconds        start to FinishedSignal
//   playlist_ms    start to the playlist reply
//   store_ms       playlist reply to the next request or segment step (parse, enciphered copy)
//   key_ms         the key request, when the playlist names one
//   segments_ms    first segment step to FinishedSignal (for a resume: the scan of the files)
//   beyond_ms      all but the playlist and key requests
//   requests       requests sent (playlist, key and segments)
//   peak_rss_kib   the process's peak resident memory (VmHWM)
#include "app/Accessors.h"
#include "app/AppState.h"
#include "download/AesCipher.h"
#include "download/M3u8Loader.h"
#include "model/MetaTypes.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// Time of the first debug line of each loader step: the loader logs a line when it sends a
// request, handles a reply and enters the segment step.
struct StepClock
{
    QElapsedTimer clock;
    qint64 playlistReply = -1;
    qint64 playlistDone = -1; // first "LoadSegList" or key request, whichever comes first
    qint64 keySent = -1;
    qint64 keyDone = -1;
    qint64 firstSegmentStep = -1;
    int requests = 0;
};

StepClock g_steps;

void recordStep(QtMsgType, const QMessageLogContext &, const QString &message)
{
    const qint64 now = g_steps.clock.nsecsElapsed();
    if (message.startsWith(QLatin1String("HttpGetRequest"))) {
        ++g_steps.requests;
        if (message.startsWith(QLatin1String("HttpGetRequest 1")) && g_steps.keySent < 0) {
            g_steps.keySent = now;
            if (g_steps.playlistDone < 0)
                g_steps.playlistDone = now;
        }
        return;
    }
    if (message.startsWith(QLatin1String("OnHttpRequestFinished"))) {
        if (message.startsWith(QLatin1String("OnHttpRequestFinished 0"))
            && g_steps.playlistReply < 0)
            g_steps.playlistReply = now;
        if (message.startsWith(QLatin1String("OnHttpRequestFinished 1")) && g_steps.keyDone < 0)
            g_steps.keyDone = now;
        return;
    }
    if (message.startsWith(QLatin1String("LoadSegList"))) {
        if (g_steps.firstSegmentStep < 0)
            g_steps.firstSegmentStep = now;
        if (g_steps.playlistDone < 0)
            g_steps.playlistDone = now;
        return;
    }
    static const char *const quiet[] = {"OnLoadSegFinish", "OnSegmentCommitted", "LoadM3u8",
                                        "Finish:"};
    for (const char *step : quiet) {
        if (message.startsWith(QLatin1String(step)))
            return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(message)); // errors and anything unexpected
}

QString peakResidentKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("-");
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return QString::fromLatin1(line.mid(6).trimmed().split(' ').value(0));
    }
    return QStringLiteral("-");
}

QString ms(qint64 fromNs, qint64 toNs)
{
    if (fromNs < 0 || toNs < 0)
        return QStringLiteral("-");
    return QString::number((toNs - fromNs) / 1e6, 'f', 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Downloads one HLS lesson with the client's loader."));
    parser.addHelpOption();
    const QCommandLineOption cookieOption(QStringLiteral("cookie"),
                                          QStringLiteral("Value of the key cookie."),
                                          QStringLiteral("text"));
    parser.addOption(cookieOption);
    parser.addPositionalArgument(QStringLiteral("url"), QStringLiteral("Playlist URL."));
    parser.addPositionalArgument(QStringLiteral("folder"),
                                 QStringLiteral("Save folder (created)."));
    parser.process(app);
    if (parser.positionalArguments().size() != 2)
        parser.showHelp(2);
    const QString url = parser.positionalArguments().at(0);
    const QString folder = QDir(parser.positionalArguments().at(1)).absolutePath();
    QDir().mkpath(folder);

    // The loader writes its log and enciphered files through the process-wide objects.
    QTemporaryDir work;
    registerMetaTypes();
    AppState state;
    state.dataDir = work.path();
    state.userDir = work.path();
    registerAppState(&state);
    AesCipher cipher;
    cipher.setKey(AesCipher::storeKey());
    registerLocalCipher(&cipher);

    M3u8Loader loader;
    loader.setPauseCheck([] { return false; });
    int code = 1;
    QObject::connect(&loader, &M3u8Loader::FinishedSignal, &app, [&](bool isCancel) {
        code = isCancel ? 1 : 0;
        app.quit();
    });
    QObject::connect(&loader, &M3u8Loader::ErrorSignal, &app, [&](const QString &text) {
        std::fprintf(stderr, "download failed: %s\n", qPrintable(text));
        app.quit();
    });

    qInstallMessageHandler(recordStep);
    g_steps.clock.start();
    QTimer::singleShot(0, &loader, [&] {
        g_steps.clock.restart();
        loader.start(url, folder, parser.value(cookieOption).toUtf8());
    });
    app.exec();
    const qint64 end = g_steps.clock.nsecsElapsed();
    qInstallMessageHandler(nullptr);

    const qint64 keyNs =
        g_steps.keySent >= 0 && g_steps.keyDone >= 0 ? g_steps.keyDone - g_steps.keySent : 0;
    std::printf(
        "seconds %.4f\nplaylist_ms %s\nstore_ms %s\nkey_ms %s\nsegments_ms %s\nbeyond_ms %s\n"
        "requests %d\npeak_rss_kib %s\n",
        end / 1e9, qPrintable(ms(0, g_steps.playlistReply)),
        qPrintable(ms(g_steps.playlistReply, g_steps.playlistDone)),
        qPrintable(ms(g_steps.keySent, g_steps.keyDone)),
        qPrintable(ms(g_steps.firstSegmentStep, end)),
        qPrintable(ms(g_steps.playlistReply, end - keyNs)), g_steps.requests,
        qPrintable(peakResidentKib()));
    registerLocalCipher(nullptr);
    registerAppState(nullptr);
    return code;
}
