#include "engines/imaging/ExactAveraging.h"

#include "engines/imaging/ResampleSpans.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavrin {

namespace {

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
    // A line's sum must fit the 16-bit lanes of the packed colours.
    if (255.0 * steps * double(longest) >= 65536.0)
        return std::nullopt;
    // The largest sum: a whole block of white at the full weight.
    const double largest = 255.0 * std::pow(double(steps) * double(longest) * double(largestMultiple), 2);
    if (!(largest < double(std::numeric_limits<std::uint32_t>::max())))
        return std::nullopt;
    return copy;
}

void TExactAveraging::SetColors(const TMasterLayout& layout)
{
    // One table per portion, 0 to Q steps.
    Packed.resize(256 * (std::size_t(Steps) + 1));
    for (std::uint64_t portion = 0; portion <= Steps; ++portion)
        for (std::size_t v = 0; v < 256; ++v)
            Packed[256 * portion + v] = layout.Red[v] * portion | (layout.Blue[v] * portion) << 16 |
                                        (layout.Green[v] * portion) << 32 | portion << 48;
}

namespace {

// Lanes 0 and 2 of packed 16-bit lanes, and of two packed 32-bit lanes.
constexpr std::uint64_t EvenLanes = 0x0000FFFF0000FFFFull;

// The loop of SumRow. A colour is packed into one 64-bit word as 16-bit
// lanes (red, blue, green, weight), so that a line's part of a span adds up
// with one addition per column: packed[s] holds every index's colour x s;
// the first and last columns come from those tables, the columns between
// are added as they are and scaled by the shift. Each line's sum is then
// spread into 32-bit lanes, red and green in one word, blue and weight in
// the other, weighted by the line's portion and added to the row's sums.
void SumLines(const std::uint8_t* const* lines, const TExactAveraging::TSpan& rows,
              const TExactAveraging::TSpan* columns, const std::uint64_t* packed, unsigned shift, std::uint32_t steps,
              std::int64_t sourceX, std::uint32_t count, std::uint64_t* sums)
{
    std::fill_n(sums, 2 * std::size_t(count), 0);
    const std::uint64_t* whole = packed + 256;
    for (std::int32_t k = 0; k < rows.Count; ++k) {
        const std::uint64_t rowSteps = k == 0 ? rows.FirstSteps : k == rows.Count - 1 ? rows.LastSteps : steps;
        if (rowSteps == 0)
            continue;
        const std::uint8_t* line = lines[k] + sourceX;
        for (std::uint32_t x = 0; x < count; ++x) {
            const TExactAveraging::TSpan& span = columns[x];
            const std::uint8_t* pixel = line + span.First;
            std::uint64_t between = 0;
            for (std::int32_t m = 1; m + 1 < span.Count; ++m)
                between += whole[pixel[m]];
            // A span of one column has no last portion: its table is that of 0.
            const std::uint64_t sum = packed[256 * span.FirstSteps + pixel[0]] + (between << shift) +
                                      packed[256 * span.LastSteps + pixel[span.Count - 1]];
            sums[2 * x] += (sum & EvenLanes) * rowSteps;
            sums[2 * x + 1] += ((sum >> 16) & EvenLanes) * rowSteps;
        }
    }
}

using TSumLines = decltype(&SumLines);

#if defined(__GNUC__) && defined(__x86_64__)
// The same loop built for the newer instruction set, chosen at run time as the averaging's is.
__attribute__((target("avx2,bmi2"), flatten)) void
SumLinesAvx2(const std::uint8_t* const* lines, const TExactAveraging::TSpan& rows,
             const TExactAveraging::TSpan* columns, const std::uint64_t* packed, unsigned shift, std::uint32_t steps,
             std::int64_t sourceX, std::uint32_t count, std::uint64_t* sums)
{
    SumLines(lines, rows, columns, packed, shift, steps, sourceX, count, sums);
}
#endif

TSumLines ChosenSumLines()
{
#if defined(__GNUC__) && defined(__x86_64__)
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2"))
        return SumLinesAvx2;
#endif
    return SumLines;
}

}  // namespace

void TExactAveraging::SumRow(const std::uint8_t* const* lines, std::uint32_t row, std::int64_t sourceX,
                             std::uint32_t begin, std::uint32_t end, TExactSums* out) const
{
    static const TSumLines sumLines = ChosenSumLines();
    if (begin >= end)
        return;
    std::vector<std::uint64_t> sums(2 * std::size_t(end - begin));
    sumLines(lines, Spans[row], Spans.data() + begin, Packed.data(), Shift, Steps, sourceX, end - begin, sums.data());
    for (std::uint32_t x = 0; x < end - begin; ++x) {
        const std::uint64_t redGreen = sums[2 * x], blueWeight = sums[2 * x + 1];
        out[x] = {static_cast<std::uint32_t>(redGreen), static_cast<std::uint32_t>(redGreen >> 32),
                  static_cast<std::uint32_t>(blueWeight), static_cast<std::uint32_t>(blueWeight >> 32)};
    }
}

}  // namespace tavrin
