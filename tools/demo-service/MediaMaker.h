#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

// One HLS lesson clip as ffmpeg makes it: test pattern, tone, AES-128 segments.
struct ClipSpec
{
    QString name;
    int seconds = 6;
    int segmentSeconds = 1;
    int width = 320;
    int height = 180;
    int fps = 10;
    int toneHz = 440;

    QString cacheName() const;
};

// Runs ffmpeg to make the media the service hands out. Blocking; the caller picks the thread.
class MediaMaker
{
public:
    // The playlist's key URI is written as keyUriPlaceholder; the server fills in the address.
    static constexpr const char *keyUriPlaceholder = "@KEY_URI@";

    static bool makeClip(const ClipSpec &recipe, const QString &folder, const QByteArray &key,
                         const QByteArray &iv, const std::atomic<bool> &cancel, QString *error);
    // filterGraph is an ffmpeg lavfi source; the picture format follows the file suffix.
    static bool makePicture(const QString &filterGraph, const QString &path, QString *error);

private:
    static bool runFfmpeg(const QStringList &arguments, const std::atomic<bool> &cancel,
                          QString *error);
};
