#include "base/catalogue/ProofRounds.h"
#include "base/settings/SettingsRecord.h"
#include "base/tasking/StationLog.h"
#include "tasks/catalogue/FolderScan.h"
#include "tests/catalogue/CatalogueFixture.h"

#include <filesystem>
#include <string>

namespace tavrin::testing {
namespace {

class ProofRounds : public CatalogueFixture {
protected:
    // A catalogued job; unique ids sort as the jobs were catalogued.
    void Job(std::uint32_t reference, const std::string& name, const std::string& uniqueID)
    {
        Run("insert into JobList (JobListName, JobListReference, JobListUniqueID) values (\"" + name + "\", " +
            std::to_string(reference) + ", \"" + uniqueID + "\")");
    }
    void Finished(std::uint32_t reference, const std::string& sentTime)
    {
        Run("insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks, PostQueueListSentTime) "
            "values (" +
            std::to_string(reference) + ", \"Master\", \"" + sentTime + "\")");
    }
    void Fingerprinted(std::uint32_t reference)
    {
        Run("insert into FingerprintList (FingerprintListJobReference, FingerprintListPageNumber) values (" +
            std::to_string(reference) + ", 1)");
    }
    std::string RoundOf(std::uint32_t reference) { return ProofRoundText(LoadProofRound(Catalogue, reference)); }
};

// A job linked in the middle of a chain of rounds: its own number follows
// the earlier round's, and the rounds already after it count on.
TEST_F(ProofRounds, LinkingNumbersTheJobAndRenumbersTheRoundsAfterIt)
{
    Job(101, "proof-job.ps", "20261210092641000");
    Job(105, "proof-job.ps", "20261211080000000");
    Job(109, "proof-job.ps", "20261211090000000");
    EXPECT_EQ(RoundOf(105), "1");
    EXPECT_EQ(RoundOf(777), "1");  // not catalogued: nothing to follow

    LinkProofRound(Catalogue, 109, 105);
    EXPECT_EQ(RoundOf(109), "2 of 105");
    LinkProofRound(Catalogue, 105, 101);
    EXPECT_EQ(RoundOf(101), "1");
    EXPECT_EQ(RoundOf(105), "2 of 101");
    EXPECT_EQ(RoundOf(109), "3 of 105");
    const TProofRound round = LoadProofRound(Catalogue, 105);
    EXPECT_EQ(round.Number, 2);
    EXPECT_EQ(round.EarlierUniqueID, "20261210092641000");
}

TEST_F(ProofRounds, ALinkToNoKnownJobToItselfOrBackIntoItsOwnRoundsIsRefusedAndChangesNothing)
{
    Job(101, "proof-job.ps", "20261210092641000");
    Job(105, "proof-job.ps", "20261211080000000");
    Job(109, "proof-job.ps", "20261211090000000");
    LinkProofRound(Catalogue, 105, 101);
    LinkProofRound(Catalogue, 109, 105);
    struct TCase {
        std::uint32_t Later, Earlier;
        const char* Reason;
    };
    const TCase cases[] = {
        {105, 200, "no job 200 in the catalogue: it cannot be an earlier round of job 105"},
        {200, 101, "no job 200 in the catalogue"},
        {105, 105, "job 105 cannot be a round of itself"},
        {101, 105, "job 105 is a later round of job 101 already: linking them would make a loop"},
        {101, 109, "job 109 is a later round of job 101 already: linking them would make a loop"},
    };
    for (const TCase& c : cases) {
        try {
            LinkProofRound(Catalogue, c.Later, c.Earlier);
            ADD_FAILURE() << c.Later << " round of " << c.Earlier << " was linked";
        } catch (const EProofRoundError& refusal) {
            EXPECT_EQ(std::string(refusal.what()), c.Reason);
        }
    }
    EXPECT_EQ(RoundOf(101), "1");
    EXPECT_EQ(RoundOf(105), "2 of 101");
    EXPECT_EQ(RoundOf(109), "3 of 105");
}

// The link is kept with the later job, and the earlier round's reference and
// unique id stay while it is in the post queue, its page buffers long gone.
// A job number given out again is not the earlier round.
TEST_F(ProofRounds, TheLinkAndTheEarlierRoundOutliveTheFolderScanWhileBothAreListed)
{
    Job(101, "proof-job.ps", "20261210092641000");
    Job(105, "proof-job.ps", "20261211080000000");
    Job(106, "other.ps", "20261211080500000");
    Finished(101, "2026-12-10 10:02:13");
    Run("insert into QueueList (QueueListJobReference, QueueListTasks) values (105, \"Master\")");
    LinkProofRound(Catalogue, 105, 101);

    TSettingsRecord settings;
    settings.InputFolder = Folder.Path("pagebuffers").string();
    std::filesystem::create_directories(settings.InputFolder);
    TStationLog log{[] { return TLocalTime{2026, 12, 11, 9, 0, 0, 0}; }};
    ASSERT_TRUE(ScanPageBufferFolder(Catalogue, settings, log));
    EXPECT_EQ(Column("select * from JobList order by JobListReference", "JobListReference"),
              (std::vector<std::string>{"101", "105"}));
    EXPECT_EQ(RoundOf(105), "2 of 101");
    EXPECT_EQ(Column("select * from JobList where JobListReference = 101", "JobListUniqueID"),
              std::vector<std::string>{"20261210092641000"});

    // Once 101 is deleted and pruned, a new job 101 does not count as 105's earlier round.
    Run("delete from PostQueueList");
    ASSERT_TRUE(ScanPageBufferFolder(Catalogue, settings, log));
    Job(101, "proof-job.ps", "20261211100000000");
    LinkProofRound(Catalogue, 101, 105);
    EXPECT_EQ(RoundOf(101), "3 of 105");
}

// The question's job: one of the same name catalogued earlier, finished or
// proofed, the latest of them, and never one of the job's own later rounds.
TEST_F(ProofRounds, TheLikelyEarlierRoundIsTheLatestEarlierJobOfTheNameThatWasFinishedOrProofed)
{
    Job(101, "proof-job.ps", "20261210092641000");  // finished
    Job(102, "other.ps", "20261210100000000");      // another name
    Job(103, "proof-job.ps", "20261210110000000");  // proofed, never finished
    Job(104, "proof-job.ps", "20261210120000000");  // neither
    Job(105, "proof-job.ps", "20261211080000000");  // being queued
    Job(108, "proof-job.ps", "20261211090000000");  // catalogued after 105
    Finished(101, "2026-12-10 10:02:13");
    Fingerprinted(102);
    Fingerprinted(103);
    Finished(108, "2026-12-11 09:30:00");

    auto found = LikelyEarlierRound(Catalogue, 105);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Reference, 103u);
    EXPECT_EQ(found->SentAt, "2026-12-10 11:00");  // never sent: when it was catalogued
    EXPECT_EQ(found->NextNumber, 2);

    LinkProofRound(Catalogue, 101, 104);  // 101 is round 2 now
    Run("delete from FingerprintList where FingerprintListJobReference = 103");
    found = LikelyEarlierRound(Catalogue, 105);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Reference, 101u);
    EXPECT_EQ(found->SentAt, "2026-12-10 10:02");
    EXPECT_EQ(found->NextNumber, 3);

    // 101 follows 105 now: asking would make a loop, and nothing else fits.
    LinkProofRound(Catalogue, 104, 105);
    EXPECT_FALSE(LikelyEarlierRound(Catalogue, 105));
    EXPECT_FALSE(LikelyEarlierRound(Catalogue, 102));
    EXPECT_FALSE(LikelyEarlierRound(Catalogue, 777));
}

}  // namespace
}  // namespace tavrin::testing
