#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// A later round's compare with its earlier round, as the operator reads it:
// one line per page in page order, as tavrin-cli compare prints them
// ("page 2 changed: BLACK 70 px; area 20,30 to 29,36").
struct TRoundComparisonLines {
    std::uint32_t JobReference = 0;
    std::int32_t Round = 2;
    std::uint32_t EarlierReference = 0;
    std::int32_t EarlierRound = 1;
    // From the compare stored when the later round's proof was made; false
    // when compared now from both rounds' masters.
    bool Stored = false;
    std::vector<std::string> Lines;
};

// Why two rounds could not be compared; the text says why.
class ERoundComparisonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The job's round and the earlier one it is linked to, Lines empty; none
// for a first proof or a job that is not catalogued. Raises catalogue errors.
std::optional<TRoundComparisonLines> EarlierRoundOf(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// The compare stored with the later round's proof, when it was made with
// the round the job is linked to now; none otherwise. Quick: reads the
// catalogue only. Raises catalogue errors.
std::optional<TRoundComparisonLines> StoredRoundComparison(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// The job compared now with its earlier round from both rounds' masters (or
// their plate digests where a master is gone): slow, and safe on a thread of
// its own, since it only reads the catalogue and the masters. Raises
// ERoundComparisonError with the reason when the job is a first proof, the
// earlier round is no longer catalogued (or its number now names another
// job), or a round cannot be compared (not mastered, a master unreadable).
TRoundComparisonLines ComputeRoundComparison(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// How the window heads the lines: "Job 105 (round 2) against job 101
// (round 1), as compared when round 2's proof was made:" or "..., compared
// now from both rounds' masters:".
std::string RoundComparisonHeading(const TRoundComparisonLines& comparison);

}  // namespace tavrin
