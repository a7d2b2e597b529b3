// Decodes every band of a page buffer file the way the mastering task does
// (ReadBand in order) and compares the output rate with memcpy of the same
// bytes in the same run. Prints rates, their ratio and peak memory.
// Usage: pgb_decode_bench FILE.pgb [REPEATS]
#include "base/pagebuffer/BandDecoder.h"
#include "base/pagebuffer/PGBObject.h"
#include "bench/BenchMeasures.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace tavrin;
using namespace tavrin::bench;

namespace {

struct TCompressedTime {
    double Seconds = 0;
    std::uint64_t Bytes = 0;
};

// One pass of ReadBand over the plate; returns the output bytes, or 0 when a
// band failed. Adds the time and output of the compressed bands alone to `compressed`.
std::uint64_t ReadAllBands(const std::string& path, std::uint8_t& checksum, TCompressedTime& compressed)
{
    TPGBObject pgb(path);
    std::uint64_t bytes = 0;
    for (int band = 0; band < pgb.MaxBand; ++band) {
        const auto start = Clock::now();
        const TBandBlock block = pgb.ReadBand(band);
        const std::uint32_t size = pgb.BandSizes[static_cast<std::size_t>(band)];
        if (size > 0 && size < std::uint32_t(pgb.BytesInBand)) {
            compressed.Seconds += Seconds(start);
            compressed.Bytes += static_cast<std::uint64_t>(pgb.BytesInBand);
        }
        if (!block) {
            std::fprintf(stderr, "band %d: %s\n", band, pgb.ReadBandError().c_str());
            return 0;
        }
        checksum ^= block[static_cast<std::size_t>(band) % static_cast<std::size_t>(pgb.BytesInBand)];
        bytes += static_cast<std::uint64_t>(pgb.BytesInBand);
    }
    return bytes;
}

// memcpy of the same number of bytes, band by band, into a fresh block per band as ReadBand hands them over.
std::uint64_t CopyAllBands(const TPGBObject& pgb, const std::vector<std::uint8_t>& source, std::uint8_t& checksum)
{
    std::uint64_t bytes = 0;
    for (int band = 0; band < pgb.MaxBand; ++band) {
        auto block = std::make_unique_for_overwrite<std::uint8_t[]>(source.size());
        std::memcpy(block.get(), source.data(), source.size());
        checksum ^= block[static_cast<std::size_t>(band) % source.size()];
        bytes += source.size();
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "Usage: pgb_decode_bench FILE.pgb [REPEATS]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const TPGBObject header(path);
    std::uint64_t stored = 0, compressedBands = 0;
    for (std::uint32_t size : header.BandSizes) {
        stored += size;
        compressedBands += size > 0 && size < std::uint32_t(header.BytesInBand) ? 1 : 0;
    }
    std::printf("plate: %d x %d pixels, %d bands of %d bytes (%llu compressed), stored %.1f MB, output %.1f MB\n",
                header.ImageWidth, header.ImageHeight, header.MaxBand, header.BytesInBand,
                static_cast<unsigned long long>(compressedBands), stored / 1e6,
                double(header.MaxBand) * header.BytesInBand / 1e6);

    std::uint8_t checksum = 0;
    double decodeBest = 1e30, copyBest = 1e30, compressedBest = 0;
    std::uint64_t bytes = 0;
    const std::vector<std::uint8_t> source(static_cast<std::size_t>(header.BytesInBand), 0x5a);
    for (int round = 0; round < repeats; ++round) {
        auto start = Clock::now();
        TCompressedTime compressed;
        bytes = ReadAllBands(path, checksum, compressed);
        decodeBest = std::min(decodeBest, Seconds(start));
        if (compressed.Seconds > 0)
            compressedBest = std::max(compressedBest, compressed.Bytes / compressed.Seconds / 1e6);
        if (bytes == 0)
            return 1;
        start = Clock::now();
        CopyAllBands(header, source, checksum);
        copyBest = std::min(copyBest, Seconds(start));
    }
    const double decodeRate = bytes / decodeBest / 1e6, copyRate = bytes / copyBest / 1e6;
    std::printf("ReadBand (file read and decode): %8.0f MB/s output  (best of %d, %.3f s per plate)\n", decodeRate,
                repeats, decodeBest);
    std::printf("  compressed bands alone:        %8.0f MB/s output\n", compressedBest);
    std::printf("memcpy of the same bytes:        %8.0f MB/s\n", copyRate);
    std::printf("ratio ReadBand / memcpy:         %8.3f\n", decodeRate / copyRate);
    std::printf("peak memory:                     %8.1f MiB  (largest band %.2f MB stored, %.2f MB decoded)\n",
                PeakMemoryMiB(), *std::max_element(header.BandSizes.begin(), header.BandSizes.end()) / 1e6,
                header.BytesInBand / 1e6);
    std::printf("(checksum %u)\n", checksum);
    return 0;
}
