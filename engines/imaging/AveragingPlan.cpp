#include "engines/imaging/AveragingPlan.h"

#include "engines/imaging/RowWindow.h"

#include <algorithm>
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

}  // namespace

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

}  // namespace tavrin
