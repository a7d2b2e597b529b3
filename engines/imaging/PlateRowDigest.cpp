#include "engines/imaging/PlateRowDigest.h"

#include "engines/imaging/ColorTableGenerator.h"

#include <cstring>

namespace tavrin {

TPlateRowDigests::TPlateRowDigests(std::uint32_t width, std::uint32_t height, bool mirror, bool negate,
                                   std::uint8_t indexBits)
    : Words((width + 31) / 32), LastWordMask(width % 32 ? ~std::uint32_t(0) << (32 - width % 32) : ~std::uint32_t(0)),
      // A plate is inked where its bit, XORed with the flip, is InkedIndexBit.
      IndexBits(indexBits), InkedFlip((InkedIndexBit ^ (negate ? 1u : 0u)) == 1 ? 0 : ~std::uint32_t(0)),
      Row(std::size_t(Words) * 4)
{
    const std::string head = std::to_string(width) + " " + std::to_string(height) + " " + (mirror ? "1" : "0") + "\n";
    for (TSHA256Stream& stream : Streams)
        stream.Update(head);
}

void TPlateRowDigests::AddRow(std::size_t plane, const std::uint8_t* line)
{
    const int bit = PlaneIndexBit[plane];
    if (!(IndexBits & (1u << bit)))
        return;
    for (std::uint32_t w = 0; w < Words; ++w) {
        std::uint32_t word = 0;
        if (line)
            std::memcpy(&word, line + std::size_t(w) * 4, 4);
        word ^= InkedFlip;
        if (w + 1 == Words)
            word &= LastWordMask;
        std::uint8_t* out = Row.data() + std::size_t(w) * 4;
        out[0] = static_cast<std::uint8_t>(word >> 24);
        out[1] = static_cast<std::uint8_t>(word >> 16);
        out[2] = static_cast<std::uint8_t>(word >> 8);
        out[3] = static_cast<std::uint8_t>(word);
    }
    Streams[static_cast<std::size_t>(bit)].Update(Row.data(), Row.size());
}

void TPlateRowDigests::AddLines(const TPlatePlanes& planes, std::uint32_t lineCount, std::size_t lineBytes)
{
    for (std::size_t plane = 0; plane < planes.size(); ++plane)
        for (std::uint32_t j = 0; j < lineCount; ++j)
            AddRow(plane, planes[plane] + j * lineBytes);
}

void TPlateRowDigests::AddAbsentLines(std::uint32_t lineCount)
{
    for (std::size_t plane = 0; plane < PlaneIndexBit.size(); ++plane)
        for (std::uint32_t j = 0; j < lineCount; ++j)
            AddRow(plane, nullptr);
}

std::array<std::string, 8> TPlateRowDigests::Finish()
{
    std::array<std::string, 8> digests;
    for (std::size_t bit = 0; bit < Streams.size(); ++bit)
        if (IndexBits & (1u << bit))
            digests[bit] = Streams[bit].HexDigest();
    return digests;
}

}  // namespace tavrin
