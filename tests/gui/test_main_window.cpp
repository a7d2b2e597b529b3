#include "gui/MainWindow.h"
#include "shell/StationLog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>

namespace tavrin {
namespace {

TEST(MainWindow, ShowsTheCaptionAndMirrorsTheLog)
{
    int argc = 1;
    char name[] = "gui_tests";
    char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    TStationLog log([] { return TLocalTime{2008, 3, 14, 9, 26, 53, 120}; });
    log.Log("before the window");
    TMainForm window(log);
    EXPECT_EQ(window.windowTitle(), "Dranwick Tavrin Remote Proofing System");

    auto* logWin = window.findChild<QPlainTextEdit*>("LogWin");
    ASSERT_NE(logWin, nullptr);
    for (int i = 0; i < 250; ++i)
        log.Log("line " + std::to_string(i));
    EXPECT_EQ(logWin->document()->blockCount(), 201);
    EXPECT_TRUE(logWin->toPlainText().startsWith("[2008:03:14:09:26:53:120]: line 49\n"));
    EXPECT_TRUE(logWin->toPlainText().endsWith("line 249"));
}

}  // namespace
}  // namespace tavrin
