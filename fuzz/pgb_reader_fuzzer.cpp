// Page buffer files of any content: construction, then every band in order
// and a few out of order. Errors are fine; crashes and bad memory access are not.
#include "pagebuffer/PGBObject.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

std::string ScratchFile()
{
    const std::filesystem::path shm = "/dev/shm";
    const auto folder = std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path();
    return (folder / ("tavrin-fuzz-" + std::to_string(getpid()) + ".pgb")).string();
}

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = ScratchFile();
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        tavrin::TPGBObject pgb(path);
        pgb.GetJobTitle();
        pgb.HeaderFieldTexts();
        ReadEveryBand(pgb);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
