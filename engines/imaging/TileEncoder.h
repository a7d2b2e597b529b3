#pragma once

#include "engines/imaging/PngIndexChunk.h"
#include "engines/imaging/PngWriter.h"

#include <gd.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tavrin {

// Encodes tiles as PNG files with the station's own writer (PngWriter.h),
// deflated by libdeflate: a screened page's tiles do not repeat, and
// deflate was most of the Web task's time; libdeflate at its level 1 gives
// fewer bytes than zlib's level 1 did through libgd in less time (the
// figures are at TPngWriter). The files stay plain PNG, their pixels and
// palette indices those of the tile. A tile whose pixels and palette
// equal those of a tile encoded before (blank paper, solid ink) gets that
// tile's bytes again without being encoded, which are the bytes its own
// encoding gives. A full-resolution palette tile's record of plate
// combination indices goes into the PNG as its index chunk (see
// PngIndexChunk.h) and belongs to what must be equal. Safe to use from
// several threads at once.
class TTileEncoder {
public:
    using TBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

    using TTile = std::shared_ptr<gdImage>;

    // With tryFilters, a truecolor tile is written twice, without a row
    // filter and with libpng's adaptive choice, and keeps the smaller: worth
    // it on the coarsest levels, whose few smooth tiles a customer's browser
    // fetches first (the screened A4 page's levels 0 and 1: 1.27 MB
    // unfiltered, 1.12 MB the smaller of the two; libgd wrote 1.18 MB).
    explicit TTileEncoder(bool tryFilters = false);

    // The PNG bytes of tile, which may be kept to recognise its copies and
    // must not change any more; with the index chunk of `indices` unless it
    // is empty. Raises std::runtime_error when it cannot be encoded or the
    // record does not match its palette.
    TBytes Encode(const TTile& tile, const TPaletteIndices& indices = {});

    // How many tiles were given bytes without being encoded.
    std::uint64_t Reused() const;

private:
    struct TEntry {
        std::uint64_t Hash = 0;
        TTile Tile;
        TPaletteIndices Indices;
        TBytes Png;
        std::uint64_t Hits = 0;
    };

    TBytes Find(std::uint64_t hash, gdImagePtr tile, const TPaletteIndices& indices);
    void Remember(std::uint64_t hash, const TTile& tile, const TPaletteIndices& indices, const TBytes& png);

    const TPngWriter Writer;
    const bool TryFilters;
    const TPngWriter FilteringWriter{TPngWriter::DefaultLevel, TPngFilter::None, TPngFilter::Adaptive};
    mutable std::mutex Mutex;
    std::vector<TEntry> Entries;
    std::uint64_t ReusedCount = 0;
};

}  // namespace tavrin
