#include "station/TaskChain.h"

#include "base/platform/WorkerThread.h"
#include "base/tasking/StationLog.h"
#include "station/AnswersRefresh.h"
#include "station/JobChain.h"
#include "station/OperatorDialogs.h"
#include "station/QueueLists.h"
#include "station/QueueStore.h"
#include "station/RunnerProgress.h"
#include "station/RunnerTasks.h"
#include "station/RunnerTexts.h"

#include <algorithm>

namespace tavrin {

TTaskChain::TTaskChain(TRunnerTasks& tasks, TQueueLists& lists, TQueueStore& store, TRunnerProgress& progress,
                       TAnswersRefresh& answers, TStationLog& log, TOperatorDialogs& dialogs,
                       const TRunnerNotices& notices)
    : Tasks(tasks), Lists(lists), Store(store), Progress(progress), Answers(answers), Log(log), Dialogs(dialogs),
      Notices(notices)
{
}

void TTaskChain::SetControlsEnabled(bool enabled)
{
    Enabled = enabled;
    Notices.Tell(&TRunnerObserver::QueueControlsChanged);
}

bool TTaskChain::NotificationCheckPassed()
{
    if (!Store.SomeJobNotifiesNobody())
        return true;
    NotifyingNobodyAgreed =
        Dialogs.AskYesNo(NotifyWithoutRecipientsCaption, NotifyWithoutRecipientsQuestion, TDialogIcon::Warning);
    return NotifyingNobodyAgreed;
}

void TTaskChain::Stopped()
{
    Notices.Tell(&TRunnerObserver::ChainStopped);
}

void TTaskChain::Start()
{
    FailedSinceStart.clear();
    NotifyingNobodyAgreed = false;
    // Asked here and only here: the chain's own continuation, or a start
    // held for the answers, would otherwise ask again, over a box left open.
    if (!NotificationCheckPassed()) {
        Stopped();
        return;
    }
    if (Answers.Fetching())
        Log.Log("The queue starts once the answers are fetched.");
    StartNext();
}

void TTaskChain::StartNext()
{
    if (Tasks.Closing)
        return;
    if (Answers.Fetching()) {
        // One session at a time on the shop's server: the queue follows the answers.
        Answers.HoldStart();
        return;
    }
    const std::vector<TQueueRow>& queue = Lists.QueueRows();
    const auto next = std::find_if(queue.begin(), queue.end(),
                                   [&](const TQueueRow& row) { return !FailedSinceStart.count(row.JobReference); });
    if (next == queue.end()) {
        Stopped();
        return;
    }
    // Taken out of the row: the lists change under it from here on.
    const std::uint32_t job = next->JobReference;
    const bool failedBefore = IsFailedStatus(next->Status);
    const int first = FirstTaskOf(Tasks.Catalogue, job, next->Checked);
    if (first > TaskSetLevel(next->Tasks)) {
        Stopped();
        return;  // stays until ticked, given more tasks or removed
    }
    if (failedBefore)
        Lists.StoreStatus(job, "new", "");
    SetControlsEnabled(false);
    ChainContext.reset();  // a new chain starts with the settings as they are now
    CreateTask(first, job);
}

void TTaskChain::FinishJob(std::uint32_t jobReference)
{
    Lists.MoveToPostQueue(jobReference);
    SetControlsEnabled(true);
    StartNext();
}

// 1. Log the completion. 2. Release the thread. 3. Look up the job's task set
// in the queue list. 4. Start the next task it names, or finish the job. A
// failed task ends its job's chain instead.
void TTaskChain::HandleCompletion(const TTaskMessage& message)
{
    Log.Log(CompletionLogText(message));
    const std::uint32_t reference = static_cast<TTaskThread*>(message.Thread)->JobReference();
    Tasks.Running.Release(message.Thread);
    Progress.End();
    const auto task = static_cast<TTaskIndex>(message.Number - WM_MASTER_DONE);
    if (message.Failed) {
        HandleFailure(message, reference, task);
        return;
    }
    if (Tasks.Closing)
        return;
    if (const std::optional<TTaskIndex> next = NextTask(task, Lists.TaskSetOf(reference)))
        CreateTask(*next, reference);
    else
        FinishJob(reference);
}

// The job stays queued with its failure, so the operator sees it and a later
// Start can take it up again; the queue goes on without it.
void TTaskChain::HandleFailure(const TTaskMessage& message, std::uint32_t jobReference, TTaskIndex task)
{
    FailedSinceStart.insert(jobReference);
    Lists.StoreStatus(jobReference, FailedStatus(task), message.FailureReason);
    Notices.ChainTaskFailed(jobReference, TaskWords[static_cast<std::size_t>(task)], message.FailureReason);
    SetControlsEnabled(true);
    if (!Tasks.Closing)
        StartNext();
}

void TTaskChain::CreateTask(int task, std::uint32_t jobReference)
{
    if (Tasks.Closing)
        return;  // the job stays queued and goes on at the next start
    const TTaskFactory& factory = Tasks.Kinds.Chain[static_cast<std::size_t>(task)];
    if (!factory) {
        // The chain cannot go further in this build: the job is done as far as it can be.
        Log.Log("The " + TaskWords[static_cast<std::size_t>(task)] + " task is not available; job " +
                std::to_string(jobReference) + " ends here.");
        FinishJob(jobReference);
        return;
    }
    if (task == NotifyTask && NotifyingNobodyAgreed && Store.Recipients(jobReference).empty()) {
        // The operator chose this at Start: the proof is on line, and a mail to nobody is no failure.
        Log.Log(NotifiedNobodyLogText(jobReference));
        FinishJob(jobReference);
        return;
    }
    if (!ChainContext || ChainContext->JobReference() != jobReference)
        ChainContext.emplace(Tasks.NewContext(jobReference));
    Tasks.Running.Start(factory(Tasks.Target, *ChainContext));
    BeginActivity(static_cast<TTaskIndex>(task), jobReference);
}

void TTaskChain::BeginActivity(TTaskIndex task, std::uint32_t jobReference)
{
    TRunnerActivity activity{jobReference, task, 0, 0};
    for (const TQueueRow& row : Lists.QueueRows())
        if (row.JobReference == jobReference)
            activity.PageCount = row.PageCount;
    Progress.Begin(activity);
}

}  // namespace tavrin
