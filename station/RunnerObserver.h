#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// A fetch brought a job answers the catalogue did not have before.
struct TAnswerNews {
    std::uint32_t JobReference = 0;
    std::size_t Count = 0;     // the new answer records
    std::string AnswerStatus;  // the job's status word after the fetch: "Changes requested"
};

// Told when something the windows show has changed.
class TRunnerObserver {
public:
    virtual ~TRunnerObserver() = default;
    virtual void QueueChanged() {}
    virtual void PostQueueChanged() {}
    virtual void RecipientsChanged() {}
    virtual void ProgressChanged() {}
    virtual void QueueControlsChanged() {}
    // A task started or ended, or the running one turned to another page.
    virtual void ActivityChanged() {}
    // A task failed; its job's chain has stopped. task is the task's word
    // ("Master" .. "Notify", "Deletion", "Fetching answers"); the job
    // reference is 0 for a task about several jobs.
    virtual void TaskFailed(std::uint32_t /*jobReference*/, const std::string& /*task*/, const std::string& /*reason*/)
    {
    }
    // A fetch of answers brought news, one entry per job (the log has a line for each already).
    virtual void AnswersArrived(const std::vector<TAnswerNews>& /*news*/) {}
    // A task of the chain failed; the chain goes on with the next queued job.
    // Told as TaskFailed unless a front end gathers a Start's failures.
    virtual void ChainTaskFailed(std::uint32_t jobReference, const std::string& task, const std::string& reason)
    {
        TaskFailed(jobReference, task, reason);
    }
    // The chain has no further job to run: what a Start set going has ended.
    virtual void ChainStopped() {}
};

// How the runner's parts reach the observer a front end set on the runner:
// they hold the runner's pointer, so an observer set or cleared later is the
// one told.
class TRunnerNotices {
public:
    explicit TRunnerNotices(TRunnerObserver* const& observer) : Observer(observer) {}

    void Tell(void (TRunnerObserver::*change)()) const
    {
        if (Observer)
            (Observer->*change)();
    }
    void TaskFailed(std::uint32_t jobReference, const std::string& task, const std::string& reason) const
    {
        if (Observer)
            Observer->TaskFailed(jobReference, task, reason);
    }

    void AnswersArrived(const std::vector<TAnswerNews>& news) const
    {
        if (Observer)
            Observer->AnswersArrived(news);
    }
    void ChainTaskFailed(std::uint32_t jobReference, const std::string& task, const std::string& reason) const
    {
        if (Observer)
            Observer->ChainTaskFailed(jobReference, task, reason);
    }

private:
    TRunnerObserver* const& Observer;
};

}  // namespace tavrin
