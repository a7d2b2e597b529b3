#include "engines/imaging/LevelPass.h"

#include "engines/imaging/LevelFeed.h"
#include "engines/imaging/Replication.h"
#include "engines/imaging/TileDB.h"

#include <algorithm>
#include <chrono>
#include <numeric>
#include <stdexcept>

namespace tavrin {

// The steps of one tile, which the functions below cite by number. However
// the pass shares the work out, every tile comes out as these steps make it:
//  1. The image: true colour when the level is scaled, a palette image when
//     its factor is exactly 1.
//  2. White, resolved first: in a palette tile it is entry 0.
//  3. The copy rectangle starts as the whole source tile (S x S master
//     pixels from column j x S, row i x S - OSY) into the whole tile (T x T).
//  4. A tile on the grid's border (top or bottom row, first or last column)
//     is painted white all over.
//  5. to 7. The top row, the last column, and the bottom row of a grid of
//     two rows or more cut the rectangle by the overhangs
//     (TTileGrid::Rectangle).
//  8. Unless a side of the rectangle is 0, the master is copied in: averaged
//     on a scaled level, replicated on a level of factor 1.
//  9. The tile is encoded as PNG and stored at column j, database row
//     Rows - 1 - i.
// 10. After the last tile of grid row i, the progress of the row is reported.

namespace {

// Palette tiles copied and encoded by one job.
constexpr std::uint32_t ReplicatedGroup = 8;

// (i + 1) x 100 / rows rounded to nearest, ties to even, in exact integers.
int RowProgress(std::uint32_t i, std::uint32_t rows)
{
    const std::uint64_t scaled = std::uint64_t(i + 1) * 100;
    std::uint64_t quotient = scaled / rows;
    const std::uint64_t twice = 2 * (scaled % rows);
    if (twice > rows || (twice == rows && quotient % 2 == 1))
        ++quotient;
    return static_cast<int>(quotient);
}

using TTileImage = TTileEncoder::TTile;

// Levels of at most this many tiles try a row filter on their tiles.
constexpr std::uint64_t FilterTriedTiles = 32;

// Plate combination index of the border's white: no plate inked.
constexpr std::uint8_t BorderIndex = 255;

// Steps 1, 2 and 4 of a tile: the image, white as its first colour, and
// white paint on the grid's border. A palette tile's record then holds
// that first entry's index.
TTileImage BlankTile(std::uint32_t size, bool trueColor, bool border, TPaletteIndices* indices = nullptr)
{
    const int side = static_cast<int>(size);
    gdImagePtr image = trueColor ? gdImageCreateTrueColor(side, side) : gdImageCreate(side, side);
    TTileImage tile(image, [](gdImagePtr created) {
        if (created)
            gdImageDestroy(created);
    });
    if (!tile)
        throw std::runtime_error("Could not create a tile image of " + std::to_string(size) + " pixels");
    const int white = gdImageColorResolve(tile.get(), 255, 255, 255);
    if (indices)
        indices->assign(1, BorderIndex);  // white is entry 0 of an empty palette
    if (!border)
        return tile;
    // What gdImageFilledRectangle over the whole tile sets (an opaque colour
    // replaces what it covers), without its call per pixel.
    for (int y = 0; y < side; ++y) {
        if (trueColor)
            std::fill_n(tile->tpixels[y], side, white);
        else
            std::fill_n(tile->pixels[y], side, static_cast<unsigned char>(white));
    }
    return tile;
}

// Asks the processor to fetch a cache line that will be read soon.
void PrefetchForReading(const void* address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address, 0, 1);
#else
    (void)address;
#endif
}

// Step 8: a rectangle with a side of 0 is not copied.
bool Copied(const TCopyRectangle& rect)
{
    return rect.DstW != 0 && rect.DstH != 0 && rect.SrcW != 0 && rect.SrcH != 0 && SourceSizeAccepted(rect);
}

}  // namespace

TLevelPass::TLevelPass(const TMasterLayout& layout, const TTileGrid& grid, double factor, TTileDB& db,
                       std::function<void(int)> onProgress, unsigned workers, std::uint32_t rowsInWork)
    : Grid(grid), Database(db), OnProgress(std::move(onProgress)), Workers(workers), RowsInWork(rowsInWork),
      Layout(layout), Colors(Layout), Scaled(factor != 1.0),
      // The levels a first view fetches whole.
      Encoder(std::uint64_t(grid.Columns) * grid.Rows <= FilterTriedTiles), Pool(workers)
{
}

bool TLevelPass::Feed(const std::vector<TLevelFeed*>& feeds)
{
    std::uint32_t align = 1, largest = 1;
    for (const TLevelFeed* feed : feeds) {
        align = std::lcm(align, feed->Multiple());
        largest = std::max(largest, feed->Multiple());
    }
    if (!Scaled || feeds.empty() || Grid.T % align != 0)
        return false;
    Exact = TExactAveraging::For(Grid.S, Grid.T, largest);
    if (!Exact)
        return false;
    Exact->SetColors(Layout);
    Feeds = feeds;
    ExactAlign = align;
    ExactNextRow = Grid.T;
    return true;
}

void TLevelPass::StopFeeding()
{
    for (TLevelFeed* feed : Feeds)
        feed->Close();
    Feeds.clear();
    if (Source)
        Source->Leave();
    Source = nullptr;
}

void TLevelPass::Run(TStripSource& strips)
{
    // Coarser levels wait for this one's rows: they must learn of its end, however it ends.
    struct TFeedsStop {
        TLevelPass& Pass;
        ~TFeedsStop() { Pass.StopFeeding(); }
    } stop{*this};
    // The common start of every tile's copy, checked once for the level.
    Layout.CheckCopyCanStart();
    Window = std::make_unique<TRowWindow>(Layout, strips);
    for (std::uint32_t i = 0; i < Grid.Rows; ++i) {
        if (Scaled)
            CutAveragedRow(i);
        else
            CutReplicatedRow(i);
    }
    StopFeeding();
    WriteFinished(0);
}

// Inner tiles (not in the top row nor the last column) share one scale; a
// tile without a copy is left blank.
TLevelPass::TDrawing TLevelPass::DrawingOf(std::uint32_t i, std::uint32_t j) const
{
    if (!Copied(Grid.Rectangle(i, j)))
        return TDrawing::None;
    const bool inner = i > 0 && j + 1 < Grid.Columns;
    if (inner && Exact)
        return TDrawing::Exact;
    if (inner && Source && Source->Inner(std::int64_t(i) * Grid.T))
        return TDrawing::Fed;
    return TDrawing::Plan;
}

void TLevelPass::CutAveragedRow(std::uint32_t i)
{
    // 1. The row's tiles and the spans of their copies; every tile of a grid
    //    row shares its destination and source rows.
    std::vector<TTileImage> tiles;
    std::vector<std::optional<TAveragingPlan>> plans(Grid.Columns);
    std::vector<TDrawing> drawing(Grid.Columns);
    const TAveragingPlan* rows = nullptr;
    for (std::uint32_t j = 0; j < Grid.Columns; ++j) {
        tiles.push_back(BlankTile(Grid.T, true, Grid.OnBorder(i, j)));
        drawing[j] = DrawingOf(i, j);
        if (drawing[j] == TDrawing::None)
            continue;
        plans[j].emplace(tiles.back().get(), Grid.Rectangle(i, j), Layout.Width);
        if (plans[j]->Empty()) {
            plans[j].reset();
            drawing[j] = TDrawing::None;
        } else if (!rows)
            rows = &*plans[j];
    }
    // 2. Draw band by band, each band the rows the strips read so far serve.
    if (rows && Window->Read(rows->FirstSourceRow(rows->FirstRow()))) {
        for (std::int32_t r = rows->FirstRow(); r < rows->EndRow();) {
            Window->Reach(rows->LastSourceRow(r));
            Window->Forget(rows->FirstSourceRow(r));
            std::int32_t end = r + 1;
            while (end < rows->EndRow() && Layout.ClampRow(rows->LastSourceRow(end)) <= Window->LastRow())
                ++end;
            DrawBand(plans, tiles, drawing, i, r, end);
            // The band's rows are read: the finer level can give their pixels.
            TakeFedRows(plans, tiles, drawing, i, r, end);
            r = end;
        }
    }
    // 3. Encode and store.
    for (std::uint32_t j = 0; j < Grid.Columns; ++j)
        StoreGroup(i, j, 1, [this, tile = std::move(tiles[j])] { return std::vector{Encoder.Encode(tile)}; });
}

void TLevelPass::DrawBand(const std::vector<std::optional<TAveragingPlan>>& plans, const std::vector<TTileImage>& tiles,
                          const std::vector<TDrawing>& drawing, std::uint32_t i, std::int32_t rowBegin,
                          std::int32_t rowEnd)
{
    // The feeds take inner rows in order, without a gap.
    const bool exact = std::find(drawing.begin(), drawing.end(), TDrawing::Exact) != drawing.end();
    const std::int64_t firstRow = std::int64_t(i) * Grid.T + rowBegin, endRow = std::int64_t(i) * Grid.T + rowEnd;
    if (exact && firstRow != ExactNextRow) {
        for (TLevelFeed* feed : Feeds)
            feed->Close();
        Feeds.clear();
    }
    for (TLevelFeed* feed : Feeds)
        feed->Prepare(firstRow, endRow);
    // Destination columns of the tiles drawn here, dealt out in equal
    // shares; a share of exactly summed tiles starts on a column the feeds
    // add from, so that no two shares add to one coarser pixel.
    struct TSegment {
        std::size_t Tile;
        std::int32_t Begin, End;
    };
    const auto drawnHere = [&](std::size_t j) { return drawing[j] == TDrawing::Plan || drawing[j] == TDrawing::Exact; };
    std::int64_t total = 0;
    for (std::size_t j = 0; j < plans.size(); ++j)
        if (drawnHere(j))
            total += plans[j]->EndColumn() - plans[j]->FirstColumn();
    const std::int64_t shares = std::clamp<std::int64_t>(Workers + 1, 1, std::max<std::int64_t>(total / 8, 1));
    std::vector<std::vector<TSegment>> parts(static_cast<std::size_t>(shares));
    std::int64_t offset = 0;  // of the tile's first column among all
    for (std::size_t j = 0; j < plans.size(); ++j) {
        if (!drawnHere(j))
            continue;
        const std::int32_t first = plans[j]->FirstColumn();
        const std::int64_t count = plans[j]->EndColumn() - first;
        const std::int64_t align = drawing[j] == TDrawing::Exact ? ExactAlign : 1;
        const auto boundary = [&](std::int64_t column) { return offset + (column - offset) / align * align; };
        for (std::int64_t p = 0; p < shares; ++p) {
            const std::int64_t low = std::max(offset, boundary(p * total / shares));
            const std::int64_t high =
                p + 1 == shares ? offset + count : std::min(offset + count, boundary((p + 1) * total / shares));
            if (low < high)
                parts[std::size_t(p)].push_back({j, first + static_cast<std::int32_t>(low - offset),
                                                 first + static_cast<std::int32_t>(high - offset)});
        }
        offset += count;
    }
    std::vector<std::function<void()>> jobs;
    for (const auto& segments : parts)
        jobs.push_back([&, segments] {
            for (const TSegment& segment : segments) {
                if (drawing[segment.Tile] == TDrawing::Exact)
                    DrawExact(tiles[segment.Tile], i, static_cast<std::uint32_t>(segment.Tile), rowBegin, rowEnd,
                              static_cast<std::uint32_t>(segment.Begin), static_cast<std::uint32_t>(segment.End));
                else
                    plans[segment.Tile]->Draw(tiles[segment.Tile].get(), rowBegin, rowEnd, segment.Begin, segment.End,
                                              *Window, Colors);
            }
        });
    Pool.RunAll(jobs);
    if (exact && !Feeds.empty()) {
        for (TLevelFeed* feed : Feeds)
            feed->Complete(endRow);
        ExactNextRow = endRow;
    }
}

// Draws columns [begin, end) of rows [rowBegin, rowEnd) of an inner tile
// from exact sums, and adds the sums to the feeds.
void TLevelPass::DrawExact(const TTileImage& tile, std::uint32_t i, std::uint32_t j, std::int32_t rowBegin,
                           std::int32_t rowEnd, std::uint32_t begin, std::uint32_t end) const
{
    const TCopyRectangle rect = Grid.Rectangle(i, j);
    std::vector<TExactSums> sums(end - begin);
    std::vector<const std::uint8_t*> lines;
    for (std::int32_t r = rowBegin; r < rowEnd; ++r) {
        const TExactAveraging::TSpan& span = Exact->Span(static_cast<std::uint32_t>(r));
        lines.resize(static_cast<std::size_t>(span.Count));
        for (std::int32_t k = 0; k < span.Count; ++k)
            lines[std::size_t(k)] = Window->Line(rect.SrcY + span.First + k);
        Exact->SumRow(lines.data(), static_cast<std::uint32_t>(r), rect.SrcX, begin, end, sums.data());
        int* out = tile->tpixels[r];
        for (std::uint32_t x = begin; x < end; ++x)
            out[x] = ExactPixelValue(sums[x - begin]);
        for (TLevelFeed* feed : Feeds)
            feed->Add(std::int64_t(i) * Grid.T + r, j * Grid.T + begin, end - begin, sums.data());
    }
}

// Copies the finer level's pixels into the band's inner tiles; once the
// feed gives no more, they are averaged here from the strips, which still
// hold the band's rows.
void TLevelPass::TakeFedRows(const std::vector<std::optional<TAveragingPlan>>& plans,
                             const std::vector<TTileImage>& tiles, std::vector<TDrawing>& drawing, std::uint32_t i,
                             std::int32_t rowBegin, std::int32_t rowEnd)
{
    if (std::find(drawing.begin(), drawing.end(), TDrawing::Fed) == drawing.end())
        return;
    std::vector<int> pixels;
    for (std::int32_t r = rowBegin; r < rowEnd; ++r) {
        if (!Source || !Source->Take(std::int64_t(i) * Grid.T + r, pixels)) {
            if (Source)
                Source->Leave();
            Source = nullptr;
            std::vector<TDrawing> rest(drawing.size(), TDrawing::None);
            for (std::size_t j = 0; j < drawing.size(); ++j)
                if (drawing[j] == TDrawing::Fed)
                    drawing[j] = rest[j] = TDrawing::Plan;
            DrawBand(plans, tiles, rest, i, r, rowEnd);
            return;
        }
        for (std::uint32_t j = 0; j + 1 < Grid.Columns; ++j)
            if (drawing[j] == TDrawing::Fed)
                std::copy_n(pixels.begin() + std::ptrdiff_t(j) * Grid.T, Grid.T, tiles[j]->tpixels[r]);
    }
}

void TLevelPass::CutReplicatedRow(std::uint32_t i)
{
    // 1. The strips of the row's source rows go with its tiles' jobs.
    const TCopyRectangle first = Grid.Rectangle(i, 0);
    auto strips = std::make_shared<std::vector<std::shared_ptr<const TMasterStrip>>>();
    if (first.SrcH > 0 && Window->Read(first.SrcY)) {
        const std::int64_t lastRow = std::int64_t(first.SrcY) + first.SrcH - 1;
        Window->Reach(lastRow);
        for (std::uint32_t s = Layout.StripOfRow(first.SrcY); s <= Layout.StripOfRow(lastRow); ++s)
            if (const auto* strip = Window->StripOf(std::int64_t(s) * Layout.RowsPerStrip))
                strips->push_back(*strip);
    }
    // 2. Tiles in groups, each group's rows copied from left to right across
    //    its tiles, so that the master's lines are read in order.
    for (std::uint32_t j = 0; j < Grid.Columns; j += ReplicatedGroup) {
        const std::uint32_t count = std::min(ReplicatedGroup, Grid.Columns - j);
        StoreGroup(i, j, count,
                   [this, i, j, count, strips]() mutable { return CopyReplicatedTiles(i, j, count, strips); });
    }
}

std::vector<TTileEncoder::TBytes>
TLevelPass::CopyReplicatedTiles(std::uint32_t i, std::uint32_t firstColumn, std::uint32_t count,
                                std::shared_ptr<std::vector<std::shared_ptr<const TMasterStrip>>>& rowStrips)
{
    const std::vector<std::shared_ptr<const TMasterStrip>>& strips = *rowStrips;
    std::vector<TTileImage> tiles;
    std::vector<TPaletteIndices> indices(count);
    std::vector<std::optional<TReplication>> copies(count);
    TCopyRectangle rows{};  // every tile of a grid row reads the same source rows
    for (std::uint32_t c = 0; c < count; ++c) {
        const std::uint32_t j = firstColumn + c;
        tiles.push_back(BlankTile(Grid.T, false, Grid.OnBorder(i, j), &indices[c]));
        const TCopyRectangle rect = Grid.Rectangle(i, j);
        if (!strips.empty() && Copied(rect)) {
            copies[c].emplace(tiles.back().get(), rect, Layout, &indices[c]);
            rows = rect;
        }
    }
    // A strip that could not be read ends every copy at its first row.
    const std::uint32_t firstStrip = strips.empty() ? 0 : strips.front()->Number;
    const auto lineOf = [&](std::int64_t row) -> const std::uint8_t* {
        const std::size_t index = Layout.StripOfRow(row) - firstStrip;
        if (index >= strips.size() || strips[index]->Failed)
            return nullptr;
        return strips[index]->Pixels.get() + std::size_t(Layout.ClampRow(row) % Layout.RowsPerStrip) * Layout.LineBytes;
    };
    // The group's part of each line, fetched a few lines ahead.
    const std::size_t from = std::min<std::size_t>(std::size_t(firstColumn) * Grid.S, Layout.Width);
    const std::size_t to = std::min<std::size_t>(std::size_t(firstColumn + count) * Grid.S, Layout.Width);
    constexpr std::int32_t ahead = 4;
    for (std::int32_t y = 0; y < rows.SrcH; ++y) {
        const std::uint8_t* line = lineOf(std::int64_t(rows.SrcY) + y);
        if (!line)
            break;
        if (y + ahead < rows.SrcH)
            if (const std::uint8_t* later = lineOf(std::int64_t(rows.SrcY) + y + ahead))
                for (std::size_t at = from; at < to; at += 64)
                    PrefetchForReading(later + at);
        for (auto& copy : copies)
            if (copy)
                copy->Row(y, line);
    }
    // The strips go back as soon as the row's groups are copied, not once they are encoded.
    rowStrips.reset();
    std::vector<TTileEncoder::TBytes> encoded;
    for (std::uint32_t c = 0; c < count; ++c)
        encoded.push_back(Encoder.Encode(tiles[c], indices[c]));
    return encoded;
}

void TLevelPass::StoreGroup(std::uint32_t i, std::uint32_t firstColumn, std::uint32_t count,
                            std::function<std::vector<TTileEncoder::TBytes>()> make)
{
    auto pngs = std::make_shared<std::vector<TTileEncoder::TBytes>>();
    std::shared_future<void> done = Pool.Submit([pngs, make = std::move(make)] { *pngs = make(); }).share();
    for (std::uint32_t c = 0; c < count; ++c)
        Pending.push_back({i, firstColumn + c, pngs, c, done});
    WriteFinished(RowsInWork * std::size_t(Grid.Columns) + 2 * ReplicatedGroup * Workers);
}

// Stores the finished tiles at the front in grid order, and waits for the
// oldest while more than keep are in work.
void TLevelPass::WriteFinished(std::size_t keep)
{
    while (!Pending.empty()) {
        TPendingTile& tile = Pending.front();
        if (Pending.size() <= keep && tile.Done.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        Pool.WaitHelping(tile.Done);
        tile.Done.get();
        const std::vector<std::uint8_t>& png = *(*tile.Pngs)[tile.Index];
        Database.AddTile(tile.Column, Grid.Rows - 1 - tile.GridRow, png.data(), static_cast<std::uint32_t>(png.size()));
        if (tile.Column + 1 == Grid.Columns && OnProgress)
            OnProgress(RowProgress(tile.GridRow, Grid.Rows));
        Pending.pop_front();
    }
}

}  // namespace tavrin
