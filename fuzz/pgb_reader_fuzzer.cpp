// Page buffer files of any content: construction, then every band in order
// and a few out of order. Errors are fine; crashes and bad memory access are not.
#include "base/pagebuffer/PGBObject.h"

#include <cstdint>
#include <span>
#include <stdexcept>

namespace {

// Bands larger than this are legal for the reader but only slow the fuzzer down.
constexpr std::int64_t FuzzBandLimit = 16 << 20;

void ReadEveryBand(tavrin::TPGBObject& pgb)
{
    if (pgb.BytesInBand > FuzzBandLimit || pgb.BytesInLine > FuzzBandLimit)
        return;
    const int bands = static_cast<int>(pgb.BandSizes.size());
    for (int i = -1; i <= bands; ++i) {
        const tavrin::TBandBlock block = pgb.ReadBand(i);
        // Touch the whole band the caller is promised.
        if (block && pgb.BytesInBand > 0) {
            volatile std::uint8_t last = block[static_cast<std::size_t>(pgb.BytesInBand) - 1];
            (void)last;
        }
    }
    for (int i = bands - 1; i >= 0 && i >= bands - 3; --i)
        pgb.ReadBand(i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        // Read from memory: the same reader as for a file, without a file per input.
        tavrin::TPGBObject pgb("fuzz.pgb", std::span(data, size));
        pgb.GetJobTitle();
        pgb.HeaderFieldTexts();
        ReadEveryBand(pgb);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
