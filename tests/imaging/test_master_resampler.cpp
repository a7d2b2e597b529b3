#include "engines/imaging/MasterResampler.h"
#include "tests/imaging/ReferenceCopies.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <stdexcept>

namespace tavrin::testing {
namespace {

struct TTiffReader {
    explicit TTiffReader(const std::string& path) : Handle(TIFFOpen(path.c_str(), "r")) {}
    ~TTiffReader()
    {
        if (Handle)
            TIFFClose(Handle);
    }
    TIFF* Handle;
};

// Same kind, size, palette and pixels.
::testing::AssertionResult SameImage(gdImagePtr actual, gdImagePtr expected)
{
    if (actual->trueColor != expected->trueColor || actual->sx != expected->sx || actual->sy != expected->sy)
        return ::testing::AssertionFailure() << "kind or size differs";
    if (!actual->trueColor) {
        if (actual->colorsTotal != expected->colorsTotal)
            return ::testing::AssertionFailure()
                   << "palette of " << actual->colorsTotal << " colours, expected " << expected->colorsTotal;
        for (int i = 0; i < actual->colorsTotal; ++i)
            if (actual->red[i] != expected->red[i] || actual->green[i] != expected->green[i] ||
                actual->blue[i] != expected->blue[i])
                return ::testing::AssertionFailure() << "palette entry " << i << " differs";
    }
    int wrong = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < actual->sy; ++y)
        for (int x = 0; x < actual->sx; ++x)
            if (gdImageGetPixel(actual, x, y) != gdImageGetPixel(expected, x, y) && wrong++ == 0) {
                firstX = x;
                firstY = y;
            }
    if (wrong > 0)
        return ::testing::AssertionFailure() << wrong << " pixels differ, the first at " << firstX << "," << firstY
                                             << ": " << std::hex << gdImageGetPixel(actual, firstX, firstY)
                                             << " instead of " << gdImageGetPixel(expected, firstX, firstY);
    return ::testing::AssertionSuccess();
}

// A master whose colour map gives index v the colour (v, 255 - v, v / 2).
TMasterContents GreyRampMaster(std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& pixels)
{
    TMasterContents master;
    master.Width = width;
    master.Height = height;
    for (auto& channel : master.ColorMap)
        channel.resize(256);
    for (int v = 0; v < 256; ++v) {
        master.ColorMap[0][v] = std::uint16_t(v);
        master.ColorMap[1][v] = std::uint16_t(255 - v);
        master.ColorMap[2][v] = std::uint16_t(v / 2);
    }
    master.Pixels = pixels;
    return master;
}

class MasterResamplerTest : public ::testing::Test {
protected:
    std::string Write(const TMasterContents& master, std::uint32_t rowsPerStrip, bool colorMap = true)
    {
        const std::string path = Folder.Path("master" + std::to_string(++Count) + ".tif").string();
        EXPECT_TRUE(WriteMasterFile(path, master, 600, rowsPerStrip, colorMap));
        return path;
    }

    TScratchProgramFolder Folder;
    int Count = 0;
};

struct TCopyCase {
    const char* Name;
    std::uint32_t Width, Height, RowsPerStrip;
    int DestW, DestH;
    bool TrueColor;
    int DstX, DstY, SrcX, SrcY, DstW, DstH, SrcW, SrcH;
};

TEST_F(MasterResamplerTest, CopiesEqualThePlainPerPixelRules)
{
    const TCopyCase cases[] = {
        {"scale 1", 40, 30, 7, 40, 30, true, 0, 0, 0, 0, 40, 30, 40, 30},
        {"half", 40, 30, 7, 20, 15, true, 0, 0, 0, 0, 20, 15, 40, 30},
        {"two thirds", 30, 30, 16, 20, 20, true, 0, 0, 0, 0, 20, 20, 30, 30},
        {"odd reduction", 301, 211, 16, 37, 29, true, 0, 0, 0, 0, 37, 29, 301, 211},
        {"rows of five strips each", 300, 400, 8, 10, 10, true, 0, 0, 0, 0, 10, 10, 300, 400},
        {"enlarged", 13, 11, 4, 50, 47, true, 0, 0, 0, 0, 50, 47, 13, 11},
        {"top row in mid strip", 90, 120, 16, 40, 40, true, 3, 4, 5, 37, 25, 20, 60, 50},
        {"clipped by the picture", 60, 50, 16, 30, 30, true, -5, -3, 0, 0, 50, 40, 60, 50},
        {"reaching past the master", 60, 50, 16, 30, 30, true, 0, 0, 20, 10, 17, 19, 43, 44},
        {"too wide for tables", 1100000, 2, 1, 1, 1, true, 0, 0, 0, 0, 1, 1, 1100000, 2},
        {"palette 1:1", 40, 30, 7, 40, 30, false, 0, 0, 0, 0, 40, 30, 40, 30},
        {"palette doubled", 40, 30, 7, 80, 60, false, 0, 0, 0, 0, 80, 60, 40, 30},
        {"palette reduced", 90, 70, 16, 40, 40, false, 2, 1, 3, 5, 31, 29, 80, 61},
        {"palette clipped", 60, 50, 16, 30, 30, false, -4, -2, 0, 0, 45, 40, 60, 50},
    };
    for (const TCopyCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TMasterContents master = PageLikeMaster(c.Width, c.Height, c.Width * 7 + c.Height);
        TTiffReader reader(Write(master, c.RowsPerStrip));
        ASSERT_NE(reader.Handle, nullptr);
        TImage actual = NewImage(c.DestW, c.DestH, c.TrueColor), expected = NewImage(c.DestW, c.DestH, c.TrueColor);
        // The caller's white comes first, as in a tile.
        gdImageColorResolve(actual.get(), 255, 255, 255);
        gdImageColorResolve(expected.get(), 255, 255, 255);
        CopyResampledFromMaster(actual.get(), reader.Handle, c.DstX, c.DstY, c.SrcX, c.SrcY, c.DstW, c.DstH, c.SrcW,
                                c.SrcH);
        (c.TrueColor ? ReferenceResampled : ReferenceResized)(expected.get(), master, c.DstX, c.DstY, c.SrcX, c.SrcY,
                                                              c.DstW, c.DstH, c.SrcW, c.SrcH);
        EXPECT_TRUE(SameImage(actual.get(), expected.get()));
    }
}

TEST_F(MasterResamplerTest, AveragesWeighTheCoveredAreaAndTruncate)
{
    // Scale 1: every weight is 1.
    {
        const TMasterContents master = GreyRampMaster(3, 2, {0, 100, 200, 50, 150, 250});
        TTiffReader reader(Write(master, 288));
        TImage picture = NewImage(3, 2, true);
        CopyResampledFromMaster(picture.get(), reader.Handle, 0, 0, 0, 0, 3, 2, 3, 2);
        for (int i = 0; i < 6; ++i) {
            const int v = master.Pixels[std::size_t(i)];
            EXPECT_EQ(PixelColor(picture.get(), i % 3, i / 3), gdTrueColor(v, 255 - v, v / 2)) << i;
        }
    }
    // Halved: the mean of each 2 x 2 block, truncated: 10, 11, 11, 11 give 10.
    {
        const TMasterContents master = GreyRampMaster(2, 2, {10, 11, 11, 11});
        TTiffReader reader(Write(master, 288));
        TImage picture = NewImage(1, 1, true);
        CopyResampledFromMaster(picture.get(), reader.Handle, 0, 0, 0, 0, 1, 1, 2, 2);
        EXPECT_EQ(gdTrueColorGetRed(PixelColor(picture.get(), 0, 0)), 10);
        EXPECT_EQ(gdTrueColorGetGreen(PixelColor(picture.get(), 0, 0)), 244);  // 245, 244, 244, 244
    }
    // By 1.5: the middle row and column count half: 90 x 1 / (1.5 x 1.5) = 40.
    {
        const TMasterContents master = GreyRampMaster(3, 3, {90, 0, 0, 0, 0, 0, 0, 0, 0});
        TTiffReader reader(Write(master, 288));
        TImage picture = NewImage(2, 2, true);
        CopyResampledFromMaster(picture.get(), reader.Handle, 0, 0, 0, 0, 2, 2, 3, 3);
        EXPECT_EQ(gdTrueColorGetRed(PixelColor(picture.get(), 0, 0)), 40);
        EXPECT_EQ(gdTrueColorGetRed(PixelColor(picture.get(), 1, 1)), 0);
    }
}

TEST_F(MasterResamplerTest, PaletteCopyResolvesEachColourOnceInTheOrderOfUse)
{
    const TMasterContents master = GreyRampMaster(3, 2, {9, 4, 9, 200, 4, 4});
    TTiffReader reader(Write(master, 288));
    TImage picture = NewImage(6, 2, false);
    gdImageColorResolve(picture.get(), 255, 255, 255);
    CopyResizedFromMaster(picture.get(), reader.Handle, 0, 0, 0, 0, 6, 2, 3, 2);
    ASSERT_EQ(picture->colorsTotal, 4);  // white, then 9, 4, 200
    EXPECT_EQ(picture->red[1], 9);
    EXPECT_EQ(picture->red[2], 4);
    EXPECT_EQ(picture->red[3], 200);
    const std::vector<int> expected = {1, 1, 2, 2, 1, 1, 3, 3, 2, 2, 2, 2};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(gdImageGetPixel(picture.get(), i % 6, i / 6), expected[std::size_t(i)]) << i;
}

TEST_F(MasterResamplerTest, AFullPaletteTakesTheClosestColour)
{
    std::vector<std::uint8_t> pixels(256);
    for (int v = 0; v < 256; ++v)
        pixels[std::size_t(v)] = std::uint8_t(v);
    const TMasterContents master = GreyRampMaster(256, 1, pixels);  // 256 colours, none of them white
    TTiffReader reader(Write(master, 288));
    TImage actual = NewImage(256, 1, false), expected = NewImage(256, 1, false);
    gdImageColorResolve(actual.get(), 255, 255, 255);
    gdImageColorResolve(expected.get(), 255, 255, 255);
    CopyResizedFromMaster(actual.get(), reader.Handle, 0, 0, 0, 0, 256, 1, 256, 1);
    ReferenceResized(expected.get(), master, 0, 0, 0, 0, 256, 1, 256, 1);
    EXPECT_EQ(actual->colorsTotal, 256);
    EXPECT_TRUE(SameImage(actual.get(), expected.get()));
}

TEST_F(MasterResamplerTest, RefusedSizesCopyNothing)
{
    const TMasterContents master = GreyRampMaster(2, 2, {1, 2, 3, 4});
    TTiffReader reader(Write(master, 288));
    for (bool trueColor : {true, false}) {
        TImage picture = NewImage(4, 4, trueColor);
        const int white = gdImageColorResolve(picture.get(), 255, 255, 255);
        gdImageFilledRectangle(picture.get(), 0, 0, 3, 3, white);
        CopyResampledFromMaster(picture.get(), reader.Handle, 0, 0, 0, 0, 4, 4, -2, 2);
        CopyResampledFromMaster(picture.get(), reader.Handle, 0, 0, 0, 0, 4, 4, 2, 1 << 30);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(PixelColor(picture.get(), x, y), 0xFFFFFF) << trueColor;
    }
}

TEST_F(MasterResamplerTest, ReadFailuresRaiseNamingTheFileAndStrip)
{
    const TMasterContents master = PageLikeMaster(64, 48, 5);
    TBoxRecorder boxes;
    // No colour map.
    {
        const std::string path = Write(master, 16, false);
        TTiffReader reader(path);
        for (bool trueColor : {true, false}) {
            TImage picture = NewImage(32, 24, trueColor);
            EXPECT_EQ(
                RaisedText([&] { CopyResampledFromMaster(picture.get(), reader.Handle, 0, 0, 0, 0, 32, 24, 64, 48); }),
                "Could not get Color Map of " + path);
        }
    }
    // A spoilt strip, first or later, in either copy; libtiff's reason follows the strip.
    for (std::uint32_t spoilt : {0u, 2u}) {
        SCOPED_TRACE(spoilt);
        const std::string path = Write(master, 16);
        SpoilStrip(path, spoilt);
        TTiffReader reader(path);
        const std::string expected = "Could not read strip " + std::to_string(spoilt) + " of " + path + ": ";
        for (bool trueColor : {true, false}) {
            TImage picture = NewImage(64, 48, trueColor);
            const std::string text =
                RaisedText([&] { CopyResampledFromMaster(picture.get(), reader.Handle, 0, 0, 0, 0, 32, 24, 64, 48); });
            EXPECT_EQ(text.substr(0, expected.size()), expected) << text;
            EXPECT_GT(text.size(), expected.size()) << "no reason given";
        }
    }
    EXPECT_TRUE(boxes.Shown().empty()) << "the reason travels in the exception, not in a box";
}

}  // namespace
}  // namespace tavrin::testing
