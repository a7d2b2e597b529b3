#include "base/pagebuffer/BandDecoder.h"
#include "base/pagebuffer/PGBObject.h"
#include "tests/pagebuffer/PageBufferFiles.h"
#include "tools/pgbwrite/BandEncoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

namespace tavrin {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A halftone-like 1-bit raster: a clustered-dot screen over a diagonal
// gradient, with cell size `cell` pixels, rows padded to whole bytes.
TBitmap ScreenedBitmap(int width, int height, int cell)
{
    TBitmap bitmap{width, height, {}};
    bitmap.Bits.resize(bitmap.RowBytes() * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double tone = double(x + y) / (width + height);
            const double dx = (x % cell) - cell / 2.0, dy = (y % cell) - cell / 2.0;
            const double spot = std::sqrt(dx * dx + dy * dy) / (cell * 0.71);
            if (spot < tone)
                bitmap.Bits[y * bitmap.RowBytes() + x / 8] |= std::uint8_t(0x80 >> (x % 8));
        }
    return bitmap;
}

Bytes RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

// Lines that alternate with their inverse, broken by a few random bytes.
Bytes InvertedStripes(std::size_t line, std::size_t lines)
{
    Bytes band = RandomBytes(line, 7);
    for (std::size_t p = line; p < line * lines; ++p)
        band.push_back(static_cast<std::uint8_t>(~band[p - line]));
    for (std::size_t p = 5; p < band.size(); p += 601)
        band[p] ^= 0x24;
    return band;
}

// Mostly paper with a few marks: long runs of copies.
Bytes SparseMarks(std::size_t line, std::size_t lines)
{
    Bytes band(line * lines);
    for (std::size_t p = line / 3; p < band.size(); p += 1009)
        band[p] = 0x81;
    return band;
}

Bytes BitmapBand(const TBitmap& bitmap)
{
    return bitmap.Bits;
}

// The code families an encoded band uses, by their first code value.
std::set<int> CodeFamilies(const Bytes& stored)
{
    std::set<int> families;
    for (std::size_t i = 1; i < stored.size();) {
        const int code = stored[i++];
        if (code <= 153) {
            families.insert(code < 38 ? 0 : code < 76 ? 38 : code < 114 ? 76 : 114);
            i += code < 38 ? 1 : code < 76 ? 2 : code < 114 ? 3 : 1;
        } else if (code <= 200) {
            families.insert(154);
            for (int left = code - 151; left > 0; left -= 8) {
                const int mask = stored[i++] & ((1 << std::min(left, 8)) - 1);
                i += static_cast<std::size_t>(__builtin_popcount(mask));
            }
        } else if (code <= 247) {
            families.insert(201);
            i += static_cast<std::size_t>(code - 200);
        } else {
            families.insert(code);
            i += code == 251 || code == 253 ? 1 : code == 255 ? 0 : 2;
        }
    }
    return families;
}

Bytes RoundTrip(const Bytes& band, std::size_t line, Bytes* stored = nullptr)
{
    const Bytes coded = EncodeBand(band.data(), band.size(), line);
    if (stored)
        *stored = coded;
    Bytes area(line + band.size());
    EXPECT_EQ(coded.at(0), 7);
    EXPECT_EQ(DecodeBandCodes(coded.data() + 1, coded.size() - 1, area.data(), band.size(), line),
              TBandDecodeResult::Done);
    return Bytes(area.begin() + static_cast<long>(line), area.end());
}

TEST(BandRoundTrip, EncodedBandsDecodeToThemselves)
{
    struct TCase {
        const char* Name;
        Bytes Band;
        std::size_t Line;
    };
    const TBitmap screen = ScreenedBitmap(640, 96, 12);
    const TCase cases[] = {
        {"random", RandomBytes(4000, 1), 40},
        {"random, odd line", RandomBytes(999, 2), 37},
        {"screened", BitmapBand(screen), screen.RowBytes()},
        {"screened, runs across lines", BitmapBand(ScreenedBitmap(77, 300, 7)), 10},
        {"inverted stripes", InvertedStripes(300, 12), 300},
        {"sparse marks", SparseMarks(400, 64), 400},
        {"blank", Bytes(512, 0), 64},
        {"one line", RandomBytes(64, 3), 64},
        {"line longer than the band's runs", Bytes(16, 0xff), 3},
    };
    std::set<int> families;
    for (const TCase& c : cases) {
        Bytes stored;
        EXPECT_EQ(RoundTrip(c.Band, c.Line, &stored), c.Band) << c.Name;
        const auto used = CodeFamilies(stored);
        families.insert(used.begin(), used.end());
    }
    // Together they exercise every code family of the decoder but the invalid ones.
    EXPECT_EQ(families, (std::set<int>{0, 38, 76, 114, 154, 201, 251, 252, 253, 254, 255}));
}

TEST(BandRoundTrip, RandomEditsOfScreens)
{
    // Screens with random flips, at many line lengths.
    std::mt19937 random(11);
    for (int round = 0; round < 40; ++round) {
        const int width = 8 + static_cast<int>(random() % 700);
        TBitmap bitmap = ScreenedBitmap(width, 40, 3 + static_cast<int>(random() % 20));
        for (int flips = static_cast<int>(random() % 50); flips > 0; --flips)
            bitmap.Bits[random() % bitmap.Bits.size()] ^= static_cast<std::uint8_t>(random());
        EXPECT_EQ(RoundTrip(bitmap.Bits, bitmap.RowBytes()), bitmap.Bits) << round;
    }
}

class PlateRoundTrip : public testing::PageBufferFiles {};

// The plate as a PBM raster, bands read in order.
TBitmap ReadPlate(TPGBObject& pgb)
{
    TBitmap bitmap{pgb.ImageWidth, pgb.ImageHeight, {}};
    bitmap.Bits.resize(bitmap.RowBytes() * bitmap.Height);
    const int linesPerBand = pgb.BytesInBand / pgb.BytesInLine;
    for (int band = 0; band < pgb.MaxBand; ++band) {
        const TBandBlock block = pgb.ReadBand(band);
        EXPECT_NE(block, nullptr) << band << " " << pgb.ReadBandError();
        if (!block)
            continue;
        for (int i = 0; i < linesPerBand && band * linesPerBand + i < bitmap.Height; ++i)
            for (std::size_t k = 0; k < bitmap.RowBytes(); ++k)
                bitmap.Bits[(band * linesPerBand + i) * bitmap.RowBytes() + k] =
                    block[i * pgb.BytesInLine + (k & ~std::size_t(3)) + 3 - (k & 3)];
    }
    return bitmap;
}

TEST_F(PlateRoundTrip, WrittenPlatesReadBack)
{
    const TBitmap screen = ScreenedBitmap(333, 200, 9);
    struct TCase {
        int Version;
        const char* LineEnd;
        bool Compress;
        int BandHeight;
    };
    const TCase cases[] = {{20, "\n", true, 64},
                           {19, "\r", true, 7},
                           {19, "\r\n", false, 50},
                           {20, "\r", false, 200},
                           {20, "\r\n", true, 1}};
    for (const TCase& c : cases) {
        TPlateOptions options;
        options.Version = c.Version;
        options.LineEnd = c.LineEnd;
        options.Compress = c.Compress;
        options.BandHeight = c.BandHeight;
        TPGBObject pgb(Write("plate.pgb", PlateLayout(screen, options)));
        EXPECT_EQ(pgb.PageHeaderVersion, c.Version);
        EXPECT_EQ(pgb.Compressed, c.Compress ? 7 : -1);
        EXPECT_EQ(pgb.MaxBand, (200 + c.BandHeight - 1) / c.BandHeight);
        EXPECT_EQ(ReadPlate(pgb).Bits, screen.Bits) << c.Version << " " << c.BandHeight;
    }
}

}  // namespace
}  // namespace tavrin
