#include "gui/PostQueueTab.h"
#include "tests/gui/StationWindowFixture.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QMenuBar>
#include <QProgressBar>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include <chrono>
#include <semaphore>

namespace tavrin::testing {
namespace {

// Lets the running task go on to its next step, one release at a time.
std::counting_semaphore<> NextStep{0};

// A task that works through pages 1 and 2, waiting for the test before each
// next step; it gives up (failing) when the test never lets it go on.
class TSteppedTask final : public TTaskThread {
public:
    TSteppedTask(TMessageTarget& target, std::uint32_t reference, int task)
        : TTaskThread(target, reference, static_cast<TMessageNumber>(WM_MASTER_DONE + task))
    {
    }

protected:
    void Run() override
    {
        for (int page : {1, 2}) {
            PostPage(page);
            PostLogText("", 40);
            PostTaskText("", 75);
            if (!NextStep.try_acquire_for(std::chrono::seconds(20))) {
                Fail("the test never let the task go on");
                return;
            }
        }
    }
};

// Why the next deletion fails; empty: it succeeds.
std::string DeletionFailure;

// A deletion that waits for the test once, then ends as DeletionFailure says.
class TSteppedDeletion final : public TTaskThread {
public:
    TSteppedDeletion(TMessageTarget& target, std::uint32_t reference) : TTaskThread(target, reference, WM_DELETE_DONE)
    {
    }

protected:
    void Run() override
    {
        if (!NextStep.try_acquire_for(std::chrono::seconds(20)))
            Fail("the test never let the task go on");
        else if (!DeletionFailure.empty())
            Fail(DeletionFailure);
    }
};

TTaskKinds SteppedKinds()
{
    TTaskKinds kinds;
    for (int task = 0; task < TaskCount; ++task)
        kinds.Chain[static_cast<std::size_t>(task)] = [task](TMessageTarget& target, const TTaskContext& context) {
            return std::make_unique<TSteppedTask>(target, context.JobReference(), task);
        };
    kinds.Deletion = [](TMessageTarget& target, const TTaskContext& context) {
        return std::make_unique<TSteppedDeletion>(target, context.JobReference());
    };
    return kinds;
}

class RunningTask : public StationWindow {
protected:
    RunningTask() : StationWindow(SteppedKinds()) {}

    void SetUp() override
    {
        StationWindow::SetUp();
        OpenWindow();
        QueueList = Child<QTreeWidget>("QueueListView");
        TotalBar = Child<QProgressBar>("TotalProgress");
        TaskBar = Child<QProgressBar>("TaskProgress");
    }

    void TearDown() override
    {
        // Nothing may be left waiting for a step that never comes.
        NextStep.release(4);
        while (Runner.HasRunningTasks())
            QTest::qWait(10);
        while (NextStep.try_acquire()) {
        }
        StationWindow::TearDown();
    }

    // Queues job n (its tree row) for its master only, as a job of three pages, and starts the queue.
    void StartMasterOf(int treeRow, int reference)
    {
        Run("update JobList set JobListPageCount = 3 where JobListReference = " + std::to_string(reference));
        auto* tree = Child<QTreeWidget>("JobList");
        tree->setCurrentItem(tree->topLevelItem(treeRow));
        QTest::mouseClick(Child<QAbstractButton>("AddToQueueBtn"), Qt::LeftButton);
        Child<QGroupBox>("TaskRadioGroup")->findChildren<QRadioButton*>().at(0)->click();
        QTest::mouseClick(Child<QAbstractButton>("StartBtn"), Qt::LeftButton);
    }

    QString Status() const { return QueueList->topLevelItem(0)->text(4); }

    QTreeWidget* QueueList = nullptr;
    QProgressBar* TotalBar = nullptr;
    QProgressBar* TaskBar = nullptr;
};

TEST_F(RunningTask, TheRunningRowShowsTaskAndPageAndTheBarsSayWhoseTheyAreUntilIdle)
{
    EXPECT_EQ(TotalBar->text(), "No task running");
    StartMasterOf(1, 12);
    QTRY_COMPARE(Status(), QString("Master: page 1 of 3"));
    QTRY_COMPARE(TaskBar->value(), 75);
    EXPECT_TRUE(QueueList->topLevelItem(0)->font(4).bold());
    EXPECT_EQ(TotalBar->value(), 40);
    EXPECT_EQ(TotalBar->text(), "Master for job 12: 40%");
    EXPECT_EQ(TaskBar->text(), "Master: page 1 of 3, this step: 75%");
    // The stored status is the catalogue's, untouched by the display.
    EXPECT_EQ(Column("select * from QueueList", "QueueListStatus"), std::vector<std::string>{"new"});

    NextStep.release();
    QTRY_COMPARE(Status(), QString("Master: page 2 of 3"));
    NextStep.release();
    QTRY_COMPARE(QueueList->topLevelItemCount(), 0);
    EXPECT_EQ(Child<QTreeWidget>("PostQueueListView")->topLevelItemCount(), 1);
    EXPECT_EQ(TotalBar->value(), 0);
    EXPECT_EQ(TaskBar->value(), 0);
    EXPECT_EQ(TotalBar->text(), "No task running");
    EXPECT_FALSE(Runner.Activity());
}

TEST_F(RunningTask, ClosingWhileATaskRunsWaitsDisabledForItAndThenCloses)
{
    StartMasterOf(2, 30);
    QTRY_COMPARE(Status(), QString("Master: page 1 of 3"));

    EXPECT_FALSE(Form->close());
    EXPECT_TRUE(Form->isVisible());
    EXPECT_FALSE(Form->centralWidget()->isEnabled());
    EXPECT_FALSE(Form->menuBar()->isEnabled());
    EXPECT_EQ(Form->statusBar()->currentMessage(), "Finishing Master for job 30 before closing...");
    // Asking again changes nothing.
    EXPECT_FALSE(Form->close());
    EXPECT_TRUE(Form->isVisible());

    NextStep.release();
    QTest::qWait(50);
    EXPECT_TRUE(Form->isVisible());
    NextStep.release();
    QTRY_VERIFY(!Form->isVisible());
    EXPECT_FALSE(Runner.HasRunningTasks());
    // The task finished whole; the job stays queued for the next start.
    EXPECT_TRUE(Log.Lines().back().ends_with("Master for job 30 complete."));
    EXPECT_EQ(Column("select * from QueueList", "QueueListJobReference"), std::vector<std::string>{"30"});
}

// The post-queue row stays while its deletion runs and after it failed,
// saying so; only a deletion that succeeded takes it away.
TEST_F(RunningTask, APostQueueJobStaysWhileItsDeletionRunsAndAfterItFailed)
{
    Run("insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (7, \"Master, Preview, Web, "
        "Transfer\")");
    Runner.ReloadPostQueueList();
    auto* finished = Child<QTreeWidget>("PostQueueListView");
    ASSERT_EQ(finished->topLevelItemCount(), 1);
    const auto deleteRow = [&] {
        finished->setCurrentItem(finished->topLevelItem(0));
        Dialogs.Answers = {true};
        QTest::mouseClick(Child<QAbstractButton>("DeleteFromPostQueueBtn"), Qt::LeftButton);
    };
    const auto status = [&] { return finished->topLevelItem(0)->text(PostStatusColumn); };

    DeletionFailure = "Could not log on to the FTP server: Connection refused";
    deleteRow();
    ASSERT_EQ(finished->topLevelItemCount(), 1);
    EXPECT_EQ(status(), "Deleting");
    NextStep.release();
    QTRY_COMPARE(status(), QString("Withdrawal failed: Could not log on to the FTP server: Connection refused"));
    EXPECT_EQ(finished->topLevelItem(0)->toolTip(PostStatusColumn), status());
    QTRY_VERIFY(!Runner.HasRunningTasks());
    if (QWidget* box = Form->findChild<QWidget*>("TaskFailedBox"))
        box->close();

    DeletionFailure.clear();
    deleteRow();
    EXPECT_EQ(status(), "Deleting");
    NextStep.release();
    QTRY_COMPARE(finished->topLevelItemCount(), 0);
    EXPECT_TRUE(Column("select * from PostQueueList", "PostQueueListJobReference").empty());
}

}  // namespace
}  // namespace tavrin::testing
