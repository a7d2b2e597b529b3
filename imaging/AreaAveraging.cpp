#include "imaging/AreaAveraging.h"

#include "imaging/MasterStrips.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

struct TSums {
    double Red = 0;
    double Green = 0;
    double Blue = 0;
    double Weight = 0;

    void Add(const std::array<double, 4>& color, double w)
    {
        Red += color[0] * w;
        Green += color[1] * w;
        Blue += color[2] * w;
        Weight += w;
    }
};

// Adds the covered columns of one source line, weighted by yportion times
// each column's portion (1 between the first and the last, so w = yportion).
template <bool Clamp>
void AddLine(TSums& sums, const std::uint8_t* line, const TResampleSpan& columns, double yportion,
             const TMasterColors& colors, std::int64_t width)
{
    const auto at = [&](std::int64_t m) {
        std::int64_t column = columns.First + m;
        if constexpr (Clamp)
            column = std::clamp<std::int64_t>(column, 0, width - 1);
        return line[column];
    };
    sums.Add(colors.Of[at(0)], columns.FirstPortion * yportion);
    if (columns.Count == 1)
        return;
    const double middle = 1.0 * yportion;
    const std::int64_t last = columns.Count - 1;
    for (std::int64_t m = 1; m < last; ++m)
        sums.Add(colors.Of[at(m)], middle);
    sums.Add(colors.Of[at(last)], columns.LastPortion * yportion);
}

int ChannelValue(double sum)
{
    return static_cast<int>(std::floor(std::min(sum, 255.0)));
}

}  // namespace

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

TMasterColors::TMasterColors(const TMasterLayout& layout)
{
    for (std::size_t v = 0; v < Of.size(); ++v)
        Of[v] = {double(layout.Red[v]), double(layout.Green[v]), double(layout.Blue[v]), 0.0};
}

void AverageRow(const std::uint8_t* const* lines, const TResampleSpan& rows, const TResampleSpan* columns,
                std::int32_t count, const TMasterColors& colors, std::uint32_t width, int* out)
{
    const std::int64_t lastRow = rows.Count - 1;
    for (std::int32_t c = 0; c < count; ++c) {
        const TResampleSpan& span = columns[c];
        const bool inside = span.First >= 0 && span.First + span.Count <= std::int64_t(width);
        TSums sums;
        for (std::int64_t k = 0; k <= lastRow; ++k) {
            const double yportion = k == 0 ? rows.FirstPortion : k == lastRow ? rows.LastPortion : 1.0;
            if (inside)
                AddLine<false>(sums, lines[k], span, yportion, colors, width);
            else
                AddLine<true>(sums, lines[k], span, yportion, colors, width);
        }
        if (sums.Weight != 0) {
            sums.Red /= sums.Weight;
            sums.Green /= sums.Weight;
            sums.Blue /= sums.Weight;
        }
        // gdTrueColorAlpha with alpha 0.
        out[c] = (ChannelValue(sums.Red) << 16) + (ChannelValue(sums.Green) << 8) + ChannelValue(sums.Blue);
    }
}

}  // namespace tavrin
