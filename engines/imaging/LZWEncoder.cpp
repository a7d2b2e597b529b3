#include "engines/imaging/LZWEncoder.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

namespace tavrin {

namespace {

constexpr unsigned BitsMin = 9;
constexpr unsigned BitsMax = 12;
constexpr std::uint32_t CodeClear = 256;
constexpr std::uint32_t CodeEOI = 257;
constexpr std::uint32_t CodeFirst = 258;
// libtiff clears once the entry before this one is made, so 4093 is the last code used.
constexpr std::uint32_t CodeLimit = (1u << BitsMax) - 2;
constexpr std::int64_t CheckGap = 10000;
// Entries for every code and any of the 256 byte values.
constexpr std::size_t TableEntries = std::size_t(1) << (BitsMax + 8);
// Input is taken in pieces so that the output needs room for one piece only.
constexpr std::size_t Piece = 1 << 16;
// At most two codes of 12 bits (a code and a CLEAR) per input byte.
constexpr std::size_t MaxBytesPerInput = 3;
// Bits still pending (under 32) and the last code, a CLEAR and EOI.
constexpr std::size_t TailBytes = 16;

constexpr std::uint32_t MaxCode(unsigned bits)
{
    return (1u << bits) - 1;
}

// How many of the first limit bytes at data equal value.
std::size_t RunLength(const std::uint8_t* data, std::size_t limit, std::uint8_t value)
{
    const std::uint64_t pattern = 0x0101010101010101ull * value;
    std::size_t n = 0;
    for (; n + 8 <= limit; n += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + n, 8);
        if (const std::uint64_t differ = word ^ pattern)
            return n + static_cast<std::size_t>(std::countr_zero(differ)) / 8;
    }
    while (n < limit && data[n] == value)
        ++n;
    return n;
}

// Codes most significant bit first, as libtiff packs them.
struct TBitSink {
    std::uint64_t Pending = 0;
    unsigned Bits = 0;
    std::uint8_t* Out = nullptr;

    void Put(std::uint32_t code, unsigned width)
    {
        Pending = (Pending << width) | code;
        Bits += width;
        if (Bits >= 32) {
            Bits -= 32;
            const auto word = static_cast<std::uint32_t>(Pending >> Bits);
            Out[0] = static_cast<std::uint8_t>(word >> 24);
            Out[1] = static_cast<std::uint8_t>(word >> 16);
            Out[2] = static_cast<std::uint8_t>(word >> 8);
            Out[3] = static_cast<std::uint8_t>(word);
            Out += 4;
        }
    }

    // The last bits, with zero bits to the byte.
    void Flush()
    {
        while (Bits >= 8) {
            Bits -= 8;
            *Out++ = static_cast<std::uint8_t>(Pending >> Bits);
        }
        if (Bits > 0)
            *Out++ = static_cast<std::uint8_t>(Pending << (8 - Bits));
        Bits = 0;
    }
};

// Makes room for count more bytes after the sink's position.
void Reserve(std::vector<std::uint8_t>& out, TBitSink& sink, std::size_t count)
{
    const std::size_t used = static_cast<std::size_t>(sink.Out - out.data());
    if (out.size() - used < count) {
        out.resize(std::max(used + count, out.size() + out.size() / 2));
        sink.Out = out.data() + used;
    }
}

}  // namespace

TLZWEncoder::TLZWEncoder()
{
    // calloc: rows that no strip's values reach are never touched.
    Child = static_cast<std::uint16_t*>(std::calloc(TableEntries, sizeof(std::uint16_t)));
    RunCodes = static_cast<std::uint16_t*>(std::calloc(TableEntries, sizeof(std::uint16_t)));
    if (!Child || !RunCodes) {
        std::free(Child);
        std::free(RunCodes);
        throw std::bad_alloc();
    }
}

TLZWEncoder::~TLZWEncoder()
{
    std::free(Child);
    std::free(RunCodes);
}

void TLZWEncoder::EncodeStrip(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out)
{
    // Roughly what a palette strip needs; Reserve grows it when not.
    out.assign(std::min<std::size_t>(size, size / 8 + 4096) + TailBytes, 0);
    TBitSink sink;
    sink.Out = out.data();

    // Number the values the strip holds; the table's rows are that wide.
    std::array<bool, 256> present{};
    // Eight bytes at a time; a word like the one before adds no value.
    std::uint64_t last = 0;
    std::size_t at = 0;
    for (; at + 8 <= size; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + at, 8);
        if (word == last && at > 0)
            continue;
        last = word;
        for (int k = 0; k < 8; ++k)
            present[(word >> (8 * k)) & 0xFF] = true;
    }
    for (; at < size; ++at)
        present[data[at]] = true;
    std::array<std::uint8_t, 256> held;
    unsigned values = 0;
    for (unsigned v = 0; v < 256; ++v)
        if (present[v]) {
            held[values] = static_cast<std::uint8_t>(v);
            Slot[v] = static_cast<std::uint8_t>(values++);
        }
    unsigned slotBits = 0;
    while ((1u << slotBits) < values)
        ++slotBits;
    const std::size_t rowWidth = std::size_t(1) << slotBits;
    // A new code's row is emptied when the code is made, the rows of the
    // single bytes the strip holds at each table; each value's run codes
    // start with the value itself.
    const auto emptyRoots = [&] {
        for (unsigned slot = 0; slot < values; ++slot) {
            std::fill_n(Child + held[slot] * rowWidth, rowWidth, std::uint16_t(0));
            RunCodes[std::size_t(slot) << BitsMax | 1] = held[slot];
            RunLongest[slot] = 1;
        }
    };
    emptyRoots();

    unsigned nbits = BitsMin;
    std::uint32_t maxcode = MaxCode(BitsMin);
    std::uint32_t freeEnt = CodeFirst;
    // libtiff's compression ratio check: input bytes since the last CLEAR are
    // (index of the byte + 1 - origin), output bits since it outcount.
    std::size_t origin = 0;
    std::int64_t outcount = 0;
    std::int64_t checkpoint = CheckGap;
    std::int64_t ratio = 0;
    std::uint32_t ent = 0;

    const auto clearTable = [&](std::size_t index) {
        emptyRoots();
        freeEnt = CodeFirst;
        ratio = 0;
        origin = index + 1;
        // The CLEAR still has the old width.
        sink.Put(CodeClear, nbits);
        outcount = nbits;
        nbits = BitsMin;
        maxcode = MaxCode(BitsMin);
    };

    if (size > 0) {
        sink.Put(CodeClear, nbits);
        outcount += nbits;
        ent = data[0];
    }
    std::size_t i = 1;
    while (i < size) {
        const std::size_t end = std::min(size, i + Piece);
        Reserve(out, sink, (end - i) * MaxBytesPerInput + TailBytes);
        for (; i < end; ++i) {
            const std::uint32_t c = data[i];
            const std::size_t entry = std::size_t(ent) << slotBits | Slot[c];
            const std::uint32_t next = Child[entry];
            if (next != 0) {
                ent = next;
                continue;
            }
            sink.Put(ent, nbits);
            outcount += nbits;
            std::uint16_t* const runCodes = RunCodes + (std::size_t(Slot[c]) << BitsMax);
            std::uint16_t& longest = RunLongest[Slot[c]];
            if (ent == runCodes[longest])
                runCodes[++longest] = static_cast<std::uint16_t>(freeEnt);
            ent = c;
            Child[entry] = static_cast<std::uint16_t>(freeEnt);
            std::fill_n(Child + freeEnt * rowWidth, rowWidth, std::uint16_t(0));
            ++freeEnt;
            if (freeEnt == CodeLimit) {
                clearTable(i);
            } else if (freeEnt > maxcode) {
                ++nbits;
                maxcode = MaxCode(nbits);
            } else {
                const auto incount = static_cast<std::int64_t>(i + 1 - origin);
                if (incount >= checkpoint) {
                    // A 24.8 fixed-point ratio; libtiff guards the shift the same way.
                    checkpoint = incount + CheckGap;
                    std::int64_t rat;
                    if (incount > 0x007fffff) {
                        rat = outcount >> 8;
                        rat = rat == 0 ? 0x7fffffff : incount / rat;
                    } else {
                        rat = (incount << 8) / outcount;
                    }
                    if (rat <= ratio)
                        clearTable(i);
                    else
                        ratio = rat;
                }
            }
            // The string is now the single byte c. Along a run of c it walks
            // the codes of c repeated, known without looking them up; a
            // lookup takes over where the run or those codes end.
            if (i + 1 < end && data[i + 1] == c && longest > 1) {
                const std::size_t along = RunLength(data + i + 1, std::min<std::size_t>(end - i - 1, longest - 1),
                                                    static_cast<std::uint8_t>(c));
                ent = runCodes[1 + along];
                i += along;
            }
        }
    }

    Reserve(out, sink, TailBytes);
    if (size > 0) {
        // The last string counts as an entry for the width of what follows.
        sink.Put(ent, nbits);
        ++freeEnt;
        if (freeEnt == CodeLimit) {
            sink.Put(CodeClear, nbits);
            nbits = BitsMin;
        } else if (freeEnt > maxcode) {
            ++nbits;
        }
    }
    sink.Put(CodeEOI, nbits);
    sink.Flush();
    out.resize(static_cast<std::size_t>(sink.Out - out.data()));
}

}  // namespace tavrin
