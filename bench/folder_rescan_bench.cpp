// Rescan of a page buffer folder whose jobs are all catalogued already: the
// header read and two catalogue look-ups per file are the only work.
// The first scan, which catalogues every job, is timed too.
// Usage: folder_rescan_bench [FILES [PLATES_PER_JOB]]   (default 1000 files, four plates a job)
//        folder_rescan_bench 1000 1                     (1,000 new single-plate jobs)
#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueDefinition.h"
#include "base/platform/ProgramPath.h"
#include "base/settings/SettingsRecord.h"
#include "base/tasking/StationLog.h"
#include "tasks/catalogue/FolderScan.h"
#include "tests/support/TreePaths.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace tavrin;

int main(int argc, char* argv[])
{
    const int files = argc > 1 ? std::stoi(argv[1]) : 1000;
    const int platesPerJob = argc > 2 ? std::clamp(std::stoi(argv[2]), 1, 4) : 4;
    const auto folder = std::filesystem::temp_directory_path() / "tavrin-rescan-bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "pgb");
    std::filesystem::copy_file(std::filesystem::path(testing::BuiltProgramFolder()) / "tavrin.dbi",
                               folder / "tavrin.dbi");
    OverrideProgramFilePath((folder / "tavrin").string());
    PrepareCatalogue(CatalogueFilePath(), true);
    TCatalogueConnection catalogue;
    OpenCatalogueConnection(catalogue, CatalogueFilePath());

    // Realistic headers and band tables: an A4 plate at 2400 dpi has about 230 bands of 128 lines.
    const char* colors[] = {"CYAN", "MAGENTA", "YELLOW", "BLACK"};
    const TBitmap blank{64, 128 * 230, std::vector<std::uint8_t>(8u * 128 * 230, 0)};
    for (int i = 0; i < files; ++i) {
        TPlateOptions options;
        options.JobNumber = 1000 + i / platesPerJob;
        options.ColorName = colors[i % platesPerJob];
        options.BandHeight = 128;
        WriteFileBytes((folder / "pgb" / (std::to_string(i) + ".pgb")).string(),
                       PageBufferBytes(PlateLayout(blank, options)));
    }

    TSettingsRecord settings;
    settings.InputFolder = (folder / "pgb").string();
    TStationLog log;
    const auto first = std::chrono::steady_clock::now();
    ScanPageBufferFolder(catalogue, settings, log);  // catalogues every job
    const auto second = std::chrono::steady_clock::now();
    constexpr int Rounds = 5;
    for (int round = 0; round < Rounds; ++round)
        ScanPageBufferFolder(catalogue, settings, log);
    const auto end = std::chrono::steady_clock::now();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double firstSeconds = std::chrono::duration<double>(second - first).count();
    const double rescanSeconds = std::chrono::duration<double>(end - second).count() / Rounds;
    const int jobs = (files + platesPerJob - 1) / platesPerJob;
    std::printf("files %d, jobs %d\n", files, jobs);
    std::printf("first scan (every job new): %.2f s (%.2f ms per job)\n", firstSeconds, firstSeconds * 1e3 / jobs);
    std::printf("rescan (all catalogued), mean of %d: %.3f s (%.0f us per file)\n", Rounds, rescanSeconds,
                rescanSeconds * 1e6 / files);
    std::printf("peak memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    catalogue.Close();
    std::filesystem::remove_all(folder);
    return 0;
}
