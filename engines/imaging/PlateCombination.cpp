#include "engines/imaging/PlateCombination.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tavrin {

namespace {

// Spread[v] puts bit 7 - j of v into bit 0 of byte j: eight pixels of one
// plane byte become the low bits of eight index bytes, leftmost first.
constexpr std::array<std::uint64_t, 256> MakeSpreadTable()
{
    std::array<std::uint64_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v)
        for (unsigned j = 0; j < 8; ++j)
            table[v] |= std::uint64_t((v >> (7 - j)) & 1u) << (8 * j);
    return table;
}

constexpr std::array<std::uint64_t, 256> Spread = MakeSpreadTable();

std::uint32_t LoadWord(const std::uint8_t* at)
{
    std::uint32_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// The number of set bits; without a popcnt instruction the library's
// version is a call per word, slower than this.
int SetBitCount(std::uint32_t word)
{
#if defined(__POPCNT__) || defined(__ARM_NEON)
    return std::popcount(word);
#else
    word = word - ((word >> 1) & 0x55555555u);
    word = (word & 0x33333333u) + ((word >> 2) & 0x33333333u);
    return static_cast<int>((((word + (word >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24);
#endif
}

// Stores eight index bytes, byte j of the value at out[j].
void StoreGroup(std::uint64_t group, std::uint8_t* out)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &group, sizeof group);
    } else {
        for (int j = 0; j < 8; ++j)
            out[j] = static_cast<std::uint8_t>(group >> (8 * j));
    }
}

// The eight index bytes of the plane bytes at `shift` of the eight words.
std::uint64_t ComposeGroup(const std::uint32_t (&words)[8], int shift)
{
    std::uint64_t group = 0;
    for (int plane = 0; plane < 8; ++plane)
        group |= Spread[(words[plane] >> shift) & 0xFFu] << PlaneIndexBit[static_cast<std::size_t>(plane)];
    return group;
}

}  // namespace

void ComposeIndexWords(const TPlatePlanes& lines, std::size_t words, std::uint8_t flip, std::uint8_t* out,
                       TPlaneBitCounts* setBits)
{
    const std::uint64_t flipGroup = 0x0101010101010101ull * flip;
    for (std::size_t w = 0; w < words; ++w, out += 32) {
        std::uint32_t planeWords[8];
        std::uint32_t any = 0;
        for (int plane = 0; plane < 8; ++plane) {
            planeWords[plane] = LoadWord(lines[static_cast<std::size_t>(plane)] + 4 * w);
            any |= planeWords[plane];
        }
        // Blank stretches (paper or solid fields) are the common case.
        if (any == 0) {
            std::memset(out, flip, 32);
            continue;
        }
        if (setBits)
            for (std::size_t plane = 0; plane < 8; ++plane)
                (*setBits)[plane] += static_cast<std::uint64_t>(SetBitCount(planeWords[plane]));
        // The most significant byte of a word holds its leftmost eight pixels.
        StoreGroup(ComposeGroup(planeWords, 24) ^ flipGroup, out);
        StoreGroup(ComposeGroup(planeWords, 16) ^ flipGroup, out + 8);
        StoreGroup(ComposeGroup(planeWords, 8) ^ flipGroup, out + 16);
        StoreGroup(ComposeGroup(planeWords, 0) ^ flipGroup, out + 24);
    }
}

void ComposeIndexLine(const TPlatePlanes& lines, std::size_t width, std::uint8_t flip, bool mirror,
                      std::uint8_t* scratch, std::uint8_t* out, TPlaneBitCounts& setBits)
{
    // Whole words go straight to the output unless the line is mirrored; a
    // partial last word is staged, and only its pixels are counted.
    const std::size_t whole = width / 32;
    const std::size_t tailPixels = width % 32;
    std::uint8_t* composed = mirror ? scratch : out;
    ComposeIndexWords(lines, whole, flip, composed, &setBits);
    if (tailPixels > 0) {
        TPlatePlanes tail;
        for (std::size_t plane = 0; plane < 8; ++plane)
            tail[plane] = lines[plane] + 4 * whole;
        std::uint8_t* staged = scratch + (mirror ? 32 * whole : 0);
        ComposeIndexWords(tail, 1, flip, staged);
        // The leftmost pixels are the most significant bits.
        const std::uint32_t pixels = ~std::uint32_t(0) << (32 - tailPixels);
        for (std::size_t plane = 0; plane < 8; ++plane)
            setBits[plane] += static_cast<std::uint64_t>(SetBitCount(LoadWord(tail[plane]) & pixels));
        if (!mirror)
            std::memcpy(out + 32 * whole, staged, tailPixels);
    }
    if (mirror)
        std::reverse_copy(scratch, scratch + width, out);
}

}  // namespace tavrin
