#pragma once

#include "base/catalogue/AnswerStatus.h"
#include "base/catalogue/RoundChanges.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// The line a later round's mail adds after its text, telling the customer
// what to look at again and what keeps its answer:
//   Round 2: pages 2 and 3 changed since round 1; page 1 is unchanged and stays approved.
// The clauses, each left out when it has no page, in this order:
//   "page 2 changed since round 1" (or "no page changed since round 1")
//   "page 4 is new" / "pages 4 and 5 are new"
//   "page 6 was removed" / "pages 6 and 7 were removed"
//   "page 1 is unchanged and stays approved" / "... are unchanged and stay approved"
//   "page 3 is unchanged although changes were requested in round 1" (per round)
//   "page 5 is unchanged" / "pages 5 and 6 are unchanged"
// Pages are listed as "2", "2 and 3", "2, 3 and 5", a run of three or more
// as "2 to 9". Only a page the compare found the same keeps an answer.
std::string RoundChangesLine(std::int32_t round, std::int32_t earlierRound, const std::vector<TPageComparison>& pages,
                             const TCarriedAnswers& carried);

// A later round whose compare is not known: "Round 2 of this job."
std::string RoundWithoutCompareLine(std::int32_t round);

}  // namespace tavrin
