#include "station/QueueRunner.h"

#include "base/catalogue/OutputLayout.h"
#include "base/platform/WorkerThread.h"
#include "base/settings/SharedSettings.h"
#include "base/tasking/StationLog.h"

#include <algorithm>
#include <stdexcept>

namespace tavrin {

namespace {

const std::string Notification = "One or more jobs has notification selected,\r\nbut does not have any recipients "
                                 "listed.\r\nWould you like to continue?";

std::string Decimal(std::uint32_t number)
{
    return std::to_string(number);
}

}  // namespace

std::string CompletionLogText(TMessageNumber number, std::uint32_t jobReference)
{
    const char* prefix = "Notification for job ";
    switch (number) {
    case WM_MASTER_DONE: prefix = "Master for job "; break;
    case WM_PREVIEW_DONE: prefix = "Preview for job "; break;
    case WM_WEB_DONE: prefix = "Web files for job "; break;
    case WM_TRANSFER_DONE: prefix = "Transfer for job "; break;
    case WM_DELETE_DONE: prefix = "Deletion from FTP server for job "; break;
    case WM_ANSWERS_DONE:
        return jobReference ? "Fetching the answers of job " + Decimal(jobReference) + " complete."
                            : "Fetching the answers complete.";
    default: break;
    }
    return prefix + Decimal(jobReference) + " complete.";
}

std::string CompletionLogText(const TTaskMessage& completion)
{
    std::string text = CompletionLogText(completion.Number, completion.JobReference);
    if (completion.Failed)
        text = text.substr(0, text.size() - std::string("complete.").size()) + "failed: " + completion.FailureReason;
    return text;
}

std::string FailedStatus(TTaskIndex task)
{
    return "Failed at " + TaskWords[static_cast<std::size_t>(task)];
}

const std::string DeletingStatus = "Deleting";

bool IsFailedStatus(const std::string& status)
{
    return status.rfind("Failed at ", 0) == 0;
}

std::string ActivityText(const TRunnerActivity& activity)
{
    std::string text = TaskWords[static_cast<std::size_t>(activity.Task)];
    if (activity.Page > 0) {
        text += ": page " + Decimal(static_cast<std::uint32_t>(activity.Page));
        if (activity.PageCount > 0)
            text += " of " + Decimal(static_cast<std::uint32_t>(activity.PageCount));
    }
    return text;
}

TQueueRunner::TQueueRunner(TMessageTarget& target, TStationLog& log, TOperatorDialogs& dialogs, TTaskKinds kinds,
                           TTaskContextMaker newContext, TCatalogueConnection& catalogue,
                           const TSharedSettings& settings)
    : Target(target), Log(log), Dialogs(dialogs), Kinds(std::move(kinds)), NewContext(std::move(newContext)),
      Catalogue(catalogue), Settings(settings), Store(catalogue)
{
}

TQueueRunner::~TQueueRunner() = default;  // the running tasks are waited for as they go

void TQueueRunner::Notify(void (TRunnerObserver::*change)())
{
    if (Observer)
        (Observer->*change)();
}

void TQueueRunner::SetControlsEnabled(bool enabled)
{
    ControlsEnabled = enabled;
    Notify(&TRunnerObserver::QueueControlsChanged);
}

// ---- Messages ---------------------------------------------------------------

void TQueueRunner::HandleMessage(TTaskMessage message)
{
    switch (message.Number) {
    case WM_TOTAL_PROGRESS: HandleProgress(message, Total); break;
    case WM_TASK_PROGRESS: HandleProgress(message, TaskPosition); break;
    case WM_DELETE_DONE: HandleDeletionDone(message); break;
    case WM_ANSWERS_DONE: HandleAnswersDone(message); break;
    default:
        if (message.IsCompletion())
            HandleCompletion(message);
        break;
    }
}

void TQueueRunner::HandleProgress(const TTaskMessage& message, int& position)
{
    if (message.Page > 0 && Current) {
        Current->Page = message.Page;
        Notify(&TRunnerObserver::ActivityChanged);
    }
    if (message.Position >= 0) {
        position = message.Position;
        Notify(&TRunnerObserver::ProgressChanged);
    }
    if (message.Text && !message.Text->empty())
        Log.Log(*message.Text);
}

// 1. Log the completion. 2. Release the thread. 3. Look up the job's task set
// in the queue list. 4. Start the next task it names, or finish the job. A
// failed task ends its job's chain instead.
void TQueueRunner::HandleCompletion(const TTaskMessage& message)
{
    Log.Log(CompletionLogText(message));
    const std::uint32_t reference = static_cast<TTaskThread*>(message.Thread)->JobReference();
    Running.Release(message.Thread);
    EndActivity();
    const auto task = static_cast<TTaskIndex>(message.Number - WM_MASTER_DONE);
    if (message.Failed) {
        HandleFailure(message, reference, task);
        return;
    }
    if (Closing)
        return;
    if (const std::optional<TTaskIndex> next = NextTask(task, TaskSetOf(reference)))
        CreateChainTask(*next, reference);
    else
        FinishJob(reference);
}

// The job stays queued with its failure, so the operator sees it and a later
// Start can take it up again; the queue goes on without it.
void TQueueRunner::HandleFailure(const TTaskMessage& message, std::uint32_t jobReference, TTaskIndex task)
{
    FailedSinceStart.insert(jobReference);
    StoreStatus(jobReference, FailedStatus(task), message.FailureReason);
    if (Observer)
        Observer->TaskFailed(jobReference, TaskWords[static_cast<std::size_t>(task)], message.FailureReason);
    SetControlsEnabled(true);
    if (!Closing)
        StartNext();
}

// The status of a queued job, in the catalogue and in its row.
void TQueueRunner::StoreStatus(std::uint32_t jobReference, const std::string& status, const std::string& reason)
{
    Store.SetStatus(jobReference, status, reason);
    for (TQueueRow& row : Queue)
        if (row.JobReference == jobReference) {
            row.Status = status;
            row.FailureReason = reason;
        }
    Notify(&TRunnerObserver::QueueChanged);
}

void TQueueRunner::BeginShutdown()
{
    Closing = true;
    if (HasRunningTasks())
        Log.Log("Waiting for the running task to finish before the station closes.");
}

void TQueueRunner::CreateChainTask(int task, std::uint32_t jobReference)
{
    if (Closing)
        return;  // the job stays queued and goes on at the next start
    const TTaskFactory& factory = Kinds.Chain[static_cast<std::size_t>(task)];
    if (!factory) {
        // The chain cannot go further in this build: the job is done as far as it can be.
        Log.Log("The " + TaskWords[static_cast<std::size_t>(task)] + " task is not available; job " +
                Decimal(jobReference) + " ends here.");
        FinishJob(jobReference);
        return;
    }
    if (!ChainContext || ChainContext->JobReference() != jobReference)
        ChainContext.emplace(NewContext(jobReference));
    Running.Start(factory(Target, *ChainContext));
    BeginActivity(static_cast<TTaskIndex>(task), jobReference);
}

// Each task starts on empty bars: a bar left at 100 would claim the next task done.
void TQueueRunner::BeginActivity(TTaskIndex task, std::uint32_t jobReference)
{
    TRunnerActivity activity{jobReference, task, 0, 0};
    for (const TQueueRow& row : Queue)
        if (row.JobReference == jobReference)
            activity.PageCount = row.PageCount;
    Current = activity;
    Total = 0;
    TaskPosition = 0;
    Notify(&TRunnerObserver::ProgressChanged);
    Notify(&TRunnerObserver::ActivityChanged);
}

// An idle runner shows empty bars.
void TQueueRunner::EndActivity()
{
    Current.reset();
    Total = 0;
    TaskPosition = 0;
    Notify(&TRunnerObserver::ProgressChanged);
    Notify(&TRunnerObserver::ActivityChanged);
}

std::string TQueueRunner::FinishingText() const
{
    if (Current)
        return "Finishing " + TaskWords[static_cast<std::size_t>(Current->Task)] + " for job " +
               Decimal(Current->JobReference) + " before closing...";
    if (!Deleting.empty())
        return "Finishing Deletion for job " + Decimal(*Deleting.begin()) + " before closing...";
    if (Refreshing)
        return "Finishing fetching the answers before closing...";
    return {};
}

// ---- The runner -------------------------------------------------------------

bool TQueueRunner::NotificationCheckPassed()
{
    return !Store.SomeJobNotifiesNobody() ||
           Dialogs.AskYesNo("Notify without recipients?", Notification, TDialogIcon::Warning);
}

void TQueueRunner::Start()
{
    FailedSinceStart.clear();
    if (Refreshing)
        Log.Log("The queue starts once the answers are fetched.");
    StartNext();
}

// ---- Answers ----------------------------------------------------------------

std::vector<std::uint32_t> TQueueRunner::AnswerJobs() const
{
    std::vector<std::uint32_t> jobs;
    for (const TPostQueueRow& row : PostQueue)
        if (TaskSetNames(row.Tasks, TransferTask))
            jobs.push_back(row.JobReference);
    return jobs;
}

bool TQueueRunner::RefreshAnswers()
{
    const std::vector<std::uint32_t> jobs = AnswerJobs();
    if (jobs.empty()) {
        Log.Log("No post-queue job was sent to the web server: there are no answers to fetch.");
        return false;
    }
    return RefreshAnswers(jobs);
}

bool TQueueRunner::RefreshAnswers(const std::vector<std::uint32_t>& jobReferences)
{
    return BeginRefresh(jobReferences, true);
}

bool TQueueRunner::BeginRefresh(const std::vector<std::uint32_t>& jobReferences, bool asked)
{
    if (Closing || jobReferences.empty())
        return false;
    if (HasRunningTasks()) {
        Log.Log(Refreshing ? "The answers are being fetched already."
                           : "The answers are fetched once the running task has finished; try again then.");
        return false;
    }
    if (!Kinds.Answers) {
        Log.Log("Fetching answers is not available in this build.");
        return false;
    }
    Running.Start(Kinds.Answers(Target, NewContext(0), jobReferences));
    Refreshing = true;
    AnswersAsked = asked;
    Notify(&TRunnerObserver::ProgressChanged);
    Notify(&TRunnerObserver::ActivityChanged);
    return true;
}

bool TQueueRunner::RefreshAnswersIfIdle()
{
    if (Closing || HasRunningTasks())
        return false;
    const std::vector<std::uint32_t> jobs = AnswerJobs();
    // Nobody asked: a server that is down is told in the log, not in a box every few minutes.
    return !jobs.empty() && BeginRefresh(jobs, false);
}

TMailAnswers TQueueRunner::AddAnswersFromMail(const std::string& mailText)
{
    TMailAnswers result = AddMailAnswers(Catalogue, mailText);
    if (result.Added > 0)
        ReloadPostQueueList();
    return result;
}

void TQueueRunner::HandleAnswersDone(const TTaskMessage& message)
{
    Log.Log(CompletionLogText(message));
    Running.Release(message.Thread);
    // The bars were the fetch's: an idle station shows them empty (told while still the fetch's).
    Total = 0;
    TaskPosition = 0;
    Notify(&TRunnerObserver::ProgressChanged);
    Refreshing = false;
    ReloadPostQueueList();
    if (message.Failed && AnswersAsked && Observer)
        Observer->TaskFailed(message.JobReference, "Fetching answers", message.FailureReason);
    Notify(&TRunnerObserver::ActivityChanged);
    if (StartWaiting && !Closing) {
        StartWaiting = false;
        StartNext();
    }
}

// The first queued job that has not failed since the operator's Start.
void TQueueRunner::StartNext()
{
    if (Closing)
        return;
    if (Refreshing) {
        // One session at a time on the shop's server: the queue follows the answers.
        StartWaiting = true;
        return;
    }
    if (!NotificationCheckPassed())
        return;
    const auto next = std::find_if(Queue.begin(), Queue.end(),
                                   [&](const TQueueRow& row) { return !FailedSinceStart.count(row.JobReference); });
    if (next == Queue.end())
        return;
    const TQueueRow row = *next;
    const int first = FirstTaskOf(Catalogue, row.JobReference, row.Checked);
    if (first > TaskSetLevel(row.Tasks))
        return;  // stays until ticked, given more tasks or removed
    if (IsFailedStatus(row.Status))
        StoreStatus(row.JobReference, "new", "");
    SetControlsEnabled(false);
    ChainContext.reset();  // a new chain starts with the settings as they are now
    CreateChainTask(first, row.JobReference);
}

void TQueueRunner::FinishJob(std::uint32_t jobReference)
{
    const auto row = std::find_if(Queue.begin(), Queue.end(),
                                  [&](const TQueueRow& queued) { return queued.JobReference == jobReference; });
    if (row != Queue.end()) {
        const int position = static_cast<int>(row - Queue.begin());
        Queue.erase(row);
        if (SelectedRow == position)
            SelectedRow = -1;
        else if (SelectedRow > position)
            --SelectedRow;
        Notify(&TRunnerObserver::QueueChanged);

        Store.MoveToPostQueue(jobReference);
    }
    ReloadPostQueueList();
    ReloadRecipients();
    SetControlsEnabled(true);
    StartNext();
}

// ---- Queue entries ----------------------------------------------------------

void TQueueRunner::AddToQueue(std::uint32_t jobReference)
{
    Store.Add(jobReference);
}

void TQueueRunner::SetTaskSet(std::uint32_t jobReference, const std::string& taskSet)
{
    Store.SetTaskSet(jobReference, taskSet);
}

void TQueueRunner::RemoveFromQueue(std::uint32_t jobReference)
{
    Store.Remove(jobReference);
    ReloadRecipients();
}

std::string TQueueRunner::TaskSetOf(std::uint32_t jobReference) const
{
    for (const TQueueRow& row : Queue)
        if (row.JobReference == jobReference)
            return row.Tasks;
    return {};
}

void TQueueRunner::ReloadQueueList()
{
    const bool hadSelection = SelectedRow >= 0;
    const std::uint32_t selected = hadSelection ? Queue[static_cast<std::size_t>(SelectedRow)].JobReference : 0;
    Queue = Store.QueueRows();
    SelectedRow = -1;
    for (std::size_t i = 0; i < Queue.size() && hadSelection; ++i)
        if (Queue[i].JobReference == selected) {
            SelectedRow = static_cast<int>(i);
            break;
        }
    Notify(&TRunnerObserver::QueueChanged);
    ReloadRecipients();
}

void TQueueRunner::ReloadPostQueueList()
{
    // The operator's selection outlives a reload (the answers come in now and then) while its job is listed.
    const std::uint32_t selected = SelectedPostRow >= 0 && SelectedPostRow < static_cast<int>(PostQueue.size())
                                       ? PostQueue[static_cast<std::size_t>(SelectedPostRow)].JobReference
                                       : 0;
    PostQueue = Store.PostQueueRows();
    const std::string webRoot = Settings.Copy().WebRoot;
    for (TPostQueueRow& row : PostQueue) {
        if (!TaskSetNames(row.Tasks, TransferTask) || !IsUniqueID(row.UniqueID))
            continue;
        try {
            row.ProofAddress = JobWebAddress(webRoot, row.UniqueID, Store.SecretOf(row.JobReference)) + "index.html";
        } catch (const std::invalid_argument&) {
            // A damaged secret: no address rather than a guessable one; Browse says why.
        }
    }
    for (TPostQueueRow& row : PostQueue) {
        try {
            const TAnswerSummary answers = LoadJobAnswers(Catalogue, row.JobReference).Summary;
            row.AnswerStatus = AnswerStateWord(answers.State);
            row.LastAnswerTime = answers.LastAnswerTime;
        } catch (const std::exception& error) {
            Log.Log("Could not read the answers of job " + Decimal(row.JobReference) + ": " + error.what());
        }
    }
    for (TPostQueueRow& row : PostQueue)
        if (Deleting.count(row.JobReference))
            row.Status = DeletingStatus;
    SelectedPostRow = -1;
    for (std::size_t row = 0; row < PostQueue.size() && selected != 0; ++row)
        if (PostQueue[row].JobReference == selected)
            SelectedPostRow = static_cast<int>(row);
    Notify(&TRunnerObserver::PostQueueChanged);
}

void TQueueRunner::StoreRecipients(std::uint32_t jobReference, const std::string& recipients)
{
    Store.SetRecipients(jobReference, recipients);
    for (TQueueRow& row : Queue)
        if (row.JobReference == jobReference)
            row.Recipients = recipients;
}

void TQueueRunner::ReloadRecipients()
{
    Recipients.clear();
    SelectedRecipient = -1;
    if (SelectedRow >= 0)
        Recipients = Store.RecipientRows(Store.Recipients(Queue[static_cast<std::size_t>(SelectedRow)].JobReference));
    Notify(&TRunnerObserver::RecipientsChanged);
}

void TQueueRunner::DeleteFromPostQueue()
{
    if (Refreshing) {
        // The answers task may be reading the very folder.
        Dialogs.Tell("Fetching answers", "The answers are being fetched. Please delete the job once that is done.",
                     TDialogIcon::Information);
        return;
    }
    if (!Dialogs.AskYesNo("Confimation", "Are you sure you want to delete all files for this job?",
                          TDialogIcon::Question))
        return;
    if (SelectedPostRow < 0 || SelectedPostRow >= static_cast<int>(PostQueue.size()))
        return;
    const std::uint32_t reference = PostQueue[static_cast<std::size_t>(SelectedPostRow)].JobReference;
    if (Deleting.count(reference)) {
        Dialogs.Tell("Deleting", "Job " + Decimal(reference) + " is being deleted already.", TDialogIcon::Information);
        return;
    }
    // The row stays until the task has really taken the job away: a
    // deletion that fails leaves the job where the operator can try again.
    if (Kinds.Deletion && !Closing) {
        Running.Start(Kinds.Deletion(Target, NewContext(reference)));
        Deleting.insert(reference);
    } else
        Log.Log("The deletion task is not available; the files of job " + Decimal(reference) + " stay.");
    ReloadPostQueueList();
}

/*
 * 1. Log the completion and release the thread.
 * 2. Done: the job leaves the post queue. Failed: it stays, marked with the
 *    reason, in the catalogue too, so that a restart still shows it.
 * 3. Show the post queue as it now is.
 */
void TQueueRunner::HandleDeletionDone(const TTaskMessage& message)
{
    Log.Log(CompletionLogText(message));
    Running.Release(message.Thread);
    const std::uint32_t reference = message.JobReference;
    if (const auto deleting = Deleting.find(reference); deleting != Deleting.end())
        Deleting.erase(deleting);
    try {
        if (message.Failed)
            Store.SetWithdrawalFailure(reference, message.FailureReason);
        else
            Store.RemoveFromPostQueue(reference);
    } catch (const std::exception& error) {
        Log.Log("Could not record the deletion of job " + Decimal(reference) + " in the post queue: " + error.what());
    }
    try {
        ReloadPostQueueList();
    } catch (const std::exception& error) {
        Log.Log("Could not reload the post queue: " + std::string(error.what()));
    }
    if (message.Failed && Observer)
        Observer->TaskFailed(reference, "Deletion", message.FailureReason);
    Notify(&TRunnerObserver::ActivityChanged);
}

// ---- The main window's queue operations ----------------------------------------

void TQueueRunner::DropJob(std::uint32_t jobReference)
{
    AddToQueue(jobReference);
    ReloadQueueList();
    for (std::size_t i = 0; i < Queue.size(); ++i)
        if (Queue[i].JobReference == jobReference)
            SelectQueueRow(static_cast<int>(i));
}

void TQueueRunner::RemoveQueueRow()
{
    if (SelectedRow < 0)
        return;
    const int position = SelectedRow;
    RemoveFromQueue(Queue[static_cast<std::size_t>(position)].JobReference);
    ReloadQueueList();
    if (!Queue.empty())
        SelectQueueRow(std::min(position, static_cast<int>(Queue.size()) - 1));
}

int TQueueRunner::SelectQueueRow(int row)
{
    SelectedRow = row >= 0 && row < static_cast<int>(Queue.size()) ? row : -1;
    ReloadRecipients();
    return SelectedRow >= 0 ? ExactTaskSetLevel(Queue[static_cast<std::size_t>(SelectedRow)].Tasks) : -1;
}

void TQueueRunner::ChooseTaskLevel(int level)
{
    if (SelectedRow < 0 || level < 0 || level >= TaskCount)
        return;
    TQueueRow& row = Queue[static_cast<std::size_t>(SelectedRow)];
    SetTaskSet(row.JobReference, TaskSetTexts[static_cast<std::size_t>(level)]);
    row.Tasks = TaskSetTexts[static_cast<std::size_t>(level)];
    Notify(&TRunnerObserver::QueueChanged);
}

void TQueueRunner::SetQueueRowChecked(int row, bool checked)
{
    if (row < 0 || row >= static_cast<int>(Queue.size()))
        return;
    Queue[static_cast<std::size_t>(row)].Checked = checked;
    Notify(&TRunnerObserver::QueueChanged);
}

void TQueueRunner::AddRecipient(std::int32_t addressID, const std::string& email)
{
    if (email.empty()) {
        Dialogs.Tell("Error", "Cannot use a blank Email address.", TDialogIcon::Warning);
        return;
    }
    if (SelectedRow >= 0) {
        const std::uint32_t reference = Queue[static_cast<std::size_t>(SelectedRow)].JobReference;
        StoreRecipients(reference, WithRecipient(Store.Recipients(reference), std::to_string(addressID)));
    }
    ReloadRecipients();
}

void TQueueRunner::RemoveRecipient()
{
    if (SelectedRow < 0 || SelectedRecipient < 0 || SelectedRecipient >= static_cast<int>(Recipients.size()))
        return;
    const std::uint32_t reference = Queue[static_cast<std::size_t>(SelectedRow)].JobReference;
    const std::string stored = Store.Recipients(reference);
    const std::string left =
        WithoutRecipient(stored, std::to_string(Recipients[static_cast<std::size_t>(SelectedRecipient)].AddressID));
    if (stored.empty() || left == stored)
        return;
    StoreRecipients(reference, left);
    ReloadRecipients();
}

std::optional<std::string> TQueueRunner::WebPageAddress()
{
    if (SelectedPostRow < 0 || SelectedPostRow >= static_cast<int>(PostQueue.size())) {
        Dialogs.Tell("Error", "Please select a job", TDialogIcon::Warning);
        return std::nullopt;
    }
    const std::uint32_t job = PostQueue[static_cast<std::size_t>(SelectedPostRow)].JobReference;
    const std::string reference = Decimal(job);
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
        return JobWebAddress(Settings.Copy().WebRoot, uniqueID, Store.SecretOf(job)) + "index.html";
    } catch (const std::invalid_argument& error) {
        Dialogs.Tell("Browse Error", "Job " + reference + " has no web page: " + std::string(error.what()),
                     TDialogIcon::Warning);
        return std::nullopt;
    }
}

}  // namespace tavrin
