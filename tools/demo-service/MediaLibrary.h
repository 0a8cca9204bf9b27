#pragma once

#include "MediaMaker.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// The cache of generated clips and pictures. A clip folder appears only when complete
// (made under a temporary name and renamed), so several services may share one cache.
class MediaLibrary
{
public:
    explicit MediaLibrary(const QString &cacheRoot);
    ~MediaLibrary();

    MediaLibrary(const MediaLibrary &) = delete;
    MediaLibrary &operator=(const MediaLibrary &) = delete;

    bool prepare(const ClipSpec &recipe, QString *error);
    void prepareInBackground(const ClipSpec &recipe);
    bool preparePictures(QString *error);
    void shutdown();

    // Blocks until the clip is made (or failed, or timeoutMs passed).
    bool waitUntilReady(const QString &clip, int timeoutMs) const;
    bool isKnown(const QString &clip) const;
    QString clipFolder(const QString &clip) const;
    double durationSeconds(const QString &clip) const;
    qint64 totalBytes(const QString &clip) const;
    QString picturePath(const QString &name) const;

    static QByteArray aesKey(const QString &clip);
    static QByteArray aesIv(const QString &clip);

private:
    struct ClipState
    {
        ClipSpec recipe;
        QString folder;
        bool ready = false;
        bool failed = false;
        double duration = 0;
        qint64 bytes = 0;
    };

    bool makeIfMissing(const ClipSpec &recipe, QString *folder, QString *error);
    void registerClip(const ClipSpec &recipe);
    void markDone(const QString &clip, const QString &folder, bool ok);

    QString m_root;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    QMap<QString, ClipState> m_clips;
    std::atomic<bool> m_cancel{false};
    std::thread m_worker;
};
