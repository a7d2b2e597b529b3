#include "base/catalogue/JobTree.h"
#include "tasks/catalogue/FolderScan.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

TJobTreeNode PlateNode(int page, const std::string& color)
{
    TJobTreeNode node;
    node.Data = JobTreeNodeData{JobTreeNodeData::Plate, 1, color, 0, 0, page};
    return node;
}

TEST(JobTree, PlatesSortByPageThenProcessRankThenSpotName)
{
    struct TCase {
        int LeftPage;
        const char* Left;
        int RightPage;
        const char* Right;
        int Sign;
    };
    const TCase cases[] = {
        {1, "BLACK", 2, "CYAN", -1},                                        // page first
        {1, "cyan", 1, "Magenta", -1},                                      // ranks without regard to case
        {1, "YELLOW", 1, "BLACK", -1}, {1, "BLACK", 1, "PANTONE 185", -1},  // spots after black
        {1, "Orange", 1, "Green", 1},                                       // spots by name
        {1, "Zed", 1, "alpha", -1},                                         // plain byte order: capitals first
        {1, "CYAN", 1, "cyan", 0},
    };
    for (const TCase& c : cases) {
        const int result = ComparePlateNodes(PlateNode(c.LeftPage, c.Left), PlateNode(c.RightPage, c.Right));
        EXPECT_EQ((result > 0) - (result < 0), c.Sign) << c.Left << " vs " << c.Right;
    }
}

TEST(JobTree, PackedColorValueTakesTheFirstFourBytesMostSignificantFirst)
{
    struct TCase {
        std::vector<std::uint16_t> Values;
        std::int32_t Packed;
    };
    const TCase cases[] = {
        {{32767, 0, 0, 0}, -16777216},
        {{}, 0},
        {{0, 16384}, 128 << 16},
        {{64, 128, 16384, 32767, 32767}, (1 << 24) | (1 << 16) | (128 << 8) | 255},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(PackedColorValue(c.Values), c.Packed);
}

TEST(JobTree, SwatchHasItsGreyFrameAroundTheColour)
{
    const TSwatchImage swatch = DrawSwatch(10, 20, 30);
    using TRGB = std::array<std::uint8_t, 3>;
    const TRGB light{192, 192, 192}, mid{128, 128, 128}, colour{10, 20, 30}, white{255, 255, 255};
    EXPECT_EQ(swatch.Pixel(2, 15), light);  // start of the frame
    EXPECT_EQ(swatch.Pixel(2, 0), light);
    EXPECT_EQ(swatch.Pixel(11, 0), light);
    EXPECT_EQ(swatch.Pixel(12, 0), mid);  // the right edge starts at the corner
    EXPECT_EQ(swatch.Pixel(12, 15), mid);
    EXPECT_EQ(swatch.Pixel(3, 15), mid);
    EXPECT_EQ(swatch.Pixel(3, 1), colour);
    EXPECT_EQ(swatch.Pixel(11, 14), colour);
    EXPECT_EQ(swatch.Pixel(0, 0), white);
    EXPECT_EQ(swatch.Pixel(13, 5), white);
}

}  // namespace
}  // namespace tavrin
