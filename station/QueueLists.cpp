#include "station/QueueLists.h"

#include "base/catalogue/AnswerStatus.h"
#include "base/catalogue/DueDates.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/ProofAnswers.h"
#include "base/catalogue/ProofRounds.h"
#include "base/settings/SharedSettings.h"
#include "base/tasking/StationLog.h"
#include "base/tasking/TaskSets.h"
#include "engines/web/ProofPages.h"
#include "station/JobAnswers.h"
#include "station/OperatorDialogs.h"
#include "station/PlateVerification.h"
#include "station/RunnerTexts.h"

#include <algorithm>
#include <stdexcept>

namespace tavrin {

TQueueLists::TQueueLists(TQueueStore& store, TCatalogueConnection& catalogue, const TSharedSettings& settings,
                         TStationLog& log, TOperatorDialogs& dialogs, const TRunnerNotices& notices,
                         const std::multiset<std::uint32_t>& deleting)
    : Store(store), Catalogue(catalogue), Settings(settings), Log(log), Dialogs(dialogs), Notices(notices),
      Deleting(deleting)
{
}

// ---- Queue entries ----------------------------------------------------------

void TQueueLists::AddToQueue(std::uint32_t jobReference)
{
    Store.Add(jobReference);
}

void TQueueLists::SetTaskSet(std::uint32_t jobReference, const std::string& taskSet)
{
    Store.SetTaskSet(jobReference, taskSet);
}

void TQueueLists::RemoveFromQueue(std::uint32_t jobReference)
{
    Store.Remove(jobReference);
    ReloadRecipients();
}

std::string TQueueLists::TaskSetOf(std::uint32_t jobReference) const
{
    for (const TQueueRow& row : Queue)
        if (row.JobReference == jobReference)
            return row.Tasks;
    return {};
}

void TQueueLists::ReloadQueueList()
{
    const bool hadSelection = SelectedRow >= 0;
    const std::uint32_t selected = hadSelection ? Queue[static_cast<std::size_t>(SelectedRow)].JobReference : 0;
    Queue = Store.QueueRows();
    for (TQueueRow& row : Queue) {
        row.Customer = CustomerOf(row.Recipients);
        SetUnsentProofAddress(row);
    }
    SelectedRow = -1;
    for (std::size_t i = 0; i < Queue.size() && hadSelection; ++i)
        if (Queue[i].JobReference == selected) {
            SelectedRow = static_cast<int>(i);
            break;
        }
    Notices.Tell(&TRunnerObserver::QueueChanged);
    ReloadRecipients();
}

void TQueueLists::ReloadPostQueueList()
{
    // The operator's selection outlives a reload (the answers come in now and then) while its job is listed.
    const std::uint32_t selected = SelectedPostQueueJob().value_or(0);
    PostQueue = Store.PostQueueRows();
    // News of a job that left the post queue goes with it.
    std::erase_if(UnseenAnswers, [&](std::uint32_t job) {
        return std::none_of(PostQueue.begin(), PostQueue.end(),
                            [job](const TPostQueueRow& row) { return row.JobReference == job; });
    });
    const std::string inputFolder = Settings.Copy().InputFolder;
    for (TPostQueueRow& row : PostQueue) {
        row.Customer = CustomerOf(row.Recipients);
        row.NewAnswers = UnseenAnswers.count(row.JobReference) > 0;
        // Browse says why there is none.
        if (TaskSetNames(row.Tasks, TransferTask))
            row.ProofAddress = ProofAddressOf(row.JobReference, row.UniqueID);
    }
    for (TPostQueueRow& row : PostQueue) {
        try {
            const TAnswerSummary answers = LoadJobAnswers(Catalogue, row.JobReference).Summary;
            row.AnswerStatus = AnswerStateWord(answers.State);
            row.LastAnswerTime = answers.LastAnswerTime;
            // The recorded plate check, not a new one: listing hashes nothing.
            if (answers.State == TAnswerState::Approved &&
                PlatesStillVerified(Catalogue, row.JobReference, inputFolder))
                row.AnswerStatus = ReadyForPlatesStatus;
        } catch (const std::exception& error) {
            Log.Log("Could not read the answers of job " + std::to_string(row.JobReference) + ": " + error.what());
        }
    }
    for (TPostQueueRow& row : PostQueue)
        if (Deleting.count(row.JobReference))
            row.Status = DeletingStatus;
    SelectedPostRow = -1;
    for (std::size_t row = 0; row < PostQueue.size() && selected != 0; ++row)
        if (PostQueue[row].JobReference == selected)
            SelectedPostRow = static_cast<int>(row);
    Notices.Tell(&TRunnerObserver::PostQueueChanged);
}

void TQueueLists::ReloadRecipients()
{
    Recipients.clear();
    SelectedRecipient = -1;
    if (SelectedRow >= 0)
        Recipients = Store.RecipientRows(Store.Recipients(Queue[static_cast<std::size_t>(SelectedRow)].JobReference));
    Notices.Tell(&TRunnerObserver::RecipientsChanged);
}

// ---- The main window's queue operations ----------------------------------------

void TQueueLists::DropJob(std::uint32_t jobReference)
{
    AddToQueue(jobReference);
    ReloadQueueList();
    for (std::size_t i = 0; i < Queue.size(); ++i)
        if (Queue[i].JobReference == jobReference)
            SelectQueueRow(static_cast<int>(i));
}

void TQueueLists::DropJobAskingRound(std::uint32_t jobReference)
{
    // The catalogue, not the rows shown, says whether it is queued: the rows may be older.
    if (!Store.IsQueued(jobReference) && LoadProofRound(Catalogue, jobReference).EarlierReference == 0)
        if (const std::optional<TEarlierRoundCandidate> earlier = LikelyEarlierRound(Catalogue, jobReference)) {
            TJobDetailRecord job;
            LoadJobDetail(Catalogue, static_cast<std::int32_t>(jobReference), job);
            if (Dialogs.AskYesNo(ProofRoundCaption,
                                 ProofRoundQuestion(jobReference, job.Name, earlier->Reference, earlier->NextNumber,
                                                    earlier->SentAt),
                                 TDialogIcon::Question))
                LinkRound(jobReference, earlier->Reference);
        }
    DropJob(jobReference);
}

void TQueueLists::LinkRound(std::uint32_t later, std::uint32_t earlier)
{
    LinkProofRound(Catalogue, later, earlier);
    // Its proof pages show it as the round it was: without them the next
    // start builds them again, with the compare, rather than sending them.
    TJobDetailRecord job;
    LoadJobDetail(Catalogue, static_cast<std::int32_t>(later), job);
    if (IsUniqueID(job.UniqueID)) {
        try {
            RemoveJobProofPages(JobFolderPath(job.UniqueID));
        } catch (const std::runtime_error& error) {
            throw EProofRoundError("Job " + std::to_string(later) + " is now round " +
                                   std::to_string(LoadProofRound(Catalogue, later).Number) +
                                   ", but its proof pages, which show it as it was, stay: " + error.what());
        }
    }
    ReloadQueueList();
    ReloadPostQueueList();
}

bool TQueueLists::SetDueDate(std::uint32_t jobReference, std::optional<TCalendarDate> due)
{
    if (!SaveDueDate(Catalogue, jobReference, due))
        return false;
    ReloadQueueList();
    ReloadPostQueueList();
    return true;
}

void TQueueLists::RemoveQueueRow()
{
    if (SelectedRow < 0)
        return;
    const int position = SelectedRow;
    RemoveFromQueue(Queue[static_cast<std::size_t>(position)].JobReference);
    ReloadQueueList();
    if (!Queue.empty())
        SelectQueueRow(std::min(position, static_cast<int>(Queue.size()) - 1));
}

int TQueueLists::SelectQueueRow(int row)
{
    SelectedRow = row >= 0 && row < static_cast<int>(Queue.size()) ? row : -1;
    ReloadRecipients();
    return SelectedRow >= 0 ? ExactTaskSetLevel(Queue[static_cast<std::size_t>(SelectedRow)].Tasks) : -1;
}

void TQueueLists::ChooseTaskLevel(int level)
{
    if (SelectedRow < 0 || level < 0 || level >= TaskCount)
        return;
    TQueueRow& row = Queue[static_cast<std::size_t>(SelectedRow)];
    SetTaskSet(row.JobReference, TaskSetTexts[static_cast<std::size_t>(level)]);
    row.Tasks = TaskSetTexts[static_cast<std::size_t>(level)];
    Notices.Tell(&TRunnerObserver::QueueChanged);
}

void TQueueLists::SetQueueRowChecked(int row, bool checked)
{
    if (row < 0 || row >= static_cast<int>(Queue.size()))
        return;
    Queue[static_cast<std::size_t>(row)].Checked = checked;
    Notices.Tell(&TRunnerObserver::QueueChanged);
}

void TQueueLists::AddRecipient(std::int32_t addressID, const std::string& email)
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

void TQueueLists::RemoveRecipient()
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

void TQueueLists::StoreRecipients(std::uint32_t jobReference, const std::string& recipients)
{
    Store.SetRecipients(jobReference, recipients);
    for (TQueueRow& row : Queue)
        if (row.JobReference == jobReference) {
            row.Recipients = recipients;
            row.Customer = CustomerOf(recipients);
        }
    Notices.Tell(&TRunnerObserver::QueueChanged);
}

std::string TQueueLists::CustomerOf(const std::string& recipients) const
{
    std::string names;
    for (const TRecipientRow& contact : Store.RecipientRows(recipients))
        names += (names.empty() ? "" : ", ") + contact.Name;
    return names;
}

std::string TQueueLists::ProofAddressOf(std::uint32_t jobReference, const std::string& uniqueID) const
{
    if (!IsUniqueID(uniqueID))
        return {};
    try {
        return JobWebAddress(Settings.Copy().WebRoot, uniqueID, Store.SecretOf(jobReference)) + "index.html";
    } catch (const std::invalid_argument&) {
        return {};
    }
}

void TQueueLists::SetUnsentProofAddress(TQueueRow& row) const
{
    row.ProofAddress = row.Status == FailedStatus(NotifyTask) && TaskSetNames(row.Tasks, TransferTask)
                           ? ProofAddressOf(row.JobReference, Store.UniqueIDOf(row.JobReference))
                           : std::string();
}

// ---- What the chain changes ----------------------------------------------------

void TQueueLists::StoreStatus(std::uint32_t jobReference, const std::string& status, const std::string& reason)
{
    Store.SetStatus(jobReference, status, reason);
    for (TQueueRow& row : Queue)
        if (row.JobReference == jobReference) {
            row.Status = status;
            row.FailureReason = reason;
            SetUnsentProofAddress(row);
        }
    Notices.Tell(&TRunnerObserver::QueueChanged);
}

void TQueueLists::MoveToPostQueue(std::uint32_t jobReference)
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
        Notices.Tell(&TRunnerObserver::QueueChanged);

        Store.MoveToPostQueue(jobReference);
    }
    ReloadPostQueueList();
    ReloadRecipients();
}

// ---- The post queue's jobs -------------------------------------------------------

std::vector<std::uint32_t> TQueueLists::AnswerJobs() const
{
    std::vector<std::uint32_t> jobs;
    for (const TPostQueueRow& row : PostQueue)
        if (TaskSetNames(row.Tasks, TransferTask))
            jobs.push_back(row.JobReference);
    return jobs;
}

void TQueueLists::SelectPostQueueRow(int row)
{
    SelectedPostRow = row;
    if (row < 0 || row >= static_cast<int>(PostQueue.size()))
        return;
    TPostQueueRow& selected = PostQueue[static_cast<std::size_t>(row)];
    UnseenAnswers.erase(selected.JobReference);
    selected.NewAnswers = false;
}

std::map<std::uint32_t, std::size_t>
TQueueLists::StoredAnswerCounts(const std::vector<std::uint32_t>& jobReferences) const
{
    std::map<std::uint32_t, std::size_t> counts;
    for (const std::uint32_t job : jobReferences)
        counts[job] = LoadProofAnswers(Catalogue, job).size();
    return counts;
}

std::optional<std::uint32_t> TQueueLists::SelectedPostQueueJob() const
{
    if (SelectedPostRow < 0 || SelectedPostRow >= static_cast<int>(PostQueue.size()))
        return std::nullopt;
    return PostQueue[static_cast<std::size_t>(SelectedPostRow)].JobReference;
}

}  // namespace tavrin
