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

std::map<std::int32_t, TProofAnswer> LatestPageAnswers(const std::vector<TProofAnswer>& answers, std::int32_t pageCount,
                                                       const std::string& jobFingerprint)
{
    // The times are UTC in one fixed form, so they sort as text.
    std::map<std::int32_t, const TProofAnswer*> latest;
    for (const TProofAnswer& answer : answers) {
        if (IsAboutEarlierProof(answer, jobFingerprint) || answer.Page < 1 || answer.Page > pageCount)
            continue;
        const TProofAnswer*& page = latest[answer.Page];
        if (!page || page->Time <= answer.Time)
            page = &answer;
    }
    std::map<std::int32_t, TProofAnswer> pages;
    for (const auto& [page, answer] : latest)
        pages.emplace(page, *answer);
    return pages;
}

TAnswerSummary SummariseAnswers(const std::vector<TProofAnswer>& answers, std::int32_t pageCount,
                                const std::string& jobFingerprint, const TCarriedAnswers& carried)
{
    TAnswerSummary summary;
    summary.Answers = static_cast<int>(answers.size());
    for (const TProofAnswer& answer : answers)
        if (answer.Time > summary.LastAnswerTime)
            summary.LastAnswerTime = answer.Time;
    const std::map<std::int32_t, TProofAnswer> latest = LatestPageAnswers(answers, pageCount, jobFingerprint);
    bool everyPageApproved = pageCount > 0;
    for (std::int32_t page = 1; page <= pageCount; ++page) {
        const TProofAnswer* answer = nullptr;
        if (const auto own = latest.find(page); own != latest.end())
            answer = &own->second;
        else if (const auto kept = carried.find(page); kept != carried.end())
            answer = &kept->second.Answer;
        if (!answer) {
            everyPageApproved = false;
        } else if (answer->Decision == "changes") {
            summary.State = TAnswerState::ChangesRequested;
            return summary;
        }
    }
    if (everyPageApproved)
        summary.State = TAnswerState::Approved;
    return summary;
}

}  // namespace tavrin
