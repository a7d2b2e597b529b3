#pragma once

#include "platform/MessageTarget.h"
#include "platform/WorkerThread.h"

#include <cstdint>
#include <string>

namespace tavrin {

// The base of every task: a worker thread that reports to the main thread
// only by posting messages, and posts its completion message exactly once as
// its very last action, also when the task failed or threw.
class TTaskThread : public TWorkerThread {
public:
    TTaskThread(TMessageTarget& target, std::uint32_t jobReference, TMessageNumber completion);

    std::uint32_t JobReference() const { return Reference; }

protected:
    // The task's work; an exception that escapes is logged by the base.
    virtual void Run() = 0;

    // Posts WM_TOTAL_PROGRESS: a log line (may be empty) and the total bar (-1: no change).
    void PostLogText(const std::string& text, int totalProgress = -1);

    // Posts WM_TASK_PROGRESS: a log line (may be empty) and the task bar (-1: no change).
    void PostTaskText(const std::string& text, int taskProgress = -1);

private:
    void Execute() final;

    TMessageTarget& Target;
    const std::uint32_t Reference;
    const TMessageNumber CompletionNumber;
};

}  // namespace tavrin
