#include "engines/imaging/PngWriter.h"

#include <libdeflate.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tavrin {

namespace {

constexpr std::array<std::uint8_t, 8> Signature = {137, 80, 78, 71, 13, 10, 26, 10};

constexpr int ColorTypeRgb = 2, ColorTypePalette = 3, ColorTypeRgba = 6;

// libdeflate's levels run from 0 to 12.
constexpr int Levels = 13;

// One compressor per thread and level: a compressor is not to be shared,
// and allocating one per tile costs more than deflating a blank tile.
class TCompressors {
public:
    ~TCompressors()
    {
        for (libdeflate_compressor* compressor : Made)
            if (compressor)
                libdeflate_free_compressor(compressor);
    }

    libdeflate_compressor* For(int level)
    {
        libdeflate_compressor*& compressor = Made[std::size_t(level)];
        if (!compressor)
            compressor = libdeflate_alloc_compressor(level);
        if (!compressor)
            throw std::runtime_error("Could not allocate a deflate compressor");
        return compressor;
    }

private:
    std::array<libdeflate_compressor*, Levels> Made{};
};

thread_local TCompressors Compressors;

void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// Appends a chunk; its CRC covers the type and the data.
void PutChunk(std::vector<std::uint8_t>& out, const char* type, const std::uint8_t* data, std::size_t size)
{
    PutBig32(out, static_cast<std::uint32_t>(size));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size)
        out.insert(out.end(), data, data + size);
    PutBig32(out, libdeflate_crc32(0, out.data() + typeAt, out.size() - typeAt));
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data)
{
    PutChunk(out, type, data.data(), data.size());
}

// libgd's 7-bit alpha (0 opaque, 127 transparent) as PNG's 8-bit one, the
// way libgd's own writer turns it.
std::uint8_t PngAlpha(int gdAlpha)
{
    return static_cast<std::uint8_t>(255 - ((gdAlpha << 1) + (gdAlpha >> 6)));
}

std::uint8_t Paeth(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Filters a row with one of the five filters (no Adaptive); previous null
// for the first row.
void FilterWith(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* previous, std::size_t size,
                std::size_t bpp, TPngFilter filter)
{
    for (std::size_t i = 0; i < size; ++i) {
        const int a = i >= bpp ? row[i - bpp] : 0, b = previous ? previous[i] : 0;
        const int c = previous && i >= bpp ? previous[i - bpp] : 0;
        int predicted = 0;
        switch (filter) {
        case TPngFilter::Sub: predicted = a; break;
        case TPngFilter::Up: predicted = b; break;
        case TPngFilter::Average: predicted = (a + b) / 2; break;
        case TPngFilter::Paeth: predicted = Paeth(a, b, c); break;
        default: break;
        }
        out[i] = static_cast<std::uint8_t>(row[i] - predicted);
    }
}

std::uint64_t SignedSum(const std::uint8_t* bytes, std::size_t size)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += static_cast<std::uint64_t>(std::abs(static_cast<int>(static_cast<std::int8_t>(bytes[i]))));
    return sum;
}

// Writes a row's filter byte and its filtered bytes; bpp is the bytes of a
// pixel (1 for packed palette rows).
void FilterRow(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* previous, std::size_t size,
               std::size_t bpp, TPngFilter filter)
{
    if (filter == TPngFilter::None) {
        *out = 0;
        std::memcpy(out + 1, row, size);
        return;
    }
    if (filter != TPngFilter::Adaptive) {
        *out = static_cast<std::uint8_t>(filter);
        FilterWith(out + 1, row, previous, size, bpp, filter);
        return;
    }
    std::vector<std::uint8_t> trial(size);
    std::uint64_t best = SignedSum(row, size);
    *out = 0;
    std::memcpy(out + 1, row, size);
    for (TPngFilter candidate : {TPngFilter::Sub, TPngFilter::Up, TPngFilter::Average, TPngFilter::Paeth}) {
        FilterWith(trial.data(), row, previous, size, bpp, candidate);
        const std::uint64_t sum = SignedSum(trial.data(), size);
        if (sum < best) {
            best = sum;
            *out = static_cast<std::uint8_t>(candidate);
            std::memcpy(out + 1, trial.data(), size);
        }
    }
}

int PaletteBitDepth(int colors)
{
    return colors <= 2 ? 1 : colors <= 4 ? 2 : colors <= 16 ? 4 : 8;
}

}  // namespace

TPngWriter::TPngWriter(int level, TPngFilter paletteFilter, TPngFilter truecolorFilter)
    : CompressionLevel(level), PaletteFilter(paletteFilter), TruecolorFilter(truecolorFilter)
{
    if (level < 0 || level >= Levels)
        throw std::invalid_argument("No deflate level " + std::to_string(level));
}

std::vector<std::uint8_t> TPngWriter::Write(gdImagePtr image, const TPaletteIndices& indices) const
{
    if (image->interlace)
        throw std::runtime_error("Cannot write an interlaced tile");
    if (image->sx <= 0 || image->sy <= 0)
        throw std::runtime_error("Cannot write a tile without pixels");
    const auto width = static_cast<std::uint32_t>(image->sx), height = static_cast<std::uint32_t>(image->sy);
    if (!image->trueColor) {
        const int colors = image->colorsTotal;
        if (colors <= 0 || colors > 256)
            throw std::runtime_error("Cannot write a tile with " + std::to_string(colors) + " palette entries");
        TPngPalette palette;
        palette.Rgb.reserve(std::size_t(colors) * 3);
        int lastTranslucent = -1;
        for (int i = 0; i < colors; ++i) {
            palette.Rgb.insert(palette.Rgb.end(),
                               {static_cast<std::uint8_t>(image->red[i]), static_cast<std::uint8_t>(image->green[i]),
                                static_cast<std::uint8_t>(image->blue[i])});
            if (i == image->transparent || image->alpha[i] != gdAlphaOpaque)
                lastTranslucent = i;
        }
        for (int i = 0; i <= lastTranslucent; ++i)
            palette.Alpha.push_back(i == image->transparent ? 0 : PngAlpha(image->alpha[i]));
        const int depth = PaletteBitDepth(colors);
        if (depth == 8) {
            const std::vector<const std::uint8_t*> rows(image->pixels, image->pixels + height);
            return PaletteRows(width, height, 8, rows, palette, indices);
        }
        // Packs the rows: pixel 0 in a byte's high bits, the rest of the
        // last byte 0.
        const std::size_t stride = (std::size_t(width) * std::size_t(depth) + 7) / 8;
        std::vector<std::uint8_t> packed(stride * height, 0);
        const int perByte = 8 / depth;
        for (std::uint32_t y = 0; y < height; ++y) {
            const unsigned char* row = image->pixels[y];
            std::uint8_t* out = packed.data() + stride * y;
            for (std::uint32_t x = 0; x < width; ++x) {
                const int shift = 8 - depth * (int(x % perByte) + 1);
                out[x / perByte] |= static_cast<std::uint8_t>((row[x] & ((1 << depth) - 1)) << shift);
            }
        }
        return WritePalette(width, height, depth, packed.data(), stride, palette, indices);
    }
    if (!indices.empty())
        throw std::runtime_error("Cannot add plate indices to a truecolor tile");
    const bool alpha = image->saveAlphaFlag != 0;
    const std::size_t bpp = alpha ? 4 : 3, rowBytes = bpp * width;
    std::vector<std::uint8_t> key;
    if (!alpha && image->transparent >= 0) {
        const int color = image->transparent;
        for (int value : {gdTrueColorGetRed(color), gdTrueColorGetGreen(color), gdTrueColorGetBlue(color)})
            key.insert(key.end(), {0, static_cast<std::uint8_t>(value)});
    }
    std::vector<std::uint8_t> filtered((rowBytes + 1) * height);
    std::vector<std::uint8_t> row(rowBytes), previous(rowBytes);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* out = row.data();
        for (std::uint32_t x = 0; x < width; ++x) {
            const int color = image->tpixels[y][x];
            *out++ = static_cast<std::uint8_t>(gdTrueColorGetRed(color));
            *out++ = static_cast<std::uint8_t>(gdTrueColorGetGreen(color));
            *out++ = static_cast<std::uint8_t>(gdTrueColorGetBlue(color));
            if (alpha)
                *out++ = PngAlpha(gdTrueColorGetAlpha(color));
        }
        FilterRow(filtered.data() + (rowBytes + 1) * y, row.data(), y ? previous.data() : nullptr, rowBytes, bpp,
                  TruecolorFilter);
        row.swap(previous);
    }
    return Assemble(width, height, 8, alpha ? ColorTypeRgba : ColorTypeRgb, nullptr, key, indices, filtered);
}

std::vector<std::uint8_t> TPngWriter::WritePalette(std::uint32_t width, std::uint32_t height, int bitDepth,
                                                   const std::uint8_t* rows, std::size_t stride,
                                                   const TPngPalette& palette, const TPaletteIndices& indices) const
{
    if (bitDepth != 1 && bitDepth != 2 && bitDepth != 4 && bitDepth != 8)
        throw std::invalid_argument("No palette bit depth " + std::to_string(bitDepth));
    const std::size_t entries = palette.Rgb.size() / 3;
    if (entries == 0 || entries > (std::size_t(1) << bitDepth) || palette.Rgb.size() % 3 != 0 ||
        palette.Alpha.size() > entries)
        throw std::invalid_argument("A palette of " + std::to_string(entries) + " entries at bit depth " +
                                    std::to_string(bitDepth));
    std::vector<const std::uint8_t*> rowStarts(height);
    for (std::uint32_t y = 0; y < height; ++y)
        rowStarts[y] = rows + stride * y;
    return PaletteRows(width, height, bitDepth, rowStarts, palette, indices);
}

std::vector<std::uint8_t> TPngWriter::PaletteRows(std::uint32_t width, std::uint32_t height, int bitDepth,
                                                  const std::vector<const std::uint8_t*>& rows,
                                                  const TPngPalette& palette, const TPaletteIndices& indices) const
{
    if (!indices.empty() && indices.size() != palette.Rgb.size() / 3)
        throw std::runtime_error("Cannot add plate indices to a tile: the palette has " +
                                 std::to_string(palette.Rgb.size() / 3) + " entries, the record " +
                                 std::to_string(indices.size()));
    // The filter by measurement (see TPngWriter).
    const std::size_t rowBytes = (std::size_t(width) * std::size_t(bitDepth) + 7) / 8;
    std::vector<std::uint8_t> filtered((rowBytes + 1) * height);
    const unsigned spare = unsigned(std::size_t(width) * std::size_t(bitDepth) % 8);
    if (spare == 0) {
        for (std::uint32_t y = 0; y < height; ++y)
            FilterRow(filtered.data() + (rowBytes + 1) * y, rows[y], y ? rows[y - 1] : nullptr, rowBytes, 1,
                      PaletteFilter);
    } else {
        // The bits past a row's last pixel are written 0.
        const auto mask = static_cast<std::uint8_t>(0xFFu << (8 - spare));
        std::vector<std::uint8_t> row(rowBytes), previous(rowBytes);
        for (std::uint32_t y = 0; y < height; ++y) {
            std::memcpy(row.data(), rows[y], rowBytes);
            row.back() &= mask;
            FilterRow(filtered.data() + (rowBytes + 1) * y, row.data(), y ? previous.data() : nullptr, rowBytes, 1,
                      PaletteFilter);
            row.swap(previous);
        }
    }
    return Assemble(width, height, bitDepth, ColorTypePalette, &palette, {}, indices, filtered);
}

std::vector<std::uint8_t> TPngWriter::Assemble(std::uint32_t width, std::uint32_t height, int bitDepth, int colorType,
                                               const TPngPalette* palette,
                                               const std::vector<std::uint8_t>& truecolorKey,
                                               const TPaletteIndices& indices,
                                               const std::vector<std::uint8_t>& filtered) const
{
    libdeflate_compressor* compressor = Compressors.For(CompressionLevel);
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor, filtered.size());
    std::vector<std::uint8_t> png;
    png.reserve(bound + 128 + (palette ? palette->Rgb.size() + palette->Alpha.size() : 0) + indices.size());
    png.assign(Signature.begin(), Signature.end());
    std::vector<std::uint8_t> header;
    PutBig32(header, width);
    PutBig32(header, height);
    // Deflate, the standard filters, no interlace.
    header.insert(header.end(), {static_cast<std::uint8_t>(bitDepth), static_cast<std::uint8_t>(colorType), 0, 0, 0});
    PutChunk(png, "IHDR", header);
    if (palette) {
        PutChunk(png, "PLTE", palette->Rgb);
        if (!palette->Alpha.empty())
            PutChunk(png, "tRNS", palette->Alpha);
    } else if (!truecolorKey.empty())
        PutChunk(png, "tRNS", truecolorKey);
    if (!indices.empty())
        PutChunk(png, IndexChunkType, indices);
    // The IDAT chunk is deflated in place, its length and CRC set after.
    const std::size_t lengthAt = png.size();
    PutBig32(png, 0);
    png.insert(png.end(), {'I', 'D', 'A', 'T'});
    const std::size_t dataAt = png.size();
    png.resize(dataAt + bound);
    const std::size_t packed =
        libdeflate_zlib_compress(compressor, filtered.data(), filtered.size(), png.data() + dataAt, bound);
    if (packed == 0)
        throw std::runtime_error("Could not deflate a tile");
    png.resize(dataAt + packed);
    for (int i = 0; i < 4; ++i)
        png[lengthAt + std::size_t(i)] = static_cast<std::uint8_t>(packed >> (24 - 8 * i));
    PutBig32(png, libdeflate_crc32(0, png.data() + lengthAt + 4, packed + 4));
    PutChunk(png, "IEND", nullptr, 0);
    return png;
}

}  // namespace tavrin
