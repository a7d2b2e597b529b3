#pragma once

#include "engines/imaging/PngIndexChunk.h"

#include <gd.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tavrin {

// Encodes tiles as PNG files with gdImagePngPtrEx at zlib level 1. A
// screened page's tiles do not repeat, and deflate at the default level 6
// was most of the Web task's time; level 1 encodes them in a third of that
// time for 7 to 9 % more bytes (the README's tile pyramid section has the
// measurement); the files stay plain PNG. A tile whose pixels and palette
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

    static constexpr int CompressionLevel = 1;

    // The PNG bytes of tile, which may be kept to recognise its copies and
    // must not change any more; with the index chunk of `indices` unless it
    // is empty. Raises std::runtime_error when libgd cannot encode it or the
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

    mutable std::mutex Mutex;
    std::vector<TEntry> Entries;
    std::uint64_t ReusedCount = 0;
};

}  // namespace tavrin
