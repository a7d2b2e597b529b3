// Encodes the strips of a master with the station's LZW encoder and with
// libtiff's own (each strip as the only strip of a TIFF in memory, as the
// master writer did before it had an encoder of its own), on one core, in
// the same run; checks that the streams are equal and prints both rates and
// their ratio. Without a master it encodes one strip of screened index rows
// (four plates under rotated round-dot screens, 19843 x 288 pixels: a strip
// of an A4 master at 2400 dpi).
// Usage: lzw_encoder_bench [MASTER.tif] [REPEATS]
#include "bench/BenchMeasures.h"
#include "engines/imaging/LZWEncoder.h"
#include "tests/imaging/LibtiffLZW.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace tavrin;
using namespace tavrin::bench;

namespace {

struct TStrip {
    std::uint32_t Width = 0;
    std::uint32_t Rows = 0;
    std::vector<std::uint8_t> Pixels;
};

std::vector<TStrip> MasterStrips(const std::string& path)
{
    std::vector<TStrip> strips;
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (!tiff)
        return strips;
    std::uint32_t width = 0, height = 0, rowsPerStrip = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::min(rowsPerStrip, height);
    for (std::uint32_t s = 0; s < TIFFNumberOfStrips(tiff); ++s) {
        TStrip strip{width, std::min(rowsPerStrip, height - s * rowsPerStrip), {}};
        strip.Pixels.resize(std::size_t(strip.Width) * strip.Rows);
        if (TIFFReadEncodedStrip(tiff, s, strip.Pixels.data(), tmsize_t(strip.Pixels.size())) < 0) {
            strips.clear();
            break;
        }
        strips.push_back(std::move(strip));
    }
    TIFFClose(tiff);
    return strips;
}

TStrip ScreenedStrip(std::uint32_t width, std::uint32_t rows)
{
    TStrip strip{width, rows, std::vector<std::uint8_t>(std::size_t(width) * rows)};
    const double angles[4] = {0.26, 1.31, 0.0, 0.79};
    for (std::uint32_t y = 0; y < rows; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            unsigned index = 0;
            for (int k = 0; k < 4; ++k) {
                const double u = x * std::cos(angles[k]) + y * std::sin(angles[k]);
                const double v = -x * std::sin(angles[k]) + y * std::cos(angles[k]);
                // 150 lpi at 2400 dpi: 16 pixels a cell.
                const double pi = 3.141592653589793;
                const double dot = (std::cos(u * pi / 8) + std::cos(v * pi / 8)) / 4 + 0.5;
                const double tone = double((x + k * 4000) % width) / width;
                index |= unsigned(dot < tone) << (3 - k);
            }
            strip.Pixels[std::size_t(y) * width + x] = static_cast<std::uint8_t>(index | 0xF0);
        }
    return strip;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string path = argc > 1 ? argv[1] : "";
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::vector<TStrip> strips =
        path.empty() ? std::vector<TStrip>{ScreenedStrip(19843, 288)} : MasterStrips(path);
    if (strips.empty()) {
        std::fprintf(stderr, "cannot read the strips of %s\n", path.c_str());
        return 1;
    }
    std::uint64_t bytes = 0, encodedBytes = 0;
    for (const TStrip& strip : strips)
        bytes += strip.Pixels.size();

    TLZWEncoder encoder;
    std::vector<std::uint8_t> ours;
    double best = 1e30, bestLibtiff = 1e30;
    bool equal = true;
    for (int round = 0; round < repeats; ++round) {
        auto start = Clock::now();
        for (const TStrip& strip : strips)
            encoder.EncodeStrip(strip.Pixels.data(), strip.Pixels.size(), ours);
        best = std::min(best, Seconds(start));

        start = Clock::now();
        encodedBytes = 0;
        for (const TStrip& strip : strips)
            encodedBytes += testing::LibtiffLZWStrip(strip.Pixels.data(), strip.Width, strip.Rows).size();
        bestLibtiff = std::min(bestLibtiff, Seconds(start));
    }
    for (const TStrip& strip : strips) {
        encoder.EncodeStrip(strip.Pixels.data(), strip.Pixels.size(), ours);
        equal = equal && ours == testing::LibtiffLZWStrip(strip.Pixels.data(), strip.Width, strip.Rows);
    }

    std::printf("%s: %zu strips, %.1f MB in, %.1f MB out\n", path.empty() ? "screened strip" : path.c_str(),
                strips.size(), bytes / 1e6, encodedBytes / 1e6);
    std::printf("station encoder  %.3f s  %.0f MB/s\n", best, bytes / 1e6 / best);
    std::printf("libtiff encoder  %.3f s  %.0f MB/s\n", bestLibtiff, bytes / 1e6 / bestLibtiff);
    std::printf("ratio %.2f, streams %s; best of %d, load %s\n", best / bestLibtiff, equal ? "equal" : "DIFFER",
                repeats, LoadAverage().c_str());
    return equal ? 0 : 1;
}
