#include "download/StoreMover.h"

#include "download/StoreFolders.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace {

// A file being written into the new folder carries this until it is complete.
const QLatin1String kMovingSuffix(".moving");
constexpr qint64 kChunk = 1 << 20;

QByteArray withoutPadding(QByteArray bytes)
{
    while (bytes.endsWith('\0'))
        bytes.chop(1);
    return bytes;
}

bool sameContent(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly)
        || first.size() != second.size())
        return false;
    qint64 left = first.size();
    while (left > 0) {
        const QByteArray chunk = first.read(kChunk);
        if (chunk.isEmpty() || chunk != second.read(chunk.size()))
            return false;
        left -= chunk.size();
    }
    return true;
}

QStringList filesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

QString lessonFolder(const QString &root, const StoreMover::Lesson &lesson)
{
    return StoreFolders::childFolder(StoreFolders::childFolder(root, lesson.courseId),
                                     lesson.lessonId);
}

// The folder itself or, when it is not made yet, its nearest parent that exists.
QString existingAncestor(const QString &path)
{
    QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    while (!info.exists() && !info.isRoot())
        info = QFileInfo(info.absolutePath());
    return info.absoluteFilePath();
}

} // namespace

StoreMover::StoreMover(const QString &from, const QString &to, const QList<Lesson> &lessons,
                       const AesCipher &cipher)
    : m_from(from)
    , m_to(to)
    , m_lessons(lessons)
    , m_cipher(cipher)
{
}

bool StoreMover::fail(const QString &what)
{
    if (m_failure.isEmpty())
        m_failure = what;
    return false;
}

bool StoreMover::place()
{
    QList<QPair<QString, QString>> moves;
    for (const Lesson &lesson : qAsConst(m_lessons)) {
        const QString from = lessonFolder(m_from, lesson);
        const QString to = lessonFolder(m_to, lesson);
        if (!from.isEmpty() && !to.isEmpty() && QFileInfo(from).isDir())
            moves << qMakePair(from, to);
    }
    QStringList folders;
    for (const auto &move : qAsConst(moves))
        folders << move.first;
    bool placed = enoughSpaceFor(folders);
    for (int i = 0; placed && i < moves.size(); ++i)
        placed = placeLesson(moves.at(i).first, moves.at(i).second);
    if (placed)
        return true;
    for (int i = m_placed.size() - 1; i >= 0; --i)
        undo(m_placed.at(i));
    m_placed.clear();
    return false;
}

bool StoreMover::enoughSpaceFor(const QStringList &folders)
{
    const QStorageInfo source(existingAncestor(m_from));
    const QStorageInfo target(existingAncestor(m_to));
    // On one volume the lessons are renamed and need no room.
    if (!target.isValid() || source.device() == target.device())
        return true;
    qint64 needed = 0;
    for (const QString &folder : folders) {
        const QFileInfoList files =
            QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QFileInfo &file : files)
            needed += file.size();
    }
    return target.bytesAvailable() >= needed
           || fail(QStringLiteral("not enough room in ") + target.rootPath());
}

bool StoreMover::placeLesson(const QString &from, const QString &to)
{
    Placed placed;
    placed.from = from;
    placed.to = to;
    if (!QDir().mkpath(QFileInfo(to).absolutePath()))
        return fail(QStringLiteral("cannot make the folder of ") + to);
    if (!QFileInfo::exists(to)) {
        // One step on one volume; across volumes the rename fails and the files are copied.
        if (QDir().rename(from, to)) {
            placed.renamed = true;
            const QString playlist =
                to + QLatin1Char('/') + QLatin1String(StoreFolders::playlistFileName);
            if (QFileInfo::exists(playlist) && !rewritePlaylist(playlist, playlist, from, to)) {
                QDir().rename(to, from);
                return fail(QStringLiteral("cannot rewrite ") + playlist);
            }
            m_placed << placed;
            return true;
        }
        if (!QDir().mkdir(to))
            return fail(QStringLiteral("cannot make ") + to);
        placed.madeFolder = true;
    }
    const bool copied = copyLesson(placed);
    m_placed << placed; // a part copy is taken back with the rest
    return copied;
}

bool StoreMover::copyLesson(Placed &placed)
{
    for (const QString &name : filesOf(placed.from)) {
        if (name.endsWith(kMovingSuffix))
            continue;
        const QString source = placed.from + QLatin1Char('/') + name;
        const QString target = placed.to + QLatin1Char('/') + name;
        const QString temp = target + kMovingSuffix;
        bool copied = false;
        if (name == QLatin1String(StoreFolders::playlistFileName))
            copied = rewritePlaylist(source, target, placed.from, placed.to);
        if (!copied) {
            QFile::remove(temp);
            copied = QFile::copy(source, temp) && sameContent(source, temp)
                     && AtomicFile::commit(temp, target);
        }
        if (!copied) {
            QFile::remove(temp);
            return fail(QStringLiteral("cannot copy ") + source + QStringLiteral(" to ") + target);
        }
        placed.copiedFiles << name;
    }
    return true;
}

bool StoreMover::rewritePlaylist(const QString &source, const QString &target,
                                 const QString &fromFolder, const QString &toFolder)
{
    const QByteArray plain = withoutPadding(m_cipher.decryptFileToBytes(source));
    if (plain.isEmpty())
        return false;
    // The stored playlist names every segment by its full path.
    QByteArray moved = plain;
    moved.replace((fromFolder + QLatin1Char('/')).toUtf8(), (toFolder + QLatin1Char('/')).toUtf8());
    const QString temp = target + kMovingSuffix;
    QFile::remove(temp);
    m_cipher.encryptBytesToFile(moved, temp);
    if (withoutPadding(m_cipher.decryptFileToBytes(temp)) != moved
        || !AtomicFile::commit(temp, target)) {
        QFile::remove(temp);
        return false;
    }
    return true;
}

void StoreMover::undo(const Placed &placed)
{
    if (placed.renamed) {
        const QString playlist =
            placed.to + QLatin1Char('/') + QLatin1String(StoreFolders::playlistFileName);
        if (QFileInfo::exists(playlist))
            rewritePlaylist(playlist, playlist, placed.to, placed.from);
        if (!QDir().rename(placed.to, placed.from))
            fail(QStringLiteral("cannot put back ") + placed.to);
    } else {
        for (const QString &name : placed.copiedFiles)
            QFile::remove(placed.to + QLatin1Char('/') + name);
        for (const QString &name : filesOf(placed.to)) {
            if (name.endsWith(kMovingSuffix))
                QFile::remove(placed.to + QLatin1Char('/') + name);
        }
        if (placed.madeFolder)
            QDir().rmdir(placed.to);
    }
    QDir().rmdir(QFileInfo(placed.to).absolutePath()); // the course folder, if this left it empty
}

void StoreMover::removeOriginals()
{
    for (const Placed &placed : qAsConst(m_placed)) {
        if (!placed.renamed) {
            for (const QString &name : placed.copiedFiles)
                QFile::remove(placed.from + QLatin1Char('/') + name);
            QDir().rmdir(placed.from); // only when nothing else was in it
        }
        QDir().rmdir(QFileInfo(placed.from).absolutePath());
    }
    m_placed.clear();
}

bool StoreMover::takeBack()
{
    bool all = true;
    for (const Lesson &lesson : qAsConst(m_lessons)) {
        const QString from = lessonFolder(m_from, lesson);
        const QString to = lessonFolder(m_to, lesson);
        // A lesson still in the old folder was only being copied: its original is whole.
        if (from.isEmpty() || to.isEmpty() || QFileInfo::exists(from) || !QFileInfo(to).isDir())
            continue;
        Placed renamed;
        renamed.from = from;
        renamed.to = to;
        renamed.renamed = true;
        if (!QDir().mkpath(QFileInfo(from).absolutePath()))
            all = fail(QStringLiteral("cannot make the folder of ") + from);
        else
            undo(renamed);
        all = all && QFileInfo(from).isDir();
    }
    return all;
}
