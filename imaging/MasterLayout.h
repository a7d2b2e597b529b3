#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct tiff;

namespace tavrin {

// What the copies need to know of an open master: its size, its strips and
// the colour of each palette index.
struct TMasterLayout {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;  // rows the strips can deliver
    std::uint32_t RowsPerStrip = 0;
    std::uint32_t StripCount = 0;
    std::size_t LineBytes = 0;
    std::size_t StripBytes = 0;  // a full strip
    bool HasColorMap = false;
    // The low bytes of the colour map entries; a colour map has 0..255 values in 16-bit entries.
    std::array<std::uint8_t, 256> Red{};
    std::array<std::uint8_t, 256> Green{};
    std::array<std::uint8_t, 256> Blue{};

    // Reads the layout of an open master; a master without a colour map
    // leaves HasColorMap false.
    static TMasterLayout Read(tiff* master);

    // True when there are rows and each line holds at least Width bytes, so
    // that a copy never reads past a line.
    bool LinesReadable() const { return Width > 0 && Height > 0 && RowsPerStrip > 0 && LineBytes >= Width; }
    // The row or column nearest to the given one inside the image.
    std::uint32_t ClampRow(std::int64_t row) const;
    std::uint32_t ClampColumn(std::int64_t column) const;
    std::uint32_t StripOfRow(std::int64_t row) const { return ClampRow(row) / RowsPerStrip; }

    // The common start of every copy: a colour map, or the box "Could not
    // get Color Map", and lines a copy can read, or the box "Could not read
    // strip" (caption "Error"). False after a box.
    bool CopyCanStart() const;
};

}  // namespace tavrin
