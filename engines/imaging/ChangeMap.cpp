#include "engines/imaging/ChangeMap.h"

#include "base/catalogue/OutputLayout.h"
#include "engines/imaging/PngWriter.h"
#include "engines/imaging/ResampleSpans.h"
#include "engines/imaging/TileDB.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace tavrin {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// libdeflate's strongest level: change tiles are few and mostly empty.
constexpr int ChangeTileLevel = 12;

// Sets bits from..to (both inside) of a row, the first pixel in the high bit.
void SetBits(std::uint8_t* row, std::uint32_t from, std::uint32_t to)
{
    std::uint32_t byte = from / 8;
    const std::uint32_t lastByte = to / 8;
    const std::uint8_t head = static_cast<std::uint8_t>(0xFFu >> (from % 8));
    const std::uint8_t tail = static_cast<std::uint8_t>(0xFFu << (7 - to % 8));
    if (byte == lastByte) {
        row[byte] |= head & tail;
        return;
    }
    row[byte++] |= head;
    if (byte < lastByte)
        std::memset(row + byte, 0xFF, lastByte - byte);
    row[lastByte] |= tail;
}

// Step 8 of a proof tile: a copy with a side of 0 draws nothing.
bool CopiesRows(const TCopyRectangle& rect)
{
    return rect.DstH > 0 && rect.SrcH > 0 && SourceSizeAccepted(rect);
}

bool CopiesColumns(const TCopyRectangle& rect)
{
    return rect.DstW > 0 && rect.SrcW > 0 && SourceSizeAccepted(rect);
}

}  // namespace

std::string ChangeMapDatabaseName(int level, int page)
{
    return "change" + std::to_string(level) + PageNumberText(page) + ".tdb";
}

bool IsChangeMapDatabaseName(const std::string& name)
{
    // "change" digit "-" four digits or more ".tdb"
    const std::string prefix = "change", suffix = ".tdb";
    const std::size_t digitsAt = prefix.size() + 2;
    if (name.size() < digitsAt + 4 + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        !IsDigit(name[prefix.size()]) || name[prefix.size() + 1] != '-' ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const auto first = name.begin() + static_cast<std::ptrdiff_t>(digitsAt);
    const auto last = name.end() - static_cast<std::ptrdiff_t>(suffix.size());
    return std::all_of(first, last, IsDigit);
}

std::vector<std::uint8_t> ChangeTilePng(const std::uint8_t* bits, std::uint32_t side, std::size_t stride)
{
    static const TPngWriter writer(ChangeTileLevel);
    const TPngPalette palette{{0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF}, {0x00}};
    return writer.WritePalette(side, side, 1, bits, stride, palette);
}

TChangeMapWriter::TChangeMapWriter(std::vector<TPyramidLevel> levels, std::function<void(int)> onProgress,
                                   std::uint32_t tileSize)
    : Orders(std::move(levels)), OnProgress(std::move(onProgress)), TileSize(tileSize), Stride((tileSize + 7) / 8)
{
}

TChangeMapWriter::~TChangeMapWriter()
{
    if (!Finished)
        RemoveFiles();
}

void TChangeMapWriter::Begin(std::uint32_t width, std::uint32_t height)
{
    RemoveFiles();
    Levels.clear();
    Finished = false;
    WrittenBytes = 0;
    if (OnProgress)
        OnProgress(0);
    const std::int64_t lastRow = std::int64_t(height) - 1, lastColumn = std::int64_t(width) - 1;
    for (const TPyramidLevel& order : Orders) {
        // The pyramid writes no level for such a factor.
        if (!(order.Factor > 0) || !std::isfinite(order.Factor))
            continue;
        TLevel& level = Levels.emplace_back();
        level.Order = order;
        level.Grid = TTileGrid::For(width, height, TileSize, order.Factor);
        const TTileGrid& grid = level.Grid;
        // The proof's copies, as its tiles take them (TTileGrid::Rectangle):
        // every tile of a grid row reads the same master rows, every tile of
        // a column the same master columns, each destination pixel the
        // positions the averaging spans give, which never leave the master.
        level.GridRowEnd.assign(grid.Rows, -1);
        for (std::uint32_t i = 0; i < grid.Rows; ++i) {
            const TCopyRectangle rect = grid.Rectangle(i, 0);
            if (!CopiesRows(rect))
                continue;
            const auto spans = ResampleSpans(rect.SrcY, rect.SrcH, rect.DstH, 0, rect.DstH);
            for (std::int32_t r = 0; r < rect.DstH; ++r) {
                const TResampleSpan& span = spans[std::size_t(r)];
                const std::int64_t first = std::clamp<std::int64_t>(span.First, 0, lastRow);
                const std::int64_t last = std::clamp<std::int64_t>(span.First + span.Count - 1, 0, lastRow);
                level.Rows.push_back({i * TileSize + std::uint32_t(rect.DstY + r), first, last});
                level.GridRowEnd[i] = std::max(level.GridRowEnd[i], last);
            }
        }
        for (std::uint32_t j = 0; j < grid.Columns; ++j) {
            const TCopyRectangle rect = grid.Rectangle(0, j);
            if (!CopiesColumns(rect))
                continue;
            const auto spans = ResampleSpans(rect.SrcX, rect.SrcW, rect.DstW, 0, rect.DstW);
            for (std::int32_t c = 0; c < rect.DstW; ++c) {
                const TResampleSpan& span = spans[std::size_t(c)];
                level.Columns.push_back({j * TileSize + std::uint32_t(rect.DstX + c),
                                         std::clamp<std::int64_t>(span.First, 0, lastColumn),
                                         std::clamp<std::int64_t>(span.First + span.Count - 1, 0, lastColumn)});
            }
        }
    }
}

void TChangeMapWriter::Changed(std::uint32_t y, const std::uint8_t* changed, std::uint32_t first, std::uint32_t last)
{
    // The row's runs of changed pixels, found once for every level.
    Runs.clear();
    for (std::uint32_t x = first; x <= last;) {
        if (!changed[x]) {
            ++x;
            continue;
        }
        const std::uint32_t start = x;
        while (x <= last && changed[x])
            ++x;
        Runs.emplace_back(start, x - 1);
    }
    for (TLevel& level : Levels) {
        // Grid rows that read no row from here on are complete.
        std::uint32_t complete = level.Written;
        while (complete < level.Grid.Rows && level.GridRowEnd[complete] < std::int64_t(y))
            ++complete;
        WriteGridRows(level, complete);

        while (level.NextRow < level.Rows.size() && level.Rows[level.NextRow].Last < std::int64_t(y))
            ++level.NextRow;
        if (level.NextRow == level.Rows.size() || level.Rows[level.NextRow].First > std::int64_t(y))
            continue;

        // The level's columns that read a changed pixel of the row, as ranges
        // of Columns; both the runs and the columns' spans ascend.
        Ranges.clear();
        std::size_t column = 0;
        for (const auto& [runStart, runEnd] : Runs) {
            while (column < level.Columns.size() && level.Columns[column].Last < runStart)
                ++column;
            std::size_t end = column;
            while (end < level.Columns.size() && level.Columns[end].First <= runEnd)
                ++end;
            if (end == column)
                continue;
            if (!Ranges.empty() && Ranges.back().second >= column)
                Ranges.back().second = std::max(Ranges.back().second, end);
            else
                Ranges.emplace_back(column, end);
            // The run's last column may read the next run too.
            column = end - 1;
        }
        if (Ranges.empty())
            continue;

        for (std::size_t row = level.NextRow; row < level.Rows.size() && level.Rows[row].First <= std::int64_t(y);
             ++row) {
            const std::uint32_t gridRow = level.Rows[row].Index / TileSize;
            const std::uint32_t tileRow = level.Rows[row].Index % TileSize;
            TBand& band = level.Bands[gridRow];
            if (band.Bits.empty()) {
                band.Bits.assign(std::size_t(level.Grid.Columns) * TileSize * Stride, 0);
                band.Marked.assign(level.Grid.Columns, false);
            }
            for (const auto& [begin, end] : Ranges) {
                // Pieces of consecutive pixels within one tile.
                for (std::size_t k = begin; k < end;) {
                    const std::uint32_t from = level.Columns[k].Index;
                    const std::uint32_t tile = from / TileSize;
                    std::size_t next = k + 1;
                    while (next < end && level.Columns[next].Index == level.Columns[next - 1].Index + 1 &&
                           level.Columns[next].Index / TileSize == tile)
                        ++next;
                    const std::uint32_t to = level.Columns[next - 1].Index;
                    SetBits(band.Bits.data() + (std::size_t(tile) * TileSize + tileRow) * Stride, from % TileSize,
                            to % TileSize);
                    band.Marked[tile] = true;
                    k = next;
                }
            }
        }
    }
}

void TChangeMapWriter::Compared(std::uint32_t rows, std::uint32_t height)
{
    if (OnProgress && height > 0)
        OnProgress(static_cast<int>(std::uint64_t(rows) * 100 / height));
}

void TChangeMapWriter::OpenDatabase(TLevel& level)
{
    if (!level.Database)
        level.Database =
            std::make_unique<TTileDB>(UnfinishedName(level.Order.FileName), level.Grid.Columns, level.Grid.Rows);
}

void TChangeMapWriter::WriteGridRows(TLevel& level, std::uint32_t end)
{
    for (; level.Written < end; ++level.Written) {
        const auto band = level.Bands.find(level.Written);
        if (band == level.Bands.end())
            continue;
        OpenDatabase(level);
        for (std::uint32_t j = 0; j < level.Grid.Columns; ++j) {
            if (!band->second.Marked[j])
                continue;
            const std::vector<std::uint8_t> png =
                ChangeTilePng(band->second.Bits.data() + std::size_t(j) * TileSize * Stride, TileSize, Stride);
            // Grid rows count from the top, database rows from the bottom.
            level.Database->AddTile(j, level.Grid.Rows - 1 - level.Written, png.data(),
                                    static_cast<std::uint32_t>(png.size()));
            WrittenBytes += png.size();
        }
        level.Bands.erase(band);
    }
}

void TChangeMapWriter::Finish()
{
    try {
        for (TLevel& level : Levels) {
            WriteGridRows(level, level.Grid.Rows);
            OpenDatabase(level);
            level.Database->Close();
        }
        for (TLevel& level : Levels)
            CompleteUnfinished(level.Order.FileName);
        Finished = true;
    } catch (...) {
        // Some levels may have their names already.
        Finished = true;
        RemoveFiles();
        Finished = false;
        throw;
    }
}

void TChangeMapWriter::Discard()
{
    RemoveFiles();
    Finished = false;
}

void TChangeMapWriter::RemoveFiles()
{
    std::error_code ignored;
    for (TLevel& level : Levels)
        level.Database.reset();
    for (const TPyramidLevel& order : Orders) {
        std::filesystem::remove(UnfinishedName(order.FileName), ignored);
        if (Finished)
            std::filesystem::remove(order.FileName, ignored);
    }
}

}  // namespace tavrin
