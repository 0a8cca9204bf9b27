#include "RecordingTaskQueue.h"

#include "RawRequestHeads.h"

RecordingTaskQueue::RecordingTaskQueue(size_t threads)
    : m_pool(threads)
{
}

void RecordingTaskQueue::enqueue(std::function<void()> work)
{
    // Each task serves one connection from accept to close on one thread.
    m_pool.enqueue([work = std::move(work)] {
        RawRequestHeads::beginRecording();
        work();
        RawRequestHeads::endRecording();
    });
}

void RecordingTaskQueue::shutdown() { m_pool.shutdown(); }
