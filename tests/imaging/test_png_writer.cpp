#include "engines/imaging/ChangeMap.h"
#include "engines/imaging/PngWriter.h"
#include "engines/imaging/TileEncoder.h"

#include <gd.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tavrin;

namespace {

using TImage = std::shared_ptr<gdImage>;

// What libpng reads from a PNG: one byte per palette index (or three or
// four per truecolor pixel), the palette, tRNS and the index chunk. Every
// CRC is checked, the ancillary chunks' too.
struct TDecoded {
    std::uint32_t Width = 0, Height = 0;
    int BitDepth = 0, ColorType = 0;
    std::vector<std::uint8_t> Pixels;
    std::vector<std::uint8_t> Palette;  // r, g, b per entry
    std::vector<std::uint8_t> Alpha;    // palette tRNS
    std::vector<std::uint8_t> Key;      // truecolor tRNS: r, g, b
    std::vector<std::uint8_t> Record;   // the tvIX chunk's data
    bool HasRecord = false;
};

struct TReader {
    const std::vector<std::uint8_t>* Bytes;
    std::size_t At = 8;
};

[[noreturn]] void PngError(png_structp, png_const_charp message)
{
    throw std::runtime_error(message);
}

void PngWarning(png_structp, png_const_charp message)
{
    throw std::runtime_error(std::string("warning: ") + message);
}

void ReadBytes(png_structp png, png_bytep out, png_size_t size)
{
    auto* reader = static_cast<TReader*>(png_get_io_ptr(png));
    if (reader->At + size > reader->Bytes->size())
        png_error(png, "read past the end");
    std::memcpy(out, reader->Bytes->data() + reader->At, size);
    reader->At += size;
}

TDecoded Decode(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0)
        throw std::runtime_error("no PNG signature");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    png_infop info = png_create_info_struct(png);
    const std::unique_ptr<void, std::function<void(void*)>> release(
        png, [&](void*) { png_destroy_read_struct(&png, &info, nullptr); });
    TReader reader{&bytes};
    png_set_read_fn(png, &reader, ReadBytes);
    png_set_sig_bytes(png, 8);
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    const png_byte type[] = {'t', 'v', 'I', 'X', 0};
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, type, 1);
    png_read_info(png, info);
    TDecoded out;
    out.Width = png_get_image_width(png, info);
    out.Height = png_get_image_height(png, info);
    out.BitDepth = png_get_bit_depth(png, info);
    out.ColorType = png_get_color_type(png, info);
    png_colorp palette = nullptr;
    int entries = 0;
    if (png_get_PLTE(png, info, &palette, &entries))
        for (int i = 0; i < entries; ++i)
            out.Palette.insert(out.Palette.end(), {palette[i].red, palette[i].green, palette[i].blue});
    png_bytep alpha = nullptr;
    int alphas = 0;
    png_color_16p key = nullptr;
    if (png_get_tRNS(png, info, &alpha, &alphas, &key)) {
        if (out.ColorType == PNG_COLOR_TYPE_PALETTE)
            out.Alpha.assign(alpha, alpha + alphas);
        else
            out.Key = {std::uint8_t(key->red), std::uint8_t(key->green), std::uint8_t(key->blue)};
    }
    png_unknown_chunkp unknown = nullptr;
    const int unknowns = png_get_unknown_chunks(png, info, &unknown);
    for (int i = 0; i < unknowns; ++i)
        if (std::memcmp(unknown[i].name, "tvIX", 4) == 0) {
            out.HasRecord = true;
            out.Record.assign(unknown[i].data, unknown[i].data + unknown[i].size);
        }
    png_set_packing(png);  // one byte per index, the index kept
    png_read_update_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    out.Pixels.resize(rowBytes * out.Height);
    std::vector<png_bytep> rows(out.Height);
    for (std::uint32_t y = 0; y < out.Height; ++y)
        rows[y] = out.Pixels.data() + rowBytes * y;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    return out;
}

std::vector<std::uint8_t> GdPng(gdImagePtr image)
{
    int size = 0;
    void* data = gdImagePngPtrEx(image, &size, 1);
    std::vector<std::uint8_t> bytes(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
    gdFree(data);
    return bytes;
}

// The image's own pixels as the decoder should give them.
std::vector<std::uint8_t> PixelsOf(gdImagePtr image)
{
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < image->sy; ++y)
        for (int x = 0; x < image->sx; ++x)
            if (!image->trueColor)
                pixels.push_back(image->pixels[y][x]);
            else {
                const int c = image->tpixels[y][x];
                pixels.insert(pixels.end(), {std::uint8_t(gdTrueColorGetRed(c)), std::uint8_t(gdTrueColorGetGreen(c)),
                                             std::uint8_t(gdTrueColorGetBlue(c))});
                if (image->saveAlphaFlag)
                    pixels.push_back(
                        std::uint8_t(255 - ((gdTrueColorGetAlpha(c) << 1) + (gdTrueColorGetAlpha(c) >> 6))));
            }
    return pixels;
}

std::vector<std::uint8_t> PaletteOf(gdImagePtr image)
{
    std::vector<std::uint8_t> palette;
    for (int i = 0; i < image->colorsTotal; ++i)
        palette.insert(palette.end(),
                       {std::uint8_t(image->red[i]), std::uint8_t(image->green[i]), std::uint8_t(image->blue[i])});
    return palette;
}

TImage PaletteTile(int side, int colors, std::function<int(int, int)> index)
{
    TImage image(gdImageCreate(side, side), gdImageDestroy);
    for (int i = 0; i < colors; ++i)
        gdImageColorAllocate(image.get(), (i * 37) % 256, (i * 91 + 3) % 256, 255 - i);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            image->pixels[y][x] = static_cast<unsigned char>(index(x, y));
    return image;
}

// A rotated AM screen of a few inks over paper, as the screened page's
// full-resolution tiles look.
int Screened(int x, int y, int colors)
{
    const double u = 0.966 * x + 0.259 * y, v = -0.259 * x + 0.966 * y;
    const int cell = (int(u) / 6 + int(v) / 6) % colors;
    const double du = std::fmod(u, 6.0) - 3, dv = std::fmod(v, 6.0) - 3;
    return du * du + dv * dv < 5 ? cell : 0;
}

struct TTileCase {
    const char* Name;
    std::function<TImage()> Make;
    int BitDepth;
    bool WithRecord;
};

}  // namespace

// Every kind of tile the station writes decodes in libpng to the very
// indices, palette, transparency and record of the tile, at the bit depth
// its palette needs; the tiles libgd wrote decode to the same.
TEST(PngWriter, EveryTileKindDecodesToItsOwnIndicesPaletteAndRecord)
{
    std::mt19937 random(36);
    const std::vector<TTileCase> cases = {
        {"blank paper", [] { return PaletteTile(288, 1, [](int, int) { return 0; }); }, 1, true},
        {"solid ink on a border", [] { return PaletteTile(288, 2, [](int x, int) { return x < 40 ? 0 : 1; }); }, 1,
         true},
        {"three colours, a side not a multiple of four",
         [] { return PaletteTile(13, 3, [](int x, int y) { return (x + 2 * y) % 3; }); }, 2, true},
        {"sixteen colours, an odd side",
         [] { return PaletteTile(7, 16, [](int x, int y) { return (x * 7 + y) % 16; }); }, 4, true},
        {"screened, five inks", [] { return PaletteTile(288, 17, [](int x, int y) { return Screened(x, y, 17); }); }, 8,
         true},
        {"256 entries, noise", [&] { return PaletteTile(288, 256, [&](int, int) { return int(random() % 256); }); }, 8,
         true},
        {"palette without a record", [] { return PaletteTile(5, 9, [](int x, int y) { return (x + y) % 9; }); }, 4,
         false},
        {"a transparent entry",
         [] {
             TImage image = PaletteTile(9, 2, [](int x, int y) { return (x * y) % 2; });
             gdImageColorTransparent(image.get(), 0);
             return image;
         },
         1, false},
        {"truecolor, a scaled level",
         [&] {
             TImage image(gdImageCreateTrueColor(288, 288), gdImageDestroy);
             for (int y = 0; y < 288; ++y)
                 for (int x = 0; x < 288; ++x)
                     image->tpixels[y][x] = gdTrueColor(Screened(x, y, 200), (x * y) % 251, int(random() % 256));
             return image;
         },
         8, false},
        {"truecolor with alpha",
         [] {
             TImage image(gdImageCreateTrueColor(11, 6), gdImageDestroy);
             gdImageSaveAlpha(image.get(), 1);
             for (int y = 0; y < 6; ++y)
                 for (int x = 0; x < 11; ++x)
                     image->tpixels[y][x] = gdTrueColorAlpha(x * 20, y * 40, 7, (x * 13) % 128);
             return image;
         },
         8, false},
    };
    for (const TTileCase& tileCase : cases) {
        SCOPED_TRACE(tileCase.Name);
        const TImage tile = tileCase.Make();
        TPaletteIndices record;
        if (tileCase.WithRecord)
            for (int i = 0; i < tile->colorsTotal; ++i)
                record.push_back(std::uint8_t(255 - 3 * i));
        // The tiles' own filters, and every other a row may take.
        for (const TPngFilter filter : {TPngFilter::None, TPngFilter::Sub, TPngFilter::Up, TPngFilter::Average,
                                        TPngFilter::Paeth, TPngFilter::Adaptive}) {
            SCOPED_TRACE(int(filter));
            const TDecoded decoded =
                Decode(TPngWriter(TPngWriter::DefaultLevel, filter, filter).Write(tile.get(), record));
            EXPECT_EQ(decoded.Width, std::uint32_t(tile->sx));
            EXPECT_EQ(decoded.Height, std::uint32_t(tile->sy));
            EXPECT_EQ(decoded.BitDepth, tileCase.BitDepth);
            EXPECT_TRUE(decoded.Pixels == PixelsOf(tile.get()));
            EXPECT_EQ(decoded.Palette, PaletteOf(tile.get()));
            EXPECT_EQ(decoded.HasRecord, tileCase.WithRecord);
            EXPECT_EQ(decoded.Record, record);
            if (!tile->trueColor)
                EXPECT_EQ(decoded.Alpha,
                          tile->transparent < 0 ? std::vector<std::uint8_t>{} : std::vector<std::uint8_t>{0});
            else
                EXPECT_EQ(decoded.ColorType, tile->saveAlphaFlag ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB);
            // What libgd wrote before, for the opaque kinds the station writes.
            if (tile->transparent < 0 && !tile->saveAlphaFlag) {
                const TDecoded before = Decode(GdPng(tile.get()));
                EXPECT_TRUE(before.Pixels == decoded.Pixels);
                EXPECT_EQ(before.Palette, decoded.Palette);
                EXPECT_EQ(before.BitDepth, decoded.BitDepth);
            }
        }
    }
}

// The change map's tiles: one bit per pixel, index 0 transparent.
TEST(PngWriter, AChangeTileDecodesToItsBitsWithEntryZeroTransparent)
{
    const std::uint32_t side = 21;
    const std::size_t stride = 4;  // wider than the 3 bytes a row needs
    std::vector<std::uint8_t> bits(stride * side, 0xFF);
    for (std::uint32_t y = 0; y < side; ++y)
        for (std::uint32_t x = 0; x < side; ++x)
            if ((x * x + y) % 5 != 0)
                bits[y * stride + x / 8] &= std::uint8_t(~(0x80u >> (x % 8)));
    const TDecoded decoded = Decode(ChangeTilePng(bits.data(), side, stride));
    EXPECT_EQ(decoded.BitDepth, 1);
    EXPECT_EQ(decoded.Palette, (std::vector<std::uint8_t>{0, 0, 0, 0xFF, 0, 0xFF}));
    EXPECT_EQ(decoded.Alpha, std::vector<std::uint8_t>{0});
    EXPECT_FALSE(decoded.HasRecord);
    ASSERT_EQ(decoded.Pixels.size(), std::size_t(side) * side);
    int wrong = 0;
    for (std::uint32_t y = 0; y < side; ++y)
        for (std::uint32_t x = 0; x < side; ++x)
            wrong += decoded.Pixels[y * side + x] != ((x * x + y) % 5 == 0 ? 1 : 0);
    EXPECT_EQ(wrong, 0);
}

// A damaged byte anywhere in a chunk is caught by its CRC, the index
// chunk's included; a record that does not fit the palette and tiles the
// writer cannot keep exact are refused.
TEST(PngWriter, CrcsGuardEveryChunkAndWhatCannotBeWrittenIsRefused)
{
    const TImage tile = PaletteTile(16, 3, [](int x, int y) { return (x + y) % 3; });
    const std::vector<std::uint8_t> png = TPngWriter().Write(tile.get(), {255, 4, 9});
    ASSERT_NO_THROW(Decode(png));
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = std::uint32_t(png[at]) << 24 | std::uint32_t(png[at + 1]) << 16 |
                                     std::uint32_t(png[at + 2]) << 8 | png[at + 3];
        const std::string type(png.begin() + long(at) + 4, png.begin() + long(at) + 8);
        std::vector<std::uint8_t> damaged = png;
        damaged[at + 8 + length / 2] ^= 0x10;  // in the data, or the CRC of an empty chunk
        EXPECT_THROW(Decode(damaged), std::runtime_error) << type;
        at += 12 + length;
    }
    EXPECT_THROW(TPngWriter().Write(tile.get(), {255, 4}), std::runtime_error);
    TImage interlaced = PaletteTile(4, 2, [](int, int) { return 1; });
    gdImageInterlace(interlaced.get(), 1);
    EXPECT_THROW(TPngWriter().Write(interlaced.get()), std::runtime_error);
    TImage truecolor(gdImageCreateTrueColor(4, 4), gdImageDestroy);
    EXPECT_THROW(TPngWriter().Write(truecolor.get(), {255}), std::runtime_error);
    EXPECT_THROW(TPngWriter(13), std::invalid_argument);
}
