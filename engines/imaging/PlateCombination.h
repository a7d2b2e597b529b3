#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tavrin {

// The eight plate planes of a band, in index-bit order of their colours:
// cyan, magenta, yellow, black, spot 0..3. Each line of a plane is a row of
// 32-bit words in machine order, leftmost pixel in the most significant bit.
using TPlatePlanes = std::array<const std::uint8_t*, 8>;

// The plate combination index bit of each plane above: cyan 3, magenta 2,
// yellow 1, black 0, spot k 4 + k.
constexpr std::array<int, 8> PlaneIndexBit = {3, 2, 1, 0, 4, 5, 6, 7};

// The set plate bits of each plane (in the plane order above) among the
// pixels composed: with the flip they tell on how many pixels each plate is
// inked, without a second look at the lines.
using TPlaneBitCounts = std::array<std::uint64_t, 8>;

// Composes `words` words of each plane (starting at the given line pointers)
// into 32 index bytes per word, left to right; every index is XORed with
// `flip` (0xFF inverts every plate bit). `out` receives words × 32 bytes.
// Adds each plane's set bits of these words to setBits unless it is null.
void ComposeIndexWords(const TPlatePlanes& lines, std::size_t words, std::uint8_t flip, std::uint8_t* out,
                       TPlaneBitCounts* setBits = nullptr);

// Composes the first `width` pixels of one line into `out` (width bytes),
// right to left when `mirror` is set, and adds each plane's set bits among
// those pixels to setBits (the padding bits after them are not counted).
// `scratch` holds at least ceil(width / 32) × 32 bytes; the planes must hold
// ceil(width / 32) words.
void ComposeIndexLine(const TPlatePlanes& lines, std::size_t width, std::uint8_t flip, bool mirror,
                      std::uint8_t* scratch, std::uint8_t* out, TPlaneBitCounts& setBits);

}  // namespace tavrin
