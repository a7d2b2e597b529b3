#include "base/catalogue/ProofRounds.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueTransaction.h"
#include "base/catalogue/RecordSet.h"
#include "base/catalogue/UniqueIDs.h"

#include <algorithm>
#include <set>
#include <vector>

namespace tavrin {

namespace {

std::string JobCondition(std::uint32_t jobReference)
{
    return " where JobListReference = " + std::to_string(jobReference);
}

struct TRoundRow {
    bool Catalogued = false;
    std::string UniqueID;
    std::string Name;
    TProofRound Round;
};

TRoundRow LoadRoundRow(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    TRoundRow found;
    TRecordSet rows;
    OpenQuery(catalogue, rows, "select * from JobList" + JobCondition(jobReference));
    if (!rows.Eof()) {
        found.Catalogued = true;
        found.UniqueID = FieldValue(rows, "JobListUniqueID");
        found.Name = FieldValue(rows, "JobListName");
        found.Round = ProofRoundOfRow(rows);
    }
    CloseQuery(rows);
    return found;
}

// Whether `later` is among the rounds before `job`: the links are followed
// back while the earlier job is still the one they name.
bool FollowsRound(TCatalogueConnection& catalogue, std::uint32_t job, std::uint32_t later)
{
    std::set<std::uint32_t> seen;
    TRoundRow row = LoadRoundRow(catalogue, job);
    while (row.Catalogued && row.Round.EarlierReference != 0 && seen.insert(row.Round.EarlierReference).second) {
        const TRoundRow earlier = LoadRoundRow(catalogue, row.Round.EarlierReference);
        if (!earlier.Catalogued || earlier.UniqueID != row.Round.EarlierUniqueID)
            return false;
        if (row.Round.EarlierReference == later)
            return true;
        row = earlier;
    }
    return false;
}

// "2026-12-10 09:26" from a stored "2026-12-10 09:26:41" or a unique id.
std::string MinuteText(const std::string& sentTime, const std::string& uniqueID)
{
    if (sentTime.size() >= 16)
        return sentTime.substr(0, 16);
    if (!UniqueIDMoment(uniqueID))
        return {};
    return uniqueID.substr(0, 4) + "-" + uniqueID.substr(4, 2) + "-" + uniqueID.substr(6, 2) + " " +
           uniqueID.substr(8, 2) + ":" + uniqueID.substr(10, 2);
}

}  // namespace

TProofRound ProofRoundOfRow(const TRecordSet& row)
{
    TProofRound round;
    const std::int32_t earlier = ValueAsInteger(FieldValue(row, "JobListRoundOf"), 0);
    if (earlier <= 0)
        return round;  // a first proof, or a row from before rounds were kept
    round.EarlierReference = static_cast<std::uint32_t>(earlier);
    round.EarlierUniqueID = FieldValue(row, "JobListRoundOfUniqueID");
    round.Number = std::max(2, ValueAsInteger(FieldValue(row, "JobListRound"), 2));
    return round;
}

TProofRound LoadProofRound(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    return LoadRoundRow(catalogue, jobReference).Round;
}

std::string ProofRoundText(const TProofRound& round)
{
    if (round.EarlierReference == 0)
        return std::to_string(round.Number);
    return std::to_string(round.Number) + " of " + std::to_string(round.EarlierReference);
}

void LinkProofRound(TCatalogueConnection& catalogue, std::uint32_t later, std::uint32_t earlier)
{
    if (later == earlier)
        throw EProofRoundError("job " + std::to_string(later) + " cannot be a round of itself");
    InTransaction(catalogue, [&] {
        const TRoundRow laterRow = LoadRoundRow(catalogue, later);
        if (!laterRow.Catalogued)
            throw EProofRoundError("no job " + std::to_string(later) + " in the catalogue");
        const TRoundRow earlierRow = LoadRoundRow(catalogue, earlier);
        if (!earlierRow.Catalogued)
            throw EProofRoundError("no job " + std::to_string(earlier) +
                                   " in the catalogue: it cannot be an earlier round of job " + std::to_string(later));
        if (FollowsRound(catalogue, earlier, later))
            throw EProofRoundError("job " + std::to_string(earlier) + " is a later round of job " +
                                   std::to_string(later) + " already: linking them would make a loop");

        const std::int32_t number = earlierRow.Round.Number + 1;
        ExecuteStatement(catalogue, "update JobList set JobListRoundOf = " + std::to_string(earlier) +
                                        ", JobListRoundOfUniqueID = " + QuoteText(earlierRow.UniqueID) +
                                        ", JobListRound = " + std::to_string(number) + JobCondition(later));

        // The rounds after `later` count on from its new number.
        std::vector<std::pair<std::uint32_t, std::string>> pending{{later, laterRow.UniqueID}};
        std::set<std::uint32_t> renumbered{later};
        std::vector<std::int32_t> numbers{number};
        while (!pending.empty()) {
            const auto [job, uniqueID] = pending.back();
            const std::int32_t next = numbers.back() + 1;
            pending.pop_back();
            numbers.pop_back();
            const std::string followers = " where JobListRoundOf = " + std::to_string(job) +
                                          " and JobListRoundOfUniqueID = " + QuoteText(uniqueID);
            TRecordSet rows;
            OpenQuery(catalogue, rows, "select * from JobList" + followers);
            for (; !rows.Eof(); rows.MoveNext()) {
                const auto follower =
                    static_cast<std::uint32_t>(ValueAsInteger(FieldValue(rows, "JobListReference"), 0));
                if (renumbered.insert(follower).second) {
                    pending.emplace_back(follower, FieldValue(rows, "JobListUniqueID"));
                    numbers.push_back(next);
                }
            }
            CloseQuery(rows);
            ExecuteStatement(catalogue, "update JobList set JobListRound = " + std::to_string(next) + followers);
        }
    });
}

std::optional<TEarlierRoundCandidate> LikelyEarlierRound(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    const TRoundRow job = LoadRoundRow(catalogue, jobReference);
    if (!job.Catalogued || job.Name.empty())
        return std::nullopt;

    struct TFound {
        std::uint32_t Reference;
        std::string UniqueID;
        std::int32_t Number;
        std::string SentTime;
    };
    std::vector<TFound> found;
    const std::string sameName =
        " JobListName = " + QuoteText(job.Name) + " and not JobListReference = " + std::to_string(jobReference);
    const auto collect = [&](const std::string& statement, bool finished) {
        TRecordSet rows;
        OpenQuery(catalogue, rows, statement);
        for (; !rows.Eof(); rows.MoveNext())
            found.push_back({static_cast<std::uint32_t>(ValueAsInteger(FieldValue(rows, "JobListReference"), 0)),
                             FieldValue(rows, "JobListUniqueID"), ProofRoundOfRow(rows).Number,
                             finished ? FieldValue(rows, "PostQueueListSentTime") : std::string()});
        CloseQuery(rows);
    };
    collect("select * from JobList inner join PostQueueList on PostQueueList.PostQueueListJobReference = "
            "JobList.JobListReference where" +
                sameName,
            true);
    collect("select * from JobList where" + sameName +
                " and JobListReference in (select FingerprintListJobReference from FingerprintList)",
            false);

    const TFound* latest = nullptr;
    for (const TFound& candidate : found) {
        // Only a job catalogued before this one can be its earlier round.
        if (job.UniqueID.empty() || candidate.UniqueID.empty() || candidate.UniqueID >= job.UniqueID)
            continue;
        if (latest && (candidate.UniqueID < latest->UniqueID ||
                       (candidate.UniqueID == latest->UniqueID && !latest->SentTime.empty())))
            continue;
        if (FollowsRound(catalogue, candidate.Reference, jobReference))
            continue;
        latest = &candidate;
    }
    if (!latest)
        return std::nullopt;
    return TEarlierRoundCandidate{latest->Reference, latest->Number + 1,
                                  MinuteText(latest->SentTime, latest->UniqueID)};
}

}  // namespace tavrin
