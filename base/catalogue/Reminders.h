#pragma once

#include "base/text/CalendarDate.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// Who a job's notification reached, kept with the job so that its
// reminders go to the same people: the contacts' AddressListIDs, separated
// by commas (as QueueListRecipients holds them). Saving forgets the job's
// earlier reminders. Raises catalogue errors.
void SaveNotifiedRecipients(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                            const std::vector<std::int32_t>& addressIDs);
std::vector<std::int32_t> LoadNotifiedRecipients(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// That a contact was reminded of a job for this due date: a due date moved
// later allows one more reminder. Raises catalogue errors.
void RecordReminder(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t addressID,
                    const TCalendarDate& due);

// The notified contacts of the job that were not yet reminded for this due
// date, in the order they were notified. Raises catalogue errors.
std::vector<std::int32_t> RecipientsToRemind(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                             const TCalendarDate& due);

// Whether today lies in the reminder's days: from days before the due date
// up to the due date itself. Once the date has passed the proof is overdue,
// and the operator, whose lists mark it, follows it up in person. No day
// with days 0.
bool InReminderDays(const TCalendarDate& due, const TCalendarDate& today, int days);

}  // namespace tavrin
