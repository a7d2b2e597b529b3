#pragma once

#include "base/catalogue/AnswerStatus.h"
#include "base/catalogue/RoundChanges.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tavrin {

// The viewer's round data, beside the viewer page in the job folder.
constexpr const char* ProofRoundFileName = "rounds.js";

// The earlier round as the viewer reaches it: its number and its data
// directory relative to the page's base URL (its remote job folder and "/").
struct TEarlierProof {
    std::int32_t Round = 1;
    std::string Directory;
};

// What the viewer is told about the job's round.
struct TProofRoundData {
    std::int32_t Round = 1;
    std::string JobName;
    // None when the earlier job is no longer catalogued.
    std::optional<TEarlierProof> Earlier;
    // The compare with the earlier round; none when it could not be made.
    std::optional<std::vector<TPageComparison>> Pages;
    // Pages with change map databases.
    std::set<std::int32_t> Mapped;
    TCarriedAnswers Carried;
};

// The file's one statement, "var proofround=" and a JSON object, then ";"
// and CR LF. A first proof: {"round":1}. A later round:
// {"round":2,"jobname":"proof-job.ps","earlier":{"round":1,"directory":"..."},
// "pages":[{"page":1,"state":"same","carried":{...}},{"page":2,"state":
// "changed","plates":[{"name":"BLACK","change":"changed","pixels":70}],
// "area":[20,30,29,36],"map":true},{"page":3,"state":"new"},...]};
// "pages" is null when the round could not be compared, and "earlier" is
// left out when the earlier job is no longer catalogued. Texts are JSON
// strings in ASCII (JSONQuoted).
std::string ProofRoundScript(const TProofRoundData& round);

// Writes the statement into fileName under its unfinished name and names it
// once whole. Raises std::runtime_error, leaving no unfinished file.
void WriteProofRound(const std::string& fileName, const TProofRoundData& round);

}  // namespace tavrin
