#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Puts the segments of one lesson on disk on threads of its own, so that a slow disk never
// holds up the window: each segment is written to its ".part" file as its bytes arrive and,
// once whole, flushed to the medium and renamed to its final name. The steps of a segment
// run in the order they were asked for; segments are spread over a few threads, so that the
// disk flushes several at once instead of one after the other. Each commit is answered
// through committed() on the owner's thread, true only once the segment carries its final
// name.
//
// abandon() drops everything asked for so far: what is still queued is not written, its
// ".part" files are removed, and no answer to it arrives any more.
class SegmentWriter : public QObject
{
    Q_OBJECT

public:
    static constexpr int Lanes = 3;

    explicit SegmentWriter(QObject *parent = nullptr);
    // Drops what is still queued and waits for the step under way.
    ~SegmentWriter() override;

    // Appends bytes to the segment's ".part" file (opened, emptied, at its first bytes).
    void write(int segment, const QString &partPath, const QByteArray &bytes);
    // Flushes the ".part" file to the medium and renames it to path; an empty segment that
    // never had bytes gets an empty file. On any failure the ".part" file is removed.
    void commit(int segment, const QString &partPath, const QString &path);
    // Closes and removes the segment's ".part" file.
    void discard(int segment, const QString &partPath);
    void abandon();

signals:
    void committed(int segment, bool stored);

private:
    enum Kind {
        Write,
        Commit,
        Discard,
        Stop
    };
    struct Step
    {
        Kind kind = Write;
        int round = 0;
        int segment = -1;
        QString partPath;
        QString path;
        QByteArray bytes;
    };

    struct Lane
    {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Step> steps;
        std::thread thread;
    };

    // To the lane of the step's segment; a step for no segment goes to every lane.
    void post(Step step);
    void run(Lane &lane);

    std::atomic<int> m_round{0}; // steps of an earlier round were abandoned
    Lane m_lanes[Lanes];
};
