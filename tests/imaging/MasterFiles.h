#pragma once

#include <tiffio.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tavrin::testing {

// A master image as libtiff reads it back: tags and every pixel.
struct TMasterContents {
    bool Opened = false;
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t RowsPerStrip = 0;
    std::uint16_t Compression = 0;
    std::uint16_t Photometric = 0;
    std::array<std::vector<std::uint16_t>, 3> ColorMap;
    std::vector<std::uint8_t> Pixels;  // Height rows of Width bytes

    std::uint8_t At(std::uint32_t x, std::uint32_t y) const { return Pixels[std::size_t(y) * Width + x]; }
};

inline TMasterContents ReadMaster(const std::string& path)
{
    TMasterContents master;
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (!tiff)
        return master;
    master.Opened = true;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &master.Width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &master.Height);
    TIFFGetField(tiff, TIFFTAG_ROWSPERSTRIP, &master.RowsPerStrip);
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &master.Compression);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &master.Photometric);
    std::uint16_t* maps[3] = {};
    if (TIFFGetField(tiff, TIFFTAG_COLORMAP, &maps[0], &maps[1], &maps[2]))
        for (int c = 0; c < 3; ++c)
            master.ColorMap[c].assign(maps[c], maps[c] + 256);
    master.Pixels.resize(std::size_t(master.Width) * master.Height);
    for (std::uint32_t y = 0; y < master.Height; ++y)
        if (TIFFReadScanline(tiff, master.Pixels.data() + std::size_t(y) * master.Width, y, 0) < 0)
            master.Opened = false;
    TIFFClose(tiff);
    return master;
}

// The plate combination index of one pixel, computed bit by bit from the
// eight planes (cyan, magenta, yellow, black, spot 0..3): pixel x of line y
// is bit 31 - x % 32 of little-endian word x / 32 of the line; an index bit
// of 0 is ink.
inline std::uint8_t PixelIndex(const std::array<const std::uint8_t*, 8>& planes, std::size_t wordsPerLine,
                               std::uint32_t x, std::uint32_t y, bool negate)
{
    static const int indexBit[8] = {3, 2, 1, 0, 4, 5, 6, 7};
    unsigned index = 0;
    for (int k = 0; k < 8; ++k) {
        const std::uint8_t* w = planes[k] + (y * wordsPerLine + x / 32) * 4;
        const std::uint32_t word = w[0] | (w[1] << 8) | (w[2] << 16) | (std::uint32_t(w[3]) << 24);
        const unsigned bit = ((word >> (31 - x % 32)) & 1u) ^ (negate ? 1u : 0u);
        index |= bit << indexBit[k];
    }
    return static_cast<std::uint8_t>(index);
}

// What a command printed on standard output.
inline std::string CommandOutput(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

}  // namespace tavrin::testing
