#include "gui/PreviewPicture.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

namespace tavrin::testing {
namespace {

// The overview reader raises for a file it cannot use; the preview tab shows
// "Preview not available" instead, and the window goes on.
TEST(PreviewPicture, AnOverviewThatCannotBeReadGivesNoPictureAndNoError)
{
    TScratchProgramFolder folder;
    QImage overview(3, 2, QImage::Format_RGB888);
    overview.fill(QColor(0x12, 0x34, 0x56));
    ASSERT_TRUE(overview.save(QString::fromStdString(folder.Path("overview-0001.png").string()), "PNG"));
    folder.Write("broken.png", "\x89PNG\r\n\x1a\nnot really");

    const QImage read = LoadPreviewPicture(folder.Path("overview-0001.png").string());
    EXPECT_EQ(read.size(), QSize(3, 2));
    EXPECT_EQ(read.pixelColor(2, 1), QColor(0x12, 0x34, 0x56));
    for (const char* name : {"missing.png", "broken.png"})
        EXPECT_TRUE(LoadPreviewPicture(folder.Path(name).string()).isNull()) << name;
}

}  // namespace
}  // namespace tavrin::testing
