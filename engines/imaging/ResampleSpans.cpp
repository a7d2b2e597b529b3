#include "engines/imaging/ResampleSpans.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

std::vector<TResampleSpan> ResampleSpans(std::int32_t srcOrigin, std::int32_t srcSize, std::int32_t dstSize,
                                         std::int32_t from, std::int32_t to)
{
    std::vector<TResampleSpan> spans(static_cast<std::size_t>(std::max(to - from, 0)));
    const double scale = static_cast<double>(srcSize) / static_cast<double>(dstSize);
    for (std::int32_t d = from; d < to; ++d) {
        const double s1 = static_cast<double>(d) * scale;
        const double s2 = static_cast<double>(d + 1) * scale;
        TResampleSpan& span = spans[static_cast<std::size_t>(d - from)];
        // 1. The first position: floor(s1) always equals floor(s1) here.
        double s = std::floor(s1);
        span.First = srcOrigin + static_cast<std::int64_t>(s);
        span.FirstPortion = std::min(1.0 - (s1 - s), s2 - s1);
        span.Count = 1;
        span.LastPortion = 1.0;
        // 2. Whole steps while below s2; only the one at floor(s2) is partial.
        for (s += 1.0; s < s2; s += 1.0) {
            span.LastPortion = s == std::floor(s2) ? s2 - std::floor(s2) : 1.0;
            ++span.Count;
        }
    }
    return spans;
}

}  // namespace tavrin
