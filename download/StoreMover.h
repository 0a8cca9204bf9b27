#pragma once

#include "download/AesCipher.h"

#include <QList>
#include <QString>
#include <QStringList>

// Moves the lesson folders of the local store (download folder / course id / lesson id) from
// one download folder to another, each lesson whole: renamed when both folders are on one
// volume, else every file copied, flushed and compared with its original. Nothing of the
// old folder is deleted before the new one is in use: place() only adds to the new folder
// (and undoes that when any lesson cannot be placed); removeOriginals() deletes the copied
// originals once the caller has switched to the new folder. Works on paths only, so it can
// run on a worker thread.
class StoreMover
{
public:
    struct Lesson
    {
        QString courseId;
        QString lessonId;
    };

    StoreMover(const QString &from, const QString &to, const QList<Lesson> &lessons,
               const AesCipher &cipher);

    // Places every lesson that has a folder under `from` into `to`, its stored playlist
    // rewritten to name the new folder. False, with everything put back, when any cannot be.
    bool place();
    // Deletes what place() copied from the old folder, and course folders left empty there.
    void removeOriginals();
    // After a move that a crash ended half-way: every lesson found in `to` but no longer in
    // `from` is renamed back and its playlist rewritten. False when one cannot be.
    bool takeBack();
    // What went wrong, for the log.
    QString failure() const { return m_failure; }

private:
    struct Placed
    {
        QString from;
        QString to;
        bool renamed = false;
        bool madeFolder = false;
        QStringList copiedFiles; // names, when copied
    };

    bool placeLesson(const QString &from, const QString &to);
    bool copyLesson(Placed &placed);
    bool rewritePlaylist(const QString &source, const QString &target, const QString &fromFolder,
                         const QString &toFolder);
    bool fail(const QString &what);
    void undo(const Placed &placed);
    bool enoughSpaceFor(const QStringList &folders);

    QString m_from;
    QString m_to;
    QList<Lesson> m_lessons;
    AesCipher m_cipher;
    QList<Placed> m_placed;
    QString m_failure;
};
