#include "base/catalogue/AnswerStatus.h"

#include <map>

namespace tavrin {

std::string AnswerStateWord(TAnswerState state)
{
    switch (state) {
    case TAnswerState::Approved: return "Approved";
    case TAnswerState::ChangesRequested: return "Changes requested";
    case TAnswerState::Waiting: break;
    }
    return "Waiting";
}

bool IsAboutEarlierProof(const TProofAnswer& answer, const std::string& jobFingerprint)
{
    return answer.Fingerprint != jobFingerprint;
}

TAnswerSummary SummariseAnswers(const std::vector<TProofAnswer>& answers, std::int32_t pageCount,
                                const std::string& jobFingerprint)
{
    TAnswerSummary summary;
    summary.Answers = static_cast<int>(answers.size());
    // The times are UTC in one fixed form, so they sort as text; of two
    // answers with the same time the one that arrived later wins.
    std::map<std::int32_t, const TProofAnswer*> latest;
    for (const TProofAnswer& answer : answers) {
        if (answer.Time > summary.LastAnswerTime)
            summary.LastAnswerTime = answer.Time;
        if (IsAboutEarlierProof(answer, jobFingerprint) || answer.Page < 1 || answer.Page > pageCount)
            continue;
        const TProofAnswer*& page = latest[answer.Page];
        if (!page || page->Time <= answer.Time)
            page = &answer;
    }
    bool everyPageApproved = pageCount > 0;
    for (std::int32_t page = 1; page <= pageCount; ++page) {
        const auto found = latest.find(page);
        if (found == latest.end()) {
            everyPageApproved = false;
        } else if (found->second->Decision == "changes") {
            summary.State = TAnswerState::ChangesRequested;
            return summary;
        }
    }
    if (everyPageApproved)
        summary.State = TAnswerState::Approved;
    return summary;
}

}  // namespace tavrin
