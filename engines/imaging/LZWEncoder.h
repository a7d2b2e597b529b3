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
// (code, next byte): one load per input byte. The bytes are first numbered
// by the values a strip holds, so a palette strip of 16 values uses a table
// of 4096 x 16 two-byte entries that stays in the processor's cache. A new
// code's row is emptied when the code is made, and a CLEAR empties only the
// rows of the single bytes. After each code it writes, the encoder follows
// a run of one byte along the codes of that byte repeated, which it keeps
// per value, without a lookup per byte. An encoder keeps its tables (at
// most 4 MB, touched only as far as the strips' values need) between
// strips; use one per thread.
class TLZWEncoder {
public:
    TLZWEncoder();
    ~TLZWEncoder();
    TLZWEncoder(const TLZWEncoder&) = delete;
    TLZWEncoder& operator=(const TLZWEncoder&) = delete;

    // Replaces out's contents with the stream of size bytes. Raises only
    // std::bad_alloc.
    void EncodeStrip(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out);

private:
    // Per (code << bits of the slot count | slot of the byte): the code of that string, 0 for none.
    std::uint16_t* Child = nullptr;
    // The slot of each byte value in the strip being encoded.
    std::array<std::uint8_t, 256> Slot{};
    // Per (slot << 12 | n): the code of that slot's byte repeated n times,
    // for n up to RunLongest of the slot.
    std::uint16_t* RunCodes = nullptr;
    std::array<std::uint16_t, 256> RunLongest{};
};

}  // namespace tavrin
