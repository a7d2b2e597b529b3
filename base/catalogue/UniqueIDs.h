#pragma once

#include "base/platform/LocalClock.h"

#include <optional>
#include <string>

namespace tavrin {

// A moment written as a job's unique id: "yyyymmddhhnnsszzz".
std::string UniqueIDText(const TLocalTime& moment);

// The moment a unique id names, or none when the text is not 17 digits or
// names no moment of the calendar (month 13, 30 February, hour 24).
std::optional<TLocalTime> UniqueIDMoment(const std::string& id);

// The unique id to issue at `now` when `lastIssued` (a unique id, or "" when
// none was issued) is the latest one given out: now's own id when it sorts
// after lastIssued, otherwise lastIssued plus one millisecond. Ids stay
// distinct and increasing however fast jobs arrive and even when the clock
// steps back, without waiting for the clock. Raises std::invalid_argument
// for a lastIssued that is neither "" nor a valid moment.
std::string NextUniqueID(const TLocalTime& now, const std::string& lastIssued);

}  // namespace tavrin
