#include "station/RoundComparison.h"

#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/ProofRounds.h"
#include "base/catalogue/RoundChanges.h"
#include "engines/imaging/RoundCompare.h"

namespace tavrin {

namespace {

std::vector<std::string> LinesOf(const std::vector<TPageComparison>& pages)
{
    std::vector<std::string> lines;
    for (const TPageComparison& page : pages)
        lines.push_back(ComparisonLine(page));
    return lines;
}

}  // namespace

std::optional<TRoundComparisonLines> EarlierRoundOf(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    const TProofRound round = LoadProofRound(catalogue, jobReference);
    if (round.EarlierReference == 0)
        return std::nullopt;
    TRoundComparisonLines comparison;
    comparison.JobReference = jobReference;
    comparison.Round = round.Number;
    comparison.EarlierReference = round.EarlierReference;
    // Renumbering keeps each round one after the round it is linked to.
    comparison.EarlierRound = round.Number - 1;
    return comparison;
}

std::optional<TRoundComparisonLines> StoredRoundComparison(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    std::optional<TRoundComparisonLines> comparison = EarlierRoundOf(catalogue, jobReference);
    if (!comparison)
        return std::nullopt;
    const std::optional<TRoundChanges> changes = LoadRoundChanges(catalogue, jobReference);
    // A compare with the job it was linked to before says nothing of this link.
    if (!changes || changes->EarlierReference != comparison->EarlierReference)
        return std::nullopt;
    comparison->Stored = true;
    comparison->Lines = LinesOf(changes->Pages);
    return comparison;
}

TRoundComparisonLines ComputeRoundComparison(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    std::optional<TRoundComparisonLines> comparison = EarlierRoundOf(catalogue, jobReference);
    if (!comparison)
        throw ERoundComparisonError("job " + std::to_string(jobReference) +
                                    " is a first proof: it has no earlier round");
    const std::uint32_t earlier = comparison->EarlierReference;
    TJobDetailRecord earlierJob;
    LoadJobDetail(catalogue, static_cast<std::int32_t>(earlier), earlierJob);
    const std::string roundText = "round " + std::to_string(comparison->EarlierRound);
    if (earlierJob.ID == 0)
        throw ERoundComparisonError("job " + std::to_string(earlier) + ", " + roundText +
                                    ", is no longer in the catalogue");
    // The RIP gives job numbers out again: the number may name a newer job now.
    if (earlierJob.UniqueID != LoadProofRound(catalogue, jobReference).EarlierUniqueID)
        throw ERoundComparisonError("job " + std::to_string(earlier) + " in the catalogue now is another job than " +
                                    roundText);
    try {
        comparison->Lines = LinesOf(CompareRounds(catalogue, earlier, jobReference));
    } catch (const std::exception& error) {
        throw ERoundComparisonError(error.what());
    }
    return *comparison;
}

std::string RoundComparisonHeading(const TRoundComparisonLines& comparison)
{
    const std::string round = "round " + std::to_string(comparison.Round);
    return "Job " + std::to_string(comparison.JobReference) + " (" + round + ") against job " +
           std::to_string(comparison.EarlierReference) + " (round " + std::to_string(comparison.EarlierRound) + "), " +
           (comparison.Stored ? "as compared when " + round + "'s proof was made:"
                              : "compared now from both rounds' masters:");
}

}  // namespace tavrin
