#include "gui/AboutBox.h"
#include "gui/ConfigDlg.h"
#include "gui/MainFormLayout.h"
#include "tests/gui/StationWindowFixture.h"

#include <QAbstractButton>
#include <QLabel>
#include <QScreen>
#include <QTreeWidget>

namespace tavrin::testing {
namespace {

// A desktop of 1280 x 1024 pixels scaled to 125 %, set before the application starts.
struct TScaledDesktop {
    TScaledDesktop()
    {
        qputenv("QT_QPA_PLATFORM", OffscreenDesktop(1280, 1024).c_str());
        qputenv("QT_SCALE_FACTOR", "1.25");
    }
    ~TScaledDesktop() { qunsetenv("QT_SCALE_FACTOR"); }
};

// The station's windows on that desktop, with a font larger than the design's.
class ScaledDesktop : private TScaledDesktop, public StationWindow {
protected:
    void SetUp() override
    {
        StationWindow::SetUp();
        QFont larger = QApplication::font();
        larger.setPointSizeF(12);
        QApplication::setFont(larger);
        OpenWindow();
    }

    // The screen's width in device pixels.
    int ScreenPixels() const { return qRound(Form->screen()->geometry().width() * Form->devicePixelRatioF()); }
};

TEST_F(ScaledDesktop, TheMainWindowFitsTheScreenAndItsPageControlsGetTheRoomTheyNeed)
{
    ASSERT_EQ(Form->devicePixelRatioF(), 1.25);
    ASSERT_EQ(ScreenPixels(), 1280);
    EXPECT_LE(qRound(Form->frameGeometry().width() * Form->devicePixelRatioF()), 1280);
    EXPECT_LE(Form->frameGeometry().bottom(), Form->screen()->availableGeometry().bottom());
    for (const char* name : {"InputsPageControl", "MainPageControl"}) {
        auto* pages = Child<QWidget>(name);
        EXPECT_GE(pages->width(), pages->minimumSizeHint().width()) << name;
        EXPECT_GE(pages->height(), pages->minimumSizeHint().height()) << name;
    }
}

TEST_F(ScaledDesktop, TheRecipientsListShowsSeveralRows)
{
    for (int id = 1; id <= 3; ++id)
        Run("insert into AddressList (AddressListID, AddressListName, AddressListEmail) values (" + std::to_string(id) +
            ", \"Customer " + std::to_string(id) + "\", \"customer" + std::to_string(id) + "@example.com\")");
    auto* tree = Child<QTreeWidget>("JobList");
    tree->setCurrentItem(tree->topLevelItem(0));
    Child<QAbstractButton>("AddToQueueBtn")->click();
    Run("update QueueList set QueueListRecipients = \"1,2,3\"");
    Runner.ReloadQueueList();
    Runner.SelectQueueRow(0);
    auto* recipients = Child<QTreeWidget>("RecipientListView");
    ASSERT_EQ(recipients->topLevelItemCount(), 3);
    const QRect last = recipients->visualItemRect(recipients->topLevelItem(2));
    // Every row in sight, top to bottom.
    EXPECT_GE(last.top(), 0);
    EXPECT_LE(last.bottom(), recipients->viewport()->height()) << "of " << recipients->viewport()->height();
}

TEST_F(ScaledDesktop, EveryConfigurationLabelStaysOnOneLineAndTheDialogFitsTheScreen)
{
    TConfigDlg dialog(Form.get());
    dialog.show();
    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    ASSERT_FALSE(labels.isEmpty());
    for (QLabel* label : labels) {
        if (!label->isVisibleTo(&dialog) || label->text().isEmpty())
            continue;
        EXPECT_LT(label->height(), 2 * label->fontMetrics().lineSpacing()) << label->text().toStdString();
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text())) << label->text().toStdString();
    }
    EXPECT_GE(dialog.width(), TConfigDlg::DesignWidth);
    EXPECT_GE(dialog.height(), TConfigDlg::DesignHeight);
    EXPECT_GE(dialog.width(), dialog.minimumSizeHint().width());
    EXPECT_LE(dialog.frameGeometry().width(), Form->screen()->availableGeometry().width());
}

TEST_F(ScaledDesktop, TheAboutBoxShowsAllItsLinesWhole)
{
    TAboutBox about(Form.get());
    about.show();
    const QList<QLabel*> lines = about.findChildren<QLabel*>("AboutLine");
    ASSERT_EQ(lines.size(), TAboutBox::Lines().size());
    for (QLabel* line : lines) {
        EXPECT_GE(line->width(), line->fontMetrics().horizontalAdvance(line->text())) << line->text().toStdString();
        EXPECT_GE(line->height(), line->fontMetrics().height()) << line->text().toStdString();
        EXPECT_TRUE(about.rect().contains(QRect(line->mapTo(&about, QPoint(0, 0)), line->size())))
            << line->text().toStdString();
    }
}

class DesignDesktop : public StationWindow {};

TEST_F(DesignDesktop, OnARoomyScreenTheWindowsOpenAtLeastAtTheirDesignSizes)
{
    OpenWindow();
    EXPECT_GE(Form->width(), MainFormLayout::DesignWidth);
    EXPECT_GE(Form->height(), MainFormLayout::DesignHeight);
    // There is room for every column of a queued job, the whole task set included, without scrolling.
    auto* tree = Child<QTreeWidget>("JobList");
    tree->setCurrentItem(tree->topLevelItem(0));
    Child<QAbstractButton>("AddToQueueBtn")->click();
    auto* queue = Child<QTreeWidget>("QueueListView");
    int columns = 0;
    for (int column = 0; column < queue->columnCount(); ++column)
        columns += queue->columnWidth(column);
    EXPECT_LE(columns, queue->viewport()->width());
    TConfigDlg dialog(Form.get());
    EXPECT_GE(dialog.width(), TConfigDlg::DesignWidth);
    EXPECT_GE(dialog.height(), TConfigDlg::DesignHeight);
    TAboutBox about(Form.get());
    EXPECT_GE(about.width(), TAboutBox::DesignWidth);
    EXPECT_GE(about.height(), TAboutBox::DesignHeight);
}

}  // namespace
}  // namespace tavrin::testing
