#pragma once

#include <httplib.h>

// The server's worker pool, with raw request recording switched on around each connection.
class RecordingTaskQueue : public httplib::TaskQueue
{
public:
    explicit RecordingTaskQueue(size_t threads);

    void enqueue(std::function<void()> work) override;
    void shutdown() override;

private:
    httplib::ThreadPool m_pool;
};
