#include "station/QueueStore.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueTransaction.h"
#include "base/catalogue/DueDates.h"
#include "base/catalogue/OutputLayout.h"
#include "base/tasking/TaskSets.h"
#include "base/text/TextRules.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace tavrin {

namespace {

std::string Decimal(std::uint32_t number)
{
    return std::to_string(number);
}

std::string EntryCondition(std::uint32_t jobReference)
{
    return " where QueueListJobReference = " + Decimal(jobReference);
}

// Runs the statements in one transaction; a failure is rolled back and not reported.
template <typename TWork>
void QuietlyInTransaction(TCatalogueConnection& catalogue, TWork work)
{
    try {
        InTransaction(catalogue, work);
    } catch (const std::exception&) {
    }
}

// A recipient list as the station writes it: decimal ids and commas only.
// Anything else never reaches a statement.
bool IsRecipientList(const std::string& recipients)
{
    return !recipients.empty() &&
           std::all_of(recipients.begin(), recipients.end(), [](char c) { return (c >= '0' && c <= '9') || c == ','; });
}

// The items of a recipient list, sorted as texts, without duplicates.
std::set<std::string> RecipientSet(const std::string& recipients)
{
    std::set<std::string> items;
    std::size_t start = 0;
    while (start <= recipients.size()) {
        const std::size_t comma = std::min(recipients.find(',', start), recipients.size());
        if (comma > start)
            items.insert(recipients.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

}  // namespace

std::string WithdrawalFailedStatus(const std::string& reason)
{
    return "Withdrawal failed: " + reason;
}

std::string SentTimeText(const TLocalTime& moment)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", moment.Year, moment.Month, moment.Day,
                  moment.Hour, moment.Minute, moment.Second);
    return text;
}

std::string CataloguedAtText(const std::string& uniqueID)
{
    if (!IsUniqueID(uniqueID))
        return {};
    return uniqueID.substr(0, 4) + "-" + uniqueID.substr(4, 2) + "-" + uniqueID.substr(6, 2) + " " +
           uniqueID.substr(8, 2) + ":" + uniqueID.substr(10, 2);
}

std::string WithRecipient(const std::string& recipients, const std::string& addressID)
{
    std::set<std::string> items = RecipientSet(recipients);
    items.insert(addressID);
    return JoinedWithCommas(items);
}

std::string WithoutRecipient(const std::string& recipients, const std::string& addressID)
{
    std::set<std::string> items = RecipientSet(recipients);
    if (items.erase(addressID) == 0)
        return recipients;
    return JoinedWithCommas(items);
}

std::vector<TQueueRow> TQueueStore::QueueRows() const
{
    std::vector<TQueueRow> queue;
    TRecordSet rows;
    OpenQuery(
        Catalogue, rows,
        "select * from QueueList inner join JobList on JobList.JobListReference = QueueList.QueueListJobReference");
    for (; !rows.Eof(); rows.MoveNext())
        queue.push_back(TQueueRow{
            ValueAsText(FieldValue(rows, "JobListName"), "Unknown"),
            ValueAsText(FieldValue(rows, "QueueListStatus"), "Unknown"), FieldValue(rows, "QueueListTasks"),
            static_cast<std::uint32_t>(ValueAsInteger(FieldValue(rows, "QueueListJobReference"), 0)), false,
            FieldValue(rows, "QueueListFailureReason"), FieldValue(rows, "QueueListRecipients"),
            ValueAsInteger(FieldValue(rows, "JobListPageCount"), 0),
            CataloguedAtText(FieldValue(rows, "JobListUniqueID")), ProofRoundOfRow(rows), DueDateOfRow(rows), "", ""});
    CloseQuery(rows);
    return queue;
}

std::vector<TPostQueueRow> TQueueStore::PostQueueRows() const
{
    std::vector<TPostQueueRow> postQueue;
    TRecordSet rows;
    OpenQuery(Catalogue, rows,
              "select * from PostQueueList inner join JobList on PostQueueList.PostQueueListJobReference = "
              "JobList.JobListReference");
    for (; !rows.Eof(); rows.MoveNext()) {
        const std::string failure = FieldValue(rows, "PostQueueListWithdrawalFailure");
        postQueue.push_back(TPostQueueRow{
            ValueAsText(FieldValue(rows, "JobListName"), "Unknown"),
            failure.empty() ? "complete" : WithdrawalFailedStatus(failure),
            static_cast<std::uint32_t>(ValueAsInteger(FieldValue(rows, "PostQueueListJobReference"), 0)),
            FieldValue(rows, "PostQueueListTasks"), ValueAsInteger(FieldValue(rows, "JobListPageCount"), 0),
            CataloguedAtText(FieldValue(rows, "JobListUniqueID")), FieldValue(rows, "JobListUniqueID"), "", "", "",
            failure, ProofRoundOfRow(rows), FieldValue(rows, "PostQueueListSentTime"), DueDateOfRow(rows),
            FieldValue(rows, "PostQueueListRecipients"), "", false});
    }
    CloseQuery(rows);
    return postQueue;
}

bool TQueueStore::SomeJobNotifiesNobody() const
{
    TRecordSet rows;
    OpenQuery(Catalogue, rows, "select * from QueueList");
    bool found = false;
    for (; !rows.Eof() && !found; rows.MoveNext())
        found = FieldValue(rows, "QueueListRecipients").empty() &&
                TaskSetNames(FieldValue(rows, "QueueListTasks"), NotifyTask);
    CloseQuery(rows);
    return found;
}

void TQueueStore::Add(std::uint32_t jobReference)
{
    if (StatementReturnsRows(Catalogue, "select * from QueueList" + EntryCondition(jobReference)))
        return;
    QuietlyInTransaction(Catalogue, [&] {
        ExecuteStatement(Catalogue, "insert into QueueList (QueueListJobReference, QueueListTasks, QueueListStatus, "
                                    "QueueListRecipients) values (" +
                                        Decimal(jobReference) + ", " + QuoteText(TaskSetTexts[NotifyTask]) + ", " +
                                        QuoteText("new") + ", " + QuoteText("") + ")");
    });
}

void TQueueStore::SetTaskSet(std::uint32_t jobReference, const std::string& taskSet)
{
    if (!StatementReturnsRows(Catalogue, "select * from QueueList" + EntryCondition(jobReference)))
        return;
    QuietlyInTransaction(Catalogue, [&] {
        ExecuteStatement(Catalogue,
                         "update Queuelist set QueueListTasks = " + QuoteText(taskSet) + EntryCondition(jobReference));
    });
}

void TQueueStore::Remove(std::uint32_t jobReference)
{
    QuietlyInTransaction(Catalogue,
                         [&] { ExecuteStatement(Catalogue, "delete from QueueList" + EntryCondition(jobReference)); });
}

void TQueueStore::SetStatus(std::uint32_t jobReference, const std::string& status, const std::string& reason)
{
    QuietlyInTransaction(Catalogue, [&] {
        ExecuteStatement(Catalogue, "update QueueList set QueueListStatus = " + QuoteText(status) +
                                        ", QueueListFailureReason = " + QuoteText(reason) +
                                        EntryCondition(jobReference));
    });
}

void TQueueStore::MoveToPostQueue(std::uint32_t jobReference)
{
    const std::string reference = Decimal(jobReference);
    const std::string taskSet =
        FirstFieldValue(Catalogue, "select * from QueueList" + EntryCondition(jobReference), "QueueListTasks");
    const std::string recipients = Recipients(jobReference);
    QuietlyInTransaction(Catalogue, [&] {
        ExecuteStatement(Catalogue, "delete from QueueList" + EntryCondition(jobReference));
        if (!StatementReturnsRows(Catalogue,
                                  "select * from PostQueueList where PostQueueListJobReference = " + reference))
            ExecuteStatement(Catalogue,
                             "insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (" +
                                 reference + ", " + QuoteText(taskSet) + ")");
        else
            ExecuteStatement(Catalogue, "update PostQueueList set PostQueueListTasks = " + QuoteText(taskSet) +
                                            " where PostQueueListJobReference = " + reference);
    });
    // Who it went to: the queue entry that held them is gone. Apart from the
    // move, like the time below.
    QuietlyInTransaction(Catalogue, [&] {
        ExecuteStatement(Catalogue, "update PostQueueList set PostQueueListRecipients = " + QuoteText(recipients) +
                                        " where PostQueueListJobReference = " + reference);
    });
    // When it was sent, for the question about a later round; apart from the
    // move too (without it the question dates the job by its cataloguing).
    QuietlyInTransaction(Catalogue, [&] {
        ExecuteStatement(Catalogue,
                         "update PostQueueList set PostQueueListSentTime = " + QuoteText(SentTimeText(Clock())) +
                             " where PostQueueListJobReference = " + reference);
    });
    // Finished again, the job is a new proof: an earlier failed withdrawal no
    // longer tells of it. Apart from the move, which must never fail for it.
    QuietlyInTransaction(Catalogue, [&] {
        ExecuteStatement(Catalogue, "update PostQueueList set PostQueueListWithdrawalFailure = NULL where "
                                    "PostQueueListJobReference = " +
                                        reference);
    });
}

void TQueueStore::RemoveFromPostQueue(std::uint32_t jobReference)
{
    ExecuteStatement(Catalogue, "delete from PostQueueList where PostQueueListJobReference = " + Decimal(jobReference));
}

void TQueueStore::SetWithdrawalFailure(std::uint32_t jobReference, const std::string& reason)
{
    ExecuteStatement(Catalogue, "update PostQueueList set PostQueueListWithdrawalFailure = " + QuoteText(reason) +
                                    " where PostQueueListJobReference = " + Decimal(jobReference));
}

std::string TQueueStore::Recipients(std::uint32_t jobReference) const
{
    return FirstFieldValue(Catalogue, "select * from QueueList" + EntryCondition(jobReference), "QueueListRecipients");
}

void TQueueStore::SetRecipients(std::uint32_t jobReference, const std::string& recipients)
{
    ExecuteStatement(Catalogue, "update QueueList set QueueListRecipients = " + QuoteText(recipients) +
                                    EntryCondition(jobReference));
}

std::vector<TRecipientRow> TQueueStore::RecipientRows(const std::string& recipients) const
{
    std::vector<TRecipientRow> contacts;
    if (!IsRecipientList(recipients))
        return contacts;
    TRecordSet rows;
    OpenQuery(Catalogue, rows, "select * from AddressList where AddressListID in (" + recipients + ")");
    for (; !rows.Eof(); rows.MoveNext()) {
        const std::string email = FieldValue(rows, "AddressListEmail");
        if (!email.empty())
            contacts.push_back(TRecipientRow{FieldValue(rows, "AddressListName"), email,
                                             ValueAsInteger(FieldValue(rows, "AddressListID"), 0)});
    }
    CloseQuery(rows);
    return contacts;
}

bool TQueueStore::IsQueued(std::uint32_t jobReference) const
{
    return StatementReturnsRows(Catalogue, "select * from QueueList" + EntryCondition(jobReference));
}

std::string TQueueStore::FinishedTaskSet(std::uint32_t jobReference) const
{
    return FirstFieldValue(Catalogue,
                           "select * from PostQueueList where PostQueueListJobReference = " + Decimal(jobReference),
                           "PostQueueListTasks");
}

std::string TQueueStore::UniqueIDOf(std::uint32_t jobReference) const
{
    return FirstFieldValue(Catalogue, "select * from JobList Where JobListReference = " + Decimal(jobReference),
                           "JobListUniqueID");
}

std::string TQueueStore::SecretOf(std::uint32_t jobReference) const
{
    return FirstFieldValue(Catalogue, "select * from JobList Where JobListReference = " + Decimal(jobReference),
                           "JobListSecret");
}

}  // namespace tavrin
