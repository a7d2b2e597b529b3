#include "engines/delivery/RoundMailLine.h"

#include <map>

namespace tavrin {

namespace {

using TState = TPageComparison::TState;

// "2", "2 and 3", "2, 3 and 5", "1 to 4 and 7": pages in ascending order.
std::string PageListText(const std::vector<std::int32_t>& pages)
{
    std::vector<std::string> items;
    for (std::size_t at = 0; at < pages.size();) {
        std::size_t end = at;
        while (end + 1 < pages.size() && pages[end + 1] == pages[end] + 1)
            ++end;
        // A long run reads better as its ends; two neighbours stay two items.
        if (end - at >= 2) {
            items.push_back(std::to_string(pages[at]) + " to " + std::to_string(pages[end]));
        } else {
            for (std::size_t i = at; i <= end; ++i)
                items.push_back(std::to_string(pages[i]));
        }
        at = end + 1;
    }
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    return text;
}

// "page 2 " + singular, or "pages 2 and 3 " + plural.
std::string PagesClause(const std::vector<std::int32_t>& pages, const std::string& singular, const std::string& plural)
{
    const bool one = pages.size() == 1;
    return (one ? "page " : "pages ") + PageListText(pages) + " " + (one ? singular : plural);
}

}  // namespace

std::string RoundChangesLine(std::int32_t round, std::int32_t earlierRound, const std::vector<TPageComparison>& pages,
                             const TCarriedAnswers& carried)
{
    std::vector<std::int32_t> changed, added, removed, approved, unchanged;
    // Pages whose unchanged plates keep a request for changes, by the round that asked.
    std::map<std::int32_t, std::vector<std::int32_t>> requested;
    std::map<std::int32_t, TState> byPage;
    for (const TPageComparison& page : pages)
        byPage[page.Page] = page.State;
    for (const auto& [page, state] : byPage) {
        if (state == TState::Changed) {
            changed.push_back(page);
        } else if (state == TState::New) {
            added.push_back(page);
        } else if (state == TState::Removed) {
            removed.push_back(page);
        } else {
            const auto kept = carried.find(page);
            const std::string decision = kept == carried.end() ? std::string() : kept->second.Answer.Decision;
            if (decision == "approve")
                approved.push_back(page);
            else if (decision == "changes")
                requested[kept->second.Round].push_back(page);
            else
                unchanged.push_back(page);
        }
    }

    const std::string since = "since round " + std::to_string(earlierRound);
    std::vector<std::string> clauses;
    clauses.push_back(changed.empty() ? "no page changed " + since
                                      : PagesClause(changed, "changed", "changed") + " " + since);
    if (!added.empty())
        clauses.push_back(PagesClause(added, "is new", "are new"));
    if (!removed.empty())
        clauses.push_back(PagesClause(removed, "was removed", "were removed"));
    if (!approved.empty())
        clauses.push_back(PagesClause(approved, "is unchanged and stays approved", "are unchanged and stay approved"));
    for (const auto& [askedIn, list] : requested) {
        const std::string asked = " although changes were requested in round " + std::to_string(askedIn);
        clauses.push_back(PagesClause(list, "is unchanged" + asked, "are unchanged" + asked));
    }
    if (!unchanged.empty())
        clauses.push_back(PagesClause(unchanged, "is unchanged", "are unchanged"));

    std::string line = "Round " + std::to_string(round) + ": ";
    for (std::size_t i = 0; i < clauses.size(); ++i)
        line += (i == 0 ? "" : "; ") + clauses[i];
    return line + ".";
}

std::string RoundWithoutCompareLine(std::int32_t round)
{
    return "Round " + std::to_string(round) + " of this job.";
}

}  // namespace tavrin
