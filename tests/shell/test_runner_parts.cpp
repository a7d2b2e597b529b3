#include "base/tasking/StationLog.h"
#include "station/QueueLists.h"
#include "station/RoundComparison.h"
#include "station/RunnerTexts.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/ScriptedDialogs.h"

#include <set>
#include <string>
#include <vector>

namespace tavrin::testing {
namespace {

// What the station waits for when it closes, named on the closing window.
TEST(RunnerTexts, FinishingNamesTheChainsTaskFirstThenADeletionThenTheAnswers)
{
    const TRunnerActivity web{12, WebTask, 2, 3};
    struct TCase {
        std::optional<TRunnerActivity> ChainTask;
        std::optional<std::uint32_t> Deletion;
        bool Answers;
        const char* Expected;
    };
    const TCase cases[] = {
        {web, 7, true, "Finishing Web for job 12 before closing..."},
        {std::nullopt, 7, true, "Finishing Deletion for job 7 before closing..."},
        {std::nullopt, std::nullopt, true, "Finishing fetching the answers before closing..."},
        {std::nullopt, std::nullopt, false, ""},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(FinishingText(c.ChainTask, c.Deletion, c.Answers), c.Expected);
}

TEST(RunnerTexts, ActivityNamesThePageOnlyOnceTheTaskHasNamedOne)
{
    EXPECT_EQ(ActivityText({12, TransferTask, 0, 3}), "Transfer");
    EXPECT_EQ(ActivityText({12, WebTask, 2, 3}), "Web: page 2 of 3");
    EXPECT_EQ(ActivityText({12, MasterTask, 2, 0}), "Master: page 2");
    EXPECT_EQ(FailedStatus(NotifyTask), "Failed at Notify");
    EXPECT_TRUE(IsFailedStatus("Failed at Notify"));
    EXPECT_FALSE(IsFailedStatus("new"));
}

// Records which lists the observer was told to show again.
struct TChangeObserver final : TRunnerObserver {
    std::vector<std::string> Changes;
    void QueueChanged() override { Changes.push_back("queue"); }
    void PostQueueChanged() override { Changes.push_back("post queue"); }
    void RecipientsChanged() override { Changes.push_back("recipients"); }
};

class QueueLists : public CatalogueFixture {
protected:
    void SetUp() override
    {
        CatalogueFixture::SetUp();
        for (const int job : {1, 2, 3})
            Run("insert into JobList (JobListName, JobListReference) values (\"Job " + std::to_string(job) + "\", " +
                std::to_string(job) + ")");
    }

    std::vector<std::uint32_t> QueuedJobs() const
    {
        std::vector<std::uint32_t> jobs;
        for (const TQueueRow& row : Lists.QueueRows())
            jobs.push_back(row.JobReference);
        return jobs;
    }

    TStationLog Log{[] { return TLocalTime{2026, 12, 10, 9, 0, 0, 0}; }};
    TScriptedDialogs Dialogs;
    TChangeObserver Observer;
    TRunnerObserver* Told = &Observer;
    TRunnerNotices Notices{Told};
    std::multiset<std::uint32_t> Deleting;
    // When the jobs the tests finish were sent.
    TQueueStore Store{Catalogue, [] { return TLocalTime{2026, 12, 10, 10, 2, 13, 0}; }};
    TQueueLists Lists{Store, Catalogue, Settings, Log, Dialogs, Notices, Deleting};
};

// Adding a job in the window asks about the latest earlier job of its name
// that was sent; Yes links them, No leaves a first proof. A queued job or a
// later round is not asked about again, and adding without the window's
// question (tavrin-cli) never links.
TEST_F(QueueLists, AddingAJobOfAnEarlierSentJobsNameAsksWhetherItIsTheNextRound)
{
    for (const int job : {1, 2, 3})
        Run("update JobList set JobListName = \"proof-job.ps\", JobListUniqueID = \"2026121009" + std::to_string(job) +
            "0000000\" where JobListReference = " + std::to_string(job));
    const auto rounds = [&] {
        std::vector<std::string> shown;
        for (const TQueueRow& row : Lists.QueueRows())
            shown.push_back(std::to_string(row.JobReference) + ": " + ProofRoundText(row.Round));
        return shown;
    };
    Lists.DropJobAskingRound(1);  // nothing earlier of its name
    Lists.MoveToPostQueue(1);
    EXPECT_TRUE(Dialogs.Asked.empty());
    ASSERT_EQ(Lists.PostQueueRows().size(), 1u);
    EXPECT_EQ(Lists.PostQueueRows()[0].SentTime, "2026-12-10 10:02:13");

    const std::string question = "Proof round: Is job 2 (proof-job.ps) round 2 of job 1, sent 2026-12-10 10:02?";
    Dialogs.Answers = {false};
    Lists.DropJobAskingRound(2);
    EXPECT_EQ(Dialogs.Asked, std::vector<std::string>{question});
    EXPECT_EQ(rounds(), std::vector<std::string>{"2: 1"});
    Lists.DropJobAskingRound(2);  // queued already
    EXPECT_EQ(Dialogs.Asked.size(), 1u);

    Lists.RemoveFromQueue(2);
    Dialogs.Answers = {true};
    Lists.DropJobAskingRound(2);
    EXPECT_EQ(Dialogs.Asked, (std::vector<std::string>{question, question}));
    EXPECT_EQ(rounds(), std::vector<std::string>{"2: 2 of 1"});

    Lists.DropJob(3);
    EXPECT_EQ(Dialogs.Asked.size(), 2u);
    EXPECT_EQ(rounds(), (std::vector<std::string>{"2: 2 of 1", "3: 1"}));

    // Of two earlier sent jobs the latest is asked about, with the number after its own.
    Lists.MoveToPostQueue(2);
    Lists.RemoveFromQueue(3);
    Dialogs.Answers = {true};
    Lists.DropJobAskingRound(3);
    EXPECT_EQ(Dialogs.Asked.back(), "Proof round: Is job 3 (proof-job.ps) round 3 of job 2, sent 2026-12-10 10:02?");
    EXPECT_EQ(rounds(), std::vector<std::string>{"3: 3 of 2"});
    Lists.RemoveFromQueue(3);
    Lists.DropJobAskingRound(3);  // a later round already
    EXPECT_EQ(Dialogs.Asked.size(), 3u);
    ASSERT_EQ(Lists.PostQueueRows().size(), 2u);
    EXPECT_EQ(ProofRoundText(Lists.PostQueueRows()[1].Round), "2 of 1");
}

// The operator's selections stay on their jobs while the lists change
// under them: a job finishing above the selected row, a reload, a job
// finishing into the post queue; a selected job that leaves is selected no more.
TEST_F(QueueLists, SelectionsFollowTheirJobsAndEndWhenTheJobLeaves)
{
    for (const std::uint32_t job : {1u, 2u, 3u})
        Lists.AddToQueue(job);
    Lists.ReloadQueueList();
    ASSERT_EQ(QueuedJobs(), (std::vector<std::uint32_t>{1, 2, 3}));
    Lists.SelectQueueRow(2);

    Observer.Changes.clear();
    Lists.MoveToPostQueue(1);
    EXPECT_EQ(QueuedJobs(), (std::vector<std::uint32_t>{2, 3}));
    EXPECT_EQ(Lists.SelectedQueueRow(), 1);
    EXPECT_EQ(Observer.Changes, (std::vector<std::string>{"queue", "post queue", "recipients"}));
    ASSERT_EQ(Lists.PostQueueRows().size(), 1u);
    EXPECT_EQ(Lists.PostQueueRows()[0].JobReference, 1u);

    Lists.ReloadQueueList();
    EXPECT_EQ(Lists.SelectedQueueRow(), 1);
    Lists.MoveToPostQueue(3);
    EXPECT_EQ(Lists.SelectedQueueRow(), -1);
    EXPECT_TRUE(Lists.RecipientRows().empty());

    // The post queue's selection outlives a reload and another job joining it.
    Lists.SelectPostQueueRow(0);
    const std::uint32_t selected = *Lists.SelectedPostQueueJob();
    Lists.MoveToPostQueue(2);
    ASSERT_EQ(Lists.PostQueueRows().size(), 3u);
    EXPECT_EQ(Lists.SelectedPostQueueJob(), selected);
    Run("delete from PostQueueList where PostQueueListJobReference = " + std::to_string(selected));
    Lists.ReloadPostQueueList();
    EXPECT_EQ(Lists.SelectedPostQueueRow(), -1);
    EXPECT_EQ(Lists.SelectedPostQueueJob(), std::nullopt);

    // A selection past the end is none.
    Lists.SelectPostQueueRow(5);
    EXPECT_EQ(Lists.SelectedPostQueueJob(), std::nullopt);
}

// The window's "Compare with round N" is offered for a linked job only, and
// compares only with the job the link names: a number the RIP gave out again
// or an earlier job no longer catalogued is a reason, never another job's compare.
TEST_F(QueueLists, ARoundIsComparedOnlyWithTheEarlierJobItsLinkNames)
{
    Run("update JobList set JobListUniqueID = \"20261210090000000\", JobListName = \"proof-job.ps\", "
        "JobListPageCount = 1 where JobListReference = 1");
    Run("update JobList set JobListUniqueID = \"20261211090000000\", JobListName = \"proof-job.ps\", "
        "JobListPageCount = 1, JobListRound = 2, JobListRoundOf = 1, JobListRoundOfUniqueID = \"20261210090000000\" "
        "where JobListReference = 2");
    EXPECT_FALSE(EarlierRoundOf(Catalogue, 1).has_value());
    const auto link = EarlierRoundOf(Catalogue, 2);
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(RoundComparisonHeading(*link), "Job 2 (round 2) against job 1 (round 1), compared now from both "
                                             "rounds' masters:");

    const auto reason = [&](std::uint32_t job) -> std::string {
        try {
            ComputeRoundComparison(Catalogue, job);
        } catch (const ERoundComparisonError& error) {
            return error.what();
        }
        return "compared";
    };
    EXPECT_EQ(reason(1), "job 1 is a first proof: it has no earlier round");
    // Neither round was mastered: the compare itself gives the reason.
    EXPECT_NE(reason(2), "compared");
    Run("update JobList set JobListUniqueID = \"20261212090000000\" where JobListReference = 1");
    EXPECT_EQ(reason(2), "job 1 in the catalogue now is another job than round 1");
    Run("delete from JobList where JobListReference = 1");
    EXPECT_EQ(reason(2), "job 1, round 1, is no longer in the catalogue");
}

}  // namespace
}  // namespace tavrin::testing
