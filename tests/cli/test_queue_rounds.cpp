#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <gmock/gmock.h>

#include <filesystem>

namespace tavrin {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Two rips of one job: 101 proofed and finished, 105 its correction.
class QueueRounds : public testing::ScratchStation {
protected:
    void SetUp() override
    {
        ScratchStation::SetUp();
        CopyFromStation("tavrin.dbi");
        CopyFromStation("tavrin.js");
        const std::filesystem::path pageBuffers = Folder.Path("pgb");
        std::filesystem::create_directories(pageBuffers);
        Folder.Write("tavrin.ini", "[Main]\nInputFolder=" + pageBuffers.string() + "\n");
        for (const int job : {101, 105}) {
            TPlateOptions options;
            options.JobNumber = job;
            options.JobName = std::to_string(job) + ".proof-job.ps";
            options.ColorName = "BLACK";
            options.Resolution = 300;
            const TBitmap blank{32, 2, std::vector<std::uint8_t>(8, 0)};
            WriteFileBytes((pageBuffers / (std::to_string(job) + "-1-Black.pgb")).string(),
                           PageBufferBytes(PlateLayout(blank, options)));
        }
        const auto made =
            testing::RunProgram("tavrin-cli", "tree then queue add 101 then queue tasks 101 Master then start");
        ASSERT_EQ(made.ExitStatus, 0) << made.Output << made.Errors;
    }
};

TEST_F(QueueRounds, RoundOfLinksExplicitlyAndAPlainAddNeverDoes)
{
    auto result = testing::RunProgram("tavrin-cli", "queue add 105");
    ASSERT_EQ(result.ExitStatus, 0) << result.Errors;
    // A first proof's row is as it was before rounds.
    EXPECT_THAT(result.Output, HasSubstr("105\t[ ] proof-job.ps\tnew\tMaster, Preview, Web, Transfer, Notify\t"
                                         "recipients: \n"));

    result = testing::RunProgram("tavrin-cli", "queue add 105 --round-of 101");
    ASSERT_EQ(result.ExitStatus, 0) << result.Errors;
    EXPECT_THAT(result.Output, HasSubstr("105\t[ ] proof-job.ps\tnew\tMaster, Preview, Web, Transfer, Notify\t"
                                         "recipients: \tround 2 of 101\n"));
    // The link is the catalogue's and goes with the job into the post queue.
    result = testing::RunProgram("tavrin-cli", "queue tasks 105 Master then start then postqueue list");
    ASSERT_EQ(result.ExitStatus, 0) << result.Errors;
    EXPECT_THAT(result.Output, HasSubstr("101\tproof-job.ps\tcomplete\tMaster\t-\tWaiting\n"));
    EXPECT_THAT(result.Output, HasSubstr("105\tproof-job.ps\tcomplete\tMaster\t-\tWaiting\tround 2 of 101\n"));
}

// A job whose proof was built as a first proof and is then linked builds
// its pages again at the next start: they must show the compare.
TEST_F(QueueRounds, LinkingABuiltProofBuildsItsPagesAgainAtTheNextStart)
{
    auto result = testing::RunProgram("tavrin-cli", "queue add 105 then queue tasks 105 \"Master, Preview, Web\" then "
                                                    "start");
    ASSERT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    EXPECT_EQ(result.Errors.find("round 1 (job 101)"), std::string::npos);

    result = testing::RunProgram(
        "tavrin-cli", "queue add 105 --round-of 101 then queue tasks 105 \"Master, Preview, Web\" then start");
    ASSERT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    EXPECT_THAT(result.Output + result.Errors, HasSubstr("Creating web site..."));
    EXPECT_THAT(result.Output + result.Errors, HasSubstr("round 1 (job 101)"));
}

TEST_F(QueueRounds, ALinkThatCannotBeIsRefusedAndQueuesNothing)
{
    struct TCase {
        const char* Arguments;
        int ExitStatus;
        const char* Errors;
    };
    const TCase cases[] = {
        {"queue add 105 --round-of 200", 1,
         "tavrin-cli: no job 200 in the catalogue: it cannot be an earlier round of job 105\n"},
        {"queue add 105 --round-of 105", 1, "tavrin-cli: job 105 cannot be a round of itself\n"},
        {"queue add 300 --round-of 101", 1, "tavrin-cli: no job 300 in the catalogue (run tavrin-cli tree to scan)\n"},
        {"queue add 105 --round-of", 2, "Usage: tavrin-cli queue add REF [--round-of OLD]\n"},
        {"queue add 105 --round 101", 2, "Usage: tavrin-cli queue add REF [--round-of OLD]\n"},
        {"queue add 105 --round-of x", 2, "tavrin-cli: \"x\" is not a job reference\n"},
    };
    for (const TCase& c : cases) {
        const auto result = testing::RunProgram("tavrin-cli", c.Arguments);
        EXPECT_EQ(result.ExitStatus, c.ExitStatus) << c.Arguments;
        EXPECT_EQ(result.Errors, c.Errors) << c.Arguments;
    }
    EXPECT_THAT(testing::RunProgram("tavrin-cli", "queue list").Output, Not(HasSubstr("105\t")));

    // 105 follows 101 once linked: 101 cannot follow 105 in turn.
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "queue add 105 --round-of 101").ExitStatus, 0);
    const auto loop = testing::RunProgram("tavrin-cli", "queue add 101 --round-of 105");
    EXPECT_EQ(loop.ExitStatus, 1);
    EXPECT_EQ(loop.Errors, "tavrin-cli: job 105 is a later round of job 101 already: linking them would make a loop\n");
    EXPECT_THAT(testing::RunProgram("tavrin-cli", "queue list").Output, Not(HasSubstr("101\t")));
}

// A due date follows its job from the queue into the post queue; a text that
// is not a day, or a job that is not catalogued, changes nothing.
TEST_F(QueueRounds, ADueDateIsKeptWithTheJobAndShownInBothLists)
{
    auto result = testing::RunProgram("tavrin-cli", "queue add 105 then queue due 105 2026-12-18");
    ASSERT_EQ(result.ExitStatus, 0) << result.Errors;
    EXPECT_THAT(result.Output, HasSubstr("105\t[ ] proof-job.ps\tnew\tMaster, Preview, Web, Transfer, Notify\t"
                                         "recipients: \tdue: 2026-12-18\n"));

    for (const char* refused : {"queue due 105 2026-02-30", "queue due 105 18.12.2026", "queue due 105",
                                "queue due 105 \"2026-12-18; drop table JobList\""}) {
        result = testing::RunProgram("tavrin-cli", refused);
        EXPECT_EQ(result.ExitStatus, 2) << refused;
    }
    result = testing::RunProgram("tavrin-cli", "queue due 999 2026-12-20");
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_THAT(result.Errors, HasSubstr("no job 999"));

    result = testing::RunProgram("tavrin-cli", "queue due 101 2027-01-04 then queue tasks 105 Master then start then "
                                               "postqueue list");
    ASSERT_EQ(result.ExitStatus, 0) << result.Errors;
    EXPECT_THAT(result.Output, HasSubstr("101\tproof-job.ps\tcomplete\tMaster\t2027-01-04\tWaiting\n"));
    EXPECT_THAT(result.Output, HasSubstr("105\tproof-job.ps\tcomplete\tMaster\t2026-12-18\tWaiting\n"));

    result = testing::RunProgram("tavrin-cli", "queue due 105 - then postqueue list");
    ASSERT_EQ(result.ExitStatus, 0) << result.Errors;
    EXPECT_THAT(result.Output, HasSubstr("105\tproof-job.ps\tcomplete\tMaster\t-\tWaiting\n"));
}

}  // namespace
}  // namespace tavrin
