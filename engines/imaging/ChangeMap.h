#pragma once

#include "engines/imaging/PyramidCutter.h"
#include "engines/imaging/RoundCompare.h"
#include "engines/imaging/TileGrid.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tavrin {

class TTileDB;

// The change map of one zoom level of a page, in the job folder beside its
// tile database: "change" + level + "-NNNN.tdb".
std::string ChangeMapDatabaseName(int level, int page);
// True for a name ChangeMapDatabaseName gives (not its unfinished name).
bool IsChangeMapDatabaseName(const std::string& name);

// A change tile as PNG: side x side pixels, colour type 3 with bit depth 1,
// index 0 transparent and index 1 opaque #FF00FF, not interlaced. bits holds
// the rows, stride bytes apart, pixel 0 in the high bit of a row's first
// byte.
std::vector<std::uint8_t> ChangeTilePng(const std::uint8_t* bits, std::uint32_t side, std::size_t stride);

// Writes the change map of one page from the rows of its compare: for every
// zoom level a tile database with the grid of the page's own tile database
// of that level, where a tile pixel is set when any master pixel its proof
// pixel is averaged from (or, at factor 1, replicated from) changed on any
// plate. Only tiles with a set pixel are written. The rows come in order and
// only a band of tiles per level is held at a time: a grid row, and the next
// one where a master row is read by both. Each database is written under its
// unfinished name, which it keeps until Finish; a writer destroyed before
// Finish (or after Discard) removes its unfinished files.
class TChangeMapWriter final : public TCompareRowSink {
public:
    // levels: each level's database file and factor, as the pyramid cuts
    // them; onProgress gets the share of the page's rows compared (0..100).
    TChangeMapWriter(std::vector<TPyramidLevel> levels, std::function<void(int)> onProgress = {},
                     std::uint32_t tileSize = TileSide);
    ~TChangeMapWriter() override;
    TChangeMapWriter(const TChangeMapWriter&) = delete;
    TChangeMapWriter& operator=(const TChangeMapWriter&) = delete;

    void Begin(std::uint32_t width, std::uint32_t height) override;
    void Changed(std::uint32_t y, const std::uint8_t* changed, std::uint32_t first, std::uint32_t last) override;
    void Compared(std::uint32_t rows, std::uint32_t height) override;

    // Writes the tiles still held and gives every level's database its name
    // (a level none of whose pixels covers a change gets one without tiles).
    // Raises std::runtime_error when a database cannot be written or named;
    // then none of this page's databases is left under its name.
    void Finish();
    // Removes what was written: the unfinished files, or after Finish the
    // named ones.
    void Discard();

    // Bytes written into the databases so far.
    std::uint64_t Bytes() const { return WrittenBytes; }

private:
    // One drawn row or column of a level: its position over the whole level
    // (tile x T + pixel) and the master rows or columns it is taken from.
    struct TSpan {
        std::uint32_t Index = 0;
        std::int64_t First = 0;
        std::int64_t Last = 0;
    };
    // The marks of one grid row's tiles: per tile T rows of Stride bytes.
    struct TBand {
        std::vector<std::uint8_t> Bits;
        std::vector<bool> Marked;
    };
    struct TLevel {
        TPyramidLevel Order;
        TTileGrid Grid;
        std::vector<TSpan> Rows;
        std::vector<TSpan> Columns;
        // Per grid row, the last master row its tiles read (-1: none).
        std::vector<std::int64_t> GridRowEnd;
        std::uint32_t Written = 0;  // grid rows whose tiles are written
        std::size_t NextRow = 0;    // the first of Rows that may read the next master row
        std::map<std::uint32_t, TBand> Bands;
        std::unique_ptr<TTileDB> Database;
    };

    void WriteGridRows(TLevel& level, std::uint32_t end);
    void OpenDatabase(TLevel& level);
    void RemoveFiles();

    const std::vector<TPyramidLevel> Orders;
    const std::function<void(int)> OnProgress;
    const std::uint32_t TileSize;
    const std::size_t Stride;
    std::vector<TLevel> Levels;
    // The changed pixels of the row being marked, first and last of each run.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Runs;
    // Dest positions of the row being marked, as ranges of one level's Columns.
    std::vector<std::pair<std::size_t, std::size_t>> Ranges;
    std::uint64_t WrittenBytes = 0;
    bool Finished = false;
};

}  // namespace tavrin
