#pragma once

#include "engines/imaging/PngIndexChunk.h"

#include <gd.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrin {

// The filter every row of a written PNG gets; Adaptive picks per row the
// one of the five whose bytes, taken as signed, sum smallest (libpng's way).
enum class TPngFilter : std::uint8_t { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4, Adaptive = 5 };

// The palette of a palette PNG: three bytes (red, green, blue) per entry,
// and the alpha of the first entries when any is not opaque (tRNS).
struct TPngPalette {
    std::vector<std::uint8_t> Rgb;
    std::vector<std::uint8_t> Alpha;
};

// Writes tiles as PNG files of the station's own, deflated with libdeflate:
// signature, IHDR, PLTE and tRNS (palette images), the index chunk of
// PngIndexChunk.h before the image data, one IDAT, IEND. No pHYs or other
// ancillary chunks: the viewer shows pixels, nothing else. A writer keeps
// one compressor per thread and level, so it may be used from several
// threads at once.
//
// Level and filter by measurement: every tile of the five levels of the
// screened A4 page at 2400 dpi encoded again on one thread
// (`build/bench/tiling_bench compression MASTER 2400`, 2-core Xeon shared
// with other builds, 2026-12-11), processor seconds and MB of the 6,762
// palette tiles (level 4) and the 258 truecolor ones (levels 0 to 3):
//
//   libgd, zlib 1 (before): 3.25 s for both kinds, 54.9 + 24.0 MB
//   libgd, zlib 6:          8.96 s for both kinds, 48.6 + 24.0 MB
//   libdeflate  filter    palette          truecolor
//   1           none      2.08 s  51.4 MB  0.34 s  23.2 MB   (chosen)
//   1           sub       2.24 s  60.6 MB  0.38 s  24.3 MB
//   1           up        2.29 s  53.2 MB  0.40 s  24.7 MB
//   1           paeth     2.87 s  57.3 MB  0.55 s  24.6 MB
//   1           adaptive  4.56 s  53.2 MB  0.88 s  24.0 MB   (libpng's way)
//   2           none      2.66 s  50.2 MB  0.46 s  22.7 MB
//   3           none      2.44 s  49.8 MB  0.36 s  22.7 MB
//   4           none      2.61 s  49.5 MB  0.36 s  22.7 MB
//
// Screened rows do not predict each other: every filter costs bytes on
// both kinds. Level 1 without a filter takes a quarter less processor time
// than libgd's level 1 for 5 % fewer bytes; levels 2 to 4 save 2 to 3 %
// more bytes for 10 to 20 % more time.
class TPngWriter {
public:
    static constexpr int DefaultLevel = 1;

    static constexpr TPngFilter DefaultPaletteFilter = TPngFilter::None;
    static constexpr TPngFilter DefaultTruecolorFilter = TPngFilter::None;

    explicit TPngWriter(int level = DefaultLevel, TPngFilter paletteFilter = DefaultPaletteFilter,
                        TPngFilter truecolorFilter = DefaultTruecolorFilter);

    int Level() const { return CompressionLevel; }

    // The PNG of a libgd image, with the index chunk of `indices` unless it
    // is empty. A palette image keeps its palette in order, so every pixel
    // decodes to the same index; its bit depth is the smallest of 1, 2, 4
    // and 8 that holds colorsTotal entries, as libgd chooses it. A
    // truecolor image becomes 8-bit RGB (RGBA when it saves alpha). Raises
    // std::runtime_error for an interlaced image, or when the record does
    // not match the palette.
    std::vector<std::uint8_t> Write(gdImagePtr image, const TPaletteIndices& indices = {}) const;

    // A palette PNG of rows already packed at bitDepth (1, 2, 4 or 8; pixel 0
    // in a byte's high bits), `stride` bytes apart.
    std::vector<std::uint8_t> WritePalette(std::uint32_t width, std::uint32_t height, int bitDepth,
                                           const std::uint8_t* rows, std::size_t stride, const TPngPalette& palette,
                                           const TPaletteIndices& indices = {}) const;

private:
    std::vector<std::uint8_t> PaletteRows(std::uint32_t width, std::uint32_t height, int bitDepth,
                                          const std::vector<const std::uint8_t*>& rows, const TPngPalette& palette,
                                          const TPaletteIndices& indices) const;
    std::vector<std::uint8_t> Assemble(std::uint32_t width, std::uint32_t height, int bitDepth, int colorType,
                                       const TPngPalette* palette, const std::vector<std::uint8_t>& truecolorKey,
                                       const TPaletteIndices& indices, const std::vector<std::uint8_t>& filtered) const;

    int CompressionLevel;
    TPngFilter PaletteFilter;
    TPngFilter TruecolorFilter;
};

}  // namespace tavrin
