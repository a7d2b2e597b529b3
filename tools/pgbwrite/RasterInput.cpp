#include "tools/pgbwrite/RasterInput.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <tiffio.h>
#include <vector>

namespace tavrin {

namespace {

// The next header number of a PBM, skipping blanks and "#" comments.
int PBMNumber(std::istream& in)
{
    for (;;) {
        const int c = in.peek();
        if (c == '#')
            in.ignore(1 << 20, '\n');
        else if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            in.get();
        else
            break;
    }
    int value = -1;
    in >> value;
    return value;
}

}  // namespace

TBitmap ReadPBM(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char magic[2] = {};
    if (!in.read(magic, 2) || magic[0] != 'P' || magic[1] != '4')
        throw std::runtime_error("\"" + path + "\" is not a binary PBM file");
    TBitmap bitmap;
    bitmap.Width = PBMNumber(in);
    bitmap.Height = PBMNumber(in);
    in.get();  // the one blank before the raster
    if (!in || bitmap.Width <= 0 || bitmap.Height <= 0)
        throw std::runtime_error("\"" + path + "\" has no usable PBM size");
    bitmap.Bits.resize(bitmap.RowBytes() * bitmap.Height);
    if (!in.read(reinterpret_cast<char*>(bitmap.Bits.data()), static_cast<std::streamsize>(bitmap.Bits.size())))
        throw std::runtime_error("\"" + path + "\" ends inside its raster");
    return bitmap;
}

TBitmap ReadBilevelTIFF(const std::string& path)
{
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(path.c_str(), "r"), TIFFClose);
    if (!tiff)
        throw std::runtime_error("Cannot open TIFF \"" + path + "\"");
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    if (bits != 1 || samples != 1 || width == 0 || height == 0 || width > 1u << 20 || height > 1u << 20)
        throw std::runtime_error("\"" + path + "\" is not a 1-bit TIFF");
    TBitmap bitmap;
    bitmap.Width = static_cast<int>(width);
    bitmap.Height = static_cast<int>(height);
    const std::size_t rowBytes = bitmap.RowBytes();
    bitmap.Bits.resize(rowBytes * height);
    std::vector<std::uint8_t> row(std::max<std::size_t>(rowBytes, TIFFScanlineSize(tiff.get())));
    // With min-is-black a set bit is white: invert to keep 1 = ink.
    const std::uint8_t flip = photometric == PHOTOMETRIC_MINISBLACK ? 0xff : 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tiff.get(), row.data(), y, 0) < 0)
            throw std::runtime_error("Cannot read line " + std::to_string(y) + " of \"" + path + "\"");
        for (std::size_t k = 0; k < rowBytes; ++k)
            bitmap.Bits[y * rowBytes + k] = row[k] ^ flip;
    }
    // Bits past the width stay clear.
    if (const int spare = static_cast<int>(rowBytes * 8 - width); spare > 0)
        for (std::uint32_t y = 0; y < height; ++y)
            bitmap.Bits[y * rowBytes + rowBytes - 1] &= static_cast<std::uint8_t>(0xff << spare);
    return bitmap;
}

TBitmap ReadBitmap(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char magic[2] = {};
    in.read(magic, 2);
    if (magic[0] == 'P' && magic[1] == '4')
        return ReadPBM(path);
    return ReadBilevelTIFF(path);
}

}  // namespace tavrin
