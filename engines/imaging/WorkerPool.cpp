#include "engines/imaging/WorkerPool.h"

#include <chrono>

namespace tavrin {

TWorkerPool::TWorkerPool(unsigned threads)
{
    for (unsigned i = 0; i < threads; ++i)
        Workers.emplace_back([this] { WorkerLoop(); });
}

TWorkerPool::~TWorkerPool()
{
    {
        std::lock_guard lock(Mutex);
        Stopping = true;
        Urgent.clear();
        Queued.clear();
    }
    WorkArrived.notify_all();
    for (std::thread& worker : Workers)
        worker.join();
}

std::future<void> TWorkerPool::Submit(std::function<void()> job)
{
    std::packaged_task<void()> task(std::move(job));
    std::future<void> done = task.get_future();
    if (Workers.empty()) {
        task();
        return done;
    }
    {
        std::lock_guard lock(Mutex);
        Queued.push_back(std::move(task));
    }
    WorkArrived.notify_one();
    Changed.notify_all();
    return done;
}

void TWorkerPool::WaitHelping(const std::shared_future<void>& done)
{
    std::unique_lock lock(Mutex);
    while (done.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        auto& from = !Urgent.empty() ? Urgent : Queued;
        if (from.empty()) {
            Changed.wait(lock);
            continue;
        }
        std::packaged_task<void()> job = std::move(from.front());
        from.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

void TWorkerPool::JobEnded()
{
    {
        // Taken so that a waiter between its check and its wait hears this.
        std::lock_guard lock(Mutex);
    }
    Changed.notify_all();
}

void TWorkerPool::RunAll(std::vector<std::function<void()>>& jobs)
{
    std::vector<std::future<void>> done;
    done.reserve(jobs.size());
    {
        std::lock_guard lock(Mutex);
        for (auto& job : jobs) {
            std::packaged_task<void()> task(std::move(job));
            done.push_back(task.get_future());
            Urgent.push_back(std::move(task));
        }
    }
    WorkArrived.notify_all();
    // The owner takes its share rather than wait idle.
    std::packaged_task<void()> task;
    while (TakeUrgent(task))
        task();
    for (auto& future : done)
        future.wait();
    for (auto& future : done)
        future.get();
}

bool TWorkerPool::TakeUrgent(std::packaged_task<void()>& job)
{
    std::lock_guard lock(Mutex);
    if (Urgent.empty())
        return false;
    job = std::move(Urgent.front());
    Urgent.pop_front();
    return true;
}

void TWorkerPool::WorkerLoop()
{
    for (;;) {
        std::packaged_task<void()> job;
        {
            std::unique_lock lock(Mutex);
            WorkArrived.wait(lock, [this] { return Stopping || !Urgent.empty() || !Queued.empty(); });
            if (Stopping)
                return;
            auto& from = !Urgent.empty() ? Urgent : Queued;
            job = std::move(from.front());
            from.pop_front();
        }
        job();
        JobEnded();
    }
}

}  // namespace tavrin
