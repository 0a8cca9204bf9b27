#include "download/SegmentWriter.h"

#include "platform/AtomicFile.h"

#include <QFile>

#include <cstdio>
#include <map>
#include <memory>
#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace {

struct PartFile
{
    std::unique_ptr<QFile> file;
    bool failed = false;
};

// The path by value: callers pass the map's own key, which the erase below frees.
void dropPart(std::map<QString, PartFile> &open, const QString partPath)
{
    const auto it = open.find(partPath);
    if (it != open.end()) {
        it->second.file->close();
        open.erase(it);
    }
    QFile::remove(partPath);
}

// Data on the medium before the name is, or a power cut could leave a short file that
// counts as done. The rename itself needs no flush of the folder: if it is lost, the
// ".part" left behind is removed at the next start and the segment fetched again.
bool flushAndRename(QFile &part, const QString &path)
{
    bool stored = part.isOpen() && part.flush();
#ifdef Q_OS_LINUX
    stored = stored && ::fdatasync(part.handle()) == 0;
    part.close();
    return stored
           && std::rename(QFile::encodeName(part.fileName()).constData(),
                          QFile::encodeName(path).constData())
                  == 0;
#else
    part.close();
    return stored && AtomicFile::commit(part.fileName(), path);
#endif
}

} // namespace

SegmentWriter::SegmentWriter(QObject *parent)
    : QObject(parent)
{
    for (Lane &lane : m_lanes)
        lane.thread = std::thread([this, &lane] { run(lane); });
}

SegmentWriter::~SegmentWriter()
{
    abandon();
    Step stop;
    stop.kind = Stop;
    post(stop);
    for (Lane &lane : m_lanes)
        lane.thread.join();
}

void SegmentWriter::write(int segment, const QString &partPath, const QByteArray &bytes)
{
    Step step;
    step.kind = Write;
    step.segment = segment;
    step.partPath = partPath;
    step.bytes = bytes;
    post(std::move(step));
}

void SegmentWriter::commit(int segment, const QString &partPath, const QString &path)
{
    Step step;
    step.kind = Commit;
    step.segment = segment;
    step.partPath = partPath;
    step.path = path;
    post(std::move(step));
}

void SegmentWriter::discard(int segment, const QString &partPath)
{
    Step step;
    step.kind = Discard;
    step.segment = segment;
    step.partPath = partPath;
    post(std::move(step));
}

void SegmentWriter::abandon()
{
    // A discard without a path closes and removes every file the earlier rounds opened.
    ++m_round;
    discard(-1, QString());
}

void SegmentWriter::post(Step step)
{
    step.round = m_round;
    for (int i = 0; i < Lanes; ++i) {
        if (step.segment >= 0 && step.segment % Lanes != i)
            continue;
        Lane &lane = m_lanes[i];
        {
            const std::lock_guard<std::mutex> lock(lane.mutex);
            lane.steps.push_back(step);
        }
        lane.wake.notify_one();
    }
}

void SegmentWriter::run(Lane &lane)
{
    std::map<QString, PartFile> open;
    for (;;) {
        Step step;
        {
            std::unique_lock<std::mutex> lock(lane.mutex);
            lane.wake.wait(lock, [&lane] { return !lane.steps.empty(); });
            step = std::move(lane.steps.front());
            lane.steps.pop_front();
        }
        if (step.kind == Stop)
            break;
        if (step.round != m_round) {
            // Abandoned: nothing more is written for it and its file goes.
            if (!step.partPath.isEmpty())
                dropPart(open, step.partPath);
            continue;
        }
        if (step.kind == Discard) {
            if (!step.partPath.isEmpty()) {
                dropPart(open, step.partPath);
            } else {
                while (!open.empty())
                    dropPart(open, open.begin()->first);
            }
            continue;
        }
        if (step.kind == Write) {
            PartFile &part = open[step.partPath];
            if (!part.file) {
                part.file = std::make_unique<QFile>(step.partPath);
                // Unbuffered: the bytes go to the kernel as they are, without another copy.
                part.failed = !part.file->open(QIODevice::WriteOnly | QIODevice::Truncate
                                               | QIODevice::Unbuffered);
            }
            if (!part.failed)
                part.failed = part.file->write(step.bytes) != step.bytes.size();
            continue;
        }
        // Commit.
        bool stored = false;
        const auto it = open.find(step.partPath);
        if (it == open.end()) {
            // An empty segment: no bytes came to open the file with.
            QFile empty(step.partPath);
            stored = empty.open(QIODevice::WriteOnly | QIODevice::Truncate)
                     && flushAndRename(empty, step.path);
        } else {
            stored = !it->second.failed && flushAndRename(*it->second.file, step.path);
            it->second.file->close();
            open.erase(it);
        }
        if (!stored)
            QFile::remove(step.partPath);
        const int round = step.round;
        const int segment = step.segment;
        QMetaObject::invokeMethod(
            this,
            [this, round, segment, stored] {
                if (round == m_round)
                    emit committed(segment, stored);
            },
            Qt::QueuedConnection);
    }
    while (!open.empty())
        dropPart(open, open.begin()->first);
}
