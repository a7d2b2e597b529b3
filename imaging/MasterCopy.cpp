#include "imaging/MasterCopy.h"

#include "imaging/MasterStrips.h"

#include <algorithm>
#include <array>
#include <limits>
#include <tuple>

namespace tavrin {

namespace {

// The part of [0, size) whose positions origin + i lie in [low, high].
std::pair<std::int32_t, std::int32_t> ClippedRange(std::int32_t origin, std::int32_t size, int low, int high)
{
    const std::int64_t begin = std::max<std::int64_t>(0, std::int64_t(low) - origin);
    const std::int64_t end = std::min<std::int64_t>(size, std::int64_t(high) - origin + 1);
    return {static_cast<std::int32_t>(begin), static_cast<std::int32_t>(std::max(begin, end))};
}

// Stretch counts: how many destination positions source position i fills.
std::vector<std::int64_t> StretchCounts(std::int32_t srcSize, std::int32_t dstSize)
{
    std::vector<std::int64_t> counts(static_cast<std::size_t>(srcSize));
    for (std::int64_t i = 0; i < srcSize; ++i)
        counts[static_cast<std::size_t>(i)] = (i + 1) * dstSize / srcSize - i * dstSize / srcSize;
    return counts;
}

void SetResolved(gdImagePtr dest, int x, int y, int color)
{
    if (dest->trueColor)
        dest->tpixels[y][x] = color;
    else
        dest->pixels[y][x] = static_cast<unsigned char>(color);
}

}  // namespace

bool SourceSizeAccepted(const TCopyRectangle& rect)
{
    constexpr int limit = std::numeric_limits<std::int32_t>::max() / 4;
    return rect.SrcW >= 0 && rect.SrcH >= 0 && rect.SrcW <= limit && rect.SrcH <= limit;
}

TAveragingPlan::TAveragingPlan(gdImagePtr dest, const TCopyRectangle& rect, std::uint32_t width) : Rect(rect)
{
    std::tie(RowBegin, RowEnd) = ClippedRange(rect.DstY, rect.DstH, dest->cy1, dest->cy2);
    std::tie(ColumnBegin, ColumnEnd) = ClippedRange(rect.DstX, rect.DstW, dest->cx1, dest->cx2);
    if (Empty())
        return;
    Rows = ResampleSpans(rect.SrcY, rect.SrcH, rect.DstH, RowBegin, RowEnd);
    Columns.emplace(ResampleSpans(rect.SrcX, rect.SrcW, rect.DstW, ColumnBegin, ColumnEnd), width);
}

std::int64_t TAveragingPlan::LastSourceRow(std::int32_t r) const
{
    const TResampleSpan& span = Rows[std::size_t(r - RowBegin)];
    return span.First + span.Count - 1;
}

void TAveragingPlan::Draw(gdImagePtr dest, std::int32_t rowBegin, std::int32_t rowEnd, std::int32_t columnBegin,
                          std::int32_t columnEnd, const TRowWindow& window, const TMasterColors& colors) const
{
    std::vector<const std::uint8_t*> lines;
    for (std::int32_t r = rowBegin; r < rowEnd; ++r) {
        const TResampleSpan& span = Rows[std::size_t(r - RowBegin)];
        lines.resize(static_cast<std::size_t>(span.Count));
        for (std::int32_t k = 0; k < span.Count; ++k)
            lines[std::size_t(k)] = window.Line(span.First + k);
        int* out = dest->tpixels[Rect.DstY + r] + Rect.DstX + columnBegin;
        Columns->AverageRow(lines.data(), span, columnBegin - ColumnBegin, columnEnd - ColumnBegin, colors, out);
    }
}

void ReplicateFromLines(gdImagePtr dest, const TCopyRectangle& rect, const TMasterLayout& layout,
                        const TLineSource& line)
{
    const std::vector<std::int64_t> stx = StretchCounts(rect.SrcW, rect.DstW);
    const std::vector<std::int64_t> sty = StretchCounts(rect.SrcH, rect.DstH);
    std::vector<std::uint32_t> sourceColumn(stx.size());
    for (std::size_t x = 0; x < stx.size(); ++x)
        sourceColumn[x] = layout.ClampColumn(std::int64_t(rect.SrcX) + std::int64_t(x));
    // The source column of every destination column inside the clip.
    const std::int64_t clipLeft = dest->cx1, clipRight = dest->cx2;
    std::vector<std::uint32_t> sourceOf;
    std::int64_t firstSet = -1;
    for (std::int64_t x = 0, tox = rect.DstX; x < std::int64_t(stx.size()); ++x)
        for (std::int64_t i = 0; i < stx[std::size_t(x)]; ++i, ++tox)
            if (tox >= clipLeft && tox <= clipRight) {
                if (firstSet < 0)
                    firstSet = tox;
                sourceOf.push_back(static_cast<std::uint32_t>(x));
            }
    // A colour resolved once resolves the same way for the rest of the copy.
    std::array<int, 256> resolved;
    resolved.fill(-1);
    std::vector<int> rowColors(stx.size());
    std::int64_t toy = rect.DstY;
    for (std::int32_t y = 0; y < rect.SrcH; ++y) {
        const std::uint8_t* source = line(std::int64_t(rect.SrcY) + y);
        if (!source)
            return;
        const std::int64_t repeats = sty[std::size_t(y)];
        if (repeats <= 0)
            continue;
        // 1. Resolve the row's colours in the order its pixels are set.
        bool unresolved = false;
        for (std::size_t x = 0; x < stx.size(); ++x) {
            if (stx[x] <= 0)
                continue;
            const std::uint8_t v = source[sourceColumn[x]];
            if (resolved[v] < 0)
                resolved[v] = gdImageColorResolve(dest, layout.Red[v], layout.Green[v], layout.Blue[v]);
            rowColors[x] = resolved[v];
            unresolved = unresolved || rowColors[x] < 0;
        }
        // 2. Set the stretched row as often as it repeats, inside the clip only.
        for (std::int64_t repeat = 0; repeat < repeats; ++repeat, ++toy) {
            if (toy < dest->cy1 || toy > dest->cy2)
                continue;
            for (std::size_t t = 0; t < sourceOf.size(); ++t) {
                const int color = rowColors[sourceOf[t]];
                if (!unresolved || color >= 0)
                    SetResolved(dest, int(firstSet + std::int64_t(t)), int(toy), color);
            }
        }
    }
}

}  // namespace tavrin
