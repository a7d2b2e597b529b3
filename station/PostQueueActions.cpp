#include "station/PostQueueActions.h"

#include "base/catalogue/OutputLayout.h"
#include "base/settings/SharedSettings.h"
#include "base/tasking/StationLog.h"
#include "base/tasking/TaskSets.h"
#include "station/AnswersRefresh.h"
#include "station/OperatorDialogs.h"
#include "station/QueueLists.h"
#include "station/QueueStore.h"
#include "station/RunnerTasks.h"
#include "station/RunnerTexts.h"

#include <stdexcept>

namespace tavrin {

TPostQueueActions::TPostQueueActions(TRunnerTasks& tasks, TQueueLists& lists, TQueueStore& store,
                                     const TAnswersRefresh& answers, TStationLog& log, TOperatorDialogs& dialogs,
                                     const TRunnerNotices& notices)
    : Tasks(tasks), Lists(lists), Store(store), Answers(answers), Log(log), Dialogs(dialogs), Notices(notices)
{
}

void TPostQueueActions::DeleteSelected()
{
    if (Answers.Fetching()) {
        // The answers task may be reading the very folder.
        Dialogs.Tell("Fetching answers", "The answers are being fetched. Please delete the job once that is done.",
                     TDialogIcon::Information);
        return;
    }
    if (!Dialogs.AskYesNo("Confimation", "Are you sure you want to delete all files for this job?",
                          TDialogIcon::Question))
        return;
    const std::optional<std::uint32_t> selected = Lists.SelectedPostQueueJob();
    if (!selected)
        return;
    const std::uint32_t reference = *selected;
    if (Tasks.Deleting.count(reference)) {
        Dialogs.Tell("Deleting", "Job " + std::to_string(reference) + " is being deleted already.",
                     TDialogIcon::Information);
        return;
    }
    // The row stays until the task has really taken the job away: a
    // deletion that fails leaves the job where the operator can try again.
    if (Tasks.Kinds.Deletion && !Tasks.Closing) {
        Tasks.Running.Start(Tasks.Kinds.Deletion(Tasks.Target, Tasks.NewContext(reference)));
        Tasks.Deleting.insert(reference);
    } else
        Log.Log("The deletion task is not available; the files of job " + std::to_string(reference) + " stay.");
    Lists.ReloadPostQueueList();
}

/*
 * 1. Log the completion and release the thread.
 * 2. Done: the job leaves the post queue. Failed: it stays, marked with the
 *    reason, in the catalogue too, so that a restart still shows it.
 * 3. Show the post queue as it now is.
 */
void TPostQueueActions::HandleDeletionDone(const TTaskMessage& message)
{
    Log.Log(CompletionLogText(message));
    Tasks.Running.Release(message.Thread);
    const std::uint32_t reference = message.JobReference;
    if (const auto deleting = Tasks.Deleting.find(reference); deleting != Tasks.Deleting.end())
        Tasks.Deleting.erase(deleting);
    try {
        if (message.Failed)
            Store.SetWithdrawalFailure(reference, message.FailureReason);
        else
            Store.RemoveFromPostQueue(reference);
    } catch (const std::exception& error) {
        Log.Log("Could not record the deletion of job " + std::to_string(reference) +
                " in the post queue: " + error.what());
    }
    try {
        Lists.ReloadPostQueueList();
    } catch (const std::exception& error) {
        Log.Log("Could not reload the post queue: " + std::string(error.what()));
    }
    if (message.Failed)
        Notices.TaskFailed(reference, "Deletion", message.FailureReason);
    Notices.Tell(&TRunnerObserver::ActivityChanged);
}

std::optional<std::string> TPostQueueActions::WebPageAddress()
{
    const std::optional<std::uint32_t> selected = Lists.SelectedPostQueueJob();
    if (!selected) {
        Dialogs.Tell("Error", "Please select a job", TDialogIcon::Warning);
        return std::nullopt;
    }
    const std::uint32_t job = *selected;
    const std::string reference = std::to_string(job);
    if (!TaskSetNames(Store.FinishedTaskSet(job), TransferTask)) {
        Dialogs.Tell("Browse Error", "This job was never transferred", TDialogIcon::Warning);
        return std::nullopt;
    }
    const std::string uniqueID = Store.UniqueIDOf(job);
    if (!IsUniqueID(uniqueID)) {
        Dialogs.Tell("Browse Error",
                     "Job " + reference + " has no web page: its unique id \"" + uniqueID + "\" is not 17 digits",
                     TDialogIcon::Warning);
        return std::nullopt;
    }
    try {
        return JobWebAddress(Tasks.Settings.Copy().WebRoot, uniqueID, Store.SecretOf(job)) + "index.html";
    } catch (const std::invalid_argument& error) {
        Dialogs.Tell("Browse Error", "Job " + reference + " has no web page: " + std::string(error.what()),
                     TDialogIcon::Warning);
        return std::nullopt;
    }
}

}  // namespace tavrin
