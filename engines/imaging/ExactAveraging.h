#pragma once

#include "engines/imaging/MasterLayout.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tavrin {

// The sums of one destination pixel of the area-averaging copy, its weights
// counted in whole units (see TExactAveraging): colour x weight per
// channel, and the weight.
struct alignas(16) TExactSums {
    std::uint32_t Red = 0;
    std::uint32_t Green = 0;
    std::uint32_t Blue = 0;
    std::uint32_t Weight = 0;
};

// The true-colour value of sums: each channel divided by the weight (when
// not 0) in double precision, kept at most 255 and floored.
int ExactPixelValue(const TExactSums& sums);

// The area-averaging copy of a whole tile, S x S master pixels into T x T,
// when S / T is a whole number of 1/Q steps for a power of two Q: every
// portion is then such a step, the double-precision copy adds without
// rounding, and integer sums in units of 1 / (Q x Q) divide to the very
// same quotients. Adding the sums of neighbouring pixels gives those of a
// coarser level whose tiles cover whole multiples of these.
class TExactAveraging {
public:
    // Nothing when S / T has no such Q (up to 16), a line's part of a span
    // could outgrow 16 bits, or the sums 32 bits even when a coarser level
    // adds up to largestMultiple x largestMultiple of them.
    static std::optional<TExactAveraging> For(std::uint32_t sourceSize, std::uint32_t tileSize,
                                              std::uint32_t largestMultiple);

    // The source positions of destination position d (0 .. T - 1) of a
    // tile, from the tile's first source position; portions in 1/Q steps.
    struct TSpan {
        std::int64_t First = 0;
        std::int32_t Count = 0;
        std::uint32_t FirstSteps = 0;
        std::uint32_t LastSteps = 0;
    };
    const TSpan& Span(std::uint32_t d) const { return Spans[d]; }

    // The sums of destination row row (of a tile) for columns [begin, end)
    // of a tile whose first source column is sourceX; lines[k] is the k-th
    // source line of the row's span. Writes out[0 .. end - begin).
    void SumRow(const std::uint8_t* const* lines, std::uint32_t row, std::int64_t sourceX, std::uint32_t begin,
                std::uint32_t end, TExactSums* out) const;

    // The colour of each palette index as (red, green, blue, 1), at every portion.
    void SetColors(const TMasterLayout& layout);

private:
    TExactAveraging() = default;

    std::uint32_t Steps = 1;  // Q
    unsigned Shift = 0;       // log2 Q
    std::vector<TSpan> Spans;
    std::vector<std::uint64_t> Packed;  // (Q + 1) tables of 256: colour x 0, x 1, ... x Q, packed
};

}  // namespace tavrin
