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

void ComposeIndexWords(const TPlatePlanes& lines, std::size_t words, std::uint8_t flip, std::uint8_t* out)
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
        // The most significant byte of a word holds its leftmost eight pixels.
        StoreGroup(ComposeGroup(planeWords, 24) ^ flipGroup, out);
        StoreGroup(ComposeGroup(planeWords, 16) ^ flipGroup, out + 8);
        StoreGroup(ComposeGroup(planeWords, 8) ^ flipGroup, out + 16);
        StoreGroup(ComposeGroup(planeWords, 0) ^ flipGroup, out + 24);
    }
}

void ComposeIndexLine(const TPlatePlanes& lines, std::size_t width, std::uint8_t flip, bool mirror,
                      std::uint8_t* scratch, std::uint8_t* out)
{
    const std::size_t words = (width + 31) / 32;
    if (mirror) {
        ComposeIndexWords(lines, words, flip, scratch);
        std::reverse_copy(scratch, scratch + width, out);
        return;
    }
    // Whole words go straight to the output; only a partial last word is staged.
    const std::size_t whole = width / 32;
    ComposeIndexWords(lines, whole, flip, out);
    if (whole < words) {
        TPlatePlanes tail;
        for (std::size_t plane = 0; plane < 8; ++plane)
            tail[plane] = lines[plane] + 4 * whole;
        ComposeIndexWords(tail, 1, flip, scratch);
        std::memcpy(out + 32 * whole, scratch, width - 32 * whole);
    }
}

}  // namespace tavrin
