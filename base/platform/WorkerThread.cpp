#include "base/platform/WorkerThread.h"

#include "base/platform/ProcessPriority.h"

namespace tavrin {

TWorkerThread::~TWorkerThread()
{
    // A derived object is already gone here; Release waits before deleting,
    // this only keeps std::thread from terminating the process.
    WaitFor();
}

void TWorkerThread::Start()
{
    Thread = std::thread([this] {
        SetCurrentThreadIdlePriority();
        Execute();
    });
}

void TWorkerThread::WaitFor()
{
    if (Thread.joinable() && Thread.get_id() != std::this_thread::get_id())
        Thread.join();
}

void TWorkerThread::Release(TWorkerThread* thread)
{
    if (!thread)
        return;
    thread->WaitFor();
    delete thread;
}

}  // namespace tavrin
