#pragma once

#include "engines/imaging/TileGrid.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

struct tiff;

namespace tavrin {

// One zoom level to cut: a tile database and its scale factor.
struct TPyramidLevel {
    std::string FileName;
    double Factor = 0;
};

// What one pass over a master writes: zoom levels of tileSize tiles and, when
// OverviewFile is not empty, the overview at OverviewFactor.
struct TPyramidOrder {
    std::vector<TPyramidLevel> Levels;
    std::uint32_t TileSize = TileSide;
    std::string OverviewFile;
    double OverviewFactor = 0;
};

// Writes every level of the order, and the overview, from a single decode of
// the open master: each output is cut by a pass of its own on a thread of
// its own, all fed with the same strips, none running more than a few
// strips ahead of the slowest, so the memory stays that of a few strips per
// output. Each file is byte for byte the one CutTiles, or the overview of
// TProofImage::MakePreview, writes on its own. Reports progress 0, then the
// share of all levels' tiles stored, rounded down (100 once every level is
// complete). Returns one error per level, then the overview's when ordered:
// null where the file was written; otherwise nothing of that output is left
// on disk, and the other outputs are written all the same. A level whose
// factor is 0, negative or not finite writes no file and no error, as
// CutTiles does.
std::vector<std::exception_ptr> CutPyramid(tiff* master, const TPyramidOrder& order,
                                           const std::function<void(int)>& onProgress, unsigned workers);

}  // namespace tavrin
