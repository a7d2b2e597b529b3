#include "base/catalogue/Reminders.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueTransaction.h"
#include "base/catalogue/RecordSet.h"

#include <algorithm>
#include <sstream>

namespace tavrin {

namespace {

std::string Decimal(std::int64_t number)
{
    return std::to_string(number);
}

// The positive numbers of a comma-separated list; anything else a hand edit
// left there is passed over.
std::vector<std::int32_t> IDsOfText(const std::string& text)
{
    std::vector<std::int32_t> ids;
    std::istringstream items(text);
    for (std::string item; std::getline(items, item, ',');) {
        const std::int32_t id = ValueAsInteger(item, 0);
        if (id > 0 && std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    }
    return ids;
}

}  // namespace

void SaveNotifiedRecipients(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                            const std::vector<std::int32_t>& addressIDs)
{
    std::string text;
    for (const std::int32_t id : addressIDs)
        text += (text.empty() ? "" : ",") + Decimal(id);
    InTransaction(catalogue, [&] {
        ExecuteStatement(catalogue, "update JobList set JobListNotifiedRecipients = " + QuoteText(text) +
                                        " where JobListReference = " + Decimal(jobReference));
        // A new notification is a new proof (or a job number the RIP gave again): its reminders start afresh.
        ExecuteStatement(catalogue,
                         "delete from ReminderList where ReminderListJobReference = " + Decimal(jobReference));
    });
}

std::vector<std::int32_t> LoadNotifiedRecipients(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    return IDsOfText(FirstFieldValue(
        catalogue, "select JobListNotifiedRecipients from JobList where JobListReference = " + Decimal(jobReference),
        "JobListNotifiedRecipients"));
}

void RecordReminder(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t addressID,
                    const TCalendarDate& due)
{
    ExecuteStatement(catalogue,
                     "insert into ReminderList (ReminderListJobReference, ReminderListAddressID, ReminderListDueDate) "
                     "values (" +
                         Decimal(jobReference) + ", " + Decimal(addressID) + ", " + QuoteText(CalendarDateText(due)) +
                         ")");
}

std::vector<std::int32_t> RecipientsToRemind(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                             const TCalendarDate& due)
{
    std::vector<std::int32_t> reminded;
    TRecordSet rows;
    OpenQuery(catalogue, rows,
              "select * from ReminderList where ReminderListJobReference = " + Decimal(jobReference) +
                  " and ReminderListDueDate = " + QuoteText(CalendarDateText(due)));
    for (; !rows.Eof(); rows.MoveNext())
        reminded.push_back(ValueAsInteger(FieldValue(rows, "ReminderListAddressID"), 0));
    CloseQuery(rows);
    std::vector<std::int32_t> left;
    for (const std::int32_t id : LoadNotifiedRecipients(catalogue, jobReference))
        if (std::find(reminded.begin(), reminded.end(), id) == reminded.end())
            left.push_back(id);
    return left;
}

bool InReminderDays(const TCalendarDate& due, const TCalendarDate& today, int days)
{
    return days > 0 && AddDays(due, -days) <= today && today <= due;
}

}  // namespace tavrin
