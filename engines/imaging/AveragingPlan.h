#pragma once

#include "engines/imaging/AveragingColumns.h"
#include "engines/imaging/CopyRectangle.h"

#include <gd.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace tavrin {

class TRowWindow;

// The area-averaging copy of one rectangle, restricted to the destination
// pixels inside the image's clipping rectangle (the others would be dropped
// by gdImageSetPixel): the spans of those rows and columns.
class TAveragingPlan {
public:
    // width: the master's.
    TAveragingPlan(gdImagePtr dest, const TCopyRectangle& rect, std::uint32_t width);

    bool Empty() const { return RowBegin >= RowEnd || ColumnBegin >= ColumnEnd; }
    // Destination rows and columns that are drawn, counted from DstY and DstX.
    std::int32_t FirstRow() const { return RowBegin; }
    std::int32_t EndRow() const { return RowEnd; }
    std::int32_t FirstColumn() const { return ColumnBegin; }
    std::int32_t EndColumn() const { return ColumnEnd; }
    // The source rows destination row r (from DstY) reads.
    std::int64_t FirstSourceRow(std::int32_t r) const { return Rows[std::size_t(r - RowBegin)].First; }
    std::int64_t LastSourceRow(std::int32_t r) const;

    // Draws destination rows [rowBegin, rowEnd) by columns [columnBegin,
    // columnEnd) (all from the rectangle's corner) from the window's lines,
    // which must hold every row they read.
    void Draw(gdImagePtr dest, std::int32_t rowBegin, std::int32_t rowEnd, std::int32_t columnBegin,
              std::int32_t columnEnd, const TRowWindow& window, const TMasterColors& colors) const;

private:
    TCopyRectangle Rect;
    std::int32_t RowBegin = 0;
    std::int32_t RowEnd = 0;
    std::int32_t ColumnBegin = 0;
    std::int32_t ColumnEnd = 0;
    std::vector<TResampleSpan> Rows;           // from RowBegin
    std::optional<TAveragingColumns> Columns;  // from ColumnBegin
};

}  // namespace tavrin
