#pragma once

#include "engines/imaging/CopyRectangle.h"
#include "engines/imaging/PngIndexChunk.h"

#include <gd.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace tavrin {

struct TMasterLayout;

// The pixel replication copy of one rectangle into a palette image (into a
// true-colour one it writes resolved true-colour values), fed one source row
// at a time: stretch counts in integer arithmetic, source rows in ascending
// order each repeated by its count, every destination pixel resolved with
// gdImageColorResolve, so the palette grows exactly as a per-pixel copy
// grows it; pixels outside the clipping rectangle are resolved but not set.
// Columns outside the image read its edge column. The rectangle must pass
// SourceSizeAccepted.
//
// Given a record of the palette's entries (a palette image whose entries so
// far it describes), the copy keeps plate combination indices apart instead
// of resolving colours: each master index gets an entry of its own with its
// colour, allocated in order of first use and added to the record; an entry
// the record already gives that index, in that index's colour, is used
// again. Should a tile use more indices than the palette holds, it takes the
// master's whole colour table in index order instead, its pixels and record
// changed to match.
class TReplication {
public:
    TReplication(gdImagePtr dest, const TCopyRectangle& rect, const TMasterLayout& layout,
                 TPaletteIndices* indices = nullptr);

    // Copies source row SrcY + index; rows must come in ascending order
    // without gaps. source is its line (taken into the image).
    void Row(std::int32_t index, const std::uint8_t* source);

private:
    // The entry of master index v, found once for the whole copy; -1 when
    // a full palette has no usable colour.
    int Resolve(std::uint8_t v);
    void TakeWholeColorTable();

    gdImagePtr Dest;
    const TMasterLayout& Layout;
    TPaletteIndices* Indices;  // null: colours are resolved
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
