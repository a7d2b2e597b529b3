#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace tavrin {

// A few threads that run jobs for the thread that owns the pool. Jobs given
// to RunAll go before those queued with Submit, and the owner works on them
// too instead of only waiting. Threads inherit the owner's scheduling class,
// so an idle-priority task stays idle with its helpers.
class TWorkerPool {
public:
    // With 0 threads every job runs on the calling thread at once.
    explicit TWorkerPool(unsigned threads);
    // Waits for the running jobs; queued ones are dropped (their futures
    // report a broken promise).
    ~TWorkerPool();
    TWorkerPool(const TWorkerPool&) = delete;
    TWorkerPool& operator=(const TWorkerPool&) = delete;

    unsigned Threads() const { return static_cast<unsigned>(Workers.size()); }

    // Queues a job; its future gives its end and carries its exception.
    std::future<void> Submit(std::function<void()> job);

    // Runs the jobs to their end on the workers and the calling thread and
    // rethrows the first exception any of them raised.
    void RunAll(std::vector<std::function<void()>>& jobs);

    // Waits until done is ready, running queued jobs meanwhile.
    void WaitHelping(const std::shared_future<void>& done);

private:
    bool TakeUrgent(std::packaged_task<void()>& job);
    void WorkerLoop();
    void JobEnded();

    std::mutex Mutex;
    std::condition_variable WorkArrived;
    std::condition_variable Changed;  // a job ended or was queued
    std::deque<std::packaged_task<void()>> Urgent;
    std::deque<std::packaged_task<void()>> Queued;
    bool Stopping = false;
    std::vector<std::thread> Workers;
};

}  // namespace tavrin
