#pragma once

// Plain, pixel by pixel versions of the copies and of one zoom level, written
// straight from their rules against a master held whole in memory: what the
// streaming code must reproduce byte for byte.
#include "engines/imaging/PngWriter.h"
#include "engines/imaging/TileDB.h"
#include "tests/imaging/MasterFiles.h"

#include <gd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace tavrin::testing {

using TImage = std::unique_ptr<gdImage, decltype(&gdImageDestroy)>;

inline TImage NewImage(int width, int height, bool trueColor)
{
    return TImage(trueColor ? gdImageCreateTrueColor(width, height) : gdImageCreate(width, height), gdImageDestroy);
}

// The colour of a source pixel (taken into the image): the low bytes of its
// colour map entries.
inline std::tuple<int, int, int> SourceColor(const TMasterContents& master, long long x, long long y)
{
    x = std::min<long long>(std::max<long long>(x, 0), master.Width - 1);
    y = std::min<long long>(std::max<long long>(y, 0), master.Height - 1);
    const std::uint8_t v = master.At(std::uint32_t(x), std::uint32_t(y));
    return {master.ColorMap[0][v] & 0xFF, master.ColorMap[1][v] & 0xFF, master.ColorMap[2][v] & 0xFF};
}

// One step of the portion rule along an axis: the portion of the position s
// and, on the first step, s moved down to floor(s).
inline double Portion(double& s, double s1, double s2)
{
    if (std::floor(s) == std::floor(s1)) {
        double portion = 1.0 - (s - std::floor(s));
        if (portion > s2 - s1)
            portion = s2 - s1;
        s = std::floor(s);
        return portion;
    }
    if (s == std::floor(s2))
        return s2 - std::floor(s2);
    return 1.0;
}

// Area averaging, one destination pixel at a time.
inline void ReferenceResampled(gdImagePtr dest, const TMasterContents& master, int DstX, int DstY, int SrcX, int SrcY,
                               int DstW, int DstH, int SrcW, int SrcH)
{
    const double xs = double(SrcW) / DstW, ys = double(SrcH) / DstH;
    for (int y = DstY; y < DstY + DstH; ++y) {
        const double sy1 = (y - DstY) * ys, sy2 = (y + 1 - DstY) * ys;
        for (int x = DstX; x < DstX + DstW; ++x) {
            const double sx1 = (x - DstX) * xs, sx2 = (x + 1 - DstX) * xs;
            double red = 0, green = 0, blue = 0, weight = 0;
            double sy = sy1;
            do {
                const double yportion = Portion(sy, sy1, sy2);
                double sx = sx1;
                do {
                    const double xportion = Portion(sx, sx1, sx2);
                    const double w = xportion * yportion;
                    const auto [r, g, b] =
                        SourceColor(master, (long long)std::floor(SrcX + sx), (long long)std::floor(SrcY + sy));
                    red += r * w;
                    green += g * w;
                    blue += b * w;
                    weight += w;
                    sx += 1;
                } while (sx < sx2);
                sy += 1;
            } while (sy < sy2);
            if (weight != 0) {
                red /= weight;
                green /= weight;
                blue /= weight;
            }
            red = std::min(red, 255.0);
            green = std::min(green, 255.0);
            blue = std::min(blue, 255.0);
            gdImageSetPixel(dest, x, y,
                            gdTrueColorAlpha(int(std::floor(red)), int(std::floor(green)), int(std::floor(blue)), 0));
        }
    }
}

// Pixel replication with stretch counts, every pixel resolved.
inline void ReferenceResized(gdImagePtr dest, const TMasterContents& master, int DstX, int DstY, int SrcX, int SrcY,
                             int DstW, int DstH, int SrcW, int SrcH)
{
    if (SrcW < 0 || SrcH < 0 || SrcW > std::numeric_limits<int>::max() / 4 ||
        SrcH > std::numeric_limits<int>::max() / 4)
        return;
    const auto stretch = [](long long i, long long dst, long long src) { return (i + 1) * dst / src - i * dst / src; };
    int toy = DstY;
    for (int y = 0; y < SrcH; ++y)
        for (long long repeat = 0; repeat < stretch(y, DstH, SrcH); ++repeat, ++toy) {
            int tox = DstX;
            for (int x = 0; x < SrcW; ++x) {
                const auto [r, g, b] = SourceColor(master, SrcX + x, SrcY + y);
                for (long long i = 0; i < stretch(x, DstW, SrcW); ++i, ++tox)
                    gdImageSetPixel(dest, tox, toy, gdImageColorResolve(dest, r, g, b));
            }
        }
}

// The master index of a source pixel (taken into the image).
inline int SourceIndex(const TMasterContents& master, long long x, long long y)
{
    return master.At(std::uint32_t(std::clamp<long long>(x, 0, master.Width - 1)),
                     std::uint32_t(std::clamp<long long>(y, 0, master.Height - 1)));
}

// Pixel replication that keeps master indices apart: each index gets an
// entry of its own (allocated at its first pixel, its index appended to
// record) unless record already gives it an entry of its colour. The copy
// fits the palette: at most 256 entries.
inline void ReferenceIndexed(gdImagePtr dest, const TMasterContents& master, std::vector<std::uint8_t>& record,
                             int DstX, int DstY, int SrcX, int SrcY, int DstW, int DstH, int SrcW, int SrcH)
{
    std::map<int, int> entryOf;
    for (int e = int(record.size()) - 1; e >= 0; --e) {
        const int v = record[std::size_t(e)];
        if (gdImageRed(dest, e) == (master.ColorMap[0][v] & 0xFF) &&
            gdImageGreen(dest, e) == (master.ColorMap[1][v] & 0xFF) &&
            gdImageBlue(dest, e) == (master.ColorMap[2][v] & 0xFF))
            entryOf[v] = e;  // the lowest such entry
    }
    const auto stretch = [](long long i, long long dst, long long src) { return (i + 1) * dst / src - i * dst / src; };
    int toy = DstY;
    for (int y = 0; y < SrcH; ++y)
        for (long long repeat = 0; repeat < stretch(y, DstH, SrcH); ++repeat, ++toy) {
            int tox = DstX;
            for (int x = 0; x < SrcW; ++x) {
                const int v = SourceIndex(master, SrcX + x, SrcY + y);
                if (!entryOf.count(v)) {
                    entryOf[v] = gdImageColorAllocate(dest, master.ColorMap[0][v] & 0xFF, master.ColorMap[1][v] & 0xFF,
                                                      master.ColorMap[2][v] & 0xFF);
                    record.push_back(std::uint8_t(v));
                }
                for (long long i = 0; i < stretch(x, DstW, SrcW); ++i, ++tox)
                    gdImageSetPixel(dest, tox, toy, entryOf[v]);
            }
        }
}

inline std::uint32_t BigEndianWord(const std::string& bytes, std::size_t at)
{
    return std::uint32_t(std::uint8_t(bytes[at])) << 24 | std::uint32_t(std::uint8_t(bytes[at + 1])) << 16 |
           std::uint32_t(std::uint8_t(bytes[at + 2])) << 8 | std::uint32_t(std::uint8_t(bytes[at + 3]));
}

// The PNG's chunks in file order: (type, data).
inline std::vector<std::pair<std::string, std::string>> PngChunks(const std::string& png)
{
    std::vector<std::pair<std::string, std::string>> chunks;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = BigEndianWord(png, at);
        if (length > png.size() - at - 12)
            break;
        chunks.emplace_back(png.substr(at + 4, 4), png.substr(at + 8, length));
        at += 12 + length;
    }
    return chunks;
}

// The PNG with the record as a "tvIX" chunk (data: one byte per entry)
// right before its first IDAT chunk.
inline std::string WithRecordChunk(const std::string& png, const std::vector<std::uint8_t>& record)
{
    std::size_t at = 8;
    while (at + 12 <= png.size() && png.compare(at + 4, 4, "IDAT") != 0)
        at += 12 + BigEndianWord(png, at);
    std::string chunk = "tvIX" + std::string(record.begin(), record.end());
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), uInt(chunk.size()));
    std::string out = png.substr(0, at);
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char(std::uint32_t(record.size()) >> shift);
    out += chunk;
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char(std::uint32_t(crc) >> shift);
    return out + png.substr(at);
}

// One zoom level: the grid, each tile made, copied, encoded and added in
// the designed order.
inline void ReferenceLevel(const std::string& fileName, const TMasterContents& master, int T, double F)
{
    const long long W = master.Width, H = master.Height;
    const long long S = std::llrint(std::nearbyintl((1.0L / F) * T));
    const long long DW = std::llrint(std::nearbyintl((long double)W * F));
    const long long DH = std::llrint(std::nearbyintl((long double)H * F));
    const long long columns = DW / T + ((DW / T) * S < W ? 1 : 0);
    const long long rows = DH / T + ((DH / T) * S < H ? 1 : 0);
    const int ODX = int(columns * T - DW), ODY = int(rows * T - DH);
    const int OSX = int(columns * S - W), OSY = int(rows * S - H);
    const bool scaled = F != 1.0;
    TTileDB db(fileName, std::uint32_t(columns), std::uint32_t(rows), 64);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j) {
            TImage tile = NewImage(T, T, scaled);
            const int white = gdImageColorResolve(tile.get(), 255, 255, 255);
            // A palette tile records its white as index 255, no plate inked.
            std::vector<std::uint8_t> record{255};
            int SrcX = j * int(S), SrcY = i * int(S) - OSY, DstX = 0, DstY = 0, DstW = T, DstH = T;
            int SrcW = int(S), SrcH = int(S);
            if (i == 0 || j == 0 || i == rows - 1 || j == columns - 1)
                gdImageFilledRectangle(tile.get(), 0, 0, T - 1, T - 1, white);
            if (i == 0) {
                SrcY = 0;
                DstY = ODY;
                DstH = T - ODY;
                SrcH = int(S) - OSY;
            }
            if (j == columns - 1) {
                DstW = T - ODX;
                SrcW = int(S) - OSX;
            }
            if (i == rows - 1 && i > 0) {
                DstY = 0;
                DstH = T;
                SrcH = int(S);
            }
            if (DstW != 0 && DstH != 0 && SrcW != 0 && SrcH != 0) {
                if (scaled)
                    ReferenceResampled(tile.get(), master, DstX, DstY, SrcX, SrcY, DstW, DstH, SrcW, SrcH);
                else
                    ReferenceIndexed(tile.get(), master, record, DstX, DstY, SrcX, SrcY, DstW, DstH, SrcW, SrcH);
            }
            // The tiles' own writer; that it keeps every pixel and index is
            // the PngWriter tests' concern.
            std::vector<std::uint8_t> png = TPngWriter().Write(tile.get());
            // A level of few tiles keeps the smaller of its truecolor tiles
            // without and with adaptive row filters.
            if (scaled && columns * rows <= 32) {
                std::vector<std::uint8_t> filtered =
                    TPngWriter(TPngWriter::DefaultLevel, TPngFilter::None, TPngFilter::Adaptive).Write(tile.get());
                if (filtered.size() < png.size())
                    png.swap(filtered);
            }
            std::string bytes(png.begin(), png.end());
            if (!scaled)
                bytes = WithRecordChunk(bytes, record);
            db.AddTile(std::uint32_t(j), std::uint32_t(rows - 1 - i), bytes.data(), std::uint32_t(bytes.size()));
        }
}

// A master like a proof page: paper (index 255, white), flat tints, screened
// areas of a few colours and noise, with two indexes sharing one colour.
inline TMasterContents PageLikeMaster(std::uint32_t width, std::uint32_t height, unsigned seed)
{
    TMasterContents master;
    master.Opened = true;
    master.Width = width;
    master.Height = height;
    std::mt19937 random(seed);
    for (auto& channel : master.ColorMap)
        channel.resize(256);
    for (int v = 0; v < 256; ++v)
        for (auto& channel : master.ColorMap)
            channel[v] = static_cast<std::uint16_t>(random() % 256);
    for (auto& channel : master.ColorMap)
        channel[255] = 255;
    for (int c = 0; c < 3; ++c)
        master.ColorMap[c][7] = master.ColorMap[c][3];
    master.Pixels.assign(std::size_t(width) * height, 255);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t& pixel = master.Pixels[std::size_t(y) * width + x];
            const std::uint32_t zone = (x / 97 + 3 * (y / 89)) % 5;
            if (zone == 1)
                pixel = 3;  // a flat tint
            else if (zone == 2)
                pixel = ((x + y) / 3) % 2 ? 7 : 12;  // a screen
            else if (zone == 3)
                pixel = static_cast<std::uint8_t>(random() % 16);  // busy
        }
    return master;
}

// The bytes of a file.
inline std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A tile database as a reader sees it: the grid and the tiles' PNG bytes.
struct TTileFile {
    std::uint32_t Columns = 0, Rows = 0, BlockSize = 0;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> Tiles;  // (column, row) -> PNG
    bool Valid = false;

    static TTileFile Read(const std::string& path)
    {
        TTileFile file;
        const std::string bytes = FileText(path);
        const auto word = [&](std::size_t at) {
            return std::uint32_t(std::uint8_t(bytes[at])) | std::uint32_t(std::uint8_t(bytes[at + 1])) << 8 |
                   std::uint32_t(std::uint8_t(bytes[at + 2])) << 16 | std::uint32_t(std::uint8_t(bytes[at + 3])) << 24;
        };
        if (bytes.size() < 20 || bytes.compare(0, 4, "vorn") != 0)
            return file;
        file.Columns = word(8);
        file.Rows = word(12);
        file.BlockSize = word(16);
        const std::size_t dataStart = 20 + std::size_t(file.Columns) * file.Rows * 8;
        for (std::uint32_t r = 0; r < file.Rows; ++r)
            for (std::uint32_t c = 0; c < file.Columns; ++c) {
                const std::size_t entry = 20 + (std::size_t(r) * file.Columns + c) * 8;
                const std::uint32_t length = word(entry);
                const std::size_t at = dataStart + std::size_t(word(entry + 4)) * file.BlockSize;
                if (length > 0 && at + length <= bytes.size())
                    file.Tiles[{c, r}] = bytes.substr(at, length);
            }
        file.Valid = true;
        return file;
    }

    // The decoded tile; null when absent or not a PNG.
    TImage Tile(std::uint32_t column, std::uint32_t row) const
    {
        const auto found = Tiles.find({column, row});
        if (found == Tiles.end())
            return TImage(nullptr, gdImageDestroy);
        return TImage(gdImageCreateFromPngPtr(int(found->second.size()), const_cast<char*>(found->second.data())),
                      gdImageDestroy);
    }
};

// The true-colour value of a pixel of either kind of image.
inline int PixelColor(gdImagePtr image, int x, int y)
{
    return gdImageGetTrueColorPixel(image, x, y) & 0xFFFFFF;
}

}  // namespace tavrin::testing
