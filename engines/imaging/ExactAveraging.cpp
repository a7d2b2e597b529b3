#include "engines/imaging/ExactAveraging.h"

#include "engines/imaging/ResampleSpans.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavrin {

namespace {

// Four 32-bit lanes the compiler keeps in one vector register; such a vector
// may alias the sums' 32-bit members.
typedef std::uint32_t TLanes __attribute__((vector_size(16)));

// Portions in at most this many steps: one colour table per step count.
constexpr std::uint32_t MaxSteps = 16;

int ChannelValue(double sum)
{
    return static_cast<int>(std::min(sum, 255.0));
}

// portion x steps as a whole number, when it is one.
std::optional<std::uint32_t> WholeSteps(double portion, std::uint32_t steps)
{
    const double scaled = portion * steps;
    if (!(scaled >= 0) || scaled != std::floor(scaled))
        return std::nullopt;
    return static_cast<std::uint32_t>(scaled);
}

}  // namespace

int ExactPixelValue(const TExactSums& sums)
{
    double red = sums.Red, green = sums.Green, blue = sums.Blue;
    const double weight = sums.Weight;
    if (weight != 0) {
        red /= weight;
        green /= weight;
        blue /= weight;
    }
    return (ChannelValue(red) << 16) + (ChannelValue(green) << 8) + ChannelValue(blue);
}

std::optional<TExactAveraging> TExactAveraging::For(std::uint32_t sourceSize, std::uint32_t tileSize,
                                                    std::uint32_t largestMultiple)
{
    if (sourceSize == 0 || tileSize == 0 || largestMultiple == 0)
        return std::nullopt;
    std::uint32_t steps = 1;
    while (steps <= MaxSteps && (std::uint64_t(sourceSize) * steps) % tileSize != 0)
        steps *= 2;
    if (steps > MaxSteps)
        return std::nullopt;
    TExactAveraging copy;
    copy.Steps = steps;
    while ((1u << copy.Shift) < steps)
        ++copy.Shift;
    const std::vector<TResampleSpan> spans =
        ResampleSpans(0, static_cast<std::int32_t>(sourceSize), static_cast<std::int32_t>(tileSize), 0,
                      static_cast<std::int32_t>(tileSize));
    std::int64_t longest = 0;
    for (const TResampleSpan& span : spans) {
        const auto first = WholeSteps(span.FirstPortion, steps), last = WholeSteps(span.LastPortion, steps);
        if (!first || !last)
            return std::nullopt;
        // A span of one column counts it once, at its first portion.
        copy.Spans.push_back({span.First, span.Count, *first, span.Count > 1 ? *last : 0});
        longest = std::max<std::int64_t>(longest, span.Count);
    }
    // The largest sum: a whole block of white at the full weight.
    const double largest = 255.0 * std::pow(double(steps) * double(longest) * double(largestMultiple), 2);
    if (!(largest < double(std::numeric_limits<std::uint32_t>::max())))
        return std::nullopt;
    return copy;
}

void TExactAveraging::SetColors(const TMasterLayout& layout)
{
    // One table per portion, 0 to Q steps.
    Colors.resize(256 * (std::size_t(Steps) + 1));
    for (std::uint32_t portion = 0; portion <= Steps; ++portion)
        for (std::size_t v = 0; v < 256; ++v)
            Colors[256 * portion + v] = {layout.Red[v] * portion, layout.Green[v] * portion, layout.Blue[v] * portion,
                                         portion};
}

namespace {

// The loop of SumRow; tables[s] holds every index's colour x s. The first
// and last columns of a span come from the tables, the columns between are
// added as they are and scaled by the shift.
void SumLines(const std::uint8_t* const* lines, const TExactAveraging::TSpan& rows,
              const TExactAveraging::TSpan* columns, const TLanes* tables, unsigned shift, std::uint32_t steps,
              std::int64_t sourceX, std::uint32_t count, TLanes* sums)
{
    for (std::uint32_t x = 0; x < count; ++x)
        sums[x] = TLanes{0, 0, 0, 0};
    for (std::int32_t k = 0; k < rows.Count; ++k) {
        const std::uint32_t rowSteps = k == 0 ? rows.FirstSteps : k == rows.Count - 1 ? rows.LastSteps : steps;
        if (rowSteps == 0)
            continue;
        const std::uint8_t* line = lines[k] + sourceX;
        for (std::uint32_t x = 0; x < count; ++x) {
            const TExactAveraging::TSpan& span = columns[x];
            const std::uint8_t* pixel = line + span.First;
            TLanes between = {0, 0, 0, 0};
            for (std::int32_t m = 1; m + 1 < span.Count; ++m)
                between += tables[256 + pixel[m]];
            // A span of one column has no last portion: its table is that of 0.
            const TLanes sum = tables[256 * span.FirstSteps + pixel[0]] + (between << shift) +
                               tables[256 * span.LastSteps + pixel[span.Count - 1]];
            sums[x] += rowSteps == steps ? sum << shift : sum * rowSteps;
        }
    }
}

using TSumLines = decltype(&SumLines);

#if defined(__GNUC__) && defined(__x86_64__)
// The same loop for AVX2 registers, chosen at run time as the averaging's is.
__attribute__((target("avx2"), flatten)) void SumLinesAvx2(const std::uint8_t* const* lines,
                                                           const TExactAveraging::TSpan& rows,
                                                           const TExactAveraging::TSpan* columns, const TLanes* tables,
                                                           unsigned shift, std::uint32_t steps, std::int64_t sourceX,
                                                           std::uint32_t count, TLanes* sums)
{
    SumLines(lines, rows, columns, tables, shift, steps, sourceX, count, sums);
}
#endif

TSumLines ChosenSumLines()
{
#if defined(__GNUC__) && defined(__x86_64__)
    if (__builtin_cpu_supports("avx2"))
        return SumLinesAvx2;
#endif
    return SumLines;
}

}  // namespace

void TExactAveraging::SumRow(const std::uint8_t* const* lines, std::uint32_t row, std::int64_t sourceX,
                             std::uint32_t begin, std::uint32_t end, TExactSums* out) const
{
    static const TSumLines sumLines = ChosenSumLines();
    sumLines(lines, Spans[row], Spans.data() + begin, reinterpret_cast<const TLanes*>(Colors.data()), Shift, Steps,
             sourceX, end - begin, reinterpret_cast<TLanes*>(out));
}

}  // namespace tavrin
