#include "tests/gui/StationWindowFixture.h"

namespace tavrin::testing {
namespace {

class WindowBounds : public StationWindow {};

TEST_F(WindowBounds, AMissingHeightKeepsTheDesignHeightAndCloseSavesTheBounds)
{
    Folder.Write("tavrin.ini", Folder.Read("tavrin.ini") + "Left=40\nTop=30\nWidth=900\n");
    OpenWindow();
    EXPECT_EQ(Form->frameGeometry(), QRect(40, 30, 900, 666));

    // A later start-up (after the configuration dialog) leaves the window where it is.
    Form->setGeometry(60, 50, 1000, 700);
    const QRect placed = Form->frameGeometry();
    Form->RunStartup();
    EXPECT_EQ(Form->frameGeometry(), placed);

    Form->close();
    const TWindowBounds saved = LoadWindowBounds();
    EXPECT_EQ((std::array{saved.Left, saved.Top, saved.Width, saved.Height}),
              (std::array{placed.left(), placed.top(), placed.width(), placed.height()}));
}

}  // namespace
}  // namespace tavrin::testing
