#pragma once

#include "engines/imaging/CopyRectangle.h"

#include <gd.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace tavrin {

struct TMasterLayout;

// True when the palette image's 256 entries are the master's colour table in
// index order.
bool CarriesColorTable(gdImagePtr image, const TMasterLayout& layout);

// Gives an empty palette image the master's colour table as its 256 entries,
// so that a copy into it keeps each pixel's plate combination index.
void AllocateColorTable(gdImagePtr image, const TMasterLayout& layout);

// The pixel replication copy of one rectangle into a palette image (into a
// true-colour one it writes resolved true-colour values), fed one source row
// at a time: stretch counts in integer arithmetic, source rows in ascending
// order each repeated by its count, every destination pixel resolved with
// gdImageColorResolve, so the palette grows exactly as a per-pixel copy
// grows it; pixels outside the clipping rectangle are resolved but not set.
// Into a palette that carries the master's colour table each pixel is
// copied as its index.
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
    bool Contiguous = false;        // SetColumns are consecutive
    bool Identity = false;          // and each read column is set once
    std::int64_t NextRow;           // destination row
    std::array<int, 256> Resolved;  // a colour resolves the same way for the rest of the copy
    bool Unresolvable = false;
};

// Gives the line of source row y, taken into the image, or null where the
// copy must end (a strip that could not be read).
using TLineSource = std::function<const std::uint8_t*(std::int64_t y)>;

// The replication copy of all of a rectangle's rows from a line source.
void ReplicateFromLines(gdImagePtr dest, const TCopyRectangle& rect, const TMasterLayout& layout,
                        const TLineSource& line);

}  // namespace tavrin
