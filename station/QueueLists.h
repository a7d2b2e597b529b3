#pragma once

#include "station/QueueStore.h"
#include "station/RunnerObserver.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;
class TSharedSettings;
class TOperatorDialogs;
class TStationLog;

// The lists the window and tavrin-cli show, with the operator's selections:
// the queue, the post queue and the recipients of the selected queue row.
// Each operation writes the catalogue through the queue store, keeps the
// rows and the selections to match, and tells the observer what changed.
// A selection follows its job through reloads while the job is listed.
// Catalogue errors are raised.
class TQueueLists {
public:
    // deleting: the jobs whose deletion runs; their post-queue rows say
    // "Deleting". The answers come from the catalogue, the proof addresses
    // from the settings' web root.
    TQueueLists(TQueueStore& store, TCatalogueConnection& catalogue, const TSharedSettings& settings, TStationLog& log,
                TOperatorDialogs& dialogs, const TRunnerNotices& notices, const std::multiset<std::uint32_t>& deleting);

    // Queue entries.
    void AddToQueue(std::uint32_t jobReference);
    void SetTaskSet(std::uint32_t jobReference, const std::string& taskSet);
    void RemoveFromQueue(std::uint32_t jobReference);
    // The queue row's task set; empty when the job has no row.
    std::string TaskSetOf(std::uint32_t jobReference) const;
    void ReloadQueueList();
    void ReloadPostQueueList();
    void ReloadRecipients();

    // What the main window does with the queue: add a job and select its row;
    // remove the selected row; select a row (returns the Actions level that
    // equals its task set, or -1); give the selected row a task set level;
    // tick a row; add and remove recipients of the selected row.
    void DropJob(std::uint32_t jobReference);
    // DropJob as the window does it: a job not yet queued and not yet a later
    // round, with an earlier job of its name (LikelyEarlierRound), first
    // makes the operator say whether it is that job's next round.
    void DropJobAskingRound(std::uint32_t jobReference);
    // Makes `later` the next round of `earlier` and shows both lists as they
    // are; raises EProofRoundError with the reason when it cannot be. The
    // later job's proof pages go, so that its next start builds them anew.
    void LinkRound(std::uint32_t later, std::uint32_t earlier);
    void RemoveQueueRow();
    // Sets or clears a catalogued job's due date, wherever it is listed;
    // false when the job is not catalogued.
    bool SetDueDate(std::uint32_t jobReference, std::optional<TCalendarDate> due);
    int SelectQueueRow(int row);
    void ChooseTaskLevel(int level);
    void SetQueueRowChecked(int row, bool checked);
    void AddRecipient(std::int32_t addressID, const std::string& email);
    void RemoveRecipient();
    // Selecting a post-queue row: its job's new answers count as seen.
    void SelectPostQueueRow(int row);
    void SelectRecipientRow(int row) { SelectedRecipient = row; }

    // What the chain does with the lists: keep a queued job's status (in the
    // catalogue and its row), and move a finished job to the post queue (its
    // entry, when it still has one), then show both lists as they are.
    void StoreStatus(std::uint32_t jobReference, const std::string& status, const std::string& reason);
    void MoveToPostQueue(std::uint32_t jobReference);

    // The post-queue jobs whose proofs went to the web server: those that can have answers.
    std::vector<std::uint32_t> AnswerJobs() const;
    // The selected post-queue row's job; nothing when no listed row is selected.
    std::optional<std::uint32_t> SelectedPostQueueJob() const;

    // How many answers each of the jobs has in the catalogue. Raises catalogue errors.
    std::map<std::uint32_t, std::size_t> StoredAnswerCounts(const std::vector<std::uint32_t>& jobReferences) const;
    // The job got answers the operator has not seen: its post-queue row says
    // so (NewAnswers), through reloads, until the operator selects it.
    void MarkNewAnswers(std::uint32_t jobReference) { UnseenAnswers.insert(jobReference); }

    const std::vector<TQueueRow>& QueueRows() const { return Queue; }
    const std::vector<TPostQueueRow>& PostQueueRows() const { return PostQueue; }
    const std::vector<TRecipientRow>& RecipientRows() const { return Recipients; }
    int SelectedQueueRow() const { return SelectedRow; }
    int SelectedPostQueueRow() const { return SelectedPostRow; }
    int SelectedRecipientRow() const { return SelectedRecipient; }

private:
    void StoreRecipients(std::uint32_t jobReference, const std::string& recipients);
    // The names of a recipients text's contacts, "Zoe Lang, Ann Bell".
    std::string CustomerOf(const std::string& recipients) const;
    // The address of the job's web page; empty when it has none (no unique
    // id, or a damaged secret: no address rather than a guessable one).
    std::string ProofAddressOf(std::uint32_t jobReference, const std::string& uniqueID) const;
    // A queued job that failed at Notify was uploaded: its row keeps the
    // address, so that the operator can send it by hand.
    void SetUnsentProofAddress(TQueueRow& row) const;

    TQueueStore& Store;
    TCatalogueConnection& Catalogue;
    const TSharedSettings& Settings;
    TStationLog& Log;
    TOperatorDialogs& Dialogs;
    const TRunnerNotices& Notices;
    const std::multiset<std::uint32_t>& Deleting;

    std::vector<TQueueRow> Queue;
    std::vector<TPostQueueRow> PostQueue;
    std::vector<TRecipientRow> Recipients;
    int SelectedRow = -1;
    int SelectedPostRow = -1;
    int SelectedRecipient = -1;
    std::set<std::uint32_t> UnseenAnswers;
};

}  // namespace tavrin
