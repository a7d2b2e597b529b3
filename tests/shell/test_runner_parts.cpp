#include "base/tasking/StationLog.h"
#include "station/QueueLists.h"
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
    TQueueStore Store{Catalogue};
    TQueueLists Lists{Store, Catalogue, Settings, Log, Dialogs, Notices, Deleting};
};

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

}  // namespace
}  // namespace tavrin::testing
