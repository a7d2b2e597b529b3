#pragma once

#include "base/text/CalendarDate.h"

#include <cstdint>
#include <optional>

namespace tavrin {

class TCatalogueConnection;
class TRecordSet;

// By when the customer is asked to answer a job's proof. It lives on the
// job's JobList row, so that it follows the job from the queue to the post
// queue; a stored text that is not a date counts as none.
std::optional<TCalendarDate> DueDateOfRow(const TRecordSet& row);
// The job's due date; nothing when it has none or is not catalogued. Raises catalogue errors.
std::optional<TCalendarDate> LoadDueDate(TCatalogueConnection& catalogue, std::uint32_t jobReference);
// Sets or (with nothing) clears the job's due date; false when the job is
// not catalogued. Raises catalogue errors.
bool SaveDueDate(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::optional<TCalendarDate> due);

// Whether a due date has passed: the day after it has begun.
bool IsOverdue(const std::optional<TCalendarDate>& due, const TCalendarDate& today);

}  // namespace tavrin
