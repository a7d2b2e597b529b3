#include "engines/imaging/TileCutter.h"

#include "base/catalogue/OutputLayout.h"

#include "engines/imaging/LevelPass.h"
#include "engines/imaging/StripReader.h"
#include "engines/imaging/TileDB.h"
#include "engines/imaging/TileGrid.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <thread>

namespace tavrin {

namespace {

constexpr std::uint32_t TileBlockSize = 64;
// Strips decoded ahead of the cutting, on two threads of their own.
constexpr unsigned ReadAheadStrips = 3;
constexpr unsigned Decoders = 2;

}  // namespace

unsigned DefaultTileWorkers()
{
    // The calling thread works too.
    return std::clamp(std::thread::hardware_concurrency(), 2u, 4u) - 1;
}

void CutTiles(tiff* master, const std::string& fileName, std::uint32_t tileSize, double factor,
              const std::function<void(int)>& onProgress, unsigned workers)
{
    if (onProgress)
        onProgress(0);
    if (!master || tileSize == 0 || !(factor > 0) || !std::isfinite(factor))
        return;
    std::uint32_t width = 0, height = 0;
    TIFFGetField(master, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(master, TIFFTAG_IMAGELENGTH, &height);
    const TTileGrid grid = TTileGrid::For(width, height, tileSize, factor);
    const std::string part = UnfinishedName(fileName);
    try {
        TTileDB database(part, grid.Columns, grid.Rows, TileBlockSize);
        const TMasterLayout layout = TMasterLayout::Read(master);
        layout.CheckCopyCanStart();
        TStripReader reader(master, layout, 0, layout.StripCount - 1, workers > 0 ? ReadAheadStrips : 0, Decoders);
        TLevelPass pass(layout, grid, factor, database, onProgress, workers);
        pass.Run(reader);
        database.Close();
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(part, ignored);
        throw;
    }
    CompleteUnfinished(fileName);
}

}  // namespace tavrin
