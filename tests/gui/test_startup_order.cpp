#include "gui/QtOperatorDialogs.h"
#include "gui/SplashForm.h"
#include "tests/gui/StationWindowFixture.h"

#include <QMessageBox>
#include <QTest>

namespace tavrin::testing {
namespace {

// The station's start with real boxes over a configuration that lacks its URL base.
class StartupOrder : public StationWindow {
protected:
    void SetUp() override
    {
        StationWindow::SetUp();
        TSettingsRecord settings;
        LoadSettings(settings);
        settings.WebRoot.clear();
        SaveSettings(settings);
    }

    // Runs answer on the first message box that comes up modal, however many
    // event loop turns come before it (the splash turns one of its own).
    void WhenBoxIsUp(std::function<void(QMessageBox&)> answer)
    {
        auto* poll = new QTimer(Form.get());
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [poll, answer] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                poll->stop();
                answer(*box);
            }
        });
        poll->start();
    }

    TQtOperatorDialogs Boxes;
    TStartupOperation BoxStartup{Runner, Log, Boxes, Settings, Catalogue};
};

TEST_F(StartupOrder, TheSplashComesFirstTheStartupsBoxClosesItAndTheWindowFollows)
{
    Form = std::make_unique<TMainForm>(Runner, BoxStartup, Log, Boxes);
    Boxes.Owner = Form.get();
    TSplashForm splash;
    bool boxSeen = false;
    WhenBoxIsUp([&](QMessageBox& box) {
        boxSeen = true;
        EXPECT_EQ(box.windowTitle(), "Configuration Error");
        EXPECT_TRUE(box.text().contains("URL Base requires configuration"));
        // Nothing covers the box: the splash has gone, the window is not up yet.
        EXPECT_FALSE(splash.isVisible());
        EXPECT_FALSE(Form->isVisible());
        box.accept();
    });
    Form->StartUnderSplash(splash);
    EXPECT_TRUE(boxSeen);
    EXPECT_TRUE(Form->isVisible());
    EXPECT_FALSE(splash.isVisible());
}

TEST_F(StartupOrder, WithoutABoxTheSplashStaysInFrontOfTheWindowUntilItsTime)
{
    TSettingsRecord settings;
    LoadSettings(settings);
    settings.WebRoot = "http://proofs.example.com/";
    SaveSettings(settings);
    SaveWindowBounds(TWindowBounds{40, 30, 1100, 700});
    Form = std::make_unique<TMainForm>(Runner, BoxStartup, Log, Boxes);
    TSplashForm splash;
    Form->StartUnderSplash(splash);
    EXPECT_TRUE(Form->isVisible());
    EXPECT_TRUE(splash.isVisible());
    // The window opens where and as large as it was left.
    EXPECT_EQ(Form->frameGeometry(), QRect(40, 30, 1100, 700));

    // A box that opens later, while the splash is still up, closes it too.
    QMessageBox later(QMessageBox::Warning, "Error", "Master failed for job 12", QMessageBox::Ok, Form.get());
    later.open();
    EXPECT_FALSE(splash.isVisible());
    later.close();
}

}  // namespace
}  // namespace tavrin::testing
