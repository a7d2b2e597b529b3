#include "engines/imaging/TileGrid.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace tavrin {

namespace {

constexpr std::int64_t Int32Max = std::numeric_limits<std::int32_t>::max();
// An index beyond this many tiles (512 MB) is no page's.
constexpr std::uint64_t MaxTiles = std::uint64_t(1) << 26;

// Rounds to nearest with ties to even; false when the value is not a size.
bool RoundedSize(long double value, std::int64_t& size)
{
    if (!std::isfinite(value) || value < 0 || value > Int32Max)
        return false;
    size = static_cast<std::int64_t>(std::nearbyintl(value));
    return true;
}

}  // namespace

TTileGrid TTileGrid::For(std::uint32_t width, std::uint32_t height, std::uint32_t tileSize, double factor)
{
    TTileGrid grid;
    std::int64_t s = 0, dw = 0, dh = 0;
    if (!RoundedSize((1.0L / factor) * tileSize, s) || !RoundedSize(static_cast<long double>(width) * factor, dw) ||
        !RoundedSize(static_cast<long double>(height) * factor, dh))
        throw std::runtime_error("Zoom factor " + std::to_string(factor) + " gives no tile grid");
    const std::int64_t t = tileSize;
    const std::int64_t columns = dw / t + ((dw / t) * s < width ? 1 : 0);
    const std::int64_t rows = dh / t + ((dh / t) * s < height ? 1 : 0);
    if (columns * t > Int32Max || rows * t > Int32Max || columns * s > Int32Max || rows * s > Int32Max ||
        std::uint64_t(columns) * std::uint64_t(rows) > MaxTiles)
        throw std::runtime_error("Zoom factor " + std::to_string(factor) + " gives too many tiles");
    grid.T = tileSize;
    grid.S = static_cast<std::uint32_t>(s);
    grid.DW = static_cast<std::uint32_t>(dw);
    grid.DH = static_cast<std::uint32_t>(dh);
    grid.Columns = static_cast<std::uint32_t>(columns);
    grid.Rows = static_cast<std::uint32_t>(rows);
    grid.ODX = static_cast<std::int32_t>(columns * t - dw);
    grid.ODY = static_cast<std::int32_t>(rows * t - dh);
    grid.OSX = static_cast<std::int32_t>(columns * s - width);
    grid.OSY = static_cast<std::int32_t>(rows * s - height);
    return grid;
}

TCopyRectangle TTileGrid::Rectangle(std::uint32_t i, std::uint32_t j) const
{
    const int t = static_cast<int>(T), s = static_cast<int>(S);
    TCopyRectangle rect{0, 0, int(j) * s, int(i) * s - OSY, t, t, s, s};
    if (i == 0) {
        rect.SrcY = 0;
        rect.DstY = ODY;
        rect.DstH = t - ODY;
        rect.SrcH = s - OSY;
    }
    if (j + 1 == Columns) {
        rect.DstW = t - ODX;
        rect.SrcW = s - OSX;
    }
    if (i + 1 == Rows && i > 0) {
        rect.DstY = 0;
        rect.DstH = t;
        rect.SrcH = s;
    }
    return rect;
}

bool TTileGrid::OnBorder(std::uint32_t i, std::uint32_t j) const
{
    return i == 0 || j == 0 || i + 1 == Rows || j + 1 == Columns;
}

}  // namespace tavrin
