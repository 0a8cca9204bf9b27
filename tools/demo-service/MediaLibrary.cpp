#include "MediaLibrary.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include <chrono>

namespace {

// Pictures the service serves: course covers and avatars, flat shapes so no font is needed.
const QList<QPair<QString, QString>> pictures{
    {QStringLiteral("cover-101.png"),
     QStringLiteral("color=c=0x2f80ed:s=320x180,drawbox=x=0:y=120:w=320:h=60:color=0x1b4f91:t=fill,"
                    "drawbox=x=24:y=24:w=72:h=72:color=white@0.8:t=fill")},
    {QStringLiteral("cover-102.png"),
     QStringLiteral("color=c=0x27ae60:s=320x180,drawbox=x=0:y=120:w=320:h=60:color=0x1e7d46:t=fill,"
                    "drawbox=x=124:y=30:w=72:h=72:color=white@0.8:t=fill")},
    {QStringLiteral("cover-103.jpg"),
     QStringLiteral("color=c=0x9b51e0:s=320x180,drawbox=x=0:y=120:w=320:h=60:color=0x5e2d8c:t=fill,"
                    "drawbox=x=224:y=24:w=72:h=72:color=white@0.8:t=fill")},
    {QStringLiteral("avatar.jpg"),
     QStringLiteral("color=c=0xf2994a:s=128x128,drawbox=x=36:y=16:w=56:h=56:color=white:t=fill,"
                    "drawbox=x=16:y=84:w=96:h=44:color=white:t=fill")},
    // Accounts with an even uid get this one, so two students' pictures tell apart.
    {QStringLiteral("avatar-even.jpg"),
     QStringLiteral("color=c=0x2d6cdf:s=128x128,drawbox=x=36:y=16:w=56:h=56:color=white:t=fill,"
                    "drawbox=x=16:y=84:w=96:h=44:color=white:t=fill")},
};

QString cacheVersion() { return QStringLiteral("v1"); }

// Sum of the segment lengths the playlist announces.
double playlistDuration(const QString &playlistPath)
{
    QFile file(playlistPath);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    double total = 0;
    const QRegularExpression extinf(QStringLiteral("^#EXTINF:([0-9.]+)"));
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QRegularExpressionMatch match = extinf.match(QString::fromUtf8(line));
        if (match.hasMatch())
            total += match.captured(1).toDouble();
    }
    return total;
}

qint64 folderBytes(const QString &folder)
{
    qint64 total = 0;
    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.ts")}, QDir::Files);
    for (const QFileInfo &info : files)
        total += info.size();
    return total;
}

} // namespace

MediaLibrary::MediaLibrary(const QString &cacheRoot)
    : m_root(cacheRoot + QLatin1Char('/') + cacheVersion())
{
    QDir().mkpath(m_root + QStringLiteral("/clips"));
    QDir().mkpath(m_root + QStringLiteral("/pictures"));
}

MediaLibrary::~MediaLibrary() { shutdown(); }

QByteArray MediaLibrary::aesKey(const QString &clip)
{
    return QCryptographicHash::hash("lumra-demo-aes|" + clip.toUtf8(), QCryptographicHash::Md5);
}

QByteArray MediaLibrary::aesIv(const QString &clip)
{
    return QCryptographicHash::hash("lumra-demo-iv|" + clip.toUtf8(), QCryptographicHash::Md5);
}

void MediaLibrary::registerClip(const ClipSpec &recipe)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ClipState &state = m_clips[recipe.name];
    state.recipe = recipe;
    state.ready = false;
    state.failed = false;
}

void MediaLibrary::markDone(const QString &clip, const QString &folder, bool ok)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ClipState &state = m_clips[clip];
    state.folder = folder;
    state.ready = ok;
    state.failed = !ok;
    if (ok) {
        state.duration = playlistDuration(folder + QStringLiteral("/index.m3u8"));
        state.bytes = folderBytes(folder);
    }
    m_changed.notify_all();
}

bool MediaLibrary::makeIfMissing(const ClipSpec &recipe, QString *folder, QString *error)
{
    *folder = m_root + QStringLiteral("/clips/") + recipe.cacheName();
    if (QFileInfo::exists(*folder + QStringLiteral("/index.m3u8")))
        return true;
    const QString work =
        *folder + QStringLiteral(".tmp-%1").arg(QCoreApplication::applicationPid());
    QDir(work).removeRecursively();
    if (!QDir().mkpath(work)) {
        *error = QStringLiteral("cannot create %1").arg(work);
        return false;
    }
    if (!MediaMaker::makeClip(recipe, work, aesKey(recipe.name), aesIv(recipe.name), m_cancel,
                              error)) {
        QDir(work).removeRecursively();
        return false;
    }
    // Another service sharing the cache may have finished first; its copy is as good.
    if (!QDir().rename(work, *folder))
        QDir(work).removeRecursively();
    if (!QFileInfo::exists(*folder + QStringLiteral("/index.m3u8"))) {
        *error = QStringLiteral("clip %1 missing after making it").arg(recipe.name);
        return false;
    }
    return true;
}

bool MediaLibrary::prepare(const ClipSpec &recipe, QString *error)
{
    registerClip(recipe);
    QString folder;
    const bool ok = makeIfMissing(recipe, &folder, error);
    markDone(recipe.name, folder, ok);
    return ok;
}

void MediaLibrary::prepareInBackground(const ClipSpec &recipe)
{
    registerClip(recipe);
    if (m_worker.joinable())
        m_worker.join();
    m_worker = std::thread([this, recipe] {
        QString folder;
        QString error;
        const bool ok = makeIfMissing(recipe, &folder, &error);
        if (!ok && !m_cancel.load())
            QTextStream(stderr) << "lumra-demo-service: clip " << recipe.name << ": " << error
                                << '\n';
        markDone(recipe.name, folder, ok);
    });
}

bool MediaLibrary::preparePictures(QString *error)
{
    for (const auto &picture : pictures) {
        const QString path = picturePath(picture.first);
        if (QFileInfo::exists(path))
            continue;
        const QFileInfo info(path);
        const QString work = info.path()
                             + QStringLiteral("/tmp-%1-").arg(QCoreApplication::applicationPid())
                             + info.fileName();
        if (!MediaMaker::makePicture(picture.second, work, error))
            return false;
        if (!QFile::rename(work, path))
            QFile::remove(work);
    }
    return true;
}

void MediaLibrary::shutdown()
{
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_changed.notify_all();
}

bool MediaLibrary::waitUntilReady(const QString &clip, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        const auto it = m_clips.constFind(clip);
        return it == m_clips.constEnd() || it->ready || it->failed || m_cancel.load();
    });
    const auto it = m_clips.constFind(clip);
    return it != m_clips.constEnd() && it->ready;
}

bool MediaLibrary::isKnown(const QString &clip) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clips.contains(clip);
}

QString MediaLibrary::clipFolder(const QString &clip) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clips.value(clip).folder;
}

double MediaLibrary::durationSeconds(const QString &clip) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clips.value(clip).duration;
}

qint64 MediaLibrary::totalBytes(const QString &clip) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clips.value(clip).bytes;
}

QString MediaLibrary::picturePath(const QString &name) const
{
    return m_root + QStringLiteral("/pictures/") + name;
}
