#include "base/pagebuffer/BandDecoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace tavrin {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TDecoded {
    TBandDecodeResult Result;
    Bytes Band;
};

// Decodes codes (without the leading 7) into a band of the given geometry.
TDecoded Decode(const Bytes& codes, std::size_t line, std::size_t band)
{
    std::vector<std::uint8_t> area(line + band);
    const TBandDecodeResult result = DecodeBandCodes(codes.data(), codes.size(), area.data(), band, line);
    return {result, Bytes(area.begin() + static_cast<long>(line), area.end())};
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The first line as literals: code 200 + n, then the bytes (above them is zero).
Bytes FirstLine(const Bytes& bytes)
{
    return Concat({{static_cast<std::uint8_t>(200 + bytes.size())}, bytes});
}

const Bytes Line1 = {0x00, 0x0f, 0xa5, 0x3c};

struct TCodeCase {
    const char* Name;
    Bytes Codes;
    Bytes After;  // expected output after Line1, the rest of the band zero
};

// Each case codes the first line as literals, then exercises one code family
// in a band of 4 lines of 4 bytes.
const TCodeCase CodeCases[] = {
    {"copies with one literal", Concat({FirstLine(Line1), {0, 0x11}}), {0x00, 0x0f, 0xa5, 0x3c ^ 0x11}},
    {"copies with two literals",
     Concat({FirstLine(Line1), {38 + 1, 0x01, 0x02}}),
     {0x00, 0x0f, 0xa5, 0x3c, 0x01, 0x0f ^ 0x02}},
    {"copies with three literals",
     Concat({FirstLine(Line1), {76, 1, 2, 3}}),
     {0x00, 0x0f, 0xa5, 0x3c ^ 1, 2, 0x0f ^ 3}},
    {"inverted copies with a literal", Concat({FirstLine(Line1), {114, 0xff}}), {0xff, 0xf0, 0x5a, 0x3c ^ 0xff}},
    {"masked run 5: literal, copy, literal, no second mask",
     Concat({FirstLine(Line1), {154, 5, 0x10, 0x20}}),
     {0x10, 0x0f, 0xa5 ^ 0x20}},
    {"masked run of 9 reads a second mask",
     Concat({FirstLine(Line1), {160, 0x80, 0x01, 0x01, 0x02}}),
     {0x00, 0x0f, 0xa5, 0x3c, 0x00, 0x0f, 0xa5, 0x3c ^ 0x01, 0x02}},
    {"literal run under the line above", Concat({FirstLine(Line1), {251, 1, 201, 0x42}}), {0x00, 0x42 ^ 0x0f}},
    {"one-byte count of copies spans lines",
     Concat({FirstLine(Line1), {251, 6}}),
     {0x00, 0x0f, 0xa5, 0x3c, 0x00, 0x0f}},
    {"two-byte count, little-endian", Concat({FirstLine(Line1), {252, 5, 0}}), {0x00, 0x0f, 0xa5, 0x3c, 0x00}},
    {"one-byte count of inverted copies", Concat({FirstLine(Line1), {253, 2}}), {0xff, 0xf0}},
    {"two-byte count of inverted copies",
     Concat({FirstLine(Line1), {254, 6, 0}}),
     {0xff, 0xf0, 0x5a, 0xc3, 0x00, 0x0f}},
    {"zero counts write nothing", Concat({FirstLine(Line1), {251, 0, 252, 0, 0, 253, 0, 254, 0, 0, 201, 1}}), {0x01}},
    {"end code stops early", Concat({FirstLine(Line1), {255, 201, 9}}), {}},
};

TEST(BandDecoder, CodeFamilies)
{
    for (const TCodeCase& c : CodeCases) {
        const TDecoded decoded = Decode(c.Codes, 4, 16);
        Bytes expected = Concat({Line1, c.After});
        expected.resize(16);
        EXPECT_EQ(decoded.Result, TBandDecodeResult::Done) << c.Name;
        EXPECT_EQ(decoded.Band, expected) << c.Name;
    }
}

TEST(BandDecoder, FirstLineLiesBelowZeros)
{
    EXPECT_EQ(Decode({}, 4, 8).Band, Bytes(8, 0));
    EXPECT_EQ(Decode({0, 0x5a}, 4, 8).Band, (Bytes{0, 0, 0, 0x5a, 0, 0, 0, 0}));
    EXPECT_EQ(Decode({253, 3}, 4, 8).Band, (Bytes{0xff, 0xff, 0xff, 0, 0, 0, 0, 0}));
}

TEST(BandDecoder, LongestShortCodes)
{
    // Lines of 64 bytes. The first line: 47 literals (code 247) and 17 (217).
    // Then code 37: 40 copies and a literal; 153: 42 inverted copies and a
    // literal; 200: 49 masked bytes under 7 masks (8 literals, 40 copies, 1 literal).
    Bytes first(64);
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = static_cast<std::uint8_t>(i * 7 + 1);
    const Bytes codes = Concat({{247},
                                Bytes(first.begin(), first.begin() + 47),
                                {217},
                                Bytes(first.begin() + 47, first.end()),
                                {37, 0xff},
                                {153, 0x00},
                                {200, 0xff, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0x01, 9}});
    const TDecoded decoded = Decode(codes, 64, 64 * 4);
    ASSERT_EQ(decoded.Result, TBandDecodeResult::Done);
    const Bytes& b = decoded.Band;
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 64), first);
    EXPECT_EQ(Bytes(b.begin() + 64, b.begin() + 104), Bytes(first.begin(), first.begin() + 40));
    EXPECT_EQ(b[104], first[40] ^ 0xff);
    for (std::size_t p = 105; p < 147; ++p)
        EXPECT_EQ(b[p], static_cast<std::uint8_t>(~b[p - 64])) << p;
    EXPECT_EQ(b[147], b[83]);
    for (std::size_t k = 0; k < 8; ++k)
        EXPECT_EQ(b[148 + k], b[84 + k] ^ (k + 1)) << k;
    EXPECT_EQ(Bytes(b.begin() + 156, b.begin() + 196), Bytes(b.begin() + 92, b.begin() + 132));
    EXPECT_EQ(b[196], b[132] ^ 9);
    EXPECT_EQ(Bytes(b.begin() + 197, b.end()), Bytes(256 - 197, 0));
}

TEST(BandDecoder, ShortCodeLiteralAtTheStartOfTheSecondLine)
{
    // Three copies end the first line; the literal of code 0 lands on position 4.
    const TDecoded decoded = Decode({201, 0x0f, 0, 0x33}, 4, 8);
    const std::uint8_t above = ShortCodeLiteralAtSecondLineIgnoresAbove ? 0 : 0x0f;
    EXPECT_EQ(decoded.Band, (Bytes{0x0f, 0, 0, 0, static_cast<std::uint8_t>(0x33 ^ above), 0, 0, 0}));
    // Literal runs always combine with the byte above there.
    EXPECT_EQ(Decode({201, 0x0f, 251, 3, 201, 0x33}, 4, 8).Band[4], 0x33 ^ 0x0f);
}

TEST(BandDecoder, FaultsStopTheBand)
{
    struct TCase {
        const char* Name;
        Bytes Codes;
        TBandDecodeResult Result;
    };
    const TCase cases[] = {
        {"code 248", {201, 1, 248}, TBandDecodeResult::InvalidCode},
        {"code 249", {249}, TBandDecodeResult::InvalidCode},
        {"code 250", {250, 0}, TBandDecodeResult::InvalidCode},
        {"copies past the band", {251, 9}, TBandDecodeResult::OutputOverrun},
        {"literals past the band", {251, 7, 76, 1, 2, 3}, TBandDecodeResult::OutputOverrun},
        {"masked run past the band", {251, 6, 154, 0}, TBandDecodeResult::OutputOverrun},
        {"two-byte count past the band", {254, 0, 1}, TBandDecodeResult::OutputOverrun},
        {"missing literal", {0}, TBandDecodeResult::StoredOverrun},
        {"missing second literal", {38, 1}, TBandDecodeResult::StoredOverrun},
        {"missing count", {251}, TBandDecodeResult::StoredOverrun},
        {"missing high count byte", {252, 1}, TBandDecodeResult::StoredOverrun},
        {"missing mask", {154}, TBandDecodeResult::StoredOverrun},
        {"missing masked literal", {154, 3, 1}, TBandDecodeResult::StoredOverrun},
        {"missing run literals", {205, 1, 2}, TBandDecodeResult::StoredOverrun},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(Decode(c.Codes, 4, 8).Result, c.Result) << c.Name;
}

}  // namespace
}  // namespace tavrin
