#pragma once

#include "imaging/AreaAveraging.h"

#include <gd.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tavrin {

struct TMasterLayout;
class TRowWindow;

// The rectangles of one copy from a master into a libgd image, in the
// argument order of libgd's copy functions.
struct TCopyRectangle {
    int DstX = 0;
    int DstY = 0;
    int SrcX = 0;
    int SrcY = 0;
    int DstW = 0;
    int DstH = 0;
    int SrcW = 0;
    int SrcH = 0;
};

// False for a source size the copies refuse: negative, or four times it
// beyond a signed 32-bit integer.
bool SourceSizeAccepted(const TCopyRectangle& rect);

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
    std::vector<TResampleSpan> Rows;  // from RowBegin
    std::optional<TAveragingColumns> Columns;  // from ColumnBegin
};

// The pixel replication copy of one rectangle into a palette image (into a
// true-colour one it writes resolved true-colour values), fed one source row
// at a time: stretch counts in integer arithmetic, source rows in ascending
// order each repeated by its count, every destination pixel resolved with
// gdImageColorResolve, so the palette grows exactly as a per-pixel copy
// grows it; pixels outside the clipping rectangle are resolved but not set.
// Columns outside the image read its edge column. The rectangle must pass
// SourceSizeAccepted.
class TReplication {
public:
    TReplication(gdImagePtr dest, const TCopyRectangle& rect, const TMasterLayout& layout);

    // Copies source row SrcY + index; rows must come in ascending order
    // without gaps. source is its line (taken into the image).
    void Row(std::int32_t index, const std::uint8_t* source);

private:
    gdImagePtr Dest;
    const TMasterLayout& Layout;
    std::vector<std::int64_t> RowRepeats;
    std::vector<std::uint32_t> ReadColumns;  // in the order their pixels are set
    std::vector<std::uint32_t> SetColumns;   // of each destination column in the clip
    std::int64_t FirstSet = -1;
    bool Contiguous = false;                 // SetColumns are consecutive
    bool Identity = false;                   // and each read column is set once
    std::int64_t NextRow;                    // destination row
    std::array<int, 256> Resolved;           // a colour resolves the same way for the rest of the copy
    bool Unresolvable = false;
};

// Gives the line of source row y, taken into the image, or null where the
// copy must end (a strip that could not be read).
using TLineSource = std::function<const std::uint8_t*(std::int64_t y)>;

// The replication copy of all of a rectangle's rows from a line source.
void ReplicateFromLines(gdImagePtr dest, const TCopyRectangle& rect, const TMasterLayout& layout,
                        const TLineSource& line);

}  // namespace tavrin
