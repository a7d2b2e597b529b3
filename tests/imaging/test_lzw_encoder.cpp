#include "engines/imaging/LZWEncoder.h"
#include "engines/imaging/MasterImagePath.h"
#include "tasks/imaging/MasteringThread.h"
#include "tests/imaging/JobFixture.h"
#include "tests/imaging/LibtiffLZW.h"
#include "tests/imaging/MasterFiles.h"
#include "tests/support/TaskContexts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <random>

namespace tavrin::testing {
namespace {

using TBytes = std::vector<std::uint8_t>;

TBytes Encoded(TLZWEncoder& encoder, const TBytes& bytes, std::size_t size)
{
    TBytes out = {0xAA, 0xBB};  // whatever was there must go
    encoder.EncodeStrip(bytes.data(), size, out);
    return out;
}

// The CLEAR codes of a stream, read as a TIFF decoder reads it (widths grow
// one entry early): those after a full table, and those the encoder's
// compression ratio check made. The opening CLEAR is not counted.
struct TClears {
    int Full = 0;
    int ByRatio = 0;
};

TClears CountClears(const TBytes& stream)
{
    TClears clears;
    std::size_t bit = 0;
    const auto read = [&](unsigned width) -> long {
        if (bit + width > stream.size() * 8)
            return -1;
        long code = 0;
        for (unsigned k = 0; k < width; ++k, ++bit)
            code = code << 1 | ((stream[bit / 8] >> (7 - bit % 8)) & 1);
        return code;
    };
    unsigned width = 9, entries = 258;
    bool opening = true, afterClear = false;
    for (long code; (code = read(width)) >= 0 && code != 257;) {
        if (code == 256) {
            if (!opening)
                ++(entries == 4093 ? clears.Full : clears.ByRatio);
            opening = false;
            afterClear = true;
            width = 9;
            entries = 258;
            continue;
        }
        // The first code after a CLEAR makes no entry.
        if (!afterClear && ++entries >= (1u << width) - 1 && width < 12)
            ++width;
        afterClear = false;
    }
    return clears;
}

TBytes RandomBytes(std::size_t size, const std::vector<std::uint8_t>& values, unsigned seed, std::size_t maxRun = 1)
{
    std::mt19937 random(seed);
    TBytes bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        const std::uint8_t value = values[random() % values.size()];
        bytes.insert(bytes.end(), std::min<std::size_t>(1 + random() % maxRun, size - bytes.size()), value);
    }
    return bytes;
}

std::vector<std::uint8_t> AllValues()
{
    std::vector<std::uint8_t> values(256);
    for (unsigned v = 0; v < 256; ++v)
        values[v] = static_cast<std::uint8_t>(v);
    return values;
}

// Index rows as a master holds them: four plates under rotated round-dot
// screens over a gradient, each plate one bit of the index.
TBytes ScreenedRows(std::uint32_t width, std::uint32_t rows)
{
    TBytes bytes(std::size_t(width) * rows);
    const double angles[4] = {0.26, 1.31, 0.0, 0.79};
    for (std::uint32_t y = 0; y < rows; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            unsigned index = 0;
            for (int k = 0; k < 4; ++k) {
                const double u = x * std::cos(angles[k]) + y * std::sin(angles[k]);
                const double v = -x * std::sin(angles[k]) + y * std::cos(angles[k]);
                const double dot = (std::cos(u / 3.0) + std::cos(v / 3.0)) / 4 + 0.5;
                const double tone = double(x + k * 97) / (width + 400);
                index |= unsigned(dot < tone) << (3 - k);
            }
            bytes[std::size_t(y) * width + x] = static_cast<std::uint8_t>(index | 0xF0);
        }
    return bytes;
}

struct TStripCase {
    const char* Name;
    std::function<TBytes()> Make;
    int MinFullClears;
    int MinRatioClears;
};

TEST(LZWEncoder, WritesLibtiffsStreamForStripsOfEveryKind)
{
    const auto runsThenNoise = [] {
        // A strip that packs well and then does not: the ratio check clears the table.
        TBytes bytes;
        for (unsigned block = 0; block < 24; ++block) {
            const TBytes part =
                block % 2 ? RandomBytes(10000, {0, 0xFF}, block) : RandomBytes(10000, {0, 0xFF}, block, 2000);
            bytes.insert(bytes.end(), part.begin(), part.end());
        }
        return bytes;
    };
    const TStripCase cases[] = {
        {"one pixel", [] { return TBytes{200}; }, 0, 0},
        {"one row of few values",
         [] {
             return RandomBytes(2480, {0, 15, 240, 255}, 1, 30);
         },
         0, 0},
        {"a run of zeros", [] { return TBytes(3000000, 0); }, 0, 0},
        {"runs of few values",
         [] {
             return RandomBytes(4000000, {0, 3, 12, 48, 192, 255}, 2, 300);
         },
         5, 0},
        {"random bytes of every value", [] { return RandomBytes(300000, AllValues(), 3); }, 30, 0},
        {"random bytes of few values",
         [] {
             return RandomBytes(400000, {1, 2, 4, 8}, 4);
         },
         10, 0},
        {"runs then noise", runsThenNoise, 1, 3},
        {"a repeated ramp",
         [] {
             TBytes bytes(500000);
             for (std::size_t i = 0; i < bytes.size(); ++i)
                 bytes[i] = static_cast<std::uint8_t>(i % 256);
             return bytes;
         },
         10, 0},
        {"screened plates", [] { return ScreenedRows(1500, 400); }, 10, 0},
    };
    TLZWEncoder encoder;
    for (const TStripCase& strip : cases) {
        SCOPED_TRACE(strip.Name);
        const TBytes bytes = strip.Make();
        const TBytes expected = LibtiffLZWStrip(bytes.data(), std::uint32_t(bytes.size()), 1);
        // The case must make the CLEARs it is here for.
        const TClears clears = CountClears(expected);
        EXPECT_GE(clears.Full, strip.MinFullClears);
        EXPECT_GE(clears.ByRatio, strip.MinRatioClears);
        const TBytes actual = Encoded(encoder, bytes, bytes.size());
        ASSERT_EQ(actual.size(), expected.size());
        EXPECT_TRUE(actual == expected) << "first difference at byte "
                                        << std::mismatch(actual.begin(), actual.end(), expected.begin()).first -
                                               actual.begin();
    }
}

TEST(LZWEncoder, EndsEveryLengthAsLibtiffDoes)
{
    // Every strip length up to past the first full table: the last code, a
    // CLEAR after it when it filled the table, and EOI at each width change.
    TLZWEncoder encoder;
    for (const auto& [values, longest] : {std::pair{AllValues(), std::size_t(4700)},
                                          std::pair{std::vector<std::uint8_t>{0, 255, 7}, std::size_t(3000)}}) {
        const TBytes bytes = RandomBytes(longest, values, unsigned(values.size()));
        int wrong = 0;
        for (std::size_t size = 1; size <= longest; ++size)
            if (Encoded(encoder, bytes, size) != LibtiffLZWStrip(bytes.data(), std::uint32_t(size), 1) && ++wrong < 5)
                ADD_FAILURE() << values.size() << " values, " << size << " bytes";
        EXPECT_EQ(wrong, 0) << values.size() << " values";
    }
}

TEST(LZWEncoder, DecidesTheRatioCheckAsLibtiffOnManyPaletteStrips)
{
    // The ratio check's CLEARs hang on exact counts at each checkpoint; a
    // count off by one shows only on some strips, so many are compared.
    TLZWEncoder encoder;
    std::mt19937 random(99);
    int wrong = 0;
    for (int n = 0; n < 300; ++n) {
        std::vector<std::uint8_t> palette(2 + random() % 6);
        for (auto& value : palette)
            value = static_cast<std::uint8_t>(random());
        const std::size_t run = 1 + random() % 40;
        const std::size_t size = 60000 + random() % 60000;
        const TBytes bytes = RandomBytes(size, palette, random(), run);
        wrong += Encoded(encoder, bytes, size) != LibtiffLZWStrip(bytes.data(), std::uint32_t(size), 1);
    }
    EXPECT_EQ(wrong, 0) << "of 300 strips";
}

TEST(LZWEncoder, AnEmptyStripIsEOIAlone)
{
    TLZWEncoder encoder;
    // EOI (257) in 9 bits, padded with zeros.
    EXPECT_EQ(Encoded(encoder, {}, 0), (TBytes{0x80, 0x80}));
}

class MasterFile : public JobFixture {};

TEST_F(MasterFile, IsByteForByteWhatLibtiffWritesOfTheSamePixels)
{
    // 700 lines in strips of 288: the last strip is short.
    const int width = 530, height = 700;
    const TBytes screened = ScreenedRows(width, height);
    const char* colors[] = {"Cyan", "Magenta", "Yellow", "BLACK"};
    for (int k = 0; k < 4; ++k) {
        TBitmap plate{width, height, {}};
        plate.Bits.resize(plate.RowBytes() * std::size_t(height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if ((screened[std::size_t(y) * width + x] >> (3 - k)) & 1)
                    plate.Bits[std::size_t(y) * plate.RowBytes() + x / 8] |= std::uint8_t(0x80 >> (x % 8));
        WritePlate(std::string(colors[k]) + ".pgb", 1, colors[k], plate);
    }
    Scan();
    ASSERT_EQ(RunTaskThread([&](TMessageTarget& target) {
                  return new TMasteringThread(target, MasteringContext(Catalogue, 5, InputFolder));
              }).back(),
              (TSeen{WM_MASTER_DONE, 5, "done"}));

    const std::string path = MasterImagePath(UniqueID(5), 1);
    const TMasterContents master = ReadMaster(path);
    ASSERT_TRUE(master.Opened);
    ASSERT_EQ(master.Height, unsigned(height));
    ASSERT_EQ(master.RowsPerStrip, 288u);
    const std::string plain = Folder.Path("plain.tif").string();
    ASSERT_TRUE(WriteMasterFile(plain, master, 300, master.RowsPerStrip));
    const auto bytes = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    EXPECT_TRUE(bytes(path) == bytes(plain)) << "not the file libtiff writes line by line";
}

}  // namespace
}  // namespace tavrin::testing
