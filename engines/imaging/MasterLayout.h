#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

struct tiff;

namespace tavrin {

// What the copies need to know of an open master: its size, its strips and
// the colour of each palette index.
struct TMasterLayout {
    std::string FileName;  // as libtiff opened it, for error texts
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

    // The common start of every copy: raises std::runtime_error "Could not
    // get Color Map of FILE" without a colour map, and "Could not read strip
    // 0 of FILE: ..." when there are no lines a copy can read. A damaged
    // master must not pass for a picture of paper.
    void CheckCopyCanStart() const;
};

}  // namespace tavrin
