#pragma once

#include "base/catalogue/ProofAnswers.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tavrin {

// Where a job stands with its customer.
enum class TAnswerState { Waiting, ChangesRequested, Approved };

// "Waiting", "Changes requested", "Approved".
std::string AnswerStateWord(TAnswerState state);

// Whether the answer is about another proof than the job's current one: its
// fingerprint differs from the job's (an answer without one belongs to the
// current proof only while the job has none either).
bool IsAboutEarlierProof(const TProofAnswer& answer, const std::string& jobFingerprint);

// An answer a page keeps from an earlier round because its plates did not
// change since: the answer and the round whose customer gave it.
struct TCarriedAnswer {
    TProofAnswer Answer;
    std::int32_t Round = 1;
};

// Carried answers by page number.
using TCarriedAnswers = std::map<std::int32_t, TCarriedAnswer>;

// Per page 1 to pageCount, the latest answer about the current proof (answers
// are in arrival order, which is time order per replies file; a later time
// wins across sources; of two with the same time the later arrival).
std::map<std::int32_t, TProofAnswer> LatestPageAnswers(const std::vector<TProofAnswer>& answers, std::int32_t pageCount,
                                                       const std::string& jobFingerprint);

struct TAnswerSummary {
    TAnswerState State = TAnswerState::Waiting;
    // The time of the latest answer of any proof; empty when there is none.
    std::string LastAnswerTime;
    int Answers = 0;
};

// Per page the latest answer about the current proof counts (see
// LatestPageAnswers), and where there is none, the page's carried answer:
// any page whose answer says changes makes the job "Changes requested";
// every page 1 to pageCount approved makes it "Approved"; anything else is
// "Waiting".
TAnswerSummary SummariseAnswers(const std::vector<TProofAnswer>& answers, std::int32_t pageCount,
                                const std::string& jobFingerprint, const TCarriedAnswers& carried = {});

}  // namespace tavrin
