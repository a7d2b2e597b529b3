#pragma once

#include <cstdint>
#include <vector>

namespace tavrin {

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
// double precision: scale := srcSize / dstSize; s1 := d x scale;
// s2 := (d + 1) x scale; the first position floor(s1) weighs
// 1 - (s1 - floor(s1)), lowered to s2 - s1 if larger; then s steps by 1
// while s < s2, weighing s2 - floor(s2) at s = floor(s2) and 1 elsewhere.
// srcSize >= 0, dstSize > 0.
std::vector<TResampleSpan> ResampleSpans(std::int32_t srcOrigin, std::int32_t srcSize, std::int32_t dstSize,
                                         std::int32_t from, std::int32_t to);

}  // namespace tavrin
