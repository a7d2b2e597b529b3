#include "engines/imaging/AveragingColumns.h"

#include "engines/imaging/MasterLayout.h"
#include "engines/imaging/StripReader.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

// Four doubles that the compiler keeps in one or two vector registers.
// Arrays of them are declared alignas(32): code built for the widest
// registers expects it. A vector of doubles may alias doubles, so the
// colours' rows are read as such vectors.
typedef double TColorSum __attribute__((vector_size(32)));

const TColorSum* ColorSums(const TMasterColors& colors)
{
    return reinterpret_cast<const TColorSum*>(colors.Of);
}

// Tables beyond this many steps (a reduction no page needs) are not made;
// such columns are summed one by one.
constexpr std::size_t MaxTableSteps = std::size_t(1) << 20;

#if defined(__GNUC__) && defined(__x86_64__)
#define TAVRIN_AVX2_SUMS 1
#endif

// Sums are never negative, so truncation is the floor.
int ChannelValue(double sum)
{
    return static_cast<int>(std::min(sum, 255.0));
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

// The tables of one copy as the summing loop reads them.
struct TGroupTables {
    const std::int32_t* Steps;
    const std::int32_t* MiddleEnd;
    const std::size_t* Offset;
    const std::uint8_t* Consecutive;
    const std::uint32_t* Starts;
    const std::uint32_t* SourceColumns;
    const double* Portions;
};

// Adds one source line to the four sums of a group, step by step; lane l of
// step m reads column(l, m) at weight portion x yportion. Steps 1 to
// middleEnd - 1 are inner columns of every lane (portion 1), whose weight is
// yportion itself; on a whole line (yportion 1) every weight is the portion
// and an inner column adds its colour as it is. Each shortcut is the
// product it replaces, so the sums are the same.
template <bool Whole, class Column>
inline void AddSteps(TColorSum (&sums)[4], const std::uint8_t* line, const double* portion, std::int32_t steps,
                     std::int32_t middleEnd, double yportion, const TColorSum* colors, Column column)
{
    const auto weight = [=](double p) {  // Whole needs no yportion
        if constexpr (Whole)
            return p;
        else
            return p * yportion;
    };
    const auto general = [&](std::int32_t m) {
        const double* p = portion + 4 * m;
        sums[0] += colors[line[column(0, m)]] * weight(p[0]);
        sums[1] += colors[line[column(1, m)]] * weight(p[1]);
        sums[2] += colors[line[column(2, m)]] * weight(p[2]);
        sums[3] += colors[line[column(3, m)]] * weight(p[3]);
    };
    if (steps == 0)
        return;
    general(0);
    std::int32_t m = 1;
    for (; m < middleEnd; ++m) {
        if constexpr (Whole) {
            sums[0] += colors[line[column(0, m)]];
            sums[1] += colors[line[column(1, m)]];
            sums[2] += colors[line[column(2, m)]];
            sums[3] += colors[line[column(3, m)]];
        } else {
            sums[0] += colors[line[column(0, m)]] * yportion;
            sums[1] += colors[line[column(1, m)]] * yportion;
            sums[2] += colors[line[column(2, m)]] * yportion;
            sums[3] += colors[line[column(3, m)]] * yportion;
        }
    }
    for (; m < steps; ++m)
        general(m);
}

template <class Column>
inline void AddLine(TColorSum (&sums)[4], const std::uint8_t* line, const double* portion, std::int32_t steps,
                    std::int32_t middleEnd, double yportion, const TColorSum* colors, Column column)
{
    if (yportion == 1.0)
        AddSteps<true>(sums, line, portion, steps, middleEnd, yportion, colors, column);
    else
        AddSteps<false>(sums, line, portion, steps, middleEnd, yportion, colors, column);
}

// The sums of one group of four columns, aligned for the widest registers
// the summing loop may use (the type itself is aligned for the narrowest).
struct alignas(32) TGroupSums {
    TColorSum Lane[4];
};

// Sums groups [first, last) of four columns, line by line so that each
// line is read from left to right; lanes outside [begin, end) of the row are
// not written. sums holds last - first groups.
void SumGroups(const std::uint8_t* const* lines, const TResampleSpan& rows, const TGroupTables& tables,
               const TColorSum* colors, std::int32_t first, std::int32_t last, std::int32_t begin, std::int32_t end,
               TGroupSums* sums, int* out)
{
    for (std::int32_t g = first; g < last; ++g)
        for (int lane = 0; lane < 4; ++lane)
            sums[g - first].Lane[lane] = TColorSum{0, 0, 0, 0};
    for (std::int32_t k = 0; k < rows.Count; ++k) {
        const double yportion = RowPortion(rows, k);
        const std::uint8_t* line = lines[k];
        for (std::int32_t g = first; g < last; ++g) {
            TColorSum(&group)[4] = sums[g - first].Lane;
            TColorSum lanes[4] = {group[0], group[1], group[2], group[3]};
            const std::size_t offset = tables.Offset[g] * 4;
            const double* portion = tables.Portions + offset;
            const std::int32_t steps = tables.Steps[g];
            if (tables.Consecutive[g]) {
                const std::uint32_t* start = tables.Starts + 4 * std::size_t(g);
                AddLine(lanes, line, portion, steps, tables.MiddleEnd[g], yportion, colors,
                        [start](int lane, std::int32_t m) { return start[lane] + std::uint32_t(m); });
            } else {
                const std::uint32_t* column = tables.SourceColumns + offset;
                AddLine(lanes, line, portion, steps, tables.MiddleEnd[g], yportion, colors,
                        [column](int lane, std::int32_t m) { return column[4 * m + lane]; });
            }
            for (int lane = 0; lane < 4; ++lane)
                group[lane] = lanes[lane];
        }
    }
    for (std::int32_t g = first; g < last; ++g)
        for (std::int32_t lane = 0; lane < 4; ++lane) {
            const std::int32_t x = 4 * g + lane;
            if (x >= begin && x < end)
                out[x - begin] = PixelValue(sums[g - first].Lane[lane]);
        }
}

using TSumGroups = decltype(&SumGroups);

#if defined(TAVRIN_AVX2_SUMS)
// The same loop built for AVX2 registers, everything it calls inlined into
// it. Chosen at run time (not by an ifunc: the sanitizers' runtimes must be
// up before any of our code runs).
__attribute__((target("avx2"), flatten)) void SumGroupsAvx2(const std::uint8_t* const* lines, const TResampleSpan& rows,
                                                            const TGroupTables& tables, const TColorSum* colors,
                                                            std::int32_t first, std::int32_t last, std::int32_t begin,
                                                            std::int32_t end, TGroupSums* sums, int* out)
{
    SumGroups(lines, rows, tables, colors, first, last, begin, end, sums, out);
}
#endif

TSumGroups ChosenSumGroups()
{
#if defined(TAVRIN_AVX2_SUMS)
    if (__builtin_cpu_supports("avx2"))
        return SumGroupsAvx2;
#endif
    return SumGroups;
}

}  // namespace

TMasterColors::TMasterColors(const TMasterLayout& layout)
{
    for (std::size_t v = 0; v < 256; ++v) {
        Of[v][0] = double(layout.Red[v]);
        Of[v][1] = double(layout.Green[v]);
        Of[v][2] = double(layout.Blue[v]);
        Of[v][3] = 1.0;
    }
}

TAveragingColumns::TAveragingColumns(std::vector<TResampleSpan> spans, std::uint32_t width)
    : Spans(std::move(spans)), Width(width)
{
    // 1. The steps of each group of four: its longest span; and the steps
    //    inside every lane's span, neither first nor last.
    const std::size_t groups = (Spans.size() + 3) / 4;
    std::size_t total = 0;
    for (std::size_t g = 0; g < groups; ++g) {
        std::int32_t longest = 0, shortest = 4 * g + 4 > Spans.size() ? 0 : Spans[4 * g].Count;
        for (std::size_t x = 4 * g; x < std::min(Spans.size(), 4 * g + 4); ++x) {
            longest = std::max(longest, Spans[x].Count);
            shortest = std::min(shortest, Spans[x].Count);
        }
        Steps.push_back(longest);
        MiddleEnd.push_back(std::max(1, shortest - 1));
        Offset.push_back(total);
        total += static_cast<std::size_t>(longest);
        if (total > MaxTableSteps) {
            Steps.clear();
            MiddleEnd.clear();
            Offset.clear();
            return;
        }
    }
    // 2. Source column and portion of every step of every lane; a lane past
    //    its span, or past the last column, weighs 0.
    SourceColumns.assign(total * 4, 0);
    Portions.assign(total * 4, 0.0);
    Starts.assign(groups * 4, 0);
    Consecutive.assign(groups, 1);
    const std::int64_t lastColumn = std::max<std::int64_t>(Width - 1, 0);
    for (std::size_t x = 0; x < groups * 4; ++x) {
        // A lane past the last column repeats the group's first at weight 0.
        const TResampleSpan& span = Spans[x < Spans.size() ? x : 4 * (x / 4)];
        const std::int32_t count = x < Spans.size() ? span.Count : 0;
        const std::size_t group = x / 4, base = Offset[group] * 4 + x % 4;
        for (std::int32_t m = 0; m < Steps[group]; ++m) {
            const std::size_t at = base + 4 * std::size_t(m);
            SourceColumns[at] = static_cast<std::uint32_t>(std::clamp<std::int64_t>(span.First + m, 0, lastColumn));
            if (m < count)
                Portions[at] = m == 0 ? span.FirstPortion : m == count - 1 ? span.LastPortion : 1.0;
        }
        // Consecutive columns may run past the line's end into the bytes after
        // it (the next line or the strip's slack) where they weigh 0.
        Starts[x] = static_cast<std::uint32_t>(std::clamp<std::int64_t>(span.First, 0, lastColumn));
        const bool inside = span.First >= 0 && span.First + count <= Width &&
                            span.First + Steps[group] <= Width + std::int64_t(StripSlack);
        Consecutive[group] = Consecutive[group] && inside;
    }
}

void TAveragingColumns::AverageRow(const std::uint8_t* const* lines, const TResampleSpan& rows, std::int32_t begin,
                                   std::int32_t end, const TMasterColors& colors, int* out) const
{
    if (Steps.empty()) {
        AverageOneByOne(lines, rows, begin, end, colors, out);
        return;
    }
    const TGroupTables tables{Steps.data(),  MiddleEnd.data(),     Offset.data(),  Consecutive.data(),
                              Starts.data(), SourceColumns.data(), Portions.data()};
    const std::int32_t first = begin / 4, last = (end + 3) / 4;
    std::vector<TGroupSums> sums(std::size_t(last - first));
    static const TSumGroups sumGroups = ChosenSumGroups();
    sumGroups(lines, rows, tables, ColorSums(colors), first, last, begin, end, sums.data(), out);
}

// The plain order of the sums, for spans too long for tables.
void TAveragingColumns::AverageOneByOne(const std::uint8_t* const* lines, const TResampleSpan& rows, std::int32_t begin,
                                        std::int32_t end, const TMasterColors& colors, int* out) const
{
    for (std::int32_t x = begin; x < end; ++x) {
        const TResampleSpan& span = Spans[std::size_t(x)];
        TColorSum sums = {0, 0, 0, 0};
        for (std::int32_t k = 0; k < rows.Count; ++k) {
            const double yportion = RowPortion(rows, k);
            for (std::int32_t m = 0; m < span.Count; ++m) {
                const double xportion = m == 0 ? span.FirstPortion : m == span.Count - 1 ? span.LastPortion : 1.0;
                const std::int64_t column = std::clamp<std::int64_t>(span.First + m, 0, Width - 1);
                sums += ColorSums(colors)[lines[k][column]] * (xportion * yportion);
            }
        }
        out[x - begin] = PixelValue(sums);
    }
}

}  // namespace tavrin
