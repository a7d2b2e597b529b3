#pragma once

#include "base/platform/MessageTarget.h"
#include "station/JobAnswers.h"
#include "station/JobChain.h"
#include "station/OperatorDialogs.h"
#include "station/QueueStore.h"
#include "station/TaskKinds.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;
class TSharedSettings;
class TStationLog;
class TWorkerThread;

// The log line of a handled completion message: "Master for job 17 complete."
std::string CompletionLogText(TMessageNumber number, std::uint32_t jobReference);
// The same for a task's outcome: "Master for job 17 failed: REASON" when it failed.
std::string CompletionLogText(const TTaskMessage& completion);

// The queue status of a job whose task failed: "Failed at Master".
std::string FailedStatus(TTaskIndex task);
bool IsFailedStatus(const std::string& status);
// The post-queue status of a job while its deletion task runs.
extern const std::string DeletingStatus;

// What the task chain is doing: which task of which job, on which page.
struct TRunnerActivity {
    std::uint32_t JobReference = 0;
    TTaskIndex Task = MasterTask;
    // The page the task works on (from 1), 0 while it has named none.
    int Page = 0;
    // The job's pages; 0 when unknown.
    int PageCount = 0;
};

// "Web: page 2 of 3"; only the task's word ("Transfer") while it names no page.
std::string ActivityText(const TRunnerActivity& activity);

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
};

// The station's main loop without windows: the lists the window and
// tavrin-cli show (the queue, the post queue, the recipients of the selected
// queue entry), their operations, and the runner that carries the first
// queued job through its tasks, one worker thread after another. The
// catalogue statements are the queue store's, the chain's rules
// (JobChain.h) decide which task comes next. Everything here runs on the
// main thread; workers reach it only through HandleMessage. Catalogue errors
// of the list operations are raised.
class TQueueRunner final : public TMessageHandler {
public:
    // The target is where the tasks post; it must deliver to HandleMessage.
    // Each chain, deletion and fetch gets one context from newContext; the
    // lists come from the catalogue, the proof addresses from the settings.
    TQueueRunner(TMessageTarget& target, TStationLog& log, TOperatorDialogs& dialogs, TTaskKinds kinds,
                 TTaskContextMaker newContext, TCatalogueConnection& catalogue, const TSharedSettings& settings);
    // Waits for every task still running and releases it.
    ~TQueueRunner() override;
    TQueueRunner(const TQueueRunner&) = delete;
    TQueueRunner& operator=(const TQueueRunner&) = delete;

    void HandleMessage(TTaskMessage message) override;

    // The runner: Start (the operator's) takes the first queue row, also one
    // that failed before; Finish job moves a job to the post queue and starts
    // the next. A failed task stops its job's chain: the job stays queued as
    // "Failed at TASK" with the reason, and the runner goes on with the next
    // queued job that has not failed since the operator's last Start.
    void Start();
    void FinishJob(std::uint32_t jobReference);

    // Queue entries.
    void AddToQueue(std::uint32_t jobReference);
    void SetTaskSet(std::uint32_t jobReference, const std::string& taskSet);
    void RemoveFromQueue(std::uint32_t jobReference);
    std::string TaskSetOf(std::uint32_t jobReference) const;
    void ReloadQueueList();
    void ReloadPostQueueList();
    void ReloadRecipients();

    // Asks for confirmation, then deletes the selected post-queue job's
    // files on the web server and locally (a task beside the chain). The job
    // stays in the post queue ("Deleting") while the task runs; it leaves
    // when the task succeeds, and stays marked "Withdrawal failed: REASON"
    // when it fails, until a later deletion succeeds.
    void DeleteFromPostQueue();

    // What the main window does with the queue: add a job and select its row;
    // remove the selected row; select a row (returns the Actions level that
    // equals its task set, or -1); give the selected row a task set level;
    // tick a row; add and remove recipients of the selected row.
    void DropJob(std::uint32_t jobReference);
    void RemoveQueueRow();
    int SelectQueueRow(int row);
    void ChooseTaskLevel(int level);
    void SetQueueRowChecked(int row, bool checked);
    void AddRecipient(std::int32_t addressID, const std::string& email);
    void RemoveRecipient();
    void SelectPostQueueRow(int row) { SelectedPostRow = row; }
    void SelectRecipientRow(int row) { SelectedRecipient = row; }

    // Fetches the customers' answers of every post-queue job that was
    // transferred (or of the given jobs) over FTP, as a task beside the chain that never runs
    // together with another task: false, with a log line, while one runs,
    // the station closes, or there is nothing to fetch. A Start meanwhile
    // waits for the answers.
    bool RefreshAnswers();
    bool RefreshAnswers(const std::vector<std::uint32_t>& jobReferences);
    // The post-queue jobs whose proofs went to the web server: those that can have answers.
    std::vector<std::uint32_t> AnswerJobs() const;
    // The timer's refresh: only while no task runs and the post queue has
    // jobs, and silently skipped otherwise; its failure is only logged.
    bool RefreshAnswersIfIdle();
    bool RefreshingAnswers() const { return Refreshing; }
    // Adds the answers of a pasted mail to their jobs; the post queue then
    // shows their statuses. Raises catalogue errors.
    TMailAnswers AddAnswersFromMail(const std::string& mailText);

    // The address of the selected post-queue job's web page, or nothing
    // (after telling the operator why, where there is something to tell).
    std::optional<std::string> WebPageAddress();

    const std::vector<TQueueRow>& QueueRows() const { return Queue; }
    const std::vector<TPostQueueRow>& PostQueueRows() const { return PostQueue; }
    const std::vector<TRecipientRow>& RecipientRows() const { return Recipients; }
    int SelectedQueueRow() const { return SelectedRow; }
    int SelectedPostQueueRow() const { return SelectedPostRow; }
    int SelectedRecipientRow() const { return SelectedRecipient; }
    bool QueueControlsEnabled() const { return ControlsEnabled; }
    int TotalProgress() const { return Total; }
    int TaskProgress() const { return TaskPosition; }
    // Whether a task chain or a deletion task is running.
    bool HasRunningTasks() const { return !Running.Empty(); }
    // The chain's running task; nothing while the chain is idle (the bars are then at 0).
    const std::optional<TRunnerActivity>& Activity() const { return Current; }
    // What the station waits for before it can close: "Finishing Web for job
    // 12 before closing..."; empty when no task is running.
    std::string FinishingText() const;

    // The station is closing: no further task is started, and the log says
    // so when a task is still running. The front end then delivers messages
    // until HasRunningTasks is false, so that nothing is left half written.
    void BeginShutdown();

    TRunnerObserver* Observer = nullptr;

private:
    void HandleProgress(const TTaskMessage& message, int& position);
    void HandleCompletion(const TTaskMessage& message);
    void HandleFailure(const TTaskMessage& message, std::uint32_t jobReference, TTaskIndex task);
    void StartNext();
    void StoreStatus(std::uint32_t jobReference, const std::string& status, const std::string& reason);
    bool NotificationCheckPassed();
    void CreateChainTask(int task, std::uint32_t jobReference);
    void BeginActivity(TTaskIndex task, std::uint32_t jobReference);
    void EndActivity();
    void SetControlsEnabled(bool enabled);
    void StoreRecipients(std::uint32_t jobReference, const std::string& recipients);
    void Notify(void (TRunnerObserver::*change)());

    TMessageTarget& Target;
    TStationLog& Log;
    TOperatorDialogs& Dialogs;
    TTaskKinds Kinds;
    TTaskContextMaker NewContext;
    TCatalogueConnection& Catalogue;
    const TSharedSettings& Settings;
    // The context of the running chain: all its tasks work with the settings of its start.
    std::optional<TTaskContext> ChainContext;

    std::vector<TQueueRow> Queue;
    std::vector<TPostQueueRow> PostQueue;
    std::vector<TRecipientRow> Recipients;
    int SelectedRow = -1;
    int SelectedPostRow = -1;
    int SelectedRecipient = -1;
    bool ControlsEnabled = true;
    int Total = 0;
    int TaskPosition = 0;
    TQueueStore Store;
    TRunningTasks Running;
    std::optional<TRunnerActivity> Current;
    // Whether the answers task runs, and whether a Start waits for it.
    bool Refreshing = false;
    bool StartWaiting = false;
    // Whether an operator or a command asked for the running refresh, rather than the timer.
    bool AnswersAsked = false;
    void HandleAnswersDone(const TTaskMessage& message);
    void HandleDeletionDone(const TTaskMessage& message);
    // Starts the answers task; asked: an operator or a command wants to hear of its failure.
    bool BeginRefresh(const std::vector<std::uint32_t>& jobReferences, bool asked);
    // The jobs whose files a deletion task is removing.
    std::multiset<std::uint32_t> Deleting;
    // Jobs that failed since the operator last pressed Start: the automatic
    // continuation passes over them, so it never loops on one.
    std::set<std::uint32_t> FailedSinceStart;
    bool Closing = false;
};

}  // namespace tavrin
