#pragma once

#include "base/tasking/TaskSets.h"
#include "base/tasking/TaskThread.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// The rules of a job's chain of tasks, and the task threads while they run.

// The first task from the files the job already has: a ticked job begins
// with Master; otherwise Transfer, unless the web page (Web), an overview
// (Preview) or a master (Master) is missing, tested in that order. A job
// without a proper unique id has no files: Master meets it and says why.
TTaskIndex FirstTaskOf(TCatalogueConnection& catalogue, std::uint32_t jobReference, bool ticked);

// The task that follows a completed one when the task set names it; nothing
// when the job is through. Notify is always the last.
std::optional<TTaskIndex> NextTask(TTaskIndex completed, const std::string& taskSet);

// The task threads that run, each owned from its start until its completion
// is handled. Letting a thread go waits for it to end first, so no object is
// freed under a thread still posting; so does the owner's end.
class TRunningTasks {
public:
    // Takes the thread and starts it.
    void Start(std::unique_ptr<TTaskThread> thread);
    // Waits for the thread to end and frees it, also one started elsewhere:
    // its completion message hands it to whoever handles it.
    void Release(TWorkerThread* thread);
    bool Empty() const { return Threads.empty(); }

private:
    struct TWaitingDelete {
        void operator()(TWorkerThread* thread) const { TWorkerThread::Release(thread); }
    };
    std::vector<std::unique_ptr<TWorkerThread, TWaitingDelete>> Threads;
};

}  // namespace tavrin
