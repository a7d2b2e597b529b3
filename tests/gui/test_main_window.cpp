#include "gui/ContactDialog.h"
#include "gui/JobTreeWidget.h"
#include "gui/MainPageControl.h"
#include "gui/PostQueueTab.h"
#include "tests/gui/StationWindowFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QDropEvent>
#include <QGroupBox>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolTip>

namespace tavrin::testing {
namespace {

class MainWindow : public StationWindow {
protected:
    void SetUp() override
    {
        StationWindow::SetUp();
        OpenWindow();
        JobList = Child<TJobTreeWidget>("JobList");
        QueueList = Child<QTreeWidget>("QueueListView");
    }

    // Selects a node of the job tree: a job, or one of its plates.
    void SelectNode(int job, int plate = -1)
    {
        QTreeWidgetItem* item = JobList->topLevelItem(job);
        JobList->setCurrentItem(plate < 0 ? item : item->child(plate));
    }

    // Drags the selected node of the job tree onto the queue and drops it there.
    void DropOnQueue()
    {
        QMimeData payload;
        payload.setData(TJobTreeWidget::MimeType, "12");
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &payload, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(QueueList->viewport(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &payload, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(QueueList->viewport(), &drop);
    }

    void Click(const char* button) { QTest::mouseClick(Child<QAbstractButton>(button), Qt::LeftButton); }

    int SelectedQueueRow() const
    {
        const auto selected = QueueList->selectedItems();
        return selected.isEmpty() ? -1 : QueueList->indexOfTopLevelItem(selected.front());
    }

    std::vector<std::string> QueuedJobs() { return Column("select * from QueueList", "QueueListJobReference"); }

    // Queues the three jobs of the tree.
    void QueueAllJobs()
    {
        for (int job = 0; job < 3; ++job) {
            SelectNode(job);
            Click("AddToQueueBtn");
        }
        ASSERT_EQ(QueueList->topLevelItemCount(), 3);
    }

    QAbstractButton* ActionButton(int level) const
    {
        return Child<QGroupBox>("TaskRadioGroup")->findChildren<QRadioButton*>().at(level);
    }

    TJobTreeWidget* JobList = nullptr;
    QTreeWidget* QueueList = nullptr;
};

TEST_F(MainWindow, ShowsItsControlsAndKeepsTheLayoutRuleOnResize)
{
    EXPECT_EQ(Form->windowTitle(), "Dranwick Tavrin Remote Proofing System");
    ASSERT_EQ(JobList->topLevelItemCount(), 3);
    EXPECT_EQ(JobList->topLevelItem(1)->childCount(), 2);
    EXPECT_EQ(Child<QTabWidget>("MainPageControl")->tabText(0), "Queue");
    EXPECT_EQ(Child<QTabWidget>("MainPageControl")->currentIndex(), 0);
    EXPECT_EQ(QueueList->headerItem()->text(2), "Tasks");
    EXPECT_EQ(QueueList->columnWidth(1), 90);
    EXPECT_TRUE(ActionButton(4)->isChecked());
    EXPECT_FALSE(Child<QAction>("TransferCommonFilesItem")->isEnabled());
    Form->SetCommonFilesTransfer([] {});
    EXPECT_TRUE(Child<QAction>("TransferCommonFilesItem")->isEnabled());

    for (int width : {1029, 800, 1201}) {
        Form->resize(width, 666);
        // The rule works on the outer width, frame included.
        const int outer = Form->frameGeometry().width();
        const int inputs = outer / 2 - 12;
        EXPECT_EQ(Child<QWidget>("InputsPageControl")->width(), inputs);
        EXPECT_EQ(Child<QWidget>("MainPageControl")->x(), inputs);
        EXPECT_EQ(Child<QWidget>("MainPageControl")->width(), outer - inputs - 12);
        EXPECT_EQ(Child<QWidget>("MainPageControl")->height(), 555);
    }
}

TEST_F(MainWindow, AJobIsQueuedOnceByButtonOrByDroppingAnyOfItsNodes)
{
    Click("AddToQueueBtn");
    EXPECT_EQ(Dialogs.Told, std::vector<std::string>{"Error: Please select a job"});

    SelectNode(1, 1);  // a plate of job 12
    DropOnQueue();
    EXPECT_EQ(QueuedJobs(), std::vector<std::string>{"12"});
    DropOnQueue();
    SelectNode(1);
    Click("AddToQueueBtn");
    EXPECT_EQ(QueuedJobs(), std::vector<std::string>{"12"});
    ASSERT_EQ(QueueList->topLevelItemCount(), 1);
    EXPECT_EQ(SelectedQueueRow(), 0);
    EXPECT_EQ(QueueList->topLevelItem(0)->text(1), "new");
    EXPECT_EQ(QueueList->topLevelItem(0)->text(2), "Master, Preview, Web, Transfer, Notify");

    // Dragging over the page control brings the queue forward and drops nothing there.
    auto* pages = Child<TMainPageControl>("MainPageControl");
    pages->setCurrentIndex(3);
    QMimeData payload;
    payload.setData(TJobTreeWidget::MimeType, "7");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &payload, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pages->tabBar(), &enter);
    EXPECT_EQ(pages->currentIndex(), 0);
    QDragMoveEvent move(QPoint(5, 5), Qt::CopyAction, &payload, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pages->tabBar(), &move);
    EXPECT_FALSE(move.isAccepted());
    EXPECT_EQ(QueuedJobs(), std::vector<std::string>{"12"});
}

TEST_F(MainWindow, RemovingTheLastOfThreeRowsSelectsTheNewLastAndTheOnlyRowLeavesNone)
{
    QueueAllJobs();
    QueueList->setCurrentItem(QueueList->topLevelItem(2));
    Click("RemoveFromQueueBtn");
    EXPECT_EQ(QueueList->topLevelItemCount(), 2);
    EXPECT_EQ(SelectedQueueRow(), 1);
    EXPECT_EQ(QueuedJobs().size(), 2u);

    QTest::keyClick(QueueList, Qt::Key_Delete);
    QTest::keyClick(QueueList, Qt::Key_Delete);
    EXPECT_EQ(QueueList->topLevelItemCount(), 0);
    EXPECT_EQ(SelectedQueueRow(), -1);
    EXPECT_TRUE(QueuedJobs().empty());
}

TEST_F(MainWindow, TheActionsGroupFollowsTheSelectedRowAndSetsItsTaskSet)
{
    QueueAllJobs();
    QueueList->setCurrentItem(QueueList->topLevelItem(0));
    ActionButton(1)->click();
    const std::string first = QueueList->topLevelItem(0)->text(0).toStdString();
    EXPECT_EQ(QueueList->topLevelItem(0)->text(2), "Master, Preview");

    QueueList->setCurrentItem(QueueList->topLevelItem(1));
    EXPECT_TRUE(ActionButton(4)->isChecked());
    QueueList->setCurrentItem(QueueList->topLevelItem(0));
    EXPECT_TRUE(ActionButton(1)->isChecked());
    EXPECT_EQ(Column("select * from QueueList inner join JobList on JobList.JobListReference = "
                     "QueueList.QueueListJobReference where QueueListTasks = \"Master, Preview\"",
                     "JobListName"),
              std::vector<std::string>{first});
}

TEST_F(MainWindow, RecipientsComeFromTheAddressBookAndAreStoredSortedAsText)
{
    for (const auto& [id, name] : {std::pair{3, "Carla"}, std::pair{5, "Erik"}, std::pair{12, "Lena"}})
        Run("insert into AddressList (AddressListID, AddressListName, AddressListEmail) values (" + std::to_string(id) +
            ", \"" + name + "\", \"" + name + "@example.com\")");
    SelectNode(1);
    Click("AddToQueueBtn");
    Run("update QueueList set QueueListRecipients = \"12,5\"");
    QueueList->setCurrentItem(nullptr);
    QueueList->setCurrentItem(QueueList->topLevelItem(0));
    auto* recipients = Child<QTreeWidget>("RecipientListView");
    EXPECT_EQ(recipients->topLevelItemCount(), 2);

    // The address book opens on Carla (first by name); Select takes her.
    WhenModal<TContactDlg>([](TContactDlg& book) {
        EXPECT_EQ(book.SelectedContact()->Name, "Carla");
        QTest::mouseClick(book.findChild<QPushButton*>("SelectBtn"), Qt::LeftButton);
    });
    Click("AddressDlgBtn");
    EXPECT_EQ(Column("select * from QueueList", "QueueListRecipients"), std::vector<std::string>{"12,3,5"});
    EXPECT_EQ(recipients->topLevelItemCount(), 3);

    // Cancel adds nothing.
    WhenModal<TContactDlg>([](TContactDlg& book) { book.reject(); });
    Click("AddressDlgBtn");
    EXPECT_EQ(Column("select * from QueueList", "QueueListRecipients"), std::vector<std::string>{"12,3,5"});

    for (int row = 0; row < 3; ++row) {
        recipients->setCurrentItem(recipients->topLevelItem(0));
        QTest::keyClick(recipients, Qt::Key_Delete);
    }
    EXPECT_EQ(Column("select * from QueueList", "QueueListRecipients"), std::vector<std::string>{""});
}

TEST_F(MainWindow, StartAsksAboutMissingRecipientsAndFinishedJobsCanBeBrowsed)
{
    SelectNode(1);
    Click("AddToQueueBtn");
    Click("StartBtn");
    ASSERT_EQ(Dialogs.Asked.size(), 1u);
    EXPECT_EQ(Dialogs.Asked[0], "Error: One or more jobs has notification selected,\r\nbut does not have any "
                                "recipients listed.\r\nWould you like to continue?");
    EXPECT_EQ(QueueList->topLevelItemCount(), 1);
    EXPECT_TRUE(Child<QGroupBox>("QueueControlsGroupBox")->isEnabled());

    // Yes: this build has no tasks, so the job ends at once and is finished.
    Dialogs.Answers = {true};
    Click("StartBtn");
    EXPECT_EQ(QueueList->topLevelItemCount(), 0);
    auto* finished = Child<QTreeWidget>("PostQueueListView");
    ASSERT_EQ(finished->topLevelItemCount(), 1);
    EXPECT_EQ(finished->topLevelItem(0)->text(1), "complete");
    EXPECT_TRUE(Child<QGroupBox>("QueueControlsGroupBox")->isEnabled());

    Dialogs.Told.clear();
    Child<QTabWidget>("MainPageControl")->setCurrentIndex(1);
    Click("PostQueueBrowseBtn");
    std::vector<QUrl> opened;
    Form->findChild<TPostQueueTab*>()->OpenUrl = [&](const QUrl& url) {
        opened.push_back(url);
        return opened.size() == 1;
    };
    finished->setCurrentItem(finished->topLevelItem(0));
    Click("PostQueueBrowseBtn");
    const QPoint row = finished->visualItemRect(finished->topLevelItem(0)).center();
    QTest::mouseClick(finished->viewport(), Qt::LeftButton, {}, row);
    QTest::mouseDClick(finished->viewport(), Qt::LeftButton, {}, row);
    Run("update PostQueueList set PostQueueListTasks = \"Master, Preview\"");
    Click("PostQueueBrowseBtn");
    const std::string uniqueID = Column("select * from JobList where JobListReference = 12", "JobListUniqueID")[0];
    ASSERT_EQ(opened.size(), 2u);
    const std::string secret = Column("select * from JobList where JobListReference = 12", "JobListSecret")[0];
    EXPECT_EQ(opened[0].toString().toStdString(),
              "http://proofs.example.com/tavrin/" + uniqueID + "-" + secret + "/index.html");
    EXPECT_EQ(Dialogs.Told, (std::vector<std::string>{"Error: Please select a job", "Error: Error 0 launching URL",
                                                      "Browse Error: This job was never transferred"}));
}

// A task that fails at once, as a Master task meeting a missing plate does.
class TFailingMaster final : public TTaskThread {
public:
    TFailingMaster(TMessageTarget& target, std::uint32_t reference) : TTaskThread(target, reference, WM_MASTER_DONE) {}

protected:
    void Run() override { Fail("Cannot open file 12-CYAN.pgb"); }
};

TEST_F(MainWindow, AFailedTaskShowsInItsRowInRedWithTheReasonAndInOneBox)
{
    SelectNode(1);
    Click("AddToQueueBtn");
    ASSERT_EQ(QueueList->topLevelItemCount(), 1);

    (new TFailingMaster(Messages, 12))->Start();
    QTRY_COMPARE(QueueList->topLevelItem(0)->text(1), QString("Failed at Master"));

    const QTreeWidgetItem* row = QueueList->topLevelItem(0);
    EXPECT_EQ(row->foreground(1).color(), QColor(Qt::red));
    EXPECT_EQ(row->toolTip(1), "Cannot open file 12-CYAN.pgb");
    const auto boxes = Form->findChildren<QMessageBox*>("TaskFailedBox");
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0]->isVisible());
    EXPECT_EQ(boxes[0]->text(), "Master failed for job 12:\nCannot open file 12-CYAN.pgb");
    EXPECT_TRUE(Child<QGroupBox>("QueueControlsGroupBox")->isEnabled());
    boxes[0]->accept();
}

TEST_F(MainWindow, TheLogKeepsItsLast201LinesAndProgressMovesTheBars)
{
    for (int i = 0; i < 250; ++i)
        Log.Log("line " + std::to_string(i));
    auto* logWin = Child<QPlainTextEdit>("LogWin");
    EXPECT_EQ(logWin->document()->blockCount(), 201);
    EXPECT_TRUE(logWin->toPlainText().startsWith("[2026:12:10:09:00:00:000]: line 49\n"));
    EXPECT_TRUE(logWin->toPlainText().endsWith("line 249"));

    Runner.HandleMessage(TTaskMessage::Progress(WM_TOTAL_PROGRESS, 40, std::nullopt));
    Runner.HandleMessage(TTaskMessage::Progress(WM_TASK_PROGRESS, 75, std::string("half way")));
    EXPECT_EQ(Child<QProgressBar>("TotalProgress")->value(), 40);
    EXPECT_EQ(Child<QProgressBar>("TaskProgress")->value(), 75);
    EXPECT_TRUE(logWin->toPlainText().endsWith("half way"));
}

TEST_F(MainWindow, HintsShowOnlyWhileShowHintsIsTicked)
{
    auto* start = Child<QWidget>("StartBtn");
    const auto hover = [&] {
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), start->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(start, &help);
        return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
    };
    EXPECT_EQ(hover(), "");
    Child<QAction>("ShowHintsItem")->trigger();
    EXPECT_EQ(hover(), "Click to start the queue.");
    QToolTip::hideText();
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 5000));
    Child<QAction>("ShowHintsItem")->trigger();
    EXPECT_EQ(hover(), "");
}

}  // namespace
}  // namespace tavrin::testing
