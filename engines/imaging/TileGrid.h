#pragma once

#include "engines/imaging/CopyRectangle.h"

#include <cstdint>

namespace tavrin {

// Pixels on each side of every tile of the web proof. The tile databases on
// the web host, the viewer's script and the viewer page's fixed lines (whose
// offsets of 288 are half the 576 pixels that level 0 fits the page into)
// all count on it: it is not a setting.
inline constexpr std::uint32_t TileSide = 288;

// The tile grid of one zoom level of a master of Width x Height pixels at
// factor F, anchored at the page's bottom-left corner: S, the source tile
// size, is T / F rounded to nearest (ties to even, computed as (1 / F) x T
// in extended precision); DW and DH are Width x F and Height x F rounded the
// same way; Columns := DW div T, plus 1 if (DW div T) x S < Width, and Rows
// likewise; the overhangs ODX := Columns x T - DW, ODY := Rows x T - DH (tile
// pixels), OSX := Columns x S - Width, OSY := Rows x S - Height (master
// pixels).
struct TTileGrid {
    std::uint32_t T = 0;
    std::uint32_t S = 0;
    std::uint32_t DW = 0;
    std::uint32_t DH = 0;
    std::uint32_t Columns = 0;
    std::uint32_t Rows = 0;
    std::int32_t ODX = 0;
    std::int32_t ODY = 0;
    std::int32_t OSX = 0;
    std::int32_t OSY = 0;

    // F must be positive and T above 0. Raises std::runtime_error when the
    // level's sizes do not fit signed 32-bit values or its index would
    // outgrow 2^26 tiles (a factor far beyond any page's).
    static TTileGrid For(std::uint32_t width, std::uint32_t height, std::uint32_t tileSize, double factor);

    // The copy rectangle of the tile in grid row i (0 is the top row) and
    // column j: the full S x S source tile into the T x T tile; the top row
    // takes master rows 0..S - OSY - 1 into tile rows ODY..T - 1; the last
    // column takes S - OSX columns into T - ODX; the bottom row of a grid of
    // two rows or more is a full-height tile again.
    TCopyRectangle Rectangle(std::uint32_t i, std::uint32_t j) const;
    // Tiles on the grid's border are painted white before the copy.
    bool OnBorder(std::uint32_t i, std::uint32_t j) const;
};

}  // namespace tavrin
