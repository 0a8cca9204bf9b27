#include "MediaMaker.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

QString ClipSpec::cacheName() const
{
    return QStringLiteral("%1-%2s-%3s-%4x%5-%6fps")
        .arg(name)
        .arg(seconds)
        .arg(segmentSeconds)
        .arg(width)
        .arg(height)
        .arg(fps);
}

bool MediaMaker::runFfmpeg(const QStringList &arguments, const std::atomic<bool> &cancel,
                           QString *error)
{
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                             QStringLiteral("-loglevel"), QStringLiteral("error"),
                             QStringLiteral("-y")}
                     + arguments);
    if (!ffmpeg.waitForStarted(10000)) {
        *error = QStringLiteral("cannot start ffmpeg: %1").arg(ffmpeg.errorString());
        return false;
    }
    // Short waits so that a shutdown does not sit behind a long encode.
    while (!ffmpeg.waitForFinished(100)) {
        if (cancel.load()) {
            ffmpeg.kill();
            ffmpeg.waitForFinished(2000);
            *error = QStringLiteral("cancelled");
            return false;
        }
        if (ffmpeg.state() == QProcess::NotRunning)
            break;
    }
    if (ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0) {
        *error = QStringLiteral("ffmpeg failed: %1")
                     .arg(QString::fromLocal8Bit(ffmpeg.readAll()).trimmed());
        return false;
    }
    return true;
}

bool MediaMaker::makeClip(const ClipSpec &recipe, const QString &folder, const QByteArray &key,
                          const QByteArray &iv, const std::atomic<bool> &cancel, QString *error)
{
    const QString keyPath = folder + QStringLiteral("/key.bin");
    const QString keyInfoPath = folder + QStringLiteral("/key.info");
    QFile keyFile(keyPath);
    QFile keyInfo(keyInfoPath);
    if (!keyFile.open(QIODevice::WriteOnly) || keyFile.write(key) != key.size()
        || !keyInfo.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write key files in %1").arg(folder);
        return false;
    }
    keyFile.close();
    keyInfo.write(QByteArray(keyUriPlaceholder) + '\n' + keyPath.toUtf8() + '\n' + iv.toHex()
                  + '\n');
    keyInfo.close();

    const int gop = recipe.fps * recipe.segmentSeconds; // a key frame opens every segment
    const QStringList arguments{
        QStringLiteral("-f"),
        QStringLiteral("lavfi"),
        QStringLiteral("-i"),
        QStringLiteral("testsrc2=size=%1x%2:rate=%3")
            .arg(recipe.width)
            .arg(recipe.height)
            .arg(recipe.fps),
        QStringLiteral("-f"),
        QStringLiteral("lavfi"),
        QStringLiteral("-i"),
        QStringLiteral("sine=frequency=%1:sample_rate=22050").arg(recipe.toneHz),
        QStringLiteral("-t"),
        QString::number(recipe.seconds),
        QStringLiteral("-c:v"),
        QStringLiteral("libx264"),
        QStringLiteral("-preset"),
        QStringLiteral("ultrafast"),
        QStringLiteral("-g"),
        QString::number(gop),
        QStringLiteral("-keyint_min"),
        QString::number(gop),
        QStringLiteral("-sc_threshold"),
        QStringLiteral("0"),
        QStringLiteral("-pix_fmt"),
        QStringLiteral("yuv420p"),
        QStringLiteral("-c:a"),
        QStringLiteral("aac"),
        QStringLiteral("-b:a"),
        QStringLiteral("32k"),
        QStringLiteral("-ac"),
        QStringLiteral("1"),
        QStringLiteral("-f"),
        QStringLiteral("hls"),
        QStringLiteral("-hls_time"),
        QString::number(recipe.segmentSeconds),
        QStringLiteral("-hls_list_size"),
        QStringLiteral("0"),
        QStringLiteral("-hls_playlist_type"),
        QStringLiteral("vod"),
        QStringLiteral("-hls_key_info_file"),
        keyInfoPath,
        QStringLiteral("-hls_segment_filename"),
        folder + QStringLiteral("/seg%05d.ts"),
        folder + QStringLiteral("/index.m3u8"),
    };
    const bool ok = runFfmpeg(arguments, cancel, error);
    QFile::remove(keyInfoPath);
    return ok;
}

bool MediaMaker::makePicture(const QString &filterGraph, const QString &path, QString *error)
{
    const std::atomic<bool> never{false};
    return runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                      filterGraph, QStringLiteral("-frames:v"), QStringLiteral("1"), path},
                     never, error);
}
