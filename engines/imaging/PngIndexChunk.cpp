#include "engines/imaging/PngIndexChunk.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tavrin {

namespace {

constexpr std::array<std::uint8_t, 8> Signature = {137, 80, 78, 71, 13, 10, 26, 10};

std::uint32_t BigEndian(const std::uint8_t* at)
{
    return std::uint32_t(at[0]) << 24 | std::uint32_t(at[1]) << 16 | std::uint32_t(at[2]) << 8 | at[3];
}

void AppendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

[[noreturn]] void Fail(const std::string& why)
{
    throw std::runtime_error("Cannot add plate indices to a tile: " + why);
}

}  // namespace

std::vector<std::uint8_t> WithIndexChunk(const std::uint8_t* png, std::size_t size, const TPaletteIndices& indices)
{
    if (size < Signature.size() || !std::equal(Signature.begin(), Signature.end(), png))
        Fail("not a PNG file");
    std::size_t paletteEntries = 0;
    bool sawPalette = false;
    for (std::size_t at = Signature.size(); at + 12 <= size;) {
        const std::uint32_t length = BigEndian(png + at);
        if (length > size - at - 12)
            Fail("a chunk runs past the end");
        const std::uint8_t* type = png + at + 4;
        if (std::memcmp(type, "PLTE", 4) == 0) {
            sawPalette = true;
            paletteEntries = length / 3;
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            if (!sawPalette)
                Fail("no palette before the image data");
            if (paletteEntries != indices.size())
                Fail("the palette has " + std::to_string(paletteEntries) + " entries, the record " +
                     std::to_string(indices.size()));
            std::vector<std::uint8_t> out(png, png + at);
            out.reserve(size + 12 + indices.size());
            AppendBigEndian(out, static_cast<std::uint32_t>(indices.size()));
            const std::size_t typeAt = out.size();
            out.insert(out.end(), IndexChunkType, IndexChunkType + 4);
            out.insert(out.end(), indices.begin(), indices.end());
            // The CRC covers the chunk's type and data.
            const uLong crc = crc32(crc32(0L, Z_NULL, 0), out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
            AppendBigEndian(out, static_cast<std::uint32_t>(crc));
            out.insert(out.end(), png + at, png + size);
            return out;
        }
        at += 12 + std::size_t(length);
    }
    Fail("no image data");
}

}  // namespace tavrin
