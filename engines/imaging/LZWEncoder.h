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
// of 4096 x 16 entries that stays in the processor's cache; entries carry
// the number of the table they belong to, so a CLEAR costs nothing. An
// encoder keeps its table (at most 4 MB, as much as the strips' values
// need) between strips; use one per thread.
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
    void NewTable();

    // Per (code << SlotBits | slot of the byte): Table << 16 | the code of
    // that string, valid only when Table is the current one.
    std::uint32_t* Child = nullptr;
    std::uint32_t Table = 0;
    // The slot of each byte value in the strip being encoded.
    std::array<std::uint8_t, 256> Slot{};
};

}  // namespace tavrin
