#include "engines/imaging/TileEncoder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tavrin {

namespace {

// Tiles kept to recognise their copies; those reused least go first.
constexpr std::size_t KeptTiles = 16;

std::uint64_t Mix(std::uint64_t hash, std::uint64_t value)
{
    hash ^= value;
    hash *= 0x9E3779B97F4A7C15ull;
    return hash ^ (hash >> 29);
}

// Four independent lanes over 32-byte blocks keep the processor busy.
std::uint64_t MixBytes(std::uint64_t hash, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint64_t lanes[4] = {hash, hash + 1, hash + 2, hash + 3};
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32)
        for (int lane = 0; lane < 4; ++lane) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i + 8 * lane, 8);
            lanes[lane] = (lanes[lane] ^ word) * 0x9E3779B97F4A7C15ull;
        }
    for (; i < size; ++i)
        lanes[0] = Mix(lanes[0], bytes[i]);
    for (int lane = 0; lane < 4; ++lane)
        hash = Mix(hash, lanes[lane]);
    return hash;
}

std::size_t RowBytes(gdImagePtr tile)
{
    return std::size_t(tile->sx) * (tile->trueColor ? sizeof(int) : 1);
}

const void* Row(gdImagePtr tile, int y)
{
    return tile->trueColor ? static_cast<const void*>(tile->tpixels[y]) : tile->pixels[y];
}

// Everything of an image that its PNG encoding depends on.
std::uint64_t HashOf(gdImagePtr tile)
{
    std::uint64_t hash = 0;
    for (int value : {tile->trueColor, tile->sx, tile->sy, tile->interlace, tile->transparent, tile->saveAlphaFlag,
                      int(tile->res_x), int(tile->res_y), tile->colorsTotal})
        hash = Mix(hash, static_cast<std::uint32_t>(value));
    if (!tile->trueColor)
        for (int i = 0; i < tile->colorsTotal; ++i)
            for (int value : {tile->red[i], tile->green[i], tile->blue[i], tile->alpha[i], tile->open[i]})
                hash = Mix(hash, static_cast<std::uint32_t>(value));
    for (int y = 0; y < tile->sy; ++y)
        hash = MixBytes(hash, Row(tile, y), RowBytes(tile));
    return hash;
}

bool SameImage(gdImagePtr a, gdImagePtr b)
{
    if (a->trueColor != b->trueColor || a->sx != b->sx || a->sy != b->sy || a->interlace != b->interlace ||
        a->transparent != b->transparent || a->saveAlphaFlag != b->saveAlphaFlag || a->res_x != b->res_x ||
        a->res_y != b->res_y || a->colorsTotal != b->colorsTotal)
        return false;
    if (!a->trueColor)
        for (int i = 0; i < a->colorsTotal; ++i)
            if (a->red[i] != b->red[i] || a->green[i] != b->green[i] || a->blue[i] != b->blue[i] ||
                a->alpha[i] != b->alpha[i] || a->open[i] != b->open[i])
                return false;
    for (int y = 0; y < a->sy; ++y)
        if (std::memcmp(Row(a, y), Row(b, y), RowBytes(a)) != 0)
            return false;
    return true;
}

}  // namespace

TTileEncoder::TTileEncoder(bool tryFilters) : TryFilters(tryFilters) {}

TTileEncoder::TBytes TTileEncoder::Encode(const TTile& tile, const TPaletteIndices& indices)
{
    const std::uint64_t hash = MixBytes(Mix(HashOf(tile.get()), indices.size()), indices.data(), indices.size());
    if (TBytes png = Find(hash, tile.get(), indices))
        return png;
    std::vector<std::uint8_t> bytes = Writer.Write(tile.get(), indices);
    if (TryFilters && tile->trueColor) {
        std::vector<std::uint8_t> filtered = FilteringWriter.Write(tile.get(), indices);
        if (filtered.size() < bytes.size())
            bytes.swap(filtered);
    }
    auto png = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    Remember(hash, tile, indices, png);
    return png;
}

std::uint64_t TTileEncoder::Reused() const
{
    std::lock_guard lock(Mutex);
    return ReusedCount;
}

TTileEncoder::TBytes TTileEncoder::Find(std::uint64_t hash, gdImagePtr tile, const TPaletteIndices& indices)
{
    std::lock_guard lock(Mutex);
    for (TEntry& entry : Entries)
        if (entry.Hash == hash && entry.Indices == indices && SameImage(entry.Tile.get(), tile)) {
            ++entry.Hits;
            ++ReusedCount;
            return entry.Png;
        }
    return nullptr;
}

void TTileEncoder::Remember(std::uint64_t hash, const TTile& tile, const TPaletteIndices& indices, const TBytes& png)
{
    std::lock_guard lock(Mutex);
    // Another thread may have just encoded the same tile.
    const bool known = std::any_of(Entries.begin(), Entries.end(), [&](const TEntry& entry) {
        return entry.Hash == hash && entry.Indices == indices && SameImage(entry.Tile.get(), tile.get());
    });
    if (known)
        return;
    if (Entries.size() >= KeptTiles) {
        auto least = std::min_element(Entries.begin(), Entries.end(),
                                      [](const TEntry& a, const TEntry& b) { return a.Hits < b.Hits; });
        Entries.erase(least);
    }
    Entries.push_back({hash, tile, indices, png, 0});
}

}  // namespace tavrin
