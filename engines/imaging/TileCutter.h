#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct tiff;

namespace tavrin {

// Threads that help the calling thread cut a level: one less than the
// processor's cores, at least one, at most three.
unsigned DefaultTileWorkers();

// Writes one zoom level of an open master into a new tile database: reports
// progress 0, then builds the grid of tileSize tiles for factor (none for a
// factor that is 0, negative or not finite: no file), and stores the tiles
// row by row from the top, columns ascending, as database row Rows - 1 - i.
// A tile is a true-colour image copied by area averaging, or a palette image
// copied by pixel replication when the factor is exactly 1; it is white where
// the page does not reach. After each grid row, progress (i + 1) x 100 / Rows
// rounded to nearest, ties to even. The master is decoded once, top to
// bottom; with workers above 0 the tiles are drawn and encoded on that many
// threads besides the caller's and still stored in the same order, so the
// file is byte for byte the one workers = 0 writes. The database is written
// under its unfinished name and takes fileName only when complete. Raises
// std::runtime_error, leaving no file of this call, when the master cannot
// be read (as CopyResampledFromMaster) or the tile database cannot be
// created, written or named.
void CutTiles(tiff* master, const std::string& fileName, std::uint32_t tileSize, double factor,
              const std::function<void(int)>& onProgress, unsigned workers);

}  // namespace tavrin
