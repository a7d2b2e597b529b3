#include "base/pagebuffer/PGBObject.h"
#include "tests/pagebuffer/PageBufferFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <span>

namespace tavrin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::HasSubstr;

class ReadBand : public testing::PageBufferFiles {
protected:
    TPGBObject Open(const TPageBufferLayout& layout) { return TPGBObject(Write("bands.pgb", layout)); }

    static Bytes Band(const TBandBlock& block, int size) { return Bytes(block.get(), block.get() + size); }
};

// Band i of this plate is compressed and decodes to 4 copies of byte i+1.
std::vector<Bytes> CompressedBands(int count)
{
    std::vector<Bytes> bands;
    for (int i = 0; i < count; ++i)
        bands.push_back({7, 204, Bytes::value_type(i + 1), Bytes::value_type(i + 1), Bytes::value_type(i + 1),
                         Bytes::value_type(i + 1)});
    return bands;
}

TEST_F(ReadBand, RawBlankAndCompressedBands)
{
    auto layout = Layout(4, 8, {{7}, {}, {9, 8, 7, 6, 5, 4, 3, 2}, {7, 0, 0x5a}});
    TPGBObject pgb = Open(layout);
    EXPECT_EQ(Band(pgb.ReadBand(0), 8), Bytes(8, 0));
    EXPECT_EQ(Band(pgb.ReadBand(1), 8), Bytes(8, 0));
    // Stored as large as the band: raw, whatever its first byte.
    EXPECT_EQ(Band(pgb.ReadBand(2), 8), (Bytes{9, 8, 7, 6, 5, 4, 3, 2}));
    EXPECT_EQ(Band(pgb.ReadBand(3), 8), (Bytes{0, 0, 0, 0x5a, 0, 0, 0, 0}));
    EXPECT_EQ(pgb.LastBandRead(), 3);
    EXPECT_EQ(pgb.ReadBand(4), nullptr);
    EXPECT_EQ(pgb.ReadBand(-1), nullptr);
    EXPECT_THAT(pgb.ReadBandError(), HasSubstr("no band -1"));
}

TEST_F(ReadBand, UncompressedPlates)
{
    // Compressed -1: stored bytes as they are; a short band is padded to a whole band.
    TPGBObject pgb = Open(Layout(4, 8, {{1, 2, 3, 4, 5, 6, 7, 8}, {}, {7, 1, 2}}, -1));
    EXPECT_EQ(Band(pgb.ReadBand(2), 8), (Bytes{7, 1, 2, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Band(pgb.ReadBand(0), 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(Band(pgb.ReadBand(1), 8), Bytes(8, 0));
}

TEST_F(ReadBand, CompressedBandsOnlyInOrder)
{
    TPGBObject pgb = Open(Layout(4, 8, CompressedBands(4)));
    EXPECT_NE(pgb.ReadBand(0), nullptr);
    EXPECT_NE(pgb.ReadBand(1), nullptr);
    EXPECT_EQ(pgb.ReadBand(3), nullptr);
    EXPECT_THAT(pgb.ReadBandError(), HasSubstr("right after band 2"));
    EXPECT_EQ(Band(pgb.ReadBand(2), 4), Bytes(4, 3));
    EXPECT_EQ(Band(pgb.ReadBand(3), 4), Bytes(4, 4));
    EXPECT_EQ(pgb.ReadBand(3), nullptr);

    TPGBObject fresh = Open(Layout(4, 8, CompressedBands(2)));
    EXPECT_EQ(fresh.ReadBand(1), nullptr);
    EXPECT_NE(fresh.ReadBand(0), nullptr);
}

TEST_F(ReadBand, BlankAndRawBandsCountAsRead)
{
    auto bands = CompressedBands(4);
    bands[1] = {};
    bands[2] = Bytes(8, 0xee);
    TPGBObject pgb = Open(Layout(4, 8, bands));
    EXPECT_NE(pgb.ReadBand(2), nullptr);
    EXPECT_EQ(Band(pgb.ReadBand(3), 4), Bytes(4, 4));
    EXPECT_NE(pgb.ReadBand(1), nullptr);
    EXPECT_EQ(pgb.ReadBand(3), nullptr);
}

TEST_F(ReadBand, FailedBandsAndTheReadingState)
{
    auto bands = CompressedBands(5);
    bands[1][0] = 6;         // not compression 7: state unchanged
    bands[3] = {7, 248, 1};  // invalid code: state moves on
    TPGBObject pgb = Open(Layout(4, 8, bands));
    EXPECT_NE(pgb.ReadBand(0), nullptr);
    EXPECT_EQ(pgb.ReadBand(1), nullptr);
    EXPECT_THAT(pgb.ReadBandError(), HasSubstr("starts with 6"));
    EXPECT_EQ(pgb.LastBandRead(), 0);
    EXPECT_EQ(pgb.ReadBand(2), nullptr);
    EXPECT_THAT(pgb.ReadBandError(), HasSubstr("right after band 1"));

    bands[1] = {};
    TPGBObject skipping = Open(Layout(4, 8, bands));
    for (int i : {0, 1, 2})
        EXPECT_NE(skipping.ReadBand(i), nullptr) << i;
    EXPECT_EQ(skipping.ReadBand(3), nullptr);
    EXPECT_EQ(skipping.ReadBandError(), "invalid code");
    EXPECT_EQ(skipping.LastBandRead(), 3);
    EXPECT_EQ(Band(skipping.ReadBand(4), 4), Bytes(4, 5));
}

TEST_F(ReadBand, UndeliverableBands)
{
    struct TCase {
        const char* Name;
        TPageBufferLayout Layout;
        const char* Reason;
        // Values the header check refuses, set past it: ReadBand guards itself.
        std::function<void(TPGBObject&)> Tamper;
    };
    const TCase cases[] = {
        {"size above BytesInBand under 7", Layout(4, 8, {Bytes(9, 7)}), "above BytesInBand", {}},
        {"unknown compression", Layout(4, 8, {{7}}, 3), "unknown compression 3", {}},
        {"BytesInBand 0", Layout(4, 0, {{7}}), "BytesInBand 0 is not a usable", {}},
        {"BytesInBand negative", Layout(4, 8, {{}}), "BytesInBand -8", [](TPGBObject& p) { p.BytesInBand = -8; }},
        {"BytesInBand above 1 GiB", Layout(4, 8, {{7}}), "BytesInBand 1073741825",
         [](TPGBObject& p) { p.BytesInBand = (1 << 30) + 1; }},
        {"BytesInLine 0", Layout(0, 8, {{7, 0, 1}}), "BytesInLine 0 is not a usable", {}},
        {"BytesInLine negative", Layout(4, 8, {{7, 0, 1}}), "BytesInLine -4",
         [](TPGBObject& p) { p.BytesInLine = -4; }},
        {"BytesInLine huge", Layout(4, 8, {{7, 0, 1}}), "BytesInLine 2147483647",
         [](TPGBObject& p) { p.BytesInLine = 2147483647; }},
        {"code writes past the band", Layout(4, 8, {{7, 251, 9}}), "writes past", {}},
        {"code reads past the stored bytes", Layout(4, 8, {{7, 204, 1}}), "reads past", {}},
    };
    for (const TCase& c : cases) {
        TPGBObject pgb = Open(c.Layout);
        if (c.Tamper)
            c.Tamper(pgb);
        EXPECT_EQ(pgb.ReadBand(0), nullptr) << c.Name;
        EXPECT_THAT(pgb.ReadBandError(), HasSubstr(c.Reason)) << c.Name;
    }
}

TEST_F(ReadBand, TruncatedAndHostileTables)
{
    // Tables that point past the end of the file: the band fails, nothing is read there.
    auto layout = Layout(4, 8, {{7, 0, 1}, {1, 2, 3, 4, 5, 6, 7, 8}, {}});
    std::string bytes = PageBufferBytes(layout);
    bytes.resize(bytes.size() - 5);
    TPGBObject truncated(Write("truncated.pgb", bytes));
    EXPECT_NE(truncated.ReadBand(0), nullptr);
    EXPECT_EQ(truncated.ReadBand(1), nullptr);
    EXPECT_THAT(truncated.ReadBandError(), HasSubstr("file ends inside"));
    EXPECT_NE(truncated.ReadBand(2), nullptr);

    TPGBObject hostile = Open(Layout(4, 8, {{7, 0, 1}, {1, 2}}, -1));
    hostile.BytesInBand = 1 << 30;
    hostile.BandOffsets = {~std::uint64_t(0) - 1, 40};
    hostile.BandSizes = {2, 0xffffffffu};
    for (int i : {0, 1})
        EXPECT_EQ(hostile.ReadBand(i), nullptr) << i;
    EXPECT_THAT(hostile.ReadBandError(), HasSubstr("stored size 4294967295 is too large"));
}

// The same bytes read from memory give the same header, tables and bands.
TEST_F(ReadBand, APageBufferInMemoryReadsAsTheFile)
{
    const TPageBufferLayout layout = Layout(4, 8, CompressedBands(3));
    const std::string bytes = PageBufferBytes(layout);
    TPGBObject fromFile(Write("memory.pgb", bytes));
    TPGBObject inMemory("memory.pgb", std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    EXPECT_EQ(inMemory.HeaderFieldTexts(), fromFile.HeaderFieldTexts());
    EXPECT_EQ(inMemory.BandOffsets, fromFile.BandOffsets);
    for (int band = 0; band < 3; ++band) {
        const TBandBlock expected = fromFile.ReadBand(band);
        const TBandBlock read = inMemory.ReadBand(band);
        ASSERT_TRUE(expected && read) << band << " " << inMemory.ReadBandError();
        EXPECT_EQ(std::memcmp(read.get(), expected.get(), 8), 0) << band;
    }
    // Stored bytes past the end are refused in memory as in a file.
    const std::string cut = bytes.substr(0, bytes.size() - 2);
    TPGBObject truncated("cut.pgb", std::span(reinterpret_cast<const std::uint8_t*>(cut.data()), cut.size()));
    for (int band = 0; band < 2; ++band)
        truncated.ReadBand(band);
    EXPECT_EQ(truncated.ReadBand(2), nullptr);
    EXPECT_THAT(truncated.ReadBandError(), HasSubstr("file ends inside"));
}

TEST_F(ReadBand, EachCallOpensTheFile)
{
    TPGBObject pgb = Open(Layout(4, 8, CompressedBands(1)));
    std::filesystem::remove(pgb.FilePath());
    try {
        pgb.ReadBand(0);
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(), HasSubstr("Cannot open file"));
    }
}

}  // namespace
}  // namespace tavrin
