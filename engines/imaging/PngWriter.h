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
// PngIndexChunk.h before the image data, one IDAT, IEND. No pHYs, gAMA or
// other ancillary chunks: the viewer shows pixels, nothing else. A writer
// keeps one compressor per thread and level, so it may be used from
// several threads at once.
//
// Level and filter by measurement on the held screened A4 page's tiles
// (bench/tiling_bench compression, see the comment at TPngWriter::Level).
class TPngWriter {
public:
    static constexpr int DefaultLevel = 1;

    static constexpr TPngFilter DefaultPaletteFilter = TPngFilter::None;
    static constexpr TPngFilter DefaultTruecolorFilter = TPngFilter::Up;

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
