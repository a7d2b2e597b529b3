#include "engines/imaging/TileCutter.h"

#include "base/catalogue/OutputLayout.h"

#include "engines/imaging/AveragingPlan.h"
#include "engines/imaging/Replication.h"
#include "engines/imaging/RowWindow.h"
#include "engines/imaging/TileDB.h"
#include "engines/imaging/TileEncoder.h"
#include "engines/imaging/TileGrid.h"
#include "engines/imaging/WorkerPool.h"

#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

namespace tavrin {

namespace {

constexpr std::uint32_t TileBlockSize = 64;
// Strips decoded ahead of the cutting, on two threads of their own.
constexpr unsigned ReadAheadStrips = 3;
constexpr unsigned Decoders = 2;
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

// Steps 1, 2 and 4 of a tile: the image, white as its first colour, and
// white paint on the grid's border. A palette tile holds the master's colour
// table in index order, so that its pixels are the plate combination indices
// (the viewer shows separations from them); white is then paper's entry, or
// the entry nearest to white.
TTileImage BlankTile(std::uint32_t size, bool trueColor, bool border, const TMasterLayout& layout)
{
    const int side = static_cast<int>(size);
    gdImagePtr image = trueColor ? gdImageCreateTrueColor(side, side) : gdImageCreate(side, side);
    TTileImage tile(image, [](gdImagePtr created) {
        if (created)
            gdImageDestroy(created);
    });
    if (!tile)
        throw std::runtime_error("Could not create a tile image of " + std::to_string(size) + " pixels");
    if (!trueColor)
        AllocateColorTable(tile.get(), layout);
    const int white = gdImageColorResolve(tile.get(), 255, 255, 255);
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

// One zoom level cut in a single pass over the master. The calling thread
// reads the strips, draws its share of the averaged rows and stores the
// encoded tiles in grid order; the pool draws the rest and encodes.
class TLevelPass {
public:
    TLevelPass(tiff* master, const TTileGrid& grid, double factor, TTileDB& db,
               const std::function<void(int)>& onProgress, unsigned workers);
    void Run();

private:
    // A tile in work: the Index-th PNG of its group's job.
    struct TPendingTile {
        std::uint32_t GridRow = 0;
        std::uint32_t Column = 0;
        std::shared_ptr<std::vector<TTileEncoder::TBytes>> Pngs;
        std::uint32_t Index = 0;
        std::shared_future<void> Done;
    };

    void CutAveragedRow(std::uint32_t i);
    void CutReplicatedRow(std::uint32_t i);
    void DrawBand(const std::vector<std::optional<TAveragingPlan>>& plans, const std::vector<TTileImage>& tiles,
                  std::int32_t rowBegin, std::int32_t rowEnd);
    std::vector<TTileEncoder::TBytes>
    CopyReplicatedTiles(std::uint32_t i, std::uint32_t firstColumn, std::uint32_t count,
                        const std::vector<std::shared_ptr<const TMasterStrip>>& strips);
    void StoreGroup(std::uint32_t i, std::uint32_t firstColumn, std::uint32_t count,
                    std::function<std::vector<TTileEncoder::TBytes>()> make);
    void WriteFinished(std::size_t keep);

    tiff* const Master;
    const TTileGrid Grid;
    TTileDB& Database;
    const std::function<void(int)>& OnProgress;
    const unsigned Workers;
    const TMasterLayout Layout;
    const TMasterColors Colors;
    const bool Scaled;
    TTileEncoder Encoder;
    std::unique_ptr<TStripReader> Reader;
    std::unique_ptr<TRowWindow> Window;
    std::deque<TPendingTile> Pending;
    TWorkerPool Pool;  // last: its jobs use everything above
};

TLevelPass::TLevelPass(tiff* master, const TTileGrid& grid, double factor, TTileDB& db,
                       const std::function<void(int)>& onProgress, unsigned workers)
    : Master(master), Grid(grid), Database(db), OnProgress(onProgress), Workers(workers),
      Layout(TMasterLayout::Read(master)), Colors(Layout), Scaled(factor != 1.0), Pool(workers)
{
}

void TLevelPass::Run()
{
    // The common start of every tile's copy, checked once for the level.
    Layout.CheckCopyCanStart();
    Reader = std::make_unique<TStripReader>(Master, Layout, 0, Layout.StripCount - 1, Workers > 0 ? ReadAheadStrips : 0,
                                            Decoders);
    Window = std::make_unique<TRowWindow>(Layout, *Reader);
    for (std::uint32_t i = 0; i < Grid.Rows; ++i) {
        if (Scaled)
            CutAveragedRow(i);
        else
            CutReplicatedRow(i);
    }
    WriteFinished(0);
}

void TLevelPass::CutAveragedRow(std::uint32_t i)
{
    // 1. The row's tiles and the spans of their copies; every tile of a grid
    //    row shares its destination and source rows.
    std::vector<TTileImage> tiles;
    std::vector<std::optional<TAveragingPlan>> plans(Grid.Columns);
    const TAveragingPlan* rows = nullptr;
    for (std::uint32_t j = 0; j < Grid.Columns; ++j) {
        tiles.push_back(BlankTile(Grid.T, true, Grid.OnBorder(i, j), Layout));
        const TCopyRectangle rect = Grid.Rectangle(i, j);
        if (!Copied(rect))
            continue;
        plans[j].emplace(tiles.back().get(), rect, Layout.Width);
        if (plans[j]->Empty())
            plans[j].reset();
        else if (!rows)
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
            DrawBand(plans, tiles, r, end);
            r = end;
        }
    }
    // 3. Encode and store.
    for (std::uint32_t j = 0; j < Grid.Columns; ++j)
        StoreGroup(i, j, 1, [this, tile = std::move(tiles[j])] { return std::vector{Encoder.Encode(tile)}; });
}

void TLevelPass::DrawBand(const std::vector<std::optional<TAveragingPlan>>& plans, const std::vector<TTileImage>& tiles,
                          std::int32_t rowBegin, std::int32_t rowEnd)
{
    // Destination columns of all tiles of the row, dealt out in equal shares.
    struct TSegment {
        std::size_t Tile;
        std::int32_t Begin, End;
    };
    std::int64_t total = 0;
    for (const auto& plan : plans)
        if (plan)
            total += plan->EndColumn() - plan->FirstColumn();
    const std::int64_t shares = std::clamp<std::int64_t>(Workers + 1, 1, std::max<std::int64_t>(total / 8, 1));
    std::vector<std::vector<TSegment>> parts(static_cast<std::size_t>(shares));
    std::int64_t offset = 0;  // of the tile's first column among all
    for (std::size_t j = 0; j < plans.size(); ++j) {
        if (!plans[j])
            continue;
        const std::int32_t first = plans[j]->FirstColumn();
        const std::int64_t count = plans[j]->EndColumn() - first;
        for (std::int64_t p = 0; p < shares; ++p) {
            const std::int64_t low = std::max(offset, p * total / shares);
            const std::int64_t high = std::min(offset + count, (p + 1) * total / shares);
            if (low < high)
                parts[std::size_t(p)].push_back({j, first + static_cast<std::int32_t>(low - offset),
                                                 first + static_cast<std::int32_t>(high - offset)});
        }
        offset += count;
    }
    std::vector<std::function<void()>> jobs;
    for (const auto& segments : parts)
        jobs.push_back([&, segments] {
            for (const TSegment& segment : segments)
                plans[segment.Tile]->Draw(tiles[segment.Tile].get(), rowBegin, rowEnd, segment.Begin, segment.End,
                                          *Window, Colors);
        });
    Pool.RunAll(jobs);
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
        StoreGroup(i, j, count, [this, i, j, count, strips] { return CopyReplicatedTiles(i, j, count, *strips); });
    }
}

std::vector<TTileEncoder::TBytes>
TLevelPass::CopyReplicatedTiles(std::uint32_t i, std::uint32_t firstColumn, std::uint32_t count,
                                const std::vector<std::shared_ptr<const TMasterStrip>>& strips)
{
    std::vector<TTileImage> tiles;
    std::vector<std::optional<TReplication>> copies(count);
    TCopyRectangle rows{};  // every tile of a grid row reads the same source rows
    for (std::uint32_t c = 0; c < count; ++c) {
        const std::uint32_t j = firstColumn + c;
        tiles.push_back(BlankTile(Grid.T, false, Grid.OnBorder(i, j), Layout));
        const TCopyRectangle rect = Grid.Rectangle(i, j);
        if (!strips.empty() && Copied(rect)) {
            copies[c].emplace(tiles.back().get(), rect, Layout);
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
    std::vector<TTileEncoder::TBytes> encoded;
    for (const TTileImage& tile : tiles)
        encoded.push_back(Encoder.Encode(tile));
    return encoded;
}

void TLevelPass::StoreGroup(std::uint32_t i, std::uint32_t firstColumn, std::uint32_t count,
                            std::function<std::vector<TTileEncoder::TBytes>()> make)
{
    auto pngs = std::make_shared<std::vector<TTileEncoder::TBytes>>();
    std::shared_future<void> done = Pool.Submit([pngs, make = std::move(make)] { *pngs = make(); }).share();
    for (std::uint32_t c = 0; c < count; ++c)
        Pending.push_back({i, firstColumn + c, pngs, c, done});
    // Two grid rows in work keep both cores busy and the memory small.
    WriteFinished(2 * std::size_t(Grid.Columns) + 2 * ReplicatedGroup * Workers);
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
        TLevelPass(master, grid, factor, database, onProgress, workers).Run();
        database.Close();
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(part, ignored);
        throw;
    }
    CompleteUnfinished(fileName);
}

}  // namespace tavrin
