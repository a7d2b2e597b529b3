#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrin {

// Encodes one TIFF strip with LZW, writing the very code stream libtiff's
// own codec writes for the same bytes (no predictor): a CLEAR code first,
// codes widened one entry early (the "off by one" rule every TIFF reader
// expects), a CLEAR and a fresh table when the table is full or when the
// compression ratio has not improved since the last check every 10000 input
// bytes, then the last code, EOI and zero bits to the byte. So a master
// stays byte for byte what libtiff writes.
//
// Instead of libtiff's hash table the string table is looked up directly by
// (code, next byte): one load per input byte, and palette rows touch only
// the few cache lines of the values they hold. An encoder keeps its 2 MB
// table between strips; use one per thread.
class TLZWEncoder {
public:
    TLZWEncoder();

    // Replaces out's contents with the stream of size bytes. Raises only
    // std::bad_alloc.
    void EncodeStrip(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out);

private:
    static constexpr unsigned TableCodes = 4096;

    // The code of the string (code, byte), valid only while Key of that code
    // still names this pair: entries of earlier tables are never cleared.
    std::vector<std::uint16_t> Child;
    // Per code its (prefix code << 8 | byte); an impossible value for free codes.
    std::array<std::uint32_t, TableCodes> Key;
};

}  // namespace tavrin
