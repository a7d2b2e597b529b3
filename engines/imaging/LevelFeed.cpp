#include "engines/imaging/LevelFeed.h"

#include <utility>

namespace tavrin {

std::optional<TLevelFeed> TLevelFeed::For(const TTileGrid& finer, const TTileGrid& coarser)
{
    if (finer.T != coarser.T || finer.T == 0 || finer.S == 0 || coarser.S <= finer.S || coarser.S % finer.S != 0)
        return std::nullopt;
    TLevelFeed feed;
    feed.Factor = coarser.S / finer.S;
    const std::int64_t t = finer.T;
    // Both grids end at the page's bottom edge: a coarser inner row starts
    // Multiple x T finer rows below its predecessor's start.
    feed.Offset = t * (std::int64_t(finer.Rows) - std::int64_t(feed.Factor) * coarser.Rows);
    feed.FirstRow = t;
    feed.EndRow = t * coarser.Rows;
    feed.CoarseColumns = static_cast<std::uint32_t>(t * (std::int64_t(coarser.Columns) - 1));
    // Every finer pixel read must be an inner one of the finer level.
    const std::int64_t finerFirst = feed.Factor * feed.FirstRow + feed.Offset;
    const std::int64_t finerEnd = feed.Factor * feed.EndRow + feed.Offset;
    const std::int64_t finerColumns = std::int64_t(feed.CoarseColumns) * feed.Factor;
    if (feed.EndRow <= feed.FirstRow || feed.CoarseColumns == 0 || finerFirst < t ||
        finerEnd > t * std::int64_t(finer.Rows) || finerColumns > t * (std::int64_t(finer.Columns) - 1))
        return std::nullopt;
    return feed;
}

TLevelFeed::TLevelFeed(TLevelFeed&& other) noexcept
    : Factor(other.Factor), Offset(other.Offset), FirstRow(other.FirstRow), EndRow(other.EndRow),
      CoarseColumns(other.CoarseColumns)
{
}

std::optional<std::int64_t> TLevelFeed::CoarseRow(std::int64_t row) const
{
    const std::int64_t shifted = row - Offset;
    if (shifted < 0)
        return std::nullopt;
    const std::int64_t coarse = shifted / Factor;
    if (!Inner(coarse))
        return std::nullopt;
    return coarse;
}

void TLevelFeed::Prepare(std::int64_t begin, std::int64_t end)
{
    for (std::int64_t row = begin; row < end; ++row)
        if (const auto coarse = CoarseRow(row))
            Summing.try_emplace(*coarse, std::size_t(CoarseColumns));
}

void TLevelFeed::Add(std::int64_t row, std::uint32_t first, std::uint32_t count, const TExactSums* sums)
{
    const auto coarse = CoarseRow(row);
    if (!coarse)
        return;
    const std::uint32_t end = std::min(first + count, Columns());
    std::vector<TExactSums>& target = Summing.at(*coarse);
    for (std::uint32_t x = first; x < end; ++x) {
        TExactSums& sum = target[x / Factor];
        const TExactSums& add = sums[x - first];
        sum.Red += add.Red;
        sum.Green += add.Green;
        sum.Blue += add.Blue;
        sum.Weight += add.Weight;
    }
}

void TLevelFeed::Complete(std::int64_t end)
{
    // A coarser row is whole once its last finer row is added.
    while (!Summing.empty() && Factor * (Summing.begin()->first + 1) + Offset <= end) {
        auto summed = Summing.extract(Summing.begin());
        std::vector<int> pixels(summed.mapped().size());
        for (std::size_t x = 0; x < pixels.size(); ++x)
            pixels[x] = ExactPixelValue(summed.mapped()[x]);
        std::lock_guard lock(Mutex);
        if (!Left)
            Ready.emplace(summed.key(), std::move(pixels));
        Handed.notify_all();
    }
}

void TLevelFeed::Close()
{
    Summing.clear();
    std::lock_guard lock(Mutex);
    Closed = true;
    Handed.notify_all();
}

bool TLevelFeed::Take(std::int64_t row, std::vector<int>& pixels)
{
    std::unique_lock lock(Mutex);
    // Rows come in order: one past row means row itself will not come.
    Handed.wait(lock, [&] { return Closed || Ready.lower_bound(row) != Ready.end(); });
    const auto found = Ready.find(row);
    if (found == Ready.end())
        return false;
    pixels = std::move(found->second);
    Ready.erase(found);
    return true;
}

void TLevelFeed::Leave()
{
    std::lock_guard lock(Mutex);
    Left = true;
    Ready.clear();
}

}  // namespace tavrin
