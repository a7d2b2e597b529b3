#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace tavrin {

class TCatalogueConnection;
class TRecordSet;

// Where a job stands among the proofs of one piece of work: a corrected job
// ripped again is the next round of the job it corrects. The link lives on
// the later job's JobList row, which the folder scan keeps while the job is
// queued, finished or has page buffers; it names the earlier job by its
// reference and its unique id, so that a job number the RIP gives out again
// is never taken for the earlier round.
struct TProofRound {
    // 1 for a first proof.
    std::int32_t Number = 1;
    // The earlier round's job, 0 for a first proof, and its unique id (which
    // names its output and web folders).
    std::uint32_t EarlierReference = 0;
    std::string EarlierUniqueID;
};

// A link that cannot be made; the text says why.
class EProofRoundError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The round of the job of the record set's current JobList row.
TProofRound ProofRoundOfRow(const TRecordSet& row);
// The job's round; a first proof when it is not catalogued. Raises catalogue errors.
TProofRound LoadProofRound(TCatalogueConnection& catalogue, std::uint32_t jobReference);
// How the lists show it: "1", "2 of 101".
std::string ProofRoundText(const TProofRound& round);

// Makes `later` the round after `earlier` (its number one more than
// earlier's) and renumbers the rounds that follow `later`, in one
// transaction. Raises EProofRoundError when either job is not catalogued,
// when they are one job, or when `earlier` follows `later` already (a loop).
void LinkProofRound(TCatalogueConnection& catalogue, std::uint32_t later, std::uint32_t earlier);

// A job that may be the earlier round of a job being queued: one of the same
// name, catalogued before it, that was finished (post queue) or proofed (it
// has fingerprints). Of several, the latest catalogued.
struct TEarlierRoundCandidate {
    std::uint32_t Reference = 0;
    // The number the later job would get.
    std::int32_t NextNumber = 2;
    // When it entered the post queue, as "2026-12-10 09:26"; when that is
    // not stored, when it was catalogued.
    std::string SentAt;
};
std::optional<TEarlierRoundCandidate> LikelyEarlierRound(TCatalogueConnection& catalogue, std::uint32_t jobReference);

}  // namespace tavrin
