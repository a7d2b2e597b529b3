#pragma once

#include "base/platform/MessageBox.h"
#include "engines/imaging/TiffErrorHandler.h"
#include "tests/imaging/LibtiffLZW.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrin::testing {

// Overwrites the data of one strip of a master with bytes no LZW decoder accepts.
inline void SpoilStrip(const std::string& path, std::uint32_t strip)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (!tiff)
        throw std::runtime_error("cannot open " + path);
    const std::uint64_t offset = TIFFGetStrileOffset(tiff, strip), size = TIFFGetStrileByteCount(tiff, strip);
    TIFFClose(tiff);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(std::streamoff(offset));
    file.write(std::string(size, '\xFF').data(), std::streamsize(size));
}

// The text of the runtime_error a call raises; empty when it raises none.
inline std::string RaisedText(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

// A master image as libtiff reads it back: tags and every pixel.
struct TMasterContents {
    // False also when a strip is not what libtiff's own encoder makes of its lines.
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

// The first strip that is not the very LZW stream libtiff's own encoder
// writes for the strip's lines, as a text; empty when every strip is.
inline std::string StripNotLibtiffs(TIFF* tiff, const TMasterContents& master)
{
    const std::uint32_t rowsPerStrip = std::max<std::uint32_t>(1, std::min(master.RowsPerStrip, master.Height));
    for (std::uint32_t strip = 0; strip < TIFFNumberOfStrips(tiff); ++strip) {
        const std::uint32_t first = strip * rowsPerStrip;
        const std::uint32_t rows = std::min(rowsPerStrip, master.Height - first);
        std::vector<std::uint8_t> raw(TIFFGetStrileByteCount(tiff, strip));
        const tmsize_t read = TIFFReadRawStrip(tiff, strip, raw.data(), tmsize_t(raw.size()));
        if (read != tmsize_t(raw.size()) ||
            raw != LibtiffLZWStrip(master.Pixels.data() + std::size_t(first) * master.Width, master.Width, rows))
            return "strip " + std::to_string(strip) + " is not libtiff's LZW stream of its lines";
    }
    return {};
}

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
    std::uint16_t predictor = PREDICTOR_NONE;
    TIFFGetField(tiff, TIFFTAG_PREDICTOR, &predictor);
    // Every master a test reads must be what libtiff writes of its pixels;
    // one that is not counts as unreadable, and says why.
    if (master.Opened && master.Compression == COMPRESSION_LZW && predictor == PREDICTOR_NONE) {
        const std::string fault = StripNotLibtiffs(tiff, master);
        if (!fault.empty()) {
            std::cerr << path << ": " << fault << "\n";
            master.Opened = false;
        }
    }
    TIFFClose(tiff);
    return master;
}

// Writes a master as the plain writer does, every line through
// TIFFWriteScanline, with any strip height; without the colour map when
// colorMap is false (then as a grey image, which libtiff accepts). False when
// libtiff failed.
inline bool WriteMasterFile(const std::string& path, const TMasterContents& image, std::uint32_t resolution,
                            std::uint32_t rowsPerStrip, bool colorMap = true)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff)
        return false;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, image.Width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, image.Height);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, colorMap ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, double(resolution));
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, double(resolution));
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (colorMap) {
        // libtiff keeps the arrays it is given only during the call.
        auto map = image.ColorMap;
        TIFFSetField(tiff, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
    }
    std::vector<std::uint8_t> line(image.Width);
    bool written = true;
    for (std::uint32_t y = 0; y < image.Height; ++y) {
        std::copy_n(image.Pixels.begin() + std::ptrdiff_t(y) * image.Width, image.Width, line.begin());
        written = written && TIFFWriteScanline(tiff, line.data(), y, 0) == 1;
    }
    TIFFClose(tiff);
    return written;
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

// Collects the message boxes shown while it lives, from any thread, as
// "caption|text".
struct TBoxRecorder {
    TBoxRecorder()
    {
        InstallTiffErrorHandler();
        SetMessageBoxHook([this](const std::string& caption, const std::string& text, TMessageBoxIcon) {
            std::lock_guard lock(Mutex);
            Boxes.push_back(caption + "|" + text);
        });
    }
    ~TBoxRecorder() { SetMessageBoxHook(nullptr); }
    std::vector<std::string> Shown()
    {
        std::lock_guard lock(Mutex);
        return Boxes;
    }
    std::size_t Count(const std::string& box)
    {
        std::lock_guard lock(Mutex);
        return static_cast<std::size_t>(std::count(Boxes.begin(), Boxes.end(), box));
    }

    std::mutex Mutex;
    std::vector<std::string> Boxes;
};

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
