// Masters page 1 of a rendered job with the mastering task (page buffer
// decoding, composing, LZW on the strip encoders) and compares it in the same
// run with libtiff's tiffcp compressing the same master, stored uncompressed,
// to LZW: the cost of LZW alone on one core. Both run at idle priority, as the
// station's tasks do. Prints times, their ratio, the machine's load and the
// peak memory of this process.
// Usage: mastering_bench PAGEBUFFER_FOLDER [REPEATS]
#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/platform/MessageQueue.h"
#include "base/platform/ProgramPath.h"
#include "bench/BenchMeasures.h"
#include "bench/BenchStation.h"
#include "bench/TaskCompletion.h"
#include "engines/imaging/MasterImagePath.h"
#include "tasks/imaging/MasteringThread.h"
#include "tests/support/TaskContexts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace tavrin;
using tavrin::testing::MasteringContext;
using namespace tavrin::bench;

namespace {

double MasterOnce(TCatalogueConnection& catalogue, const std::string& inputFolder, std::uint32_t reference)
{
    TMessageQueue queue;
    TCompletion completion;
    const auto start = Clock::now();
    auto* task = new TMasteringThread(queue, MasteringContext(catalogue, reference, inputFolder));
    task->Start();
    queue.PumpUntil(
        completion, [&] { return completion.Done; }, std::chrono::minutes(10));
    return Seconds(start);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "Usage: mastering_bench PAGEBUFFER_FOLDER [REPEATS]\n");
        return 2;
    }
    const std::string inputFolder = std::filesystem::absolute(argv[1]).string() + "/";
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    // 1. A scratch station that catalogues the folder.
    const auto folder = std::filesystem::temp_directory_path() / "tavrin-mastering-bench";
    TCatalogueConnection catalogue;
    const TJobDetailRecord job = CatalogueBenchJob(catalogue, folder, inputFolder);
    const std::int32_t reference = job.Reference;
    std::printf("page %d x %d pixels at %d dpi; load before: %s\n", job.ImageWidth, job.ImageHeight, job.XResolution,
                LoadAverage().c_str());

    // 2. Ours and the peer in turn; the best of each counts.
    const std::string master = MasterImagePath(job.UniqueID, 1);
    const std::string plain = (folder / "uncompressed.tif").string();
    const std::string peer = (folder / "tiffcp-lzw.tif").string();
    double ours = 1e9, floor = 1e9, oursProcessor = 1e9, floorProcessor = 1e9;
    for (int round = 0; round < repeats; ++round) {
        const double processor = ProcessorSeconds(RUSAGE_SELF);
        ours = std::min(ours, MasterOnce(catalogue, inputFolder, static_cast<std::uint32_t>(reference)));
        oursProcessor = std::min(oursProcessor, ProcessorSeconds(RUSAGE_SELF) - processor);
        if (round == 0)
            TimedCommand("tiffcp -c none '" + master + "' '" + plain + "'");
        const double children = ProcessorSeconds(RUSAGE_CHILDREN);
        floor = std::min(floor, TimedCommand("chrt --idle 0 tiffcp -c lzw '" + plain + "' '" + peer + "'"));
        floorProcessor = std::min(floorProcessor, ProcessorSeconds(RUSAGE_CHILDREN) - children);
    }
    const double peak = PeakMemoryMiB();
    std::printf("mastering (decode + compose + LZW), best of %d: %.2f s\n", repeats, ours);
    std::printf("tiffcp -c lzw of the uncompressed master (floor), best of %d: %.2f s\n", repeats, floor);
    std::printf("ratio: %.2f\n", ours / floor);
    std::printf("processor time (all threads), best of %d: mastering %.2f s, tiffcp %.2f s\n", repeats, oursProcessor,
                floorProcessor);
    std::printf("master %.1f MB, tiffcp's LZW file %.1f MB\n", std::filesystem::file_size(master) / 1048576.0,
                std::filesystem::file_size(peer) / 1048576.0);
    std::printf("peak memory of the mastering process: %.1f MB\n", peak);
    std::printf("load after: %s\n", LoadAverage().c_str());
    catalogue.Close();
    std::filesystem::remove_all(folder);
    return 0;
}
