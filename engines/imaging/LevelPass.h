#pragma once

#include "engines/imaging/AveragingColumns.h"
#include "engines/imaging/AveragingPlan.h"
#include "engines/imaging/ExactAveraging.h"
#include "engines/imaging/MasterLayout.h"
#include "engines/imaging/RowWindow.h"
#include "engines/imaging/TileEncoder.h"
#include "engines/imaging/TileGrid.h"
#include "engines/imaging/WorkerPool.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

namespace tavrin {

class TLevelFeed;
class TTileDB;

// One zoom level cut in a single pass over the master's strips, read from a
// strip source top to bottom. The calling thread reads the strips, draws its
// share of the averaged rows and stores the encoded tiles in grid order; the
// pool's threads draw the rest and encode. A tile is a true-colour image
// copied by area averaging, or a palette image copied by pixel replication
// when the factor is exactly 1; it is white where the page does not reach.
// After each grid row, progress (i + 1) x 100 / Rows rounded to nearest,
// ties to even. The tiles and their order do not depend on workers.
class TLevelPass {
public:
    // rowsInWork: grid rows of tiles drawn and waiting to be encoded; two
    // keep both cores busy for a level cut alone, one is enough for a level
    // among others and holds less memory.
    TLevelPass(const TMasterLayout& layout, const TTileGrid& grid, double factor, TTileDB& db,
               std::function<void(int)> onProgress, unsigned workers, std::uint32_t rowsInWork = 2);
    // Before Run: this level's inner tiles are summed exactly and their sums
    // added to the feeds of coarser levels; false (and nothing changes) when
    // the level's scale gives no exact sums or a feed's multiple does not
    // divide the tile size.
    bool Feed(const std::vector<TLevelFeed*>& feeds);
    // Before Run: this level's inner tiles are taken from a finer level's
    // feed, as long as it gives them.
    void FedBy(TLevelFeed& feed) { Source = &feed; }
    // Raises std::runtime_error when the master cannot be read (see TRowWindow).
    void Run(TStripSource& strips);
    // Closes the feeds this level gives and leaves the one it takes; Run
    // does it when it ends.
    void StopFeeding();

private:
    // A tile in work: the Index-th PNG of its group's job.
    struct TPendingTile {
        std::uint32_t GridRow = 0;
        std::uint32_t Column = 0;
        std::shared_ptr<std::vector<TTileEncoder::TBytes>> Pngs;
        std::uint32_t Index = 0;
        std::shared_future<void> Done;
    };
    using TTileImage = TTileEncoder::TTile;

    void CutAveragedRow(std::uint32_t i);
    void CutReplicatedRow(std::uint32_t i);
    // How a tile of an averaged grid row is drawn.
    enum class TDrawing { Plan, Exact, Fed, None };
    TDrawing DrawingOf(std::uint32_t i, std::uint32_t j) const;
    void DrawBand(const std::vector<std::optional<TAveragingPlan>>& plans, const std::vector<TTileImage>& tiles,
                  const std::vector<TDrawing>& drawing, std::uint32_t i, std::int32_t rowBegin, std::int32_t rowEnd);
    void DrawExact(const TTileImage& tile, std::uint32_t i, std::uint32_t j, std::int32_t rowBegin, std::int32_t rowEnd,
                   std::uint32_t begin, std::uint32_t end) const;
    void TakeFedRows(const std::vector<std::optional<TAveragingPlan>>& plans, const std::vector<TTileImage>& tiles,
                     std::vector<TDrawing>& drawing, std::uint32_t i, std::int32_t rowBegin, std::int32_t rowEnd);
    std::vector<TTileEncoder::TBytes>
    CopyReplicatedTiles(std::uint32_t i, std::uint32_t firstColumn, std::uint32_t count,
                        std::shared_ptr<std::vector<std::shared_ptr<const TMasterStrip>>>& rowStrips);
    void StoreGroup(std::uint32_t i, std::uint32_t firstColumn, std::uint32_t count,
                    std::function<std::vector<TTileEncoder::TBytes>()> make);
    void WriteFinished(std::size_t keep);

    const TTileGrid Grid;
    TTileDB& Database;
    const std::function<void(int)> OnProgress;
    const unsigned Workers;
    const std::uint32_t RowsInWork;
    const TMasterLayout Layout;
    const TMasterColors Colors;
    const bool Scaled;
    TTileEncoder Encoder;
    std::unique_ptr<TRowWindow> Window;
    std::deque<TPendingTile> Pending;
    // Exact sums of the inner tiles, for the feeds of coarser levels.
    std::optional<TExactAveraging> Exact;
    std::vector<TLevelFeed*> Feeds;
    std::uint32_t ExactAlign = 1;   // columns a drawing job's share of inner tiles starts on
    std::int64_t ExactNextRow = 0;  // the next inner row the feeds expect
    TLevelFeed* Source = nullptr;   // null once it gives no more
    TWorkerPool Pool;               // last: its jobs use everything above
};

}  // namespace tavrin
