#include "base/catalogue/ProofAnswers.h"
#include "base/catalogue/ProofFingerprint.h"
#include "base/catalogue/RoundChanges.h"
#include "gui/PostQueueTab.h"
#include "station/TaskKinds.h"
#include "tests/gui/StationWindowFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <memory>

namespace tavrin::testing {
namespace {

// The station's own mastering, and no other task.
TTaskKinds MasteringOnly()
{
    TTaskKinds kinds;
    kinds.Chain[MasterTask] = StationTaskKinds().Chain[MasterTask];
    return kinds;
}

// Jobs 41 and 42 of one name beside the fixture's jobs: 42 is 41 ripped
// again with a rectangle of its black plate corrected (10,5 to 19,9).
class ProofRoundsWindow : public StationWindow {
protected:
    ProofRoundsWindow() : StationWindow(MasteringOnly()) {}

    void SetUp() override
    {
        StationWindow::SetUp();
        const std::string folder = Folder.Path("pagebuffers").string() + "/";
        WriteRound(folder, 41, false);
        WriteRound(folder, 42, true);
        OpenWindow();
        PostQueue = Child<QTreeWidget>("PostQueueListView");
        Tab = Form->findChild<TPostQueueTab*>();
    }

    void TearDown() override
    {
        while (Runner.HasRunningTasks())
            QTest::qWait(10);
        StationWindow::TearDown();
    }

    static void WriteRound(const std::string& folder, int job, bool corrected)
    {
        TBitmap bitmap{64, 40, {}};
        bitmap.Bits.assign(bitmap.RowBytes() * 40, 0);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 64; ++x) {
                const bool inCorrection = corrected && x >= 10 && x <= 19 && y >= 5 && y <= 9;
                if (((x + y) % 5 == 0) != inCorrection)
                    bitmap.Bits[std::size_t(y) * bitmap.RowBytes() + std::size_t(x) / 8] |=
                        std::uint8_t(0x80 >> (x % 8));
            }
        TPlateOptions options;
        options.JobNumber = job;
        options.ColorName = "BLACK";
        options.JobName = std::to_string(job) + ".proof-job.ps";
        WriteFileBytes(folder + std::to_string(job) + "-BLACK.pgb", PageBufferBytes(PlateLayout(bitmap, options)));
    }

    // Masters jobs 41 and 42, 42 linked as round 2 of 41, through the queue.
    void MasterBothRounds()
    {
        auto* tree = Child<QTreeWidget>("JobList");
        for (const QString job : {"41)", "42)"}) {
            const auto found = tree->findItems(job, Qt::MatchStartsWith);
            ASSERT_EQ(found.size(), 1) << job.toStdString();
            tree->setCurrentItem(found.front());
            QTest::mouseClick(Child<QAbstractButton>("AddToQueueBtn"), Qt::LeftButton);
            Child<QGroupBox>("TaskRadioGroup")->findChildren<QRadioButton*>().at(0)->click();
        }
        Runner.LinkRound(42, 41);
        QTest::mouseClick(Child<QAbstractButton>("StartBtn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(PostQueue->topLevelItemCount(), 2, 30000);
        ASSERT_FALSE(Runner.HasRunningTasks());
    }

    int PostRow(int job) const
    {
        for (int row = 0; row < PostQueue->topLevelItemCount(); ++row)
            if (PostQueue->topLevelItem(row)->text(PostJobColumn) == QString::number(job))
                return row;
        ADD_FAILURE() << "job " << job << " is not in the post queue";
        return -1;
    }

    // Opens the compare of job 42 from its row's menu; the dialog it shows.
    QDialog* CompareFromMenu()
    {
        std::unique_ptr<QMenu> menu(Tab->NewRowMenu(PostRow(42)));
        auto* compare = menu->findChild<QAction*>("CompareRoundItem");
        if (!compare)
            return nullptr;
        compare->trigger();
        return Form->findChild<QDialog*>("RoundCompareDlg");
    }

    QTreeWidget* PostQueue = nullptr;
    TPostQueueTab* Tab = nullptr;
};

TEST_F(ProofRoundsWindow, ALaterRoundsRowShowsItsCompareWithTheEarlierRound)
{
    MasterBothRounds();
    std::unique_ptr<QMenu> menu(Tab->NewRowMenu(PostRow(41)));
    EXPECT_EQ(menu->findChild<QAction*>("CompareRoundItem"), nullptr) << "a first proof has nothing to compare with";
    menu.reset(Tab->NewRowMenu(PostRow(42)));
    ASSERT_NE(menu->findChild<QAction*>("CompareRoundItem"), nullptr);
    EXPECT_EQ(menu->findChild<QAction*>("CompareRoundItem")->text(), "Compare with round 1");

    // Nothing stored yet: compared now, off the window's thread, the dialog busy meanwhile.
    QDialog* dialog = CompareFromMenu();
    ASSERT_NE(dialog, nullptr);
    auto* heading = dialog->findChild<QLabel*>("RoundCompareHeading");
    auto* text = dialog->findChild<QPlainTextEdit*>("RoundCompareText");
    auto* busy = dialog->findChild<QProgressBar*>("RoundCompareBusy");
    auto* copy = dialog->findChild<QPushButton*>("CopyCompareBtn");
    EXPECT_EQ(heading->text(), "Comparing job 42 with job 41 from both rounds' masters...");
    EXPECT_TRUE(busy->isVisible());
    EXPECT_FALSE(copy->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!busy->isVisible(), 20000);
    EXPECT_EQ(heading->text(), "Job 42 (round 2) against job 41 (round 1), compared now from both rounds' masters:");
    EXPECT_EQ(text->toPlainText(), "page 1 changed: BLACK 50 px; area 10,5 to 19,9");
    QApplication::clipboard()->clear();
    copy->click();
    EXPECT_EQ(QApplication::clipboard()->text(), text->toPlainText());
    dialog->close();
    QTRY_VERIFY(!Form->findChild<QDialog*>("RoundCompareDlg"));

    // The compare stored with the round's proof is shown at once, as it was stored.
    TPageComparison same;
    same.Page = 1;
    SaveRoundChanges(Catalogue, 42, 41, {same});
    dialog = CompareFromMenu();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->findChild<QProgressBar*>("RoundCompareBusy")->isVisible());
    EXPECT_EQ(dialog->findChild<QLabel*>("RoundCompareHeading")->text(),
              "Job 42 (round 2) against job 41 (round 1), as compared when round 2's proof was made:");
    EXPECT_EQ(dialog->findChild<QPlainTextEdit*>("RoundCompareText")->toPlainText(), "page 1 same");
    dialog->close();
    QTRY_VERIFY(!Form->findChild<QDialog*>("RoundCompareDlg"));

    // A compare with the job linked before is not this link's; an unreadable
    // master then fails the compare made now, with its reason shown and logged.
    SaveRoundChanges(Catalogue, 42, 30, {same});
    const std::string uniqueID = Column("select * from JobList where JobListReference = 41", "JobListUniqueID")[0];
    WriteFileBytes(Folder.Path("output").string() + "/" + uniqueID + "-0001.tif", "not a master");
    dialog = CompareFromMenu();
    ASSERT_NE(dialog, nullptr);
    busy = dialog->findChild<QProgressBar*>("RoundCompareBusy");
    QTRY_VERIFY_WITH_TIMEOUT(!busy->isVisible(), 20000);
    const std::string logged = Log.Lines().back().substr(Log.Lines().back().find("]: ") + 3);
    const std::string prefix = "Cannot compare job 42 with job 41: ";
    ASSERT_EQ(logged.rfind(prefix, 0), 0u) << logged;
    EXPECT_NE(logged.find(uniqueID + "-0001.tif"), std::string::npos) << logged;
    EXPECT_EQ(dialog->findChild<QLabel*>("RoundCompareHeading")->text().toStdString(),
              "The rounds could not be compared: " + logged.substr(prefix.size()));
    EXPECT_TRUE(dialog->findChild<QPlainTextEdit*>("RoundCompareText")->toPlainText().isEmpty());
    EXPECT_FALSE(dialog->findChild<QPushButton*>("CopyCompareBtn")->isEnabled());
}

// Round 1's customer approved the page that round 2 did not change: the
// answers panel shows round 2 approved by that answer, marked as carried.
TEST_F(ProofRoundsWindow, TheAnswersPanelShowsAnAnswerKeptFromTheEarlierRound)
{
    MasterBothRounds();
    TProofAnswer approval;
    approval.Job = Column("select * from JobList where JobListReference = 41", "JobListUniqueID")[0];
    approval.Page = 1;
    approval.Decision = "approve";
    approval.Name = "Zoe Lang";
    approval.Time = "2026-12-10T09:31:00Z";
    approval.Fingerprint = LoadJobFingerprint(Catalogue, 41);
    ASSERT_FALSE(approval.Fingerprint.empty());
    approval.Source = "web";
    AddProofAnswers(Catalogue, 41, {approval});
    TPageComparison same;
    same.Page = 1;
    SaveRoundChanges(Catalogue, 42, 41, {same});
    Runner.ReloadPostQueueList();
    Tab->ShowPostQueue();

    PostQueue->setCurrentItem(PostQueue->topLevelItem(PostRow(42)));
    EXPECT_EQ(PostQueue->topLevelItem(PostRow(42))->text(PostAnswersColumn), "Approved");
    auto* answers = Child<QTreeWidget>("PostQueueAnswersView");
    ASSERT_EQ(answers->topLevelItemCount(), 2);
    EXPECT_EQ(answers->topLevelItem(0)->text(0), "Approved");
    EXPECT_EQ(answers->topLevelItem(1)->text(0).toStdString(),
              "page 1 approve by Zoe Lang at 2026-12-10T09:31:00Z, proof " + approval.Fingerprint.substr(0, 12) +
                  " (round 1, unchanged)");
}

// Verify in the post queue: the check runs off the window's thread, its
// lines shown for copying and logged, and an approved job whose plates are
// the same reads "Ready for plates" until a plate is rewritten.
TEST_F(ProofRoundsWindow, VerifyShowsThePagesAndMakesAnApprovedJobReadyForPlates)
{
    MasterBothRounds();
    TProofAnswer approval;
    approval.Job = Column("select * from JobList where JobListReference = 41", "JobListUniqueID")[0];
    approval.Page = 1;
    approval.Decision = "approve";
    approval.Name = "Zoe Lang";
    approval.Time = "2026-12-10T09:31:00Z";
    approval.Fingerprint = LoadJobFingerprint(Catalogue, 41);
    approval.Source = "web";
    AddProofAnswers(Catalogue, 41, {approval});
    Runner.ReloadPostQueueList();
    EXPECT_EQ(PostQueue->topLevelItem(PostRow(41))->text(PostAnswersColumn), "Approved");

    const auto verify = [&]() -> QDialog* {
        PostQueue->setCurrentItem(PostQueue->topLevelItem(PostRow(41)));
        QTest::mouseClick(Child<QAbstractButton>("VerifyPlatesBtn"), Qt::LeftButton);
        auto* dialog = Form->findChild<QDialog*>("VerifyPlatesDlg");
        if (dialog &&
            !QTest::qWaitFor([&] { return !dialog->findChild<QProgressBar*>("VerifyPlatesBusy")->isVisible(); }, 20000))
            ADD_FAILURE() << "the check did not end";
        return dialog;
    };
    QDialog* dialog = verify();
    ASSERT_NE(dialog, nullptr);
    auto* text = dialog->findChild<QPlainTextEdit*>("VerifyPlatesText");
    EXPECT_EQ(dialog->findChild<QLabel*>("VerifyPlatesHeading")->text(),
              "Job 41's page buffers are the plates its proof was made from:");
    EXPECT_EQ(text->toPlainText(), "page 1 same");
    QApplication::clipboard()->clear();
    dialog->findChild<QPushButton*>("CopyVerifyBtn")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "page 1 same");
    EXPECT_NE(Log.Lines().back().find("]: Job 41: page 1 same"), std::string::npos) << Log.Lines().back();
    EXPECT_EQ(PostQueue->topLevelItem(PostRow(41))->text(PostAnswersColumn), "Ready for plates");
    EXPECT_EQ(PostQueue->topLevelItem(PostRow(42))->text(PostAnswersColumn), "Waiting");
    dialog->close();
    QTRY_VERIFY(!Form->findChild<QDialog*>("VerifyPlatesDlg"));

    // The plate ripped again differently: the next reload turns the job back, Verify says how.
    const std::string plate = Folder.Path("pagebuffers").string() + "/41-BLACK.pgb";
    const auto before = std::filesystem::last_write_time(plate);
    WriteRound(Folder.Path("pagebuffers").string() + "/", 41, true);
    std::filesystem::last_write_time(plate, before + std::chrono::seconds(2));
    Runner.ReloadPostQueueList();
    EXPECT_EQ(PostQueue->topLevelItem(PostRow(41))->text(PostAnswersColumn), "Approved");
    dialog = verify();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->findChild<QLabel*>("VerifyPlatesHeading")->text(),
              "Job 41's page buffers are not the plates its proof was made from:");
    EXPECT_EQ(dialog->findChild<QPlainTextEdit*>("VerifyPlatesText")->toPlainText(), "page 1 changed: BLACK (differs)");
    EXPECT_EQ(PostQueue->topLevelItem(PostRow(41))->text(PostAnswersColumn), "Approved");
    dialog->close();
    QTRY_VERIFY(!Form->findChild<QDialog*>("VerifyPlatesDlg"));

    // A plate the folder gained since its last scan: Verify scans first, so it counts.
    TBitmap blank{64, 40, std::vector<std::uint8_t>(8 * 40, 0)};
    TPlateOptions cyan;
    cyan.JobNumber = 41;
    cyan.ColorName = "CYAN";
    cyan.JobName = "41.proof-job.ps";
    WriteFileBytes(Folder.Path("pagebuffers").string() + "/41-CYAN.pgb", PageBufferBytes(PlateLayout(blank, cyan)));
    dialog = verify();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->findChild<QPlainTextEdit*>("VerifyPlatesText")->toPlainText(),
              "page 1 changed: BLACK (differs), CYAN (new)");
}

}  // namespace
}  // namespace tavrin::testing
