#include "base/catalogue/ProofAnswers.h"
#include "gui/DesktopNotifier.h"
#include "gui/PostQueueTab.h"
#include "gui/QueueListWidget.h"
#include "gui/QueueTab.h"
#include "tests/gui/StationWindowFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDateEdit>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QStatusBar>
#include <QTest>

#include <map>

namespace tavrin::testing {
namespace {

// The answers the next fetch finds on the web server, by job.
std::map<std::uint32_t, std::vector<TProofAnswer>> ServerAnswers;

// Stands in for the fetch from the web server: adds the server's answers to the catalogue as the answers task does.
class TArrivingAnswers final : public TTaskThread {
public:
    TArrivingAnswers(TMessageTarget& target, TCatalogueConnection& catalogue, std::vector<std::uint32_t> jobs)
        : TTaskThread(target, 0, WM_ANSWERS_DONE), Catalogue(catalogue), Jobs(std::move(jobs))
    {
    }

protected:
    void Run() override
    {
        for (const std::uint32_t job : Jobs)
            AddProofAnswers(Catalogue, job, ServerAnswers[job]);
    }

private:
    TCatalogueConnection& Catalogue;
    std::vector<std::uint32_t> Jobs;
};

TTaskKinds ArrivingAnswerKinds()
{
    TTaskKinds kinds;
    kinds.Answers = [](TMessageTarget& target, const TTaskContext& context, const std::vector<std::uint32_t>& jobs) {
        return std::make_unique<TArrivingAnswers>(target, context.Catalogue(), jobs);
    };
    return kinds;
}

// Remembers what the window asked the desktop to show.
struct TRecordingNotifier final : TDesktopNotifier {
    std::vector<std::pair<QString, QString>>& Shown;
    explicit TRecordingNotifier(std::vector<std::pair<QString, QString>>& shown) : Shown(shown) {}
    void Notify(const QString& title, const QString& text) override { Shown.emplace_back(title, text); }
};

// A Notify task that fails as one does when the mail server refuses the mail.
class TFailingNotify final : public TTaskThread {
public:
    TFailingNotify(TMessageTarget& target, std::uint32_t reference) : TTaskThread(target, reference, WM_NOTIFY_DONE) {}

protected:
    void Run() override { Fail("550 mailbox unavailable"); }
};

TProofAnswer Answer(std::int32_t page, const std::string& decision, const std::string& time,
                    std::vector<TAnswerNote> notes = {})
{
    TProofAnswer answer;
    answer.Job = "web-folder";
    answer.Page = page;
    answer.Decision = decision;
    answer.Name = "Zoe Lang";
    answer.Time = time;
    answer.Notes = std::move(notes);
    answer.Source = "web";
    return answer;
}

QString ShortDate(int year, int month, int day)
{
    return QLocale::system().toString(QDate(year, month, day), QLocale::ShortFormat);
}

QString ShortMoment(const QDateTime& moment)
{
    return QLocale::system().toString(moment, QLocale::ShortFormat);
}

// The window over jobs 7, 12 and 30 (one page each), all three sent to the
// customer and in the post queue, with an answers task that brings what
// ServerAnswers holds.
class JobLists : public StationWindow {
protected:
    JobLists() : StationWindow(ArrivingAnswerKinds()) {}

    void SetUp() override
    {
        ServerAnswers.clear();
        StationWindow::SetUp();
        Run("insert into AddressList (AddressListID, AddressListName, AddressListEmail) values (3, \"Zoe Lang\", "
            "\"zoe@example.com\")");
        Run("insert into AddressList (AddressListID, AddressListName, AddressListEmail) values (5, \"Ann Bell\", "
            "\"ann@example.com\")");
        OpenWindow();
        QueueList = Child<QTreeWidget>("QueueListView");
        PostQueue = Child<QTreeWidget>("PostQueueListView");
        Tab = Form->findChild<TPostQueueTab*>();
        Tab->OpenUrl = [this](const QUrl& url) {
            Opened.push_back(url.toString().toStdString());
            return true;
        };
        Form->SetNotifier(std::make_unique<TRecordingNotifier>(Notified));
    }

    void TearDown() override
    {
        StationWindow::TearDown();
        ServerAnswers.clear();
    }

    void QueueJobs()
    {
        for (const std::uint32_t job : {7u, 12u, 30u})
            Runner.DropJob(job);
        ASSERT_EQ(QueueList->topLevelItemCount(), 3);
    }

    // Queues and finishes the three jobs, the first two with recipients.
    void FinishJobs()
    {
        QueueJobs();
        Runner.SelectQueueRow(QueueRow(7));
        Runner.AddRecipient(5, "ann@example.com");
        Runner.AddRecipient(3, "zoe@example.com");
        Runner.SelectQueueRow(QueueRow(12));
        Runner.AddRecipient(3, "zoe@example.com");
        Dialogs.Answers = {true, true, true};
        Runner.Start();
        ASSERT_EQ(PostQueue->topLevelItemCount(), 3);
    }

    // The runner's row of the job in its list.
    int QueueRow(std::uint32_t job) const
    {
        for (std::size_t row = 0; row < Runner.QueueRows().size(); ++row)
            if (Runner.QueueRows()[row].JobReference == job)
                return static_cast<int>(row);
        return -1;
    }

    QTreeWidgetItem* ItemOf(QTreeWidget& list, std::uint32_t job) const
    {
        for (int row = 0; row < list.topLevelItemCount(); ++row)
            if (list.topLevelItem(row)->text(0) == QString::number(job))
                return list.topLevelItem(row);
        ADD_FAILURE() << "no row of job " << job;
        return nullptr;
    }

    // The jobs in the order the list shows them.
    static QStringList ShownJobs(const QTreeWidget& list)
    {
        QStringList jobs;
        for (int row = 0; row < list.topLevelItemCount(); ++row)
            jobs << list.topLevelItem(row)->text(0);
        return jobs;
    }

    std::string ProofAddress(std::uint32_t job)
    {
        const std::string where = " where JobListReference = " + std::to_string(job);
        return "http://proofs.example.com/tavrin/" + Column("select * from JobList" + where, "JobListUniqueID")[0] +
               "-" + Column("select * from JobList" + where, "JobListSecret")[0] + "/index.html";
    }

    // Fetches the answers as the button does and waits for the fetch to end.
    void FetchAnswers()
    {
        QTest::mouseClick(Child<QAbstractButton>("RefreshAnswersBtn"), Qt::LeftButton);
        ASSERT_TRUE(Runner.RefreshingAnswers());
        QTRY_VERIFY(!Runner.HasRunningTasks());
    }

    std::string LastLogText() const
    {
        const std::string& line = Log.Lines().back();
        return line.substr(line.find("]: ") + 3);
    }

    QTreeWidget* QueueList = nullptr;
    QTreeWidget* PostQueue = nullptr;
    TPostQueueTab* Tab = nullptr;
    std::vector<std::string> Opened;
    std::vector<std::pair<QString, QString>> Notified;
};

// The test's own time zone, an hour east of UTC, for as long as it runs.
class CentralEuropeanTime {
public:
    CentralEuropeanTime() : Before(qgetenv("TZ")), HadZone(qEnvironmentVariableIsSet("TZ")) { qputenv("TZ", "CET-1"); }
    ~CentralEuropeanTime()
    {
        if (HadZone)
            qputenv("TZ", Before);
        else
            qunsetenv("TZ");
    }

private:
    QByteArray Before;
    bool HadZone;
};

TEST_F(JobLists, ThePostQueueShowsCustomerSentDueAndTheLastAnswerInLocalTime)
{
    const CentralEuropeanTime zone;
    FinishJobs();
    // Sent at a time of the test's choosing; the customer answered late in the UTC evening, past local midnight.
    Run("update PostQueueList set PostQueueListSentTime = \"2026-12-10 09:26:41\" where PostQueueListJobReference = 7");
    ServerAnswers[7] = {Answer(1, "approve", "2026-12-10T23:30:00Z")};
    ASSERT_TRUE(Runner.SetDueDate(7, TCalendarDate{2026, 12, 18}));
    FetchAnswers();

    const QTreeWidgetItem* job7 = ItemOf(*PostQueue, 7);
    ASSERT_NE(job7, nullptr);
    EXPECT_EQ(job7->text(PostCustomerColumn), "Zoe Lang, Ann Bell");
    EXPECT_EQ(ItemOf(*PostQueue, 12)->text(PostCustomerColumn), "Zoe Lang");
    EXPECT_EQ(ItemOf(*PostQueue, 30)->text(PostCustomerColumn), "");
    EXPECT_EQ(job7->text(PostSentColumn), ShortMoment(QDateTime(QDate(2026, 12, 10), QTime(9, 26, 41))));
    EXPECT_EQ(job7->text(PostDueColumn), ShortDate(2026, 12, 18));
    EXPECT_EQ(ItemOf(*PostQueue, 12)->text(PostDueColumn), "");
    EXPECT_EQ(job7->text(PostAnswersColumn), "Approved");
    EXPECT_EQ(job7->text(PostLastAnswerColumn), ShortMoment(QDateTime(QDate(2026, 12, 11), QTime(0, 30))));
    EXPECT_EQ(ItemOf(*PostQueue, 12)->text(PostLastAnswerColumn), "");
    // The proof's address is the row's hint, in no column (the status's hint is the whole status).
    for (int column = 0; column < PostQueue->columnCount(); ++column) {
        EXPECT_NE(job7->text(column).toStdString(), ProofAddress(7)) << column;
        if (column != PostStatusColumn) {
            EXPECT_TRUE(job7->toolTip(column).endsWith(QString::fromStdString(ProofAddress(7)))) << column;
        }
    }
}

TEST_F(JobLists, ADatePassedIsMarkedOverdueUnlessTheJobIsWhollyApproved)
{
    QueueJobs();
    const QDate today = QDate::currentDate();
    const auto calendar = [](const QDate& date) { return TCalendarDate{date.year(), date.month(), date.day()}; };
    struct Case {
        std::uint32_t Job;
        QDate Due;
        bool Overdue;
    };
    // Due today is not overdue yet: the day after the date has to begin.
    for (const Case& due :
         {Case{7, today.addDays(-1), true}, Case{12, today, false}, Case{30, today.addDays(3), false}})
        ASSERT_TRUE(Runner.SetDueDate(due.Job, calendar(due.Due)));
    for (const Case& due :
         {Case{7, today.addDays(-1), true}, Case{12, today, false}, Case{30, today.addDays(3), false}}) {
        const QTreeWidgetItem* row = ItemOf(*QueueList, due.Job);
        EXPECT_EQ(row->text(QueueDueColumn), QLocale::system().toString(due.Due, QLocale::ShortFormat));
        EXPECT_EQ(row->foreground(QueueDueColumn).color() == QColor(Qt::red), due.Overdue) << due.Job;
        EXPECT_EQ(row->toolTip(QueueDueColumn),
                  due.Overdue ? "Overdue since " + QLocale::system().toString(today, QLocale::ShortFormat) : "");
    }

    // In the post queue an approved job is done with, whatever its date; a waiting one is not.
    Dialogs.Answers = {true, true, true};
    Runner.Start();
    ASSERT_TRUE(Runner.SetDueDate(12, calendar(today.addDays(-2))));
    ServerAnswers[12] = {Answer(1, "approve", "2026-12-10T09:30:00Z")};
    FetchAnswers();
    EXPECT_EQ(ItemOf(*PostQueue, 7)->foreground(PostDueColumn).color(), QColor(Qt::red));
    EXPECT_EQ(ItemOf(*PostQueue, 12)->text(PostAnswersColumn), "Approved");
    EXPECT_NE(ItemOf(*PostQueue, 12)->foreground(PostDueColumn).color(), QColor(Qt::red));
}

TEST_F(JobLists, TheDueFieldBesideTheRecipientsSetsAndClearsTheSelectedJobsDate)
{
    auto* due = Child<QCheckBox>("DueDateCheck");
    auto* date = Child<QDateEdit>("DueDateEdit");
    EXPECT_FALSE(due->isEnabled()) << "no row selected";
    QueueJobs();
    QueueList->setCurrentItem(ItemOf(*QueueList, 12));
    ASSERT_TRUE(due->isEnabled());
    EXPECT_FALSE(due->isChecked());
    EXPECT_TRUE(date->calendarPopup());

    date->setDate(QDate(2026, 12, 18));
    EXPECT_EQ(Column("select * from JobList where JobListReference = 12", "JobListDueDate"),
              std::vector<std::string>{""})
        << "the date counts only once ticked";
    due->click();
    EXPECT_EQ(Column("select * from JobList where JobListReference = 12", "JobListDueDate"),
              std::vector<std::string>{"2026-12-18"});
    EXPECT_EQ(ItemOf(*QueueList, 12)->text(QueueDueColumn), ShortDate(2026, 12, 18));
    date->setDate(QDate(2026, 12, 21));
    EXPECT_EQ(Column("select * from JobList where JobListReference = 12", "JobListDueDate"),
              std::vector<std::string>{"2026-12-21"});

    // Another row shows its own date (none), and back again.
    QueueList->setCurrentItem(ItemOf(*QueueList, 7));
    EXPECT_FALSE(due->isChecked());
    QueueList->setCurrentItem(ItemOf(*QueueList, 12));
    EXPECT_TRUE(due->isChecked());
    EXPECT_EQ(date->date(), QDate(2026, 12, 21));

    due->click();
    EXPECT_EQ(Column("select * from JobList where JobListReference = 12", "JobListDueDate"),
              std::vector<std::string>{""});
    EXPECT_EQ(ItemOf(*QueueList, 12)->text(QueueDueColumn), "");
}

TEST_F(JobLists, RowsSortByDatesAsDatesAndNumbersAsNumbersAndTheSelectionFollowsItsJob)
{
    FinishJobs();
    // Orders that text would get wrong: 9 before 10, 7 before 12.
    ASSERT_TRUE(Runner.SetDueDate(30, TCalendarDate{2026, 12, 9}));
    ASSERT_TRUE(Runner.SetDueDate(7, TCalendarDate{2026, 12, 10}));
    ServerAnswers[12] = {Answer(1, "approve", "2026-12-09T17:00:00Z")};
    ServerAnswers[30] = {Answer(1, "changes", "2026-12-10T09:30:00Z")};
    ServerAnswers[7] = {Answer(1, "changes", "2026-12-10T10:00:00Z")};
    FetchAnswers();
    PostQueue->setCurrentItem(ItemOf(*PostQueue, 30));

    struct Case {
        int Column;
        Qt::SortOrder Order;
        QStringList Jobs;
    };
    for (const Case& sort : {Case{PostDueColumn, Qt::AscendingOrder, {"12", "30", "7"}},
                             Case{PostDueColumn, Qt::DescendingOrder, {"7", "30", "12"}},
                             Case{PostLastAnswerColumn, Qt::AscendingOrder, {"12", "30", "7"}},
                             Case{PostJobColumn, Qt::AscendingOrder, {"7", "12", "30"}},
                             Case{PostJobColumn, Qt::DescendingOrder, {"30", "12", "7"}}}) {
        PostQueue->header()->setSortIndicator(sort.Column, sort.Order);
        EXPECT_EQ(ShownJobs(*PostQueue), sort.Jobs) << sort.Column;
        ASSERT_EQ(PostQueue->selectedItems().size(), 1);
        EXPECT_EQ(PostQueue->selectedItems().front()->text(PostJobColumn), "30");
        EXPECT_EQ(Runner.PostQueueRows()[static_cast<std::size_t>(Runner.SelectedPostQueueRow())].JobReference, 30u);
    }

    // A reload keeps the order and the selection; the answers shown are the selected job's.
    PostQueue->header()->setSortIndicator(PostLastAnswerColumn, Qt::DescendingOrder);
    Runner.ReloadPostQueueList();
    EXPECT_EQ(ShownJobs(*PostQueue), QStringList({"7", "30", "12"}));
    EXPECT_EQ(PostQueue->selectedItems().front()->text(PostJobColumn), "30");
    const auto* answers = Child<QTreeWidget>("PostQueueAnswersView");
    EXPECT_EQ(answers->topLevelItem(0)->text(0), "Changes requested");

    // Selecting a sorted row selects its own job.
    PostQueue->setCurrentItem(PostQueue->topLevelItem(2));
    EXPECT_EQ(Runner.PostQueueRows()[static_cast<std::size_t>(Runner.SelectedPostQueueRow())].JobReference, 12u);

    // The queue sorts too, and a row's tick reaches its own job.
    QueueJobs();
    QueueList->header()->setSortIndicator(QueueJobColumn, Qt::DescendingOrder);
    EXPECT_EQ(ShownJobs(*QueueList), QStringList({"30", "12", "7"}));
    ItemOf(*QueueList, 7)->setCheckState(QueueJobColumn, Qt::Checked);
    EXPECT_TRUE(Runner.QueueRows()[static_cast<std::size_t>(QueueRow(7))].Checked);
    EXPECT_FALSE(Runner.QueueRows()[static_cast<std::size_t>(QueueRow(30))].Checked);
}

TEST_F(JobLists, NewAnswersAreBoldUntilSelectedAndToldOncePerJob)
{
    FinishJobs();
    ServerAnswers[12] = {Answer(1, "approve", "2026-12-10T09:30:00Z"), Answer(1, "changes", "2026-12-10T09:40:00Z")};
    ServerAnswers[30] = {Answer(1, "approve", "2026-12-10T09:35:00Z")};
    FetchAnswers();

    EXPECT_TRUE(ItemOf(*PostQueue, 12)->font(PostNameColumn).bold());
    EXPECT_TRUE(ItemOf(*PostQueue, 30)->font(PostStatusColumn).bold());
    EXPECT_FALSE(ItemOf(*PostQueue, 7)->font(PostNameColumn).bold());
    // The columns fit the bold text: "Changes requested" is not cut short.
    const QTreeWidgetItem* news = ItemOf(*PostQueue, 12);
    for (const int column : {PostAnswersColumn, PostLastAnswerColumn, PostDueColumn})
        EXPECT_GE(PostQueue->columnWidth(column),
                  QFontMetrics(news->font(column)).horizontalAdvance(news->text(column)))
            << news->text(column).toStdString();
    const std::vector<std::string> lines(Log.Lines().end() - 2, Log.Lines().end());
    EXPECT_TRUE(lines[0].ends_with("]: Job 12: 2 new answers (Changes requested)")) << lines[0];
    EXPECT_TRUE(lines[1].ends_with("]: Job 30: 1 new answer (Approved)")) << lines[1];
    EXPECT_EQ(Form->statusBar()->currentMessage(),
              "Job 12: 2 new answers (Changes requested); Job 30: 1 new answer (Approved)");
    ASSERT_EQ(Notified.size(), 1u);
    EXPECT_EQ(Notified[0].second, "Job 12: 2 new answers (Changes requested)\nJob 30: 1 new answer (Approved)");

    // The station keeps the news: a reload leaves the rows bold.
    Runner.ReloadPostQueueList();
    EXPECT_TRUE(ItemOf(*PostQueue, 12)->font(PostNameColumn).bold());
    PostQueue->setCurrentItem(ItemOf(*PostQueue, 12));
    EXPECT_FALSE(ItemOf(*PostQueue, 12)->font(PostNameColumn).bold());
    EXPECT_TRUE(ItemOf(*PostQueue, 30)->font(PostNameColumn).bold());
    Runner.ReloadPostQueueList();
    EXPECT_FALSE(ItemOf(*PostQueue, 12)->font(PostNameColumn).bold());

    // A fetch that finds only what the station has is no news.
    const std::size_t logged = Log.Lines().size();
    FetchAnswers();
    EXPECT_EQ(Notified.size(), 1u);
    EXPECT_FALSE(ItemOf(*PostQueue, 12)->font(PostNameColumn).bold());
    for (std::size_t line = logged; line < Log.Lines().size(); ++line)
        EXPECT_EQ(Log.Lines()[line].find("new answer"), std::string::npos) << Log.Lines()[line];
}

TEST_F(JobLists, DoubleClickingAnAnswerOrANoteOpensTheProofAtItsPageAndPoint)
{
    FinishJobs();
    ServerAnswers[12] = {
        Answer(1, "changes", "2026-12-10T09:30:00Z", {{1531, 1572, "logo too close"}, {10, 20, "typo"}})};
    FetchAnswers();
    Child<QTabWidget>("MainPageControl")->setCurrentIndex(1);
    PostQueue->setCurrentItem(ItemOf(*PostQueue, 12));
    auto* answers = Child<QTreeWidget>("PostQueueAnswersView");
    ASSERT_EQ(answers->topLevelItemCount(), 2);
    QTreeWidgetItem* answer = answers->topLevelItem(1);
    ASSERT_EQ(answer->childCount(), 2);
    EXPECT_EQ(answer->child(0)->text(0), "note at 1531, 1572: logo too close");

    const auto doubleClick = [&](QTreeWidgetItem* item) {
        const QPoint centre = answers->visualItemRect(item).center();
        QTest::mouseClick(answers->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(answers->viewport(), Qt::LeftButton, {}, centre);
    };
    doubleClick(answer->child(0));
    doubleClick(answer);
    doubleClick(answer->child(1));
    doubleClick(answers->topLevelItem(0));  // the status word points nowhere
    EXPECT_EQ(Opened,
              (std::vector<std::string>{ProofAddress(12) + "#page=1&zoom=1&x=1531&y=1572", ProofAddress(12) + "#page=1",
                                        ProofAddress(12) + "#page=1&zoom=1&x=10&y=20"}));

    // A proof that never went to the web server has no spot to open.
    Run("update PostQueueList set PostQueueListTasks = \"Master, Preview\" where PostQueueListJobReference = 12");
    Runner.ReloadPostQueueList();
    doubleClick(answers->topLevelItem(1)->child(0));
    EXPECT_EQ(Opened.size(), 3u);
    EXPECT_EQ(Form->statusBar()->currentMessage(),
              "Job 12 was never transferred: there is no proof on the web server to open.");
}

TEST_F(JobLists, AJobUploadedButNotMailedOffersItsLinkInTheQueue)
{
    QueueJobs();
    auto* tab = Form->findChild<TQueueTab*>();
    std::vector<std::string> opened;
    tab->OpenUrl = [&](const QUrl& url) {
        opened.push_back(url.toString().toStdString());
        return true;
    };
    (new TFailingNotify(Messages, 12))->Start();
    QTRY_COMPARE(ItemOf(*QueueList, 12)->text(QueueStatusColumn), QString("Failed at Notify"));
    const std::string address = ProofAddress(12);
    EXPECT_TRUE(ItemOf(*QueueList, 12)->toolTip(QueueNameColumn).endsWith(QString::fromStdString("\n" + address)));
    EXPECT_EQ(ItemOf(*QueueList, 12)->toolTip(QueueStatusColumn).toStdString(),
              "550 mailbox unavailable\nThe proof was uploaded: " + address);

    QMenu* menu = tab->NewRowMenu(QueueRow(12));
    auto* copy = menu->findChild<QAction*>("CopyLinkItem");
    auto* open = menu->findChild<QAction*>("OpenItem");
    ASSERT_TRUE(copy && open);
    EXPECT_EQ(copy->text(), "Copy Link");
    EXPECT_EQ(open->text(), "Open");
    copy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), address);
    open->trigger();
    EXPECT_EQ(opened, std::vector<std::string>{address});
    delete menu;

    // A job that failed elsewhere, or whose task set never uploads, has no link.
    menu = tab->NewRowMenu(QueueRow(7));
    EXPECT_FALSE(menu->findChild<QAction*>("CopyLinkItem")->isEnabled());
    EXPECT_FALSE(menu->findChild<QAction*>("OpenItem")->isEnabled());
    delete menu;
    Runner.SelectQueueRow(QueueRow(12));
    Runner.ChooseTaskLevel(1);  // "Master, Preview"
    Runner.ReloadQueueList();
    menu = tab->NewRowMenu(QueueRow(12));
    EXPECT_FALSE(menu->findChild<QAction*>("OpenItem")->isEnabled());
    delete menu;
    EXPECT_EQ(ItemOf(*QueueList, 12)->toolTip(QueueStatusColumn), "550 mailbox unavailable");
}

}  // namespace
}  // namespace tavrin::testing
