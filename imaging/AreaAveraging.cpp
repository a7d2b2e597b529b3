#include "imaging/AreaAveraging.h"

#include "imaging/MasterStrips.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

// Tables beyond this many steps (a reduction no page needs) are not made;
// such columns are summed one by one.
constexpr std::size_t MaxTableSteps = std::size_t(1) << 20;

#if defined(__x86_64__) && defined(__linux__) && !defined(__clang__)
#define TAVRIN_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TAVRIN_VECTOR_CLONES
#endif

int ChannelValue(double sum)
{
    return static_cast<int>(std::floor(std::min(sum, 255.0)));
}

// The true-colour value of one pixel's sums.
int PixelValue(const TColorSum& sums)
{
    double red = sums[0], green = sums[1], blue = sums[2];
    const double weight = sums[3];
    if (weight != 0) {
        red /= weight;
        green /= weight;
        blue /= weight;
    }
    return (ChannelValue(red) << 16) + (ChannelValue(green) << 8) + ChannelValue(blue);
}

double RowPortion(const TResampleSpan& rows, std::int32_t k)
{
    return k == 0 ? rows.FirstPortion : k == rows.Count - 1 ? rows.LastPortion : 1.0;
}

// Sums groups [first, last) of four columns, each step adding four columns'
// colours; lanes outside [begin, end) of the row are not written.
TAVRIN_VECTOR_CLONES
void SumGroups(const std::uint8_t* const* lines, const TResampleSpan& rows, const std::int32_t* steps,
               const std::size_t* offsets, const std::uint32_t* columns, const double* portions,
               const TColorSum* colors, std::int32_t first, std::int32_t last, std::int32_t begin, std::int32_t end,
               int* out)
{
    for (std::int32_t g = first; g < last; ++g) {
        TColorSum s0 = {0, 0, 0, 0}, s1 = s0, s2 = s0, s3 = s0;
        const std::uint32_t* column = columns + offsets[g] * 4;
        const double* portion = portions + offsets[g] * 4;
        const std::int32_t count = steps[g];
        for (std::int32_t k = 0; k < rows.Count; ++k) {
            const double yportion = RowPortion(rows, k);
            const std::uint8_t* line = lines[k];
            for (std::int32_t m = 0; m < count; ++m) {
                const std::uint32_t* c = column + 4 * m;
                const double* p = portion + 4 * m;
                s0 += colors[line[c[0]]] * (p[0] * yportion);
                s1 += colors[line[c[1]]] * (p[1] * yportion);
                s2 += colors[line[c[2]]] * (p[2] * yportion);
                s3 += colors[line[c[3]]] * (p[3] * yportion);
            }
        }
        const TColorSum sums[4] = {s0, s1, s2, s3};
        for (std::int32_t lane = 0; lane < 4; ++lane) {
            const std::int32_t x = 4 * g + lane;
            if (x >= begin && x < end)
                out[x - begin] = PixelValue(sums[lane]);
        }
    }
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
    for (std::size_t v = 0; v < 256; ++v)
        Of[v] = TColorSum{double(layout.Red[v]), double(layout.Green[v]), double(layout.Blue[v]), 1.0};
}

TAveragingColumns::TAveragingColumns(std::vector<TResampleSpan> spans, std::uint32_t width)
    : Spans(std::move(spans)), Width(width)
{
    // 1. The steps of each group of four: its longest span.
    const std::size_t groups = (Spans.size() + 3) / 4;
    std::size_t total = 0;
    for (std::size_t g = 0; g < groups; ++g) {
        std::int32_t longest = 0;
        for (std::size_t x = 4 * g; x < std::min(Spans.size(), 4 * g + 4); ++x)
            longest = std::max(longest, Spans[x].Count);
        Steps.push_back(longest);
        Offset.push_back(total);
        total += static_cast<std::size_t>(longest);
        if (total > MaxTableSteps) {
            Steps.clear();
            Offset.clear();
            return;
        }
    }
    // 2. Source column and portion of every step of every lane; a lane past
    //    its span, or past the last column, weighs 0.
    SourceColumns.assign(total * 4, 0);
    Portions.assign(total * 4, 0.0);
    for (std::size_t x = 0; x < Spans.size(); ++x) {
        const TResampleSpan& span = Spans[x];
        const std::size_t base = Offset[x / 4] * 4 + x % 4;
        for (std::int32_t m = 0; m < span.Count; ++m) {
            const std::size_t at = base + 4 * std::size_t(m);
            SourceColumns[at] =
                static_cast<std::uint32_t>(std::clamp<std::int64_t>(span.First + m, 0, std::max<std::int64_t>(Width - 1, 0)));
            Portions[at] = m == 0 ? span.FirstPortion : m == span.Count - 1 ? span.LastPortion : 1.0;
        }
    }
}

void TAveragingColumns::AverageRow(const std::uint8_t* const* lines, const TResampleSpan& rows, std::int32_t begin,
                                   std::int32_t end, const TMasterColors& colors, int* out) const
{
    if (Steps.empty()) {
        AverageOneByOne(lines, rows, begin, end, colors, out);
        return;
    }
    SumGroups(lines, rows, Steps.data(), Offset.data(), SourceColumns.data(), Portions.data(), colors.Of, begin / 4,
              (end + 3) / 4, begin, end, out);
}

// The plain order of the sums, for spans too long for tables.
void TAveragingColumns::AverageOneByOne(const std::uint8_t* const* lines, const TResampleSpan& rows,
                                        std::int32_t begin, std::int32_t end, const TMasterColors& colors,
                                        int* out) const
{
    for (std::int32_t x = begin; x < end; ++x) {
        const TResampleSpan& span = Spans[std::size_t(x)];
        TColorSum sums = {0, 0, 0, 0};
        for (std::int32_t k = 0; k < rows.Count; ++k) {
            const double yportion = RowPortion(rows, k);
            for (std::int32_t m = 0; m < span.Count; ++m) {
                const double xportion = m == 0 ? span.FirstPortion : m == span.Count - 1 ? span.LastPortion : 1.0;
                const std::int64_t column = std::clamp<std::int64_t>(span.First + m, 0, Width - 1);
                sums += colors.Of[lines[k][column]] * (xportion * yportion);
            }
        }
        out[x - begin] = PixelValue(sums);
    }
}

}  // namespace tavrin
