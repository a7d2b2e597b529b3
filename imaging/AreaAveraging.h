#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tavrin {

struct TMasterLayout;

// The source positions that one destination position of the area-averaging
// copy covers along one axis: Count positions from First on, the first
// weighing FirstPortion, the last LastPortion (when Count > 1) and those
// between 1.
struct TResampleSpan {
    std::int64_t First = 0;
    std::int32_t Count = 0;
    double FirstPortion = 0;
    double LastPortion = 0;
};

// The spans of destination positions from..to - 1 (of 0..dstSize - 1) for
// srcSize source positions from srcOrigin on, as the copy walks them in
// double precision:
// scale := srcSize / dstSize; s1 := d x scale; s2 := (d + 1) x scale; the
// first position floor(s1) weighs 1 - (s1 - floor(s1)), lowered to s2 - s1
// if larger; then s steps by 1 while s < s2, weighing s2 - floor(s2) at
// s = floor(s2) and 1 elsewhere. srcSize >= 0, dstSize > 0.
std::vector<TResampleSpan> ResampleSpans(std::int32_t srcOrigin, std::int32_t srcSize, std::int32_t dstSize,
                                         std::int32_t from, std::int32_t to);

// The colour of each palette index of a master, as the averaging weighs it.
struct TMasterColors {
    std::array<std::array<double, 4>, 256> Of{};  // red, green, blue, unused

    explicit TMasterColors(const TMasterLayout& layout);
};

// Area averages of count destination pixels of one destination row:
// lines[k] is the source line of the k-th position of rows, columns[c] the
// span of pixel c. Each pixel is summed rows outer, columns inner,
// w := xportion x yportion, colour x w added to the sums and w to the
// weight, all in double precision; the sums are divided by the weight (when
// not 0), kept at most 255 and floored. Writes the true-colour values
// (alpha 0) to out[c]. Columns outside the image read its edge column.
void AverageRow(const std::uint8_t* const* lines, const TResampleSpan& rows, const TResampleSpan* columns,
                std::int32_t count, const TMasterColors& colors, std::uint32_t width, int* out);

}  // namespace tavrin
