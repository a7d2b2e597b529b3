#pragma once

#include "engines/imaging/ExactAveraging.h"
#include "engines/imaging/TileGrid.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace tavrin {

// The inner tiles of a coarser zoom level made from the exact sums of a
// finer one, so that the master is averaged once for both. Inner tiles are
// those neither in the grid's top row nor in its last column: their copies
// all share one scale and are anchored where the finer level's are, so that
// each pixel covers exactly Multiple x Multiple pixels of the finer level.
// Rows and columns are counted over a whole level (tile row x T + row).
//
// The finer level's pass adds its inner rows in order (Prepare, then Add
// from any of its threads for distinct column blocks, then Complete); the
// coarser level's pass takes each of its inner rows once, in order, on its
// own thread. The finer level closes the feed when it ends, however it
// ends; the rows it did not complete are not handed out, and the coarser
// level averages them from the master itself.
class TLevelFeed {
public:
    // Nothing when the levels do not nest that way.
    static std::optional<TLevelFeed> For(const TTileGrid& finer, const TTileGrid& coarser);

    std::uint32_t Multiple() const { return Factor; }
    // The finer level's inner columns [0, Columns) that this feed reads.
    std::uint32_t Columns() const { return CoarseColumns * Factor; }

    // Finer level, before the rows [begin, end) are added.
    void Prepare(std::int64_t begin, std::int64_t end);
    // Finer level: sums of columns [first, first + count) of row; first and
    // count are multiples of Multiple.
    void Add(std::int64_t row, std::uint32_t first, std::uint32_t count, const TExactSums* sums);
    // Finer level: rows below end are added; the coarser rows they complete
    // are handed out.
    void Complete(std::int64_t end);
    // Finer level: no more rows come.
    void Close();

    // Coarser level: true when row is one of its inner rows.
    bool Inner(std::int64_t row) const { return row >= FirstRow && row < EndRow; }
    std::uint32_t InnerColumns() const { return CoarseColumns; }
    // Coarser level: waits for an inner row's pixels (InnerColumns of them);
    // false once none will come.
    bool Take(std::int64_t row, std::vector<int>& pixels);
    // Coarser level: takes no more rows.
    void Leave();

    TLevelFeed(const TLevelFeed&) = delete;
    TLevelFeed& operator=(const TLevelFeed&) = delete;
    TLevelFeed(TLevelFeed&& other) noexcept;

private:
    TLevelFeed() = default;

    // The coarser row a finer row adds to, or nothing.
    std::optional<std::int64_t> CoarseRow(std::int64_t row) const;

    std::uint32_t Factor = 0;
    std::int64_t Offset = 0;  // finer row = Multiple x coarser row + Offset
    std::int64_t FirstRow = 0;
    std::int64_t EndRow = 0;
    std::uint32_t CoarseColumns = 0;

    std::map<std::int64_t, std::vector<TExactSums>> Summing;  // finer level's threads only

    std::mutex Mutex;
    std::condition_variable Handed;
    std::map<std::int64_t, std::vector<int>> Ready;
    bool Closed = false;
    bool Left = false;
};

}  // namespace tavrin
