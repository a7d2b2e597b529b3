#pragma once

#include "base/catalogue/ProofRounds.h"
#include "base/platform/LocalClock.h"
#include "base/text/CalendarDate.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// A row of the queue list. Checked (process from the first task even when
// the job's files exist) lives only in the list: every reload clears it.
struct TQueueRow {
    std::string Caption;
    std::string Status;
    std::string Tasks;
    std::uint32_t JobReference = 0;
    bool Checked = false;
    // Why the job failed, when Status says it did; the row's hint.
    std::string FailureReason;
    // The stored recipients: address book ids, comma-separated.
    std::string Recipients;
    // What tells two jobs of one name apart: their pages and when they were catalogued.
    std::int32_t PageCount = 0;
    std::string CataloguedAt;
    TProofRound Round;
    // By when the customer is asked to answer; nothing when no date was set.
    std::optional<TCalendarDate> DueDate;
    // The recipients' names from the address book: "Zoe Lang, Ann Bell" (the lists fill it in).
    std::string Customer;
    // The proof's address while the job waits after its upload with its mail
    // failed (the lists fill it in); empty otherwise.
    std::string ProofAddress;
};

struct TPostQueueRow {
    std::string Caption;
    // "complete"; "Withdrawal failed: REASON" while an earlier deletion left the job in place.
    std::string Status;
    std::uint32_t JobReference = 0;
    // The task set the job had when it finished.
    std::string Tasks;
    std::int32_t PageCount = 0;
    std::string CataloguedAt;
    std::string UniqueID;
    // The job's web page, when it was transferred; empty otherwise (the runner fills it in).
    std::string ProofAddress;
    // What the customer said: "Approved", "Changes requested" or "Waiting",
    // and when the last answer came (empty before the first); the runner fills them in.
    std::string AnswerStatus;
    std::string LastAnswerTime;
    // Why the last deletion did not take the job away; empty when none failed.
    std::string WithdrawalFailure;
    TProofRound Round;
    // When the job entered the post queue: "2026-12-10 09:26:41"; empty for
    // a job finished before the station kept it.
    std::string SentTime;
    std::optional<TCalendarDate> DueDate;
    // The recipients the job had when it left the queue (address book ids);
    // empty for a job finished before the station kept them.
    std::string Recipients;
    // Their names, as the queue shows them (the lists fill it in).
    std::string Customer;
    // A fetch brought answers the operator has not looked at yet (the lists fill it in).
    bool NewAnswers = false;
};

// The post-queue status of a job whose deletion failed.
std::string WithdrawalFailedStatus(const std::string& reason);

struct TRecipientRow {
    std::string Name;
    std::string Email;
    std::int32_t AddressID = 0;
};

// Every catalogue statement of the queue, the post queue and their
// recipients, in one place. Add, SetTaskSet, Remove, SetStatus and
// MoveToPostQueue run in a transaction each: a failed one is rolled back and
// not reported. Reads, SetRecipients and RemoveFromPostQueue raise catalogue
// errors.
class TQueueStore {
public:
    // clock: what MoveToPostQueue keeps as the time the job was sent.
    explicit TQueueStore(TCatalogueConnection& catalogue, TLocalClock clock = LocalNow)
        : Catalogue(catalogue), Clock(std::move(clock))
    {
    }

    // The queue and the post queue joined with their jobs, in catalogue order.
    std::vector<TQueueRow> QueueRows() const;
    std::vector<TPostQueueRow> PostQueueRows() const;

    // Whether some queued job names Notify in its task set without having
    // recipients.
    bool SomeJobNotifiesNobody() const;

    // A new entry with the whole task set, "new" and no recipients; nothing
    // when the job is queued already.
    void Add(std::uint32_t jobReference);
    // The entry's task set, when there is an entry.
    void SetTaskSet(std::uint32_t jobReference, const std::string& taskSet);
    void Remove(std::uint32_t jobReference);
    // The entry's status and the reason for it.
    void SetStatus(std::uint32_t jobReference, const std::string& status, const std::string& reason);
    // Moves the entry to the post queue with its task set, its recipients and the time,
    // replacing an earlier post-queue entry of the job.
    void MoveToPostQueue(std::uint32_t jobReference);
    void RemoveFromPostQueue(std::uint32_t jobReference);
    // Keeps why the job's deletion failed, for the post queue to show until
    // a deletion succeeds. Raises catalogue errors.
    void SetWithdrawalFailure(std::uint32_t jobReference, const std::string& reason);

    std::string Recipients(std::uint32_t jobReference) const;
    void SetRecipients(std::uint32_t jobReference, const std::string& recipients);
    // The contacts of a recipients text that have an address.
    std::vector<TRecipientRow> RecipientRows(const std::string& recipients) const;

    // Whether the job has a queue entry.
    bool IsQueued(std::uint32_t jobReference) const;
    // The task set a finished job had; empty when it is not in the post queue.
    std::string FinishedTaskSet(std::uint32_t jobReference) const;
    // The job's unique id; empty when it is not catalogued.
    std::string UniqueIDOf(std::uint32_t jobReference) const;
    // The job's secret; empty when it has none or is not catalogued.
    std::string SecretOf(std::uint32_t jobReference) const;

private:
    TCatalogueConnection& Catalogue;
    TLocalClock Clock;
};

// A moment as the post queue keeps it: "2026-12-10 09:26:41".
std::string SentTimeText(const TLocalTime& moment);

// When a job was catalogued, read from its unique id: "2026-12-10 09:26";
// empty for a text that is not a unique id.
std::string CataloguedAtText(const std::string& uniqueID);

// The items of a recipients text, sorted as texts, without duplicates, and
// joined again: "12,3,5".
std::string WithRecipient(const std::string& recipients, const std::string& addressID);
// The text without the item; the same text when it does not hold it.
std::string WithoutRecipient(const std::string& recipients, const std::string& addressID);

}  // namespace tavrin
