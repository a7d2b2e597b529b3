#include "gui/ContactDlg.h"
#include "gui/JobTreeWidget.h"
#include "gui/MainFormLayout.h"
#include "gui/MainPageControl.h"
#include "gui/PostQueueTab.h"
#include "gui/QueueListWidget.h"
#include "tests/gui/StationWindowFixture.h"

#include <gmock/gmock.h>

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QClipboard>
#include <QDialog>
#include <QDropEvent>
#include <QGroupBox>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QToolTip>

namespace tavrin::testing {
namespace {

// The answers panel as lines: each answer, then its comment and notes indented under it.
QString AnswersText(const QTreeWidget& answers)
{
    QStringList lines;
    for (int row = 0; row < answers.topLevelItemCount(); ++row) {
        const QTreeWidgetItem* answer = answers.topLevelItem(row);
        lines << answer->text(0);
        for (int child = 0; child < answer->childCount(); ++child)
            lines << answer->child(child)->text(0).replace(QRegularExpression("^", QRegularExpression::MultilineOption),
                                                           "    ");
    }
    return lines.join('\n');
}

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

TEST_F(MainWindow, ShowsItsControls)
{
    EXPECT_EQ(Form->windowTitle(), "Dranwick Tavrin Remote Proofing System");
    ASSERT_EQ(JobList->topLevelItemCount(), 3);
    EXPECT_EQ(JobList->topLevelItem(1)->childCount(), 2);
    EXPECT_EQ(Child<QTabWidget>("MainPageControl")->tabText(0), "Queue");
    EXPECT_EQ(Child<QTabWidget>("MainPageControl")->currentIndex(), 0);
    EXPECT_TRUE(ActionButton(4)->isChecked());
    EXPECT_FALSE(Child<QAction>("TransferCommonFilesItem")->isEnabled());
    Form->SetCommonFilesTransfer([] {});
    EXPECT_TRUE(Child<QAction>("TransferCommonFilesItem")->isEnabled());
}

// What the operator sees at any window size: the job tree's side and the
// queue's side next to each other, neither covering the other nor the
// progress bars, all inside the window, the gutter kept on the right, the
// queue's side never narrower than it needs nor than the tree's side.
TEST_F(MainWindow, AtEverySizeThePanelsStayInsideTheWindowApartAndKeepTheirGutter)
{
    // The test desktop draws no frame: the window's outer width is its width.
    ASSERT_EQ(Form->frameGeometry().width(), Form->width());
    const auto shown = [&](const char* name) {
        const QWidget* widget = Child<QWidget>(name);
        return QRect(widget->mapTo(Form.get(), QPoint(0, 0)), widget->size());
    };
    const QSize sizes[] = {{1029, 666}, {800, 600}, {1201, 700}, {1600, 1000}};
    for (const QSize& size : sizes) {
        SCOPED_TRACE(::testing::Message() << size.width() << " x " << size.height());
        Form->resize(size);
        const QRect window = Form->rect();
        const QRect top = shown("Panel4");
        const QRect inputs = shown("InputsPageControl");
        const QRect queue = shown("MainPageControl");
        const QRect strip = shown("Panel6");
        const QRect total = shown("TotalProgress");
        const QRect task = shown("TaskProgress");
        for (const QRect& part : {top, inputs, queue, strip, total, task})
            EXPECT_TRUE(window.contains(part)) << part.x() << "," << part.y() << " " << part.width() << " x "
                                               << part.height() << " in " << window.width() << " x " << window.height();

        // Side by side below the top strip, the queue's side right next to the tree's.
        EXPECT_EQ(inputs.left(), 0);
        EXPECT_EQ(queue.left(), inputs.right() + 1);
        EXPECT_EQ(inputs.top(), queue.top());
        EXPECT_GT(inputs.top(), top.bottom());
        EXPECT_EQ(window.right() - queue.right(), MainFormLayout::Gutter);
        EXPECT_GE(queue.width(), inputs.width());
        EXPECT_GE(queue.width(), Child<QWidget>("MainPageControl")->minimumSizeHint().width());
        // Their height is the design's whatever the window's.
        EXPECT_EQ(inputs.height(), MainFormLayout::PageControlHeight);
        EXPECT_EQ(queue.height(), MainFormLayout::PageControlHeight);

        // The bars below them, one above the other, across the whole window.
        EXPECT_GT(strip.top(), std::max(inputs.bottom(), queue.bottom()));
        EXPECT_EQ(strip.width(), window.width());
        EXPECT_GT(task.top(), total.bottom());
        for (const QRect& bar : {total, task}) {
            EXPECT_TRUE(strip.contains(bar));
            EXPECT_EQ(bar.width(), window.width());
            EXPECT_GE(bar.height(), MainFormLayout::ProgressBarHeight);
        }
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
    EXPECT_EQ(QueueList->topLevelItem(0)->text(QueueStatusColumn), "new");

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

TEST_F(MainWindow, QueueRowsTellJobsApartAndShowTheirWholeTaskSet)
{
    Run("update JobList set JobListName = \"proof-page.ps\"");  // every job of one name
    QueueAllJobs();
    QStringList headers;
    for (int column = 0; column < QueueList->columnCount(); ++column)
        headers << QueueList->headerItem()->text(column);
    EXPECT_EQ(headers, QStringList({"Job", "Name", "Customer", "Pages", "Date", "Round", "Due", "Status", "Tasks"}));

    for (int row = 0; row < 3; ++row) {
        const QTreeWidgetItem* item = QueueList->topLevelItem(row);
        const std::string reference = item->text(QueueJobColumn).toStdString();
        EXPECT_EQ(item->text(QueueNameColumn), "proof-page.ps");
        const std::string where = " where JobListReference = " + reference;
        EXPECT_EQ(item->text(QueuePagesColumn).toStdString(),
                  Column("select * from JobList" + where, "JobListPageCount")[0]);
        const std::string id = Column("select * from JobList" + where, "JobListUniqueID")[0];
        EXPECT_EQ(item->text(QueueDateColumn).toStdString(), id.substr(0, 4) + "-" + id.substr(4, 2) + "-" +
                                                                 id.substr(6, 2) + " " + id.substr(8, 2) + ":" +
                                                                 id.substr(10, 2));
        EXPECT_EQ(item->text(QueueTasksColumn), "Master, Preview, Web, Transfer, Notify");
        // No column cuts its text short.
        for (int column : {QueueJobColumn, QueuePagesColumn, QueueDateColumn, QueueStatusColumn, QueueTasksColumn})
            EXPECT_GE(QueueList->columnWidth(column), QueueList->fontMetrics().horizontalAdvance(item->text(column)))
                << column;
    }
    QStringList references;
    for (int row = 0; row < 3; ++row)
        references << QueueList->topLevelItem(row)->text(QueueJobColumn);
    references.sort();
    EXPECT_EQ(references, QStringList({"12", "30", "7"}));
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
    const std::string first = QueueList->topLevelItem(0)->text(QueueNameColumn).toStdString();
    EXPECT_EQ(QueueList->topLevelItem(0)->text(QueueTasksColumn), "Master, Preview");

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

// A corrected job ripped again under the name of a finished one: adding it
// asks whether it is that job's next round, and both lists show the rounds.
TEST_F(MainWindow, AddingAJobNamedAsAFinishedOneAsksWhetherItIsItsNextRound)
{
    Run("update JobList set JobListName = \"proof-job.ps\" where JobListReference in (7, 12)");
    SelectNode(0);  // job 7
    Click("AddToQueueBtn");
    Dialogs.Answers = {true};  // notify nobody
    Click("StartBtn");
    ASSERT_EQ(QueuedJobs(), std::vector<std::string>{});
    ASSERT_EQ(Dialogs.Asked.size(), 1u);

    Dialogs.Answers = {true};
    SelectNode(1);  // job 12
    Click("AddToQueueBtn");
    ASSERT_EQ(Dialogs.Asked.size(), 2u);
    EXPECT_THAT(Dialogs.Asked[1],
                ::testing::MatchesRegex("Proof round: Is job 12 \\(proof-job\\.ps\\) round 2 of job 7, "
                                        "sent [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}\\?"));
    ASSERT_EQ(QueueList->topLevelItemCount(), 1);
    EXPECT_EQ(QueueList->topLevelItem(0)->text(QueueRoundColumn), "2 of 7");
    auto* finished = Child<QTreeWidget>("PostQueueListView");
    ASSERT_EQ(finished->topLevelItemCount(), 1);
    EXPECT_EQ(finished->topLevelItem(0)->text(PostRoundColumn), "1");

    // Job 30 bears another name: no question, a first proof.
    SelectNode(2);
    Click("AddToQueueBtn");
    EXPECT_EQ(Dialogs.Asked.size(), 2u);
    EXPECT_EQ(QueueList->topLevelItem(1)->text(QueueRoundColumn), "1");
}

TEST_F(MainWindow, StartAsksAboutMissingRecipientsAndFinishedJobsCanBeBrowsed)
{
    SelectNode(1);
    Click("AddToQueueBtn");
    Click("StartBtn");
    ASSERT_EQ(Dialogs.Asked.size(), 1u);
    EXPECT_EQ(Dialogs.Asked[0],
              "Notify without recipients?: One or more jobs has notification selected,\r\nbut does not have any "
              "recipients listed.\r\nWould you like to continue?");
    EXPECT_EQ(QueueList->topLevelItemCount(), 1);
    EXPECT_TRUE(Child<QGroupBox>("QueueControlsGroupBox")->isEnabled());

    // Yes: this build has no tasks, so the job ends at once and is finished.
    Dialogs.Answers = {true};
    Click("StartBtn");
    EXPECT_EQ(QueueList->topLevelItemCount(), 0);
    auto* finished = Child<QTreeWidget>("PostQueueListView");
    ASSERT_EQ(finished->topLevelItemCount(), 1);
    EXPECT_EQ(finished->topLevelItem(0)->text(PostStatusColumn), "complete");
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
    const std::string uniqueID = Column("select * from JobList where JobListReference = 12", "JobListUniqueID")[0];
    const std::string secret = Column("select * from JobList where JobListReference = 12", "JobListSecret")[0];
    const std::string address = "http://proofs.example.com/tavrin/" + uniqueID + "-" + secret + "/index.html";
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString().toStdString(), address);
    EXPECT_TRUE(Log.Lines().back().ends_with("Opening " + address));

    // When the desktop cannot open it, the box shows the address to copy.
    WhenModal<QMessageBox>([&](QMessageBox& box) {
        EXPECT_EQ(box.objectName(), "UnopenedAddressBox");
        EXPECT_TRUE(box.text().endsWith(QString::fromStdString(address)));
        EXPECT_TRUE(box.textInteractionFlags() & Qt::TextSelectableByMouse);
        box.findChild<QPushButton*>("CopyLinkBtn")->click();
    });
    QApplication::clipboard()->clear();
    const QPoint row = finished->visualItemRect(finished->topLevelItem(0)).center();
    QTest::mouseClick(finished->viewport(), Qt::LeftButton, {}, row);
    QTest::mouseDClick(finished->viewport(), Qt::LeftButton, {}, row);
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), address);
    EXPECT_TRUE(Log.Lines().back().ends_with("The desktop could not open " + address));

    Run("update PostQueueList set PostQueueListTasks = \"Master, Preview\"");
    Click("PostQueueBrowseBtn");
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_EQ(Dialogs.Told,
              (std::vector<std::string>{"Error: Please select a job", "Browse Error: This job was never transferred"}));
}

TEST_F(MainWindow, ThePostQueueShowsEachJobsProofAddressToCopyOrOpen)
{
    Run("update JobList set JobListName = \"proof-page.ps\"");
    QueueAllJobs();
    ActionButton(1)->click();              // the selected job goes no further than its preview
    Dialogs.Answers = {true, true, true};  // asked again before each job
    Click("StartBtn");
    auto* finished = Child<QTreeWidget>("PostQueueListView");
    ASSERT_EQ(finished->topLevelItemCount(), 3);
    QStringList headers;
    for (int column = 0; column < finished->columnCount(); ++column)
        headers << finished->headerItem()->text(column);
    EXPECT_EQ(headers, QStringList({"Job", "Name", "Customer", "Due", "Status", "Answers", "Last answer", "Sent",
                                    "Round", "Pages", "Date"}));

    auto* tab = Form->findChild<TPostQueueTab*>();
    std::vector<QUrl> opened;
    tab->OpenUrl = [&](const QUrl& url) {
        opened.push_back(url);
        return true;
    };
    int transferred = 0;
    for (int row = 0; row < 3; ++row) {
        const QTreeWidgetItem* item = finished->topLevelItem(row);
        const std::string reference = item->text(PostJobColumn).toStdString();
        const std::string uniqueID =
            Column("select * from JobList where JobListReference = " + reference, "JobListUniqueID")[0];
        const std::string tasks = Column("select * from PostQueueList where PostQueueListJobReference = " + reference,
                                         "PostQueueListTasks")[0];
        QMenu* menu = tab->NewRowMenu(row);
        auto* copy = menu->findChild<QAction*>("CopyLinkItem");
        auto* open = menu->findChild<QAction*>("OpenItem");
        if (tasks == "Master, Preview") {
            EXPECT_EQ(item->toolTip(PostJobColumn), "not transferred");
            EXPECT_FALSE(copy->isEnabled());
            EXPECT_FALSE(open->isEnabled());
        } else {
            ++transferred;
            const std::string secret =
                Column("select * from JobList where JobListReference = " + reference, "JobListSecret")[0];
            const std::string address = "http://proofs.example.com/tavrin/" + uniqueID + "-" + secret + "/index.html";
            // The address is the row's hint, not a column that needs scrolling.
            for (int column : {PostJobColumn, PostPagesColumn, PostSentColumn, PostAnswersColumn})
                EXPECT_EQ(item->toolTip(column).toStdString(), address);
            EXPECT_TRUE(item->toolTip(PostNameColumn).endsWith(QString::fromStdString("\n" + address)));
            copy->trigger();
            EXPECT_EQ(QApplication::clipboard()->text().toStdString(), address);
            open->trigger();
            ASSERT_FALSE(opened.empty());
            EXPECT_EQ(opened.back().toString().toStdString(), address);
            EXPECT_EQ(Runner.SelectedPostQueueRow(), row);
        }
        delete menu;
    }
    EXPECT_EQ(transferred, 2);
    EXPECT_EQ(opened.size(), 2u);
}

TEST_F(MainWindow, ThePostQueueShowsWhatTheCustomerAnsweredAsPlainText)
{
    QueueAllJobs();
    Dialogs.Answers = {true, true, true};
    Click("StartBtn");
    auto* finished = Child<QTreeWidget>("PostQueueListView");
    ASSERT_EQ(finished->topLevelItemCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(finished->topLevelItem(row)->text(PostAnswersColumn), "Waiting");
    const std::string reference = finished->topLevelItem(1)->text(PostJobColumn).toStdString();
    const std::string folder =
        Column("select * from JobList where JobListReference = " + reference, "JobListUniqueID")[0] + "-" +
        Column("select * from JobList where JobListReference = " + reference, "JobListSecret")[0];

    // These jobs were never mastered, so their proofs carry no fingerprint either.
    const std::string answer = "{\"job\":\"" + folder +
                               "\",\"page\":1,\"decision\":\"approve\",\"comment\":\"<b>Fine</b> \\u0026 "
                               "done\",\"name\":\"Zoe\",\"email\":\"\",\"fingerprint\":\"\",\"notes\":[{\"x\":3,"
                               "\"y\":4,\"text\":\"<img src=x onerror=alert(1)>\"}],\"time\":\"2026-12-10T09:30:00Z\"}";
    auto* tab = Form->findChild<TPostQueueTab*>();
    tab->AddAnswersFromMail(
        QString::fromStdString("Hello\n-----BEGIN TAVRIN ANSWER-----\n" + answer + "\n-----END TAVRIN ANSWER-----\n"));
    auto* box = Form->findChild<QMessageBox*>("MailAnswersBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "1 answer added from the mail.");
    delete box;
    ASSERT_EQ(finished->topLevelItemCount(), 3);
    EXPECT_EQ(finished->topLevelItem(1)->text(PostAnswersColumn), "Approved");
    EXPECT_EQ(finished->topLevelItem(1)->text(PostLastAnswerColumn),
              QLocale::system().toString(QDateTime(QDate(2026, 12, 10), QTime(9, 30), Qt::UTC).toLocalTime(),
                                         QLocale::ShortFormat));
    EXPECT_EQ(finished->topLevelItem(0)->text(PostAnswersColumn), "Waiting");

    finished->setCurrentItem(finished->topLevelItem(1));
    auto* answers = Child<QTreeWidget>("PostQueueAnswersView");
    EXPECT_EQ(AnswersText(*answers), "Approved\npage 1 approve by Zoe at 2026-12-10T09:30:00Z, no proof fingerprint, "
                                     "by mail\n    comment: <b>Fine</b> & done\n    note at 3, 4: <img src=x "
                                     "onerror=alert(1)>");
    finished->setCurrentItem(finished->topLevelItem(0));
    EXPECT_EQ(AnswersText(*answers), "Waiting: no answers yet.");

    // A block for no job here is named in the box and taken nowhere.
    tab->AddAnswersFromMail("-----BEGIN TAVRIN ANSWER-----\n{\"job\":\"x\"}\n-----END TAVRIN ANSWER-----");
    box = Form->findChild<QMessageBox*>("MailAnswersBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_TRUE(box->text().contains("Not taken: answer 1: ")) << box->text().toStdString();
    delete box;

    // The button's dialog takes the pasted mail.
    std::string changes = answer;
    changes.replace(changes.find("approve"), 7, "changes");
    changes.replace(changes.find("09:30:00Z"), 9, "10:00:00Z");
    WhenModal<QDialog>([&](QDialog& dialog) {
        auto* text = dialog.findChild<QPlainTextEdit*>("MailAnswerText");
        ASSERT_NE(text, nullptr);
        text->setPlainText(QString::fromStdString("> -----BEGIN TAVRIN ANSWER-----\n> " + changes +
                                                  "\n> -----END TAVRIN ANSWER-----"));
        dialog.accept();
    });
    finished->setCurrentItem(finished->topLevelItem(1));
    Click("AddMailAnswerBtn");
    box = Form->findChild<QMessageBox*>("MailAnswersBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "1 answer added from the mail.");
    delete box;
    EXPECT_EQ(finished->topLevelItem(1)->text(PostAnswersColumn), "Changes requested");
    // The job stays selected with its answers in view.
    EXPECT_EQ(finished->indexOfTopLevelItem(finished->currentItem()), 1);
    EXPECT_EQ(Runner.SelectedPostQueueRow(), 1);
    EXPECT_TRUE(AnswersText(*answers).startsWith("Changes requested\npage 1 approve"))
        << AnswersText(*answers).toStdString();

    // This window's runner has no answers task: the button says so in the log.
    Click("RefreshAnswersBtn");
    EXPECT_EQ(Log.Lines().back().substr(Log.Lines().back().find("]: ") + 3),
              "Fetching answers is not available in this build.");
    auto* timer = Form->findChild<QTimer*>("AnswersTimer");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 5 * 60 * 1000);
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

// Every Master fails at once.
class FailingMastersWindow : public StationWindow {
protected:
    FailingMastersWindow() : StationWindow(FailingMasters()) {}

    static TTaskKinds FailingMasters()
    {
        TTaskKinds kinds;
        kinds.Chain[MasterTask] = [](TMessageTarget& target, const TTaskContext& context) {
            return std::make_unique<TFailingMaster>(target, context.JobReference());
        };
        return kinds;
    }
};

// Two queued jobs fail in one Start: one question before it (neither has
// recipients) and one box after it, naming both.
TEST_F(FailingMastersWindow, OneStartAsksOnceAndShowsItsFailuresInOneBox)
{
    OpenWindow();
    Runner.AddToQueue(7);
    Runner.AddToQueue(30);
    Runner.ReloadQueueList();
    Dialogs.Answers = {true};
    QTest::mouseClick(Child<QAbstractButton>("StartBtn"), Qt::LeftButton);
    QTRY_VERIFY(!Runner.HasRunningTasks() && Runner.QueueControlsEnabled());
    QApplication::processEvents();

    EXPECT_EQ(Dialogs.Asked.size(), 1u);
    ASSERT_EQ(Runner.QueueRows().size(), 2u);
    for (const TQueueRow& row : Runner.QueueRows())
        EXPECT_EQ(row.Status, "Failed at Master") << row.JobReference;
    const auto boxes = Form->findChildren<QMessageBox*>("TaskFailedBox");
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0]->text(), "2 jobs failed:\n\nMaster failed for job 7:\nCannot open file 12-CYAN.pgb\n\n"
                                "Master failed for job 30:\nCannot open file 12-CYAN.pgb");
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

    // A long line wraps: the view stays at the left edge with every time stamp in sight.
    Child<QTabWidget>("MainPageControl")->setCurrentIndex(3);
    Log.Log("Could not send /very/long/path/" + std::string(600, 'x') + ".tdb");
    QApplication::processEvents();
    EXPECT_EQ(logWin->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(logWin->horizontalScrollBar()->value(), 0);
    EXPECT_GT(logWin->document()->lastBlock().layout()->lineCount(), 1);

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
