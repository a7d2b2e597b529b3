#include "engines/imaging/PngWriter.h"
#include "engines/imaging/ProofImage.h"
#include "engines/imaging/TileCutter.h"
#include "engines/imaging/TileEncoder.h"
#include "engines/imaging/TileGrid.h"
#include "tests/imaging/ReferenceCopies.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <numeric>
#include <set>
#include <stdexcept>

namespace tavrin::testing {
namespace {

class TilePyramidTest : public ::testing::Test {
protected:
    std::string Write(const TMasterContents& master, std::uint32_t rowsPerStrip = 288, bool colorMap = true)
    {
        const std::string path = Folder.Path("master" + std::to_string(++Count) + ".tif").string();
        EXPECT_TRUE(WriteMasterFile(path, master, 600, rowsPerStrip, colorMap));
        return path;
    }
    std::string Path(const std::string& name) const { return Folder.Path(name).string(); }

    // Opens a master and records the progress it reports.
    std::unique_ptr<TProofImage> Open(const std::string& path)
    {
        auto image = TProofImage::CreateForRead(path);
        image->OnProgress = [this](int percentage) { Progress.push_back(percentage); };
        return image;
    }

    TScratchProgramFolder Folder;
    std::vector<int> Progress;
    int Count = 0;
};

// A master of one colour everywhere (index 255, white).
TMasterContents PaperMaster(std::uint32_t width, std::uint32_t height)
{
    TMasterContents master = PageLikeMaster(1, 1, 0);
    master.Width = width;
    master.Height = height;
    master.Pixels.assign(std::size_t(width) * height, 255);
    return master;
}

// The record of a level 4 tile's "tvIX" chunk, which must stand between
// PLTE and the first IDAT with a good CRC; empty when it does not.
std::vector<std::uint8_t> IndexRecord(const std::string& png)
{
    bool palette = false;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = BigEndianWord(png, at);
        const std::string type = png.substr(at + 4, 4);
        if (type == "IDAT")
            break;
        palette = palette || type == "PLTE";
        if (type == "tvIX" && palette) {
            const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), uInt(4 + length));
            if (BigEndianWord(png, at + 8 + length) != crc)
                return {};
            return std::vector<std::uint8_t>(png.begin() + long(at) + 8, png.begin() + long(at) + 8 + long(length));
        }
        at += 12 + length;
    }
    return {};
}

// Pixels of a level 4 tile whose entry the record does not map to the
// master index expected there, or whose palette colour is not that index's.
int WronglyRecorded(const TTileFile& level, std::uint32_t column, std::uint32_t row,
                    const std::function<int(int x, int y)>& expectedIndex, const TMasterContents& master)
{
    const std::vector<std::uint8_t> record = IndexRecord(level.Tiles.at({column, row}));
    const TImage tile = level.Tile(column, row);
    if (!tile || record.empty() || int(record.size()) != gdImageColorsTotal(tile.get()))
        return -1;
    int wrong = 0;
    for (int y = 0; y < tile->sy; ++y)
        for (int x = 0; x < tile->sx; ++x) {
            const int entry = gdImageGetPixel(tile.get(), x, y);
            const int index = record[std::size_t(entry)];
            const bool white = index == 255 && entry == 0 && PixelColor(tile.get(), x, y) == 0xFFFFFF;
            const auto [r, g, b] = std::tuple<int, int, int>{
                master.ColorMap[0][index] & 0xFF, master.ColorMap[1][index] & 0xFF, master.ColorMap[2][index] & 0xFF};
            wrong += index != expectedIndex(x, y) || (!white && PixelColor(tile.get(), x, y) != gdTrueColor(r, g, b));
        }
    return wrong;
}

// The bit depth in the PNG's header.
int BitDepth(const std::string& png)
{
    return std::uint8_t(png.at(24));
}

struct TGridCase {
    std::uint32_t Width, Height;
    double Factor;
    std::uint32_t S, DW, DH, Columns, Rows;
    std::int32_t ODX, ODY, OSX, OSY;
};

TEST(TileGrid, WorkedExamples)
{
    const TGridCase cases[] = {
        {1000, 700, 576.0 / 1000, 500, 576, 403, 2, 2, 0, 173, 0, 300},   // level 0 at 600 dpi
        {1000, 700, 1.0, 288, 1000, 700, 4, 3, 152, 164, 152, 164},       // level 4
        {2000, 500, 576.0 / 2000, 1000, 576, 144, 2, 1, 0, 144, 0, 500},  // a landscape page
        {288, 288, 1.0, 288, 288, 288, 1, 1, 0, 0, 0, 0},                 // exactly one tile
    };
    for (const TGridCase& c : cases) {
        const TTileGrid grid = TTileGrid::For(c.Width, c.Height, 288, c.Factor);
        SCOPED_TRACE(std::to_string(c.Width) + "x" + std::to_string(c.Height) + " at " + std::to_string(c.Factor));
        EXPECT_EQ(std::vector<std::uint32_t>({grid.S, grid.DW, grid.DH, grid.Columns, grid.Rows}),
                  std::vector<std::uint32_t>({c.S, c.DW, c.DH, c.Columns, c.Rows}));
        EXPECT_EQ(std::vector<std::int32_t>({grid.ODX, grid.ODY, grid.OSX, grid.OSY}),
                  std::vector<std::int32_t>({c.ODX, c.ODY, c.OSX, c.OSY}));
    }
    // Level 0 of the 1000 x 700 page: the top row shows master rows 0..199 in
    // tile rows 173..287, the bottom row rows 200..699 at full tile height.
    const TTileGrid level0 = TTileGrid::For(1000, 700, 288, 0.576);
    const TCopyRectangle top = level0.Rectangle(0, 1), bottom = level0.Rectangle(1, 0);
    EXPECT_EQ(std::vector<int>({top.DstX, top.DstY, top.SrcX, top.SrcY, top.DstW, top.DstH, top.SrcW, top.SrcH}),
              std::vector<int>({0, 173, 500, 0, 288, 115, 500, 200}));
    EXPECT_EQ(std::vector<int>({bottom.DstY, bottom.SrcY, bottom.DstH, bottom.SrcH}),
              std::vector<int>({0, 200, 288, 500}));
    // The single row of the landscape page keeps the top row's rectangle.
    const TCopyRectangle landscape = TTileGrid::For(2000, 500, 288, 0.288).Rectangle(0, 0);
    EXPECT_EQ(std::vector<int>({landscape.DstY, landscape.SrcY, landscape.DstH, landscape.SrcH}),
              std::vector<int>({144, 0, 144, 500}));
    // Level 4: the last column is 136 pixels wide, the top row 124 high.
    const TCopyRectangle corner = TTileGrid::For(1000, 700, 288, 1.0).Rectangle(0, 3);
    EXPECT_EQ(std::vector<int>({corner.DstY, corner.DstW, corner.DstH, corner.SrcX, corner.SrcW}),
              std::vector<int>({164, 136, 124, 864, 136}));
    EXPECT_THROW(TTileGrid::For(1000, 700, 288, 1e9), std::runtime_error);
}

TEST_F(TilePyramidTest, LevelsOfA600DpiPageEqualThePlainCutAndReportEachRow)
{
    // M = 1000, R = 600: the five factors of the page.
    const TMasterContents master = PageLikeMaster(1000, 700, 11);
    auto image = Open(Write(master));
    const std::array<double, 5> factors = {576.0 / 1000, 96.0 / 600, 192.0 / 600, 384.0 / 600, 1.0};
    for (std::size_t z = 0; z < factors.size(); ++z) {
        SCOPED_TRACE(z);
        const std::string ours = Path("tile" + std::to_string(z) + ".tdb"), plain = Path("plain.tdb");
        Progress.clear();
        image->MakeTiles(ours, 288, factors[z]);
        ReferenceLevel(plain, master, 288, factors[z]);
        EXPECT_TRUE(FileText(ours) == FileText(plain)) << "not the plain cut's file";
        if (z == 4) {
            EXPECT_EQ(Progress, std::vector<int>({0, 33, 67, 100}));
        } else if (z == 0) {
            EXPECT_EQ(Progress, std::vector<int>({0, 50, 100}));
        }
    }
    // Level 4 tiles are palette images, white where the page does not reach:
    // the top-right tile (database row 2) holds 136 x 124 page pixels.
    const TTileFile level4 = TTileFile::Read(Path("tile4.tdb"));
    ASSERT_EQ(std::make_pair(level4.Columns, level4.Rows), std::make_pair(4u, 3u));
    const TImage corner = level4.Tile(3, 2);
    ASSERT_NE(corner, nullptr);
    EXPECT_FALSE(gdImageTrueColor(corner.get()));
    EXPECT_EQ(PixelColor(corner.get(), 200, 200), 0xFFFFFF);
    EXPECT_EQ(PixelColor(corner.get(), 135, 163), 0xFFFFFF);
    const auto [r, g, b] = SourceColor(master, 864 + 135, 123);
    EXPECT_EQ(PixelColor(corner.get(), 135, 164 + 123), gdTrueColor(r, g, b));
    // Their index chunk maps every pixel to the master pixel's index (the
    // border to 255), so that indices 3 and 7, of one colour, stay apart for
    // the viewer.
    const auto inner = [&](int x, int y) { return master.At(288 + x, 124 + y); };  // tile (1, 1)
    EXPECT_EQ(WronglyRecorded(level4, 1, 1, inner, master), 0);
    const auto border = [&](int x, int y) { return x < 136 && y >= 164 ? master.At(864 + x, y - 164) : 255; };
    EXPECT_EQ(WronglyRecorded(level4, 3, 2, border, master), 0);
    const std::vector<std::uint8_t> record = IndexRecord(level4.Tiles.at({1, 1}));
    const auto three = std::find(record.begin(), record.end(), 3), seven = std::find(record.begin(), record.end(), 7);
    ASSERT_TRUE(three != record.end() && seven != record.end());
    EXPECT_NE(three, seven);
    EXPECT_EQ(std::set<std::uint8_t>(record.begin(), record.end()).size(), record.size()) << "one entry per index";
}

TEST_F(TilePyramidTest, LevelFourPalettesHoldTheUsedIndicesOnly)
{
    // Tile (0, 0) of a 500 x 288 page uses 15 indices, 3 and 7 of one
    // colour; tile (1, 0) is 212 pixels of the page, the rest border.
    TMasterContents master = PageLikeMaster(500, 288, 5);
    for (std::uint32_t y = 0; y < 288; ++y)
        for (std::uint32_t x = 0; x < 500; ++x)
            master.Pixels[std::size_t(y) * 500 + x] = std::uint8_t((x * 7 + y * 3) % 15);
    auto image = Open(Write(master, 64));
    image->MakeTiles(Path("tile4.tdb"), 288, 1.0);
    const TTileFile level4 = TTileFile::Read(Path("tile4.tdb"));
    for (std::uint32_t column : {0u, 1u}) {
        SCOPED_TRACE(column);
        const auto index = [&](int x, int y) {
            return x + 288 * int(column) < 500 ? master.At(x + 288 * column, y) : 255;
        };
        EXPECT_EQ(WronglyRecorded(level4, column, 0, index, master), 0);
        // White and 15 indices: 16 entries, four bits a pixel.
        EXPECT_EQ(IndexRecord(level4.Tiles.at({column, 0})).size(), 16u);
        EXPECT_EQ(BitDepth(level4.Tiles.at({column, 0})), 4);
    }
    ReferenceLevel(Path("plain.tdb"), master, 288, 1.0);
    EXPECT_TRUE(FileText(Path("tile4.tdb")) == FileText(Path("plain.tdb")));
}

TEST_F(TilePyramidTest, ATileOfEveryIndexKeepsEachOne)
{
    // 256 indices fit beside the border's white when paper is white; when it
    // is not, the tile holds the whole colour table in index order.
    for (const int paperRed : {255, 250}) {
        SCOPED_TRACE(paperRed);
        TMasterContents master = PageLikeMaster(288, 288, 9);
        master.ColorMap[0][255] = std::uint16_t(paperRed);
        for (std::size_t p = 0; p < master.Pixels.size(); ++p)
            master.Pixels[p] = std::uint8_t((p * 37) % 256);
        auto image = Open(Write(master, 32));
        image->MakeTiles(Path("every.tdb"), 288, 1.0);
        const TTileFile level4 = TTileFile::Read(Path("every.tdb"));
        EXPECT_EQ(WronglyRecorded(
                      level4, 0, 0, [&](int x, int y) { return master.At(x, y); }, master),
                  0);
        const std::vector<std::uint8_t> record = IndexRecord(level4.Tiles.at({0, 0}));
        ASSERT_EQ(record.size(), 256u);
        if (paperRed == 255) {
            EXPECT_EQ(std::vector<int>(record.begin(), record.begin() + 3), std::vector<int>({255, 0, 37}));
        } else {
            std::vector<std::uint8_t> table(256);
            std::iota(table.begin(), table.end(), 0);
            EXPECT_EQ(record, table);
        }
    }
}

TEST_F(TilePyramidTest, SinglePageRowsAndExactTilesEqualThePlainCut)
{
    struct TCase {
        std::uint32_t Width, Height;
        double Factor;
    };
    // A landscape page at level 0 (one tile row, white above row 144), a page
    // of exactly one tile, a page enlarged at a low resolution.
    for (const TCase& c : {TCase{2000, 500, 0.288}, TCase{288, 288, 1.0}, TCase{150, 110, 3.84}}) {
        SCOPED_TRACE(std::to_string(c.Width) + "x" + std::to_string(c.Height));
        const TMasterContents master = PageLikeMaster(c.Width, c.Height, c.Width);
        auto image = Open(Write(master, 32));
        image->MakeTiles(Path("ours.tdb"), 288, c.Factor);
        ReferenceLevel(Path("plain.tdb"), master, 288, c.Factor);
        EXPECT_TRUE(FileText(Path("ours.tdb")) == FileText(Path("plain.tdb")));
    }
    auto image = Open(Write(PaperMaster(288, 288)));
    image->MakeTiles(Path("one.tdb"), 288, 1.0);
    const TTileFile one = TTileFile::Read(Path("one.tdb"));
    ASSERT_EQ(one.Tiles.size(), 1u);
    // Painted white, then covered with paper, white too: one entry, index
    // 255, one bit a pixel.
    EXPECT_EQ(one.Tile(0, 0)->colorsTotal, 1);
    EXPECT_EQ(IndexRecord(one.Tiles.at({0, 0})), std::vector<std::uint8_t>{255});
    EXPECT_EQ(BitDepth(one.Tiles.at({0, 0})), 1);
}

TEST_F(TilePyramidTest, CuttingOnSeveralThreadsWritesTheSameFiles)
{
    // Several strips per tile row and tiles that repeat (paper, flat tint).
    TMasterContents master = PageLikeMaster(1500, 2100, 3);
    std::fill(master.Pixels.begin(), master.Pixels.begin() + 1500 * 700, 255);
    const std::string path = Write(master, 96);
    auto image = TProofImage::CreateForRead(path);
    for (double factor : {576.0 / 2100, 0.16, 0.64, 1.0}) {
        SCOPED_TRACE(factor);
        std::vector<int> single, parallel;
        CutTiles(
            image->Tiff(), Path("single.tdb"), 288, factor, [&](int p) { single.push_back(p); }, 0);
        CutTiles(
            image->Tiff(), Path("parallel.tdb"), 288, factor, [&](int p) { parallel.push_back(p); }, 3);
        EXPECT_TRUE(FileText(Path("single.tdb")) == FileText(Path("parallel.tdb")));
        EXPECT_EQ(single, parallel);
        if (factor == 0.64) {
            ReferenceLevel(Path("plain.tdb"), master, 288, factor);
            EXPECT_TRUE(FileText(Path("single.tdb")) == FileText(Path("plain.tdb")));
        }
    }
}

TEST_F(TilePyramidTest, UnusableFactorsAndMastersWriteNothing)
{
    auto image = Open(Write(PaperMaster(100, 100)));
    image->MakeTiles(Path("zero.tdb"), 288, 0.0);
    EXPECT_EQ(Progress, std::vector<int>({0}));
    EXPECT_FALSE(std::filesystem::exists(Path("zero.tdb")));
    EXPECT_THROW(image->MakeTiles(Path("no/such/folder/tile.tdb"), 288, 1.0), std::runtime_error);

    EXPECT_THROW(Open(Path("missing.tif")), std::runtime_error);
}

TEST_F(TilePyramidTest, OverviewsHaveTheLargerSide288AndThePlainAverages)
{
    for (const auto& [width, height, sizeX, sizeY] :
         {std::array<std::uint32_t, 4>{6000, 4000, 288, 192}, {4000, 6000, 192, 288}, {900, 900, 288, 288}}) {
        auto image = Open(Write(PaperMaster(width, height)));
        Progress.clear();
        image->MakePreview(Path("overview.png"), 288.0 / std::max(width, height));
        const std::string png = FileText(Path("overview.png"));
        TImage overview(gdImageCreateFromPngPtr(int(png.size()), const_cast<char*>(png.data())), gdImageDestroy);
        ASSERT_NE(overview, nullptr);
        EXPECT_EQ(std::make_pair(std::uint32_t(overview->sx), std::uint32_t(overview->sy)),
                  std::make_pair(sizeX, sizeY));
        EXPECT_TRUE(gdImageTrueColor(overview.get()));
        EXPECT_EQ(Progress, std::vector<int>({50, 100}));
    }
    const TMasterContents master = PageLikeMaster(1000, 700, 8);
    auto image = Open(Write(master, 16));
    image->MakePreview(Path("page.png"), 0.288);
    TImage expected = NewImage(288, 202, true);
    ReferenceResampled(expected.get(), master, 0, 0, 0, 0, 288, 202, 1000, 700);
    int size = 0;
    void* png = gdImagePngPtr(expected.get(), &size);
    EXPECT_TRUE(FileText(Path("page.png")) == std::string(static_cast<char*>(png), std::size_t(size)));
    gdFree(png);
    EXPECT_THROW(image->MakePreview(Path("no/such/folder/overview.png"), 0.288), std::runtime_error);
}

TEST_F(TilePyramidTest, DamagedMastersRaiseAndLeaveNoFile)
{
    const TMasterContents master = PageLikeMaster(700, 500, 4);
    // Without a colour map: refused at open; cut from the bare handle, raised once per level.
    {
        const std::string path = Write(master, 64, false);
        EXPECT_EQ(RaisedText([&] { Open(path); }),
                  "Master " + path +
                      " is not readable: 1 sample(s) of 8 bits, photometric 1 instead of one 8-bit "
                      "palette sample");
        TIFF* tiff = TIFFOpen(path.c_str(), "r");
        for (double factor : {0.5, 1.0})
            EXPECT_EQ(RaisedText([&] { CutTiles(tiff, Path("grey.tdb"), 288, factor, nullptr, 1); }),
                      "Could not get Color Map of " + path);
        TIFFClose(tiff);
    }
    // A strip that cannot be read: every pass raises and leaves neither file nor unfinished file.
    {
        const std::string path = Write(master, 64);
        SpoilStrip(path, 3);
        auto image = Open(path);
        const std::string expected = "Could not read strip 3 of " + path + ": ";
        for (double factor : {0.5, 1.0}) {
            const std::string text = RaisedText([&] { image->MakeTiles(Path("damaged.tdb"), 288, factor); });
            EXPECT_EQ(text.substr(0, expected.size()), expected) << text;
        }
        const std::string text = RaisedText([&] { image->MakePreview(Path("damaged.png"), 0.4); });
        EXPECT_EQ(text.substr(0, expected.size()), expected) << text;
        for (const char* name : {"damaged.tdb", "damaged.tdb.part", "damaged.png", "damaged.png.part"})
            EXPECT_FALSE(std::filesystem::exists(Path(name))) << name;
    }
}

TEST(TileEncoder, ARepeatedTileGetsTheBytesOfItsFirstEncoding)
{
    TTileEncoder encoder;
    const auto tile = [](int color) {
        TTileEncoder::TTile image(gdImageCreate(288, 288), gdImageDestroy);
        gdImageColorResolve(image.get(), 255, 255, 255);
        gdImageSetPixel(image.get(), 5, 7, gdImageColorResolve(image.get(), color, 0, 0));
        return image;
    };
    const auto first = encoder.Encode(tile(10));
    const auto again = encoder.Encode(tile(10));
    const auto other = encoder.Encode(tile(11));
    EXPECT_EQ(first, again);  // the same bytes, not encoded twice
    EXPECT_NE(*first, *other);
    EXPECT_EQ(encoder.Reused(), 1u);
    const std::vector<std::uint8_t> written = TPngWriter().Write(tile(10).get());
    EXPECT_EQ(*again, written);
    // The record of indices belongs to the tile: another record, other bytes.
    const std::string plain(written.begin(), written.end());
    const auto indexed = encoder.Encode(tile(10), {255, 7});
    const auto otherIndexed = encoder.Encode(tile(10), {255, 3});
    EXPECT_EQ(encoder.Reused(), 1u);
    EXPECT_EQ(std::string(indexed->begin(), indexed->end()), WithRecordChunk(plain, {255, 7}));
    EXPECT_EQ(std::string(otherIndexed->begin(), otherIndexed->end()), WithRecordChunk(plain, {255, 3}));
    EXPECT_EQ(*encoder.Encode(tile(10), {255, 7}), *indexed);
    EXPECT_EQ(encoder.Reused(), 2u);
    // A record that does not match the palette is refused.
    EXPECT_THROW(encoder.Encode(tile(12), {255}), std::runtime_error);
}

TEST_F(TilePyramidTest, ATiledImageInsteadOfAMasterIsRefusedNotACrash)
{
    const std::string path = Path("tiled.tif");
    {
        TIFF* tiff = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tiff, nullptr);
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 64);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 64);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        std::vector<std::uint16_t> map(256, 0);
        TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
        std::vector<std::uint8_t> block(16 * 16, 3);
        for (std::uint32_t t = 0; t < 16; ++t)
            TIFFWriteEncodedTile(tiff, t, block.data(), tmsize_t(block.size()));
        TIFFClose(tiff);
    }
    EXPECT_EQ(RaisedText([&] { Open(path); }), "Master " + path + " is not readable: stored in tiles, not strips");
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    EXPECT_EQ(RaisedText([&] { CutTiles(tiff, Path("tiled.tdb"), 288, 1.0, nullptr, 1); }),
              "Could not read strip 0 of " + path + ": the image is not stored in strips");
    TIFFClose(tiff);
    EXPECT_FALSE(std::filesystem::exists(Path("tiled.tdb")));
}

}  // namespace
}  // namespace tavrin::testing
