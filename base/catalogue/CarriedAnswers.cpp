#include "base/catalogue/CarriedAnswers.h"

#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/ProofAnswers.h"
#include "base/catalogue/ProofFingerprint.h"
#include "base/catalogue/ProofRounds.h"
#include "base/catalogue/RoundChanges.h"

#include <set>

namespace tavrin {

namespace {

TCarriedAnswers CarriedAnswersOf(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                 std::set<std::uint32_t>& visited)
{
    // A damaged catalogue may link rounds in a circle; each job is asked once.
    if (!visited.insert(jobReference).second)
        return {};
    const std::optional<TRoundChanges> changes = LoadRoundChanges(catalogue, jobReference);
    // A compare with another job than the one linked now is about the old link.
    if (!changes || LoadProofRound(catalogue, jobReference).EarlierReference != changes->EarlierReference)
        return {};
    const std::uint32_t earlier = changes->EarlierReference;
    TJobDetailRecord earlierJob;
    LoadJobDetail(catalogue, static_cast<std::int32_t>(earlier), earlierJob);
    if (earlierJob.ID == 0)
        return {};
    const std::map<std::int32_t, TProofAnswer> answered = LatestPageAnswers(
        LoadProofAnswers(catalogue, earlier), earlierJob.PageCount, LoadJobFingerprint(catalogue, earlier));
    const TCarriedAnswers kept = CarriedAnswersOf(catalogue, earlier, visited);
    const std::int32_t earlierRound = LoadProofRound(catalogue, earlier).Number;
    TCarriedAnswers carried;
    for (const TPageComparison& page : changes->Pages) {
        if (page.State != TPageComparison::TState::Same)
            continue;
        if (const auto own = answered.find(page.Page); own != answered.end())
            carried[page.Page] = {own->second, earlierRound};
        else if (const auto found = kept.find(page.Page); found != kept.end())
            carried[page.Page] = found->second;
    }
    return carried;
}

}  // namespace

TCarriedAnswers LoadCarriedAnswers(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    std::set<std::uint32_t> visited;
    return CarriedAnswersOf(catalogue, jobReference, visited);
}

}  // namespace tavrin
