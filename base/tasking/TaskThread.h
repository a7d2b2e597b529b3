#pragma once

#include "base/platform/MessageTarget.h"
#include "base/platform/WorkerThread.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

// The base of every task: a worker thread that reports to the main thread
// only by posting messages, and posts its completion message exactly once as
// its very last action, also when the task failed or threw. The completion
// carries the outcome: a task that did not do its whole work has failed, and
// says why.
class TTaskThread : public TWorkerThread {
public:
    TTaskThread(TMessageTarget& target, std::uint32_t jobReference, TMessageNumber completion);

    std::uint32_t JobReference() const { return Reference; }

protected:
    // The task's work. It fails when it calls Fail, when an exception escapes
    // (its text is the reason), or when an error box was raised on its thread
    // (libtiff, the master reader): such boxes become log lines, and the first
    // one is the reason unless the task gave its own.
    virtual void Run() = 0;

    // Marks the task failed; the first reason given is the one reported.
    void Fail(const std::string& reason);
    bool HasFailed() const { return Failure.has_value(); }

    // Posts WM_TOTAL_PROGRESS: a log line (may be empty) and the total bar (-1: no change).
    void PostLogText(const std::string& text, int totalProgress = -1);

    // Posts WM_TASK_PROGRESS: a log line (may be empty) and the task bar (-1: no change).
    void PostTaskText(const std::string& text, int taskProgress = -1);

    // From now on every text the task posts, and its failure reason, show
    // the secret cut to its first few characters: the log is kept for a
    // month and read by many, and the secret opens the customer's proof.
    void HideInLog(const std::string& secret);

    // Posts WM_TASK_PROGRESS without a log line or a bar position: the task
    // now works on this page (from 1), so the queue can show which.
    void PostPage(int page);

private:
    void Execute() final;
    // The text with every hidden secret shortened.
    std::string Shown(std::string text) const;

    TMessageTarget& Target;
    const std::uint32_t Reference;
    const TMessageNumber CompletionNumber;
    std::optional<std::string> Failure;
    std::vector<std::string> HiddenSecrets;
};

}  // namespace tavrin
