#include "engines/web/ProofDue.h"

#include "engines/web/DataScript.h"

namespace tavrin {

std::string ProofDueScript(const std::optional<TCalendarDate>& due)
{
    // The date's text is digits and dashes only: nothing to quote.
    return "var proofdue=" + (due ? "\"" + CalendarDateText(*due) + "\"" : std::string("null")) + ";\r\n";
}

void WriteProofDue(const std::string& fileName, const std::optional<TCalendarDate>& due)
{
    WriteDataScript(fileName, [&] { return ProofDueScript(due); });
}

}  // namespace tavrin
