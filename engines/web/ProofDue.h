#pragma once

#include "base/text/CalendarDate.h"

#include <optional>
#include <string>

namespace tavrin {

// The day by which the customer is asked to answer, for the viewer's header,
// beside the viewer page in the job folder.
constexpr const char* ProofDueFileName = "due.js";

// The file's one statement, then CR LF: var proofdue="2026-12-18"; or, for a
// job without a due date, var proofdue=null; (so that a date taken away
// replaces the file as one set does).
std::string ProofDueScript(const std::optional<TCalendarDate>& due);

// Writes the statement into fileName under its unfinished name and names it
// once whole. Raises std::runtime_error, leaving no unfinished file.
void WriteProofDue(const std::string& fileName, const std::optional<TCalendarDate>& due);

}  // namespace tavrin
