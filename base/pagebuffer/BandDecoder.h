#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrin {

// The literal that codes 0 to 153 write at output position BytesInLine of a
// band (the first byte of its second line): false combines it with the byte
// above like every other literal, true combines it with 0. Encoders read the
// same constant, so a switch here keeps writer and reader in step.
constexpr bool ShortCodeLiteralAtSecondLineIgnoresAbove = false;

// The compression number that opens every compressed band.
constexpr std::uint8_t CompressionSeven = 7;

enum class TBandDecodeResult {
    Done,
    InvalidCode,    // 248, 249 or 250
    OutputOverrun,  // a code would write past the band
    StoredOverrun,  // a code would read past the stored bytes
};

// Decodes the codes of a compressed band that follow its compression number:
// stored[0 .. storedSize) are the code and operand bytes. area holds
// bytesInLine + bytesInBand bytes, all zero; the first bytesInLine bytes are
// the zero line above the band, decoding writes from area + bytesInLine on.
// Stops at the end code 255, when the stored bytes are used up, or at the
// first fault; nothing outside either block is read or written.
TBandDecodeResult DecodeBandCodes(const std::uint8_t* stored, std::size_t storedSize, std::uint8_t* area,
                                  std::size_t bytesInBand, std::size_t bytesInLine);

// A short text for a failed decode result ("invalid code" ...).
const char* BandDecodeResultText(TBandDecodeResult result);

}  // namespace tavrin
