// Compression-7 codes of any content decoded into a band of exactly the
// size the decoder is given, so any write or read outside it is caught.
#include "base/pagebuffer/BandDecoder.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    // Geometry from the first three bytes: 1 to 256 bytes per line, 1 to 16 lines.
    const std::size_t line = std::size_t(data[0]) + 1;
    const std::size_t band = line * (std::size_t(data[1] & 15) + 1) - (data[2] % line);
    std::vector<std::uint8_t> area(line + band);
    const std::vector<std::uint8_t> codes(data + 3, data + size);
    tavrin::DecodeBandCodes(codes.data(), codes.size(), area.data(), band, line);
    return 0;
}
