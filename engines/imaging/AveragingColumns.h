#pragma once

#include "engines/imaging/ResampleSpans.h"

#include <cstdint>
#include <vector>

namespace tavrin {

struct TMasterLayout;

// The colour of each palette index of a master as (red, green, blue, 1):
// multiplied by a weight it adds the weight itself to the fourth sum. Each
// entry is 32 bytes on a 32-byte boundary, so that the summing code can load
// it as one vector (a compiler extension kept out of this header).
struct TMasterColors {
    explicit TMasterColors(const TMasterLayout& layout);
    alignas(32) double Of[256][4];
};

// The destination columns of one area-averaging copy, ready for summing.
// Each destination pixel is summed rows outer, columns inner,
// w := xportion x yportion, colour x w added to the sums and w to the
// weight, all in double precision; the sums are divided by the weight (when
// not 0), kept at most 255 and floored, giving a true-colour value with
// alpha 0. Neighbouring columns are summed four at a time from tables of
// source columns and portions padded with portion 0 to the longest span of
// the four (colour x 0 leaves a sum as it is), which gives the same sums.
// Columns outside the image read its edge column.
class TAveragingColumns {
public:
    TAveragingColumns(std::vector<TResampleSpan> spans, std::uint32_t width);

    // Averages columns [begin, end) (indexes into the spans) of the
    // destination row whose span is rows; lines[k] is the source line of the
    // k-th position of rows. Writes out[0 .. end - begin).
    void AverageRow(const std::uint8_t* const* lines, const TResampleSpan& rows, std::int32_t begin, std::int32_t end,
                    const TMasterColors& colors, int* out) const;

private:
    void AverageOneByOne(const std::uint8_t* const* lines, const TResampleSpan& rows, std::int32_t begin,
                         std::int32_t end, const TMasterColors& colors, int* out) const;

    std::vector<TResampleSpan> Spans;
    std::int64_t Width;
    // Group g holds columns 4g..4g + 3: Steps[g] steps from Offset[g] on, each
    // step four portions and (unless the group's lanes read consecutive
    // columns from Starts[4g + lane] on) four source columns.
    std::vector<std::int32_t> Steps;
    std::vector<std::int32_t> MiddleEnd;  // steps 1..MiddleEnd - 1 are inner columns of all four lanes
    std::vector<std::size_t> Offset;
    std::vector<std::uint8_t> Consecutive;
    std::vector<std::uint32_t> Starts;
    std::vector<std::uint32_t> SourceColumns;
    std::vector<double> Portions;
};

}  // namespace tavrin
