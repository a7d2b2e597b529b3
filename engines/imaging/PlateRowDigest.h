#pragma once

#include "base/text/SHA256Digest.h"
#include "engines/imaging/PlateCombination.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// The digest of each plate's rows as a master shows them, taken while the
// master is composed. Two masters of one size and mirroring show a plate
// inked on the very same pixels exactly when its digests are equal, whatever
// page buffer headers or negation the plates came with.
//
// Per plate: SHA-256 of the text "W H M\n" (width, height, 1 when the lines
// are mirrored, else 0), then each line as ceil(W / 32) 32-bit words written
// most significant byte first, leftmost pixel (before mirroring) in the most
// significant bit, 1 where the plate is inked, bits past W zero.
class TPlateRowDigests {
public:
    // indexBits: the plates to digest, one bit per index bit (a page seldom
    // has all eight, and hashing costs time on a large page).
    TPlateRowDigests(std::uint32_t width, std::uint32_t height, bool mirror, bool negate,
                     std::uint8_t indexBits = 0xFF);

    // Adds lineCount lines of the eight plate planes (as TProofImage::WriteBand
    // takes them: lines of lineBytes bytes, in plane order).
    void AddLines(const TPlatePlanes& planes, std::uint32_t lineCount, std::size_t lineBytes);
    // Adds lines no band reached: every plate absent.
    void AddAbsentLines(std::uint32_t lineCount);

    // The digests by index bit, empty for a plate not digested; call once,
    // after the last line.
    std::array<std::string, 8> Finish();

private:
    void AddRow(std::size_t plane, const std::uint8_t* line);

    std::uint32_t Words;
    std::uint32_t LastWordMask;
    std::uint8_t IndexBits;
    std::uint32_t InkedFlip;  // XORed onto a plate word: 1 bits where inked
    std::array<TSHA256Stream, 8> Streams;
    std::vector<std::uint8_t> Row;
};

}  // namespace tavrin
