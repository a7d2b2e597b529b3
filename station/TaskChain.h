#pragma once

#include "base/platform/MessageTarget.h"
#include "base/tasking/TaskContext.h"
#include "base/tasking/TaskSets.h"
#include "station/RunnerObserver.h"

#include <cstdint>
#include <optional>
#include <set>

namespace tavrin {

class TAnswersRefresh;
class TOperatorDialogs;
class TQueueLists;
class TQueueStore;
class TRunnerProgress;
class TStationLog;
struct TRunnerTasks;

// The chain: carries the first queued job through its tasks, one worker
// thread after another, by the rules of JobChain.h; the queue's controls are
// disabled while it runs. Start (the operator's) takes the first queue row,
// also one that failed before; Finish job moves a job to the post queue and
// starts the next. A failed task stops its job's chain: the job stays queued
// as "Failed at TASK" with the reason, and the chain goes on with the next
// queued job that has not failed since the operator's last Start. While the
// answers are fetched, a start waits for them. The question about jobs that
// would notify nobody is asked once, at the operator's Start: after a Yes,
// such a job ends in the post queue without its Notify task, as uploaded
// and not mailed; the continuation after each job never asks again.
class TTaskChain {
public:
    TTaskChain(TRunnerTasks& tasks, TQueueLists& lists, TQueueStore& store, TRunnerProgress& progress,
               TAnswersRefresh& answers, TStationLog& log, TOperatorDialogs& dialogs, const TRunnerNotices& notices);

    void Start();
    // The first queued job that has not failed since the operator's Start.
    void StartNext();
    void FinishJob(std::uint32_t jobReference);
    // A chain task's completion: the next task its job's task set names, or
    // the job's end.
    void HandleCompletion(const TTaskMessage& message);

    bool ControlsEnabled() const { return Enabled; }

private:
    void HandleFailure(const TTaskMessage& message, std::uint32_t jobReference, TTaskIndex task);
    bool NotificationCheckPassed();
    void Stopped();
    void CreateTask(int task, std::uint32_t jobReference);
    void BeginActivity(TTaskIndex task, std::uint32_t jobReference);
    void SetControlsEnabled(bool enabled);

    TRunnerTasks& Tasks;
    TQueueLists& Lists;
    TQueueStore& Store;
    TRunnerProgress& Progress;
    TAnswersRefresh& Answers;
    TStationLog& Log;
    TOperatorDialogs& Dialogs;
    const TRunnerNotices& Notices;

    bool Enabled = true;
    // The context of the running chain: all its tasks work with the settings of its start.
    std::optional<TTaskContext> ChainContext;
    // Jobs that failed since the operator last pressed Start: the automatic
    // continuation passes over them, so it never loops on one.
    std::set<std::uint32_t> FailedSinceStart;
    // The operator said Yes at the last Start to jobs that notify nobody.
    bool NotifyingNobodyAgreed = false;
};

}  // namespace tavrin
