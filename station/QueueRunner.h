#pragma once

#include "base/platform/MessageTarget.h"
#include "station/AnswersRefresh.h"
#include "station/JobAnswers.h"
#include "station/OperatorDialogs.h"
#include "station/PostQueueActions.h"
#include "station/QueueLists.h"
#include "station/QueueStore.h"
#include "station/ReminderSchedule.h"
#include "station/RunnerObserver.h"
#include "station/RunnerProgress.h"
#include "station/RunnerTasks.h"
#include "station/RunnerTexts.h"
#include "station/TaskChain.h"
#include "station/TaskKinds.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

class TStationLog;

// The station's main loop without windows, as the window and tavrin-cli use
// it: the lists they show with their operations (QueueLists.h), the task
// chain that carries the first queued job through its tasks (TaskChain.h),
// the post queue's deletion and web page (PostQueueActions.h), the fetching
// of answers (AnswersRefresh.h) and the progress (RunnerProgress.h). It
// routes the tasks' messages to the part whose task posted them. Everything
// here runs on the main thread; workers reach it only through HandleMessage.
// Catalogue errors of the list operations are raised.
class TQueueRunner final : public TMessageHandler {
public:
    // The target is where the tasks post; it must deliver to HandleMessage.
    // Each chain, deletion and fetch gets one context from newContext; the
    // lists come from the catalogue, the proof addresses from the settings;
    // the clock tells the day for the reminders and the sent times.
    TQueueRunner(TMessageTarget& target, TStationLog& log, TOperatorDialogs& dialogs, TTaskKinds kinds,
                 TTaskContextMaker newContext, TCatalogueConnection& catalogue, const TSharedSettings& settings,
                 TLocalClock clock = LocalNow);
    // Waits for every task still running and releases it.
    ~TQueueRunner() override;
    TQueueRunner(const TQueueRunner&) = delete;
    TQueueRunner& operator=(const TQueueRunner&) = delete;

    void HandleMessage(TTaskMessage message) override;

    // The chain (TaskChain.h).
    void Start() { Chain.Start(); }
    void FinishJob(std::uint32_t jobReference) { Chain.FinishJob(jobReference); }
    bool QueueControlsEnabled() const { return Chain.ControlsEnabled(); }

    // The lists and their operations (QueueLists.h).
    void AddToQueue(std::uint32_t jobReference) { Lists.AddToQueue(jobReference); }
    void SetTaskSet(std::uint32_t jobReference, const std::string& taskSet) { Lists.SetTaskSet(jobReference, taskSet); }
    void RemoveFromQueue(std::uint32_t jobReference) { Lists.RemoveFromQueue(jobReference); }
    std::string TaskSetOf(std::uint32_t jobReference) const { return Lists.TaskSetOf(jobReference); }
    void ReloadQueueList() { Lists.ReloadQueueList(); }
    void ReloadPostQueueList() { Lists.ReloadPostQueueList(); }
    void ReloadRecipients() { Lists.ReloadRecipients(); }
    void DropJob(std::uint32_t jobReference) { Lists.DropJob(jobReference); }
    void DropJobAskingRound(std::uint32_t jobReference) { Lists.DropJobAskingRound(jobReference); }
    void LinkRound(std::uint32_t later, std::uint32_t earlier) { Lists.LinkRound(later, earlier); }
    void RemoveQueueRow() { Lists.RemoveQueueRow(); }
    bool SetDueDate(std::uint32_t jobReference, std::optional<TCalendarDate> due)
    {
        return Lists.SetDueDate(jobReference, due);
    }
    int SelectQueueRow(int row) { return Lists.SelectQueueRow(row); }
    void ChooseTaskLevel(int level) { Lists.ChooseTaskLevel(level); }
    void SetQueueRowChecked(int row, bool checked) { Lists.SetQueueRowChecked(row, checked); }
    void AddRecipient(std::int32_t addressID, const std::string& email) { Lists.AddRecipient(addressID, email); }
    void RemoveRecipient() { Lists.RemoveRecipient(); }
    void SelectPostQueueRow(int row) { Lists.SelectPostQueueRow(row); }
    void SelectRecipientRow(int row) { Lists.SelectRecipientRow(row); }
    const std::vector<TQueueRow>& QueueRows() const { return Lists.QueueRows(); }
    const std::vector<TPostQueueRow>& PostQueueRows() const { return Lists.PostQueueRows(); }
    const std::vector<TRecipientRow>& RecipientRows() const { return Lists.RecipientRows(); }
    int SelectedQueueRow() const { return Lists.SelectedQueueRow(); }
    int SelectedPostQueueRow() const { return Lists.SelectedPostQueueRow(); }
    int SelectedRecipientRow() const { return Lists.SelectedRecipientRow(); }

    // The selected post-queue job (PostQueueActions.h).
    void DeleteFromPostQueue() { PostQueue.DeleteSelected(); }
    std::optional<std::string> WebPageAddress() { return PostQueue.WebPageAddress(); }

    // The customers' answers (AnswersRefresh.h).
    bool RefreshAnswers() { return Answers.Refresh(); }
    bool RefreshAnswers(const std::vector<std::uint32_t>& jobReferences) { return Answers.Refresh(jobReferences); }
    bool RefreshAnswersIfIdle() { return Answers.RefreshIfIdle(); }
    bool RefreshingAnswers() const { return Answers.Fetching(); }
    // The post-queue jobs whose proofs went to the web server: those that can have answers.
    std::vector<std::uint32_t> AnswerJobs() const { return Lists.AnswerJobs(); }
    // Adds the answers of a pasted mail to their jobs; the post queue then
    // shows their statuses. Raises catalogue errors.
    TMailAnswers AddAnswersFromMail(const std::string& mailText);

    // The bars and the chain's running task (RunnerProgress.h).
    int TotalProgress() const { return Progress.Total(); }
    int TaskProgress() const { return Progress.Task(); }
    const std::optional<TRunnerActivity>& Activity() const { return Progress.Activity(); }

    // Whether a task chain, a deletion or a fetch of answers is running.
    bool HasRunningTasks() const { return Tasks.Busy(); }
    // What the station waits for before it can close: "Finishing Web for job
    // 12 before closing..."; empty when no task is running.
    std::string FinishingText() const;

    // The station is closing: no further task is started, and the log says
    // so when a task is still running. The front end then delivers messages
    // until HasRunningTasks is false, so that nothing is left half written.
    void BeginShutdown();

    TRunnerObserver* Observer = nullptr;

private:
    TStationLog& Log;
    TRunnerNotices Notices{Observer};
    TQueueStore Store;
    TRunnerTasks Tasks;
    TRunnerProgress Progress;
    TQueueLists Lists;
    TAnswersRefresh Answers;
    TReminderSchedule Reminders;
    TPostQueueActions PostQueue;
    TTaskChain Chain;
};

}  // namespace tavrin
