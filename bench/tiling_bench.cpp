// Tiling and overview benchmark. "master" masters page 1 of a rendered job
// into a master file kept for the runs (in a process of its own, so that the
// peak memory of "run" is the tiling's alone). "run" cuts the five zoom
// levels of that master in one pass as the Web task does, and its overview
// as the Preview task does, at idle priority, and compares them in the same
// run with vips dzsave (288-pixel PNG tiles, no overlap) and vipsthumbnail
// -s 288, also at idle priority. Prints times (best of the repeats), processor times, their
// ratios, the machine's load and the peak memory of this process.
// Usage: tiling_bench master PAGEBUFFER_FOLDER MASTER.tif
//        tiling_bench run MASTER.tif RESOLUTION [REPEATS] [KEEP_FOLDER]
//        tiling_bench ours MASTER.tif RESOLUTION [REPEATS] [LEVELS]   (no peers, for profiling)
//        tiling_bench single MASTER.tif RESOLUTION [REPEATS] [LEVELS]   (processor time on one thread)
//        tiling_bench compression MASTER.tif RESOLUTION   (time and bytes of the tiles at each zlib level)
//        tiling_bench chain PAGEBUFFER_FOLDER [REPEATS]   (the Master, Preview and Web tasks of page 1)
//        tiling_bench changes MASTER.tif RESOLUTION [REPEATS]   (the change map of a corrected rectangle)
#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"
#include "base/platform/MessageQueue.h"
#include "base/platform/ProcessPriority.h"
#include "base/platform/ProgramPath.h"
#include "bench/BenchMeasures.h"
#include "bench/BenchStation.h"
#include "bench/TaskCompletion.h"
#include "engines/imaging/ChangeMap.h"
#include "engines/imaging/MasterImagePath.h"
#include "engines/imaging/PngWriter.h"
#include "engines/imaging/ProofImage.h"
#include "engines/imaging/PyramidCutter.h"
#include "engines/imaging/RoundCompare.h"
#include "engines/imaging/StripReader.h"
#include "engines/imaging/TileCutter.h"
#include "tasks/imaging/MasteringThread.h"
#include "tasks/imaging/PreviewThread.h"
#include "tasks/imaging/TilingThread.h"
#include "tests/imaging/ReferenceCopies.h"
#include "tests/support/TaskContexts.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace tavrin;
using tavrin::testing::MasteringContext;
using namespace tavrin::bench;

namespace {

// Masters page 1 of the job in the folder through a scratch station.
int MakeMaster(const std::string& inputFolder, const std::string& masterPath)
{
    const auto folder = std::filesystem::temp_directory_path() / "tavrin-tiling-bench";
    TCatalogueConnection catalogue;
    const TJobDetailRecord job = CatalogueBenchJob(catalogue, folder, inputFolder);
    const std::int32_t reference = job.Reference;
    TMessageQueue queue;
    TCompletion completion;
    auto* task =
        new TMasteringThread(queue, MasteringContext(catalogue, static_cast<std::uint32_t>(reference), inputFolder));
    task->Start();
    queue.PumpUntil(
        completion, [&] { return completion.Done; }, std::chrono::minutes(10));
    std::filesystem::create_directories(std::filesystem::absolute(masterPath).parent_path());
    std::filesystem::copy_file(MasterImagePath(job.UniqueID, 1), masterPath,
                               std::filesystem::copy_options::overwrite_existing);
    catalogue.Close();
    std::filesystem::remove_all(folder);
    std::printf("master of %d x %d pixels at %d dpi: %s\n", job.ImageWidth, job.ImageHeight, job.XResolution,
                masterPath.c_str());
    return 0;
}

// The Web task's five zoom factors for a page of the master's size.
std::array<double, 5> LevelFactors(const TProofImage& image, int resolution)
{
    const double larger = std::max(image.Width(), image.Height());
    return {576 / larger, 96.0 / resolution, 192.0 / resolution, 384.0 / resolution, 1.0};
}

struct TTimes {
    double Wall = 1e9;
    double Processor = 1e9;
    void Keep(double wall, double processor)
    {
        Wall = std::min(Wall, wall);
        Processor = std::min(Processor, processor);
    }
};

std::uintmax_t FolderBytes(const std::filesystem::path& folder)
{
    std::uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            bytes += entry.file_size();
    return bytes;
}

int Run(const std::string& master, int resolution, int repeats, const std::string& keep, bool withPeers,
        const std::string& levelsToCut = "01234")
{
    // As the station's tasks run; the peers run under chrt --idle as well.
    SetProcessIdlePriority();
    SetCurrentThreadIdlePriority();
    const auto folder = std::filesystem::temp_directory_path() / "tavrin-tiling-bench-run";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "ours");

    const double baseline = PeakMemoryMiB();
    auto image = TProofImage::CreateForRead(master);
    if (!image->Tiff())
        return 1;
    const std::array<double, 5> factors = LevelFactors(*image, resolution);
    std::printf("memory before cutting: %.1f MB\n", baseline);
    std::printf("master %u x %u pixels at %d dpi, %.1f MB; load before: %s\n", image->Width(), image->Height(),
                resolution, std::filesystem::file_size(master) / 1048576.0, LoadAverage().c_str());

    // 1. Ours: the five levels, then the overview.
    TTimes tiles, overview;
    for (int round = 0; round < repeats; ++round) {
        const auto start = Clock::now();
        const double processor = ProcessorSeconds(RUSAGE_SELF);
        // As the Web task cuts them: every level from one decode.
        TPyramidOrder order;
        for (std::size_t z = 0; z < factors.size(); ++z)
            if (levelsToCut.find(char('0' + z)) != std::string::npos)
                order.Levels.push_back(
                    {(folder / "ours" / ("tile" + std::to_string(z) + "-0001.tdb")).string(), factors[z]});
        for (const std::exception_ptr& error : CutPyramid(image->Tiff(), order, nullptr, DefaultTileWorkers()))
            if (error)
                std::rethrow_exception(error);
        tiles.Keep(Seconds(start), ProcessorSeconds(RUSAGE_SELF) - processor);
        const auto previewStart = Clock::now();
        const double previewProcessor = ProcessorSeconds(RUSAGE_SELF);
        image->MakePreview((folder / "ours" / "overview-0001.png").string(),
                           288.0 / std::max(image->Width(), image->Height()));
        overview.Keep(Seconds(previewStart), ProcessorSeconds(RUSAGE_SELF) - previewProcessor);
    }
    const double peak = PeakMemoryMiB();
    const std::uintmax_t ourBytes = FolderBytes(folder / "ours");
    image.reset();

    // 2. The peers on the same master.
    TTimes dzsave, thumbnail;
    for (int round = 0; round < repeats && withPeers; ++round) {
        std::filesystem::remove_all(folder / "vips");
        std::filesystem::create_directories(folder / "vips");
        double children = ProcessorSeconds(RUSAGE_CHILDREN);
        const double wall =
            TimedCommand("chrt --idle 0 vips dzsave '" + master + "' '" + (folder / "vips" / "out").string() +
                         "' --tile-size 288 --overlap 0 --suffix .png");
        dzsave.Keep(wall, ProcessorSeconds(RUSAGE_CHILDREN) - children);
        children = ProcessorSeconds(RUSAGE_CHILDREN);
        const double thumbnailWall = TimedCommand("chrt --idle 0 vipsthumbnail '" + master + "' -s 288 -o '" +
                                                  (folder / "vips" / "thumbnail.png").string() + "'");
        thumbnail.Keep(thumbnailWall, ProcessorSeconds(RUSAGE_CHILDREN) - children);
    }

    if (!withPeers) {
        std::printf("tiles: ours %.2f s (processor %.2f s); overview: ours %.2f s (processor %.2f s)\n", tiles.Wall,
                    tiles.Processor, overview.Wall, overview.Processor);
        std::printf("peak memory of the tiling process: %.1f MB\n", peak);
        std::filesystem::remove_all(folder);
        return 0;
    }
    std::printf("tiles: ours %.2f s (processor %.2f s), vips dzsave %.2f s (processor %.2f s), ratio %.3f\n",
                tiles.Wall, tiles.Processor, dzsave.Wall, dzsave.Processor, tiles.Wall / dzsave.Wall);
    std::printf("overview: ours %.2f s (processor %.2f s), vipsthumbnail %.2f s (processor %.2f s), ratio %.3f\n",
                overview.Wall, overview.Processor, thumbnail.Wall, thumbnail.Processor, overview.Wall / thumbnail.Wall);
    std::printf("files: ours %.1f MB, vips dzsave %.1f MB\n", ourBytes / 1048576.0,
                FolderBytes(folder / "vips") / 1048576.0);
    std::printf("peak memory of the tiling process: %.1f MB\n", peak);
    std::printf("load after: %s\n", LoadAverage().c_str());
    if (!keep.empty()) {
        std::filesystem::remove_all(keep);
        std::filesystem::copy(folder / "ours", keep, std::filesystem::copy_options::recursive);
    }
    std::filesystem::remove_all(folder);
    return 0;
}

// Processor time of each level cut on the calling thread alone (no helper
// threads): the cost of the work itself, steadier than wall times on a
// loaded machine.
int SingleThreaded(const std::string& master, int resolution, int repeats, const std::string& levelsToCut)
{
    auto image = TProofImage::CreateForRead(master);
    if (!image->Tiff())
        return 1;
    const std::array<double, 5> factors = LevelFactors(*image, resolution);
    const auto file = std::filesystem::temp_directory_path() / "tavrin-tiling-bench-level.tdb";
    for (std::size_t z = 0; z < factors.size(); ++z) {
        if (levelsToCut.find(char('0' + z)) == std::string::npos)
            continue;
        double best = 1e9;
        for (int round = 0; round < repeats; ++round) {
            const double processor = ProcessorSeconds(RUSAGE_SELF);
            CutTiles(image->Tiff(), file.string(), 288, factors[z], nullptr, 0);
            best = std::min(best, ProcessorSeconds(RUSAGE_SELF) - processor);
        }
        std::printf("level %zu on one thread: processor %.3f s\n", z, best);
    }
    std::filesystem::remove(file);
    return 0;
}

// The bytes a proof puts on the uplink: per zoom level, the whole job folder
// the Transfer task sends (every finished file), and what a customer's
// browser fetches for the first view of page 1: the page with its inlined
// script, the shared stylesheet, the data scripts it loads at opening, the
// page's overview, and the whole page fitted from level 0 (its database's
// header and index by range, then every tile). "before": the same tiles
// as libgd wrote them at zlib level 1, the index chunk added.
void BytesReport(const std::filesystem::path& jobFolder)
{
    std::uintmax_t whole = 0;
    for (const auto& entry : std::filesystem::directory_iterator(jobFolder))
        if (entry.is_regular_file() && !IsUnfinishedName(entry.path().filename().string()))
            whole += entry.file_size();
    std::uintmax_t tilesNow = 0, tilesBefore = 0, firstNow = 0, firstBefore = 0;
    std::printf("level  tiles  MB now  MB before (libgd, zlib 1)\n");
    for (int level = 0; level < 5; ++level) {
        const auto path = jobFolder / ("tile" + std::to_string(level) + "-0001.tdb");
        if (!std::filesystem::exists(path))
            continue;
        const testing::TTileFile file = testing::TTileFile::Read(path.string());
        std::uintmax_t now = 0, before = 0;
        for (const auto& [position, png] : file.Tiles) {
            now += png.size();
            const std::shared_ptr<gdImage> tile(gdImageCreateFromPngPtr(int(png.size()), const_cast<char*>(png.data())),
                                                gdImageDestroy);
            int size = 0;
            void* old = gdImagePngPtrEx(tile.get(), &size, 1);
            gdFree(old);
            before += std::uintmax_t(size);
            for (const auto& [type, data] : testing::PngChunks(png))
                if (type == IndexChunkType)
                    before += 12 + data.size();
        }
        // The database's size is the tiles in blocks plus header and index.
        const std::uintmax_t fileBytes = std::filesystem::file_size(path);
        tilesNow += fileBytes;
        tilesBefore += fileBytes - now + before;
        std::printf("%5d  %5zu  %6.2f  %6.2f (tile data only)\n", level, file.Tiles.size(), now / 1048576.0,
                    before / 1048576.0);
        if (level == 0) {
            const std::uintmax_t indexBytes = 20 + std::uintmax_t(file.Columns) * file.Rows * 8;
            firstNow += indexBytes + now;
            firstBefore += indexBytes + before;
        }
    }
    std::uintmax_t pageBytes = 0;
    const std::filesystem::path program = testing::BuiltProgramFolder();
    // The page inlines the viewer's script; without the page (the bench's
    // program folder holds no script), the script alone.
    const std::filesystem::path page =
        std::filesystem::exists(jobFolder / "index.html") ? jobFolder / "index.html" : program / "tavrin.js";
    for (const auto& path : {page, program / "scripts" / "tavrin.css", jobFolder / "inks.js", jobFolder / "rounds.js",
                             jobFolder / "due.js", jobFolder / "proof.js", jobFolder / OverviewName(1)})
        if (std::filesystem::exists(path))
            pageBytes += std::filesystem::file_size(path);
        else
            std::printf("(not in the proof: %s)\n", path.filename().c_str());
    std::printf("tile databases: %.1f MB now, %.1f MB before; whole job folder: %.1f MB now, %.1f MB before\n",
                tilesNow / 1048576.0, tilesBefore / 1048576.0, whole / 1048576.0,
                (whole - tilesNow + tilesBefore) / 1048576.0);
    std::printf("first view of page 1: %.1f KB now, %.1f KB before (of which page, stylesheet, data scripts and "
                "overview %.1f KB)\n",
                (firstNow + pageBytes) / 1024.0, (firstBefore + pageBytes) / 1024.0, pageBytes / 1024.0);
}

// Master, Preview and Web of page 1 of a rendered job, one task after the
// other as the station runs them (each on its worker thread at idle
// priority): wall and processor seconds of each, best of the repeats.
int Chain(const std::string& inputFolder, int repeats)
{
    const auto folder = std::filesystem::temp_directory_path() / "tavrin-tiling-bench-chain";
    TCatalogueConnection catalogue;
    const TJobDetailRecord job = CatalogueBenchJob(catalogue, folder, inputFolder);
    const auto reference = static_cast<std::uint32_t>(job.Reference);
    const std::array<std::string, 3> names = {"Master", "Preview", "Web"};
    std::array<TTimes, 3> stages;
    TTimes total;
    std::printf("load before: %s\n", LoadAverage().c_str());
    for (int round = 0; round < repeats; ++round) {
        double wall = 0, processor = 0;
        for (std::size_t stage = 0; stage < stages.size(); ++stage) {
            TMessageQueue queue;
            TCompletion completion;
            const auto start = Clock::now();
            const double processorStart = ProcessorSeconds(RUSAGE_SELF);
            TWorkerThread* task = nullptr;
            if (stage == 0)
                task = new TMasteringThread(queue, MasteringContext(catalogue, reference, inputFolder));
            else if (stage == 1)
                task = new TPreviewThread(queue, TTaskContext({}, catalogue, reference));
            else
                task = new TTilingThread(queue, TTaskContext({}, catalogue, reference));
            task->Start();
            queue.PumpUntil(
                completion, [&] { return completion.Done; }, std::chrono::minutes(10));
            stages[stage].Keep(Seconds(start), ProcessorSeconds(RUSAGE_SELF) - processorStart);
            wall += Seconds(start);
            processor += ProcessorSeconds(RUSAGE_SELF) - processorStart;
        }
        total.Keep(wall, processor);
    }
    for (std::size_t stage = 0; stage < stages.size(); ++stage)
        std::printf("%-8s %.2f s (processor %.2f s)\n", names[stage].c_str(), stages[stage].Wall,
                    stages[stage].Processor);
    std::printf("together %.2f s (processor %.2f s), best round of %d; peak memory %.1f MB\n", total.Wall,
                total.Processor, repeats, PeakMemoryMiB());
    std::printf("load after: %s\n", LoadAverage().c_str());
    BytesReport(JobFolderPath(job.UniqueID));
    catalogue.Close();
    std::filesystem::remove_all(folder);
    return 0;
}

// The tiles' PNG compression by measurement: cuts the five levels, then
// encodes every tile again on one thread at each zlib level libgd offers,
// giving the processor time and the bytes of each.
int Compression(const std::string& master, int resolution)
{
    auto image = TProofImage::CreateForRead(master);
    if (!image->Tiff())
        return 1;
    const std::array<double, 5> factors = LevelFactors(*image, resolution);
    const auto folder = std::filesystem::temp_directory_path() / "tavrin-tiling-bench-compression";
    std::filesystem::create_directories(folder);
    TPyramidOrder order;
    for (std::size_t z = 0; z < factors.size(); ++z)
        order.Levels.push_back({(folder / ("tile" + std::to_string(z) + ".tdb")).string(), factors[z]});
    for (const std::exception_ptr& error : CutPyramid(image->Tiff(), order, nullptr, DefaultTileWorkers()))
        if (error)
            std::rethrow_exception(error);
    std::vector<std::shared_ptr<gdImage>> tiles;
    std::uintmax_t stored = 0;
    for (const TPyramidLevel& level : order.Levels) {
        const testing::TTileFile file = testing::TTileFile::Read(level.FileName);
        for (const auto& [position, png] : file.Tiles) {
            stored += png.size();
            tiles.emplace_back(gdImageCreateFromPngPtr(int(png.size()), const_cast<char*>(png.data())), gdImageDestroy);
        }
    }
    std::filesystem::remove_all(folder);
    std::printf("%zu tiles, %.1f MB as stored\n", tiles.size(), stored / 1048576.0);
    std::printf("zlib level  processor s  MB\n");
    for (int level : {1, 6}) {
        const double processor = ProcessorSeconds(RUSAGE_SELF);
        std::uintmax_t bytes = 0, palette = 0;
        for (const auto& tile : tiles) {
            int size = 0;
            void* png = gdImagePngPtrEx(tile.get(), &size, level);
            bytes += std::uintmax_t(size);
            palette += tile->trueColor ? 0 : std::uintmax_t(size);
            gdFree(png);
        }
        std::printf("%10d  %11.2f  %.1f (palette tiles %.1f)\n", level, ProcessorSeconds(RUSAGE_SELF) - processor,
                    bytes / 1048576.0, palette / 1048576.0);
    }
    // The station's own writer over libdeflate at each level and row filter,
    // the palette tiles (level 4) and the truecolor ones (levels 0 to 3)
    // apart; libgd filters palette rows with None, truecolor ones adaptively.
    std::printf("libdeflate level  filter    palette s  MB  truecolor s  MB\n");
    const std::pair<TPngFilter, const char*> filters[] = {{TPngFilter::None, "none"},
                                                          {TPngFilter::Sub, "sub"},
                                                          {TPngFilter::Up, "up"},
                                                          {TPngFilter::Paeth, "paeth"},
                                                          {TPngFilter::Adaptive, "adaptive"}};
    for (int level : {1, 2, 3, 4, 6})
        for (const auto& [filter, name] : filters) {
            const TPngWriter writer(level, filter, filter);
            double seconds[2] = {0, 0};
            std::uintmax_t bytes[2] = {0, 0};
            for (const auto& tile : tiles) {
                const int kind = tile->trueColor ? 1 : 0;
                const double processor = ProcessorSeconds(RUSAGE_SELF);
                bytes[kind] += writer.Write(tile.get()).size();
                seconds[kind] += ProcessorSeconds(RUSAGE_SELF) - processor;
            }
            std::printf("%16d  %8s  %9.2f  %5.1f  %11.2f  %5.1f\n", level, name, seconds[0], bytes[0] / 1048576.0,
                        seconds[1], bytes[1] / 1048576.0);
        }
    return 0;
}

}  // namespace

// Every strip of a master decoded on this thread, as a pass that needs the
// pixels must at least do.
void DecodeMaster(const std::string& path)
{
    auto image = TProofImage::CreateForRead(path);
    const TMasterLayout layout = TMasterLayout::Read(image->Tiff());
    TStripReader reader(image->Tiff(), layout, 0, layout.StripCount - 1, 0);
    while (reader.Next()) {
    }
}

// Two rounds' masters compared against decoding both, every plate bit named:
// as they are (rows that did not change are passed over whole), and with the
// newer round's plates on other bits, which makes every pixel be looked at.
int CompareMasters(const std::string& older, const std::string& newer, int repeats)
{
    SetProcessIdlePriority();
    SetCurrentThreadIdlePriority();
    auto page = [](const std::string& path, int shift) {
        auto image = TProofImage::CreateForRead(path);
        TRoundPage round{1, path, image->Width(), image->Height(), 2400, 2400, {}};
        for (int bit = 0; bit < 8; ++bit)
            round.Plates.push_back({"plate " + std::to_string((bit + shift) % 8), bit, ""});
        return round;
    };
    const TRoundPage oldPage = page(older, 0);
    const std::array<TRoundPage, 2> newPages = {page(newer, 0), page(newer, 1)};
    TTimes decode;
    std::array<TTimes, 2> compare;
    std::array<std::string, 2> lines;
    for (int round = 0; round < repeats; ++round) {
        auto start = Clock::now();
        double processor = ProcessorSeconds(RUSAGE_SELF);
        DecodeMaster(older);
        DecodeMaster(newer);
        decode.Keep(Seconds(start), ProcessorSeconds(RUSAGE_SELF) - processor);
        for (std::size_t i = 0; i < newPages.size(); ++i) {
            start = Clock::now();
            processor = ProcessorSeconds(RUSAGE_SELF);
            lines[i] = ComparisonLine(CompareRoundPages(&oldPage, &newPages[i]));
            compare[i].Keep(Seconds(start), ProcessorSeconds(RUSAGE_SELF) - processor);
        }
    }
    std::printf("master %u x %u pixels\n", oldPage.Width, oldPage.Height);
    std::printf("decoding both masters on one thread %.2f s (processor %.2f s)\n", decode.Wall, decode.Processor);
    const char* names[] = {"as they are", "every pixel looked at"};
    for (std::size_t i = 0; i < newPages.size(); ++i)
        std::printf("compare, %s: %.2f s (processor %.2f s), ratio %.3f; %.80s\n", names[i], compare[i].Wall,
                    compare[i].Processor, compare[i].Wall / decode.Wall, lines[i].c_str());
    std::printf("peak memory %.1f MB\n", PeakMemoryMiB());
    return 0;
}

// A copy of a master whose rectangle [left, right] x [top, bottom] is
// corrected on the plate of index bit `bit`: with `removeInk`, the plate's
// ink there is taken away (the changed pixels follow its screen), otherwise
// every pixel of the plate is flipped there (all of them change).
void WriteCorrectedMaster(const std::string& source, const std::string& target, std::uint32_t left, std::uint32_t top,
                          std::uint32_t right, std::uint32_t bottom, int bit, bool removeInk)
{
    TIFF* in = TIFFOpen(source.c_str(), "r");
    TIFF* out = TIFFOpen(target.c_str(), "w");
    if (!in || !out)
        throw std::runtime_error("Cannot copy " + source + " to " + target);
    std::uint32_t width = 0, height = 0, rowsPerStrip = 0;
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(in, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(in, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    TIFFGetField(in, TIFFTAG_COLORMAP, &red, &green, &blue);
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(out, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    TIFFSetField(out, TIFFTAG_COLORMAP, red, green, blue);
    std::vector<std::uint8_t> strip(TIFFStripSize(in));
    const std::uint8_t mask = static_cast<std::uint8_t>(1u << bit);
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(in); ++s) {
        const tmsize_t size = TIFFReadEncodedStrip(in, s, strip.data(), tmsize_t(strip.size()));
        if (size < 0)
            throw std::runtime_error("Cannot read strip " + std::to_string(s) + " of " + source);
        for (std::uint32_t row = 0; row < std::uint32_t(size) / width; ++row) {
            const std::uint32_t y = s * rowsPerStrip + row;
            if (y < top || y > bottom)
                continue;
            std::uint8_t* line = strip.data() + std::size_t(row) * width;
            for (std::uint32_t x = left; x <= right; ++x)
                // A plate's bit is 0 where it is inked.
                line[x] = static_cast<std::uint8_t>(removeInk ? line[x] | mask : line[x] ^ mask);
        }
        if (TIFFWriteEncodedStrip(out, s, strip.data(), size) < 0)
            throw std::runtime_error("Cannot write " + target);
    }
    TIFFClose(in);
    TIFFClose(out);
}

// The change map of a corrected rectangle of the page: the compare with and
// without the map against decoding both masters, and the map's bytes against
// those of the page's proof tiles.
int ChangeMaps(const std::string& master, int resolution, int repeats)
{
    SetProcessIdlePriority();
    SetCurrentThreadIdlePriority();
    const auto folder = std::filesystem::temp_directory_path() / "tavrin-tiling-bench-changes";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "tiles");
    auto image = TProofImage::CreateForRead(master);
    const std::array<double, 5> factors = LevelFactors(*image, resolution);
    const std::uint32_t width = image->Width(), height = image->Height();
    image.reset();
    // Two inches by half an inch in the middle of the page: a corrected paragraph.
    const std::uint32_t left = width / 2 - resolution, top = height / 2 - resolution / 4;
    const std::uint32_t right = left + 2 * resolution - 1, bottom = top + resolution / 2 - 1;

    // The proof tiles of the page, which the map goes beside.
    {
        auto page = TProofImage::CreateForRead(master);
        TPyramidOrder order;
        for (std::size_t z = 0; z < factors.size(); ++z)
            order.Levels.push_back(
                {(folder / "tiles" / ("tile" + std::to_string(z) + "-0001.tdb")).string(), factors[z]});
        for (const std::exception_ptr& error : CutPyramid(page->Tiff(), order, nullptr, DefaultTileWorkers()))
            if (error)
                std::rethrow_exception(error);
    }
    const std::uintmax_t tileBytes = FolderBytes(folder / "tiles");
    std::printf("master %u x %u pixels; proof tiles %.1f MB; corrected rectangle %u,%u to %u,%u\n", width, height,
                tileBytes / 1048576.0, left, top, right, bottom);

    auto page = [&](const std::string& path) {
        TRoundPage round{1, path, width, height, std::uint32_t(resolution), std::uint32_t(resolution), {}};
        for (int bit = 0; bit < 8; ++bit)
            round.Plates.push_back({"plate " + std::to_string(bit), bit, ""});
        return round;
    };
    const TRoundPage older = page(master);
    struct TCorrection {
        const char* Name;
        std::uint32_t Left, Top, Right, Bottom;
        bool RemoveInk;
    };
    const TCorrection corrections[] = {
        {"black taken away in the rectangle (the changes follow its screen)", left, top, right, bottom, true},
        {"black flipped in the whole rectangle", left, top, right, bottom, false},
        {"black taken away on the whole page (the worst case: a screened plate changed all over)", 0, 0, width - 1,
         height - 1, true},
    };
    for (const TCorrection& correction : corrections) {
        const std::string corrected = (folder / "corrected.tif").string();
        WriteCorrectedMaster(master, corrected, correction.Left, correction.Top, correction.Right, correction.Bottom, 0,
                             correction.RemoveInk);
        const TRoundPage newer = page(corrected);
        TTimes decode, compare, mapped;
        std::string line;
        std::uintmax_t mapBytes = 0;
        for (int round = 0; round < repeats; ++round) {
            auto start = Clock::now();
            double processor = ProcessorSeconds(RUSAGE_SELF);
            DecodeMaster(master);
            DecodeMaster(corrected);
            decode.Keep(Seconds(start), ProcessorSeconds(RUSAGE_SELF) - processor);

            start = Clock::now();
            processor = ProcessorSeconds(RUSAGE_SELF);
            CompareRoundPages(&older, &newer);
            compare.Keep(Seconds(start), ProcessorSeconds(RUSAGE_SELF) - processor);

            std::filesystem::remove_all(folder / "map");
            std::filesystem::create_directories(folder / "map");
            start = Clock::now();
            processor = ProcessorSeconds(RUSAGE_SELF);
            std::vector<TPyramidLevel> levels;
            for (std::size_t z = 0; z < factors.size(); ++z)
                levels.push_back({(folder / "map" / ChangeMapDatabaseName(int(z), 1)).string(), factors[z]});
            TChangeMapWriter writer(std::move(levels));
            line = ComparisonLine(CompareRoundPages(&older, &newer, &writer));
            writer.Finish();
            mapped.Keep(Seconds(start), ProcessorSeconds(RUSAGE_SELF) - processor);
            mapBytes = FolderBytes(folder / "map");
        }
        std::printf("== %s\n%.100s\n", correction.Name, line.c_str());
        std::printf("decoding both masters on one thread %.2f s (processor %.2f s)\n", decode.Wall, decode.Processor);
        std::printf("compare alone %.2f s (processor %.2f s); with the change map %.2f s (processor %.2f s), "
                    "ratio to decoding %.3f\n",
                    compare.Wall, compare.Processor, mapped.Wall, mapped.Processor, mapped.Wall / decode.Wall);
        std::printf("change map %.1f KB in 5 databases, %.3f %% of the proof tiles' bytes\n", mapBytes / 1024.0,
                    100.0 * double(mapBytes) / double(tileBytes));
    }
    std::printf("peak memory %.1f MB\n", PeakMemoryMiB());
    std::filesystem::remove_all(folder);
    return 0;
}

int main(int argc, char* argv[])
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "master" && argc == 4)
        return MakeMaster(std::filesystem::absolute(argv[2]).string() + "/", argv[3]);
    if (mode == "run" && argc >= 4)
        return Run(argv[2], std::atoi(argv[3]), argc > 4 ? std::max(1, std::atoi(argv[4])) : 1, argc > 5 ? argv[5] : "",
                   true);
    if (mode == "single" && argc >= 4)
        return SingleThreaded(argv[2], std::atoi(argv[3]), argc > 4 ? std::max(1, std::atoi(argv[4])) : 1,
                              argc > 5 ? argv[5] : "01234");
    if (mode == "chain" && argc >= 3)
        return Chain(std::filesystem::absolute(argv[2]).string() + "/", argc > 3 ? std::max(1, std::atoi(argv[3])) : 1);
    if (mode == "compare" && argc >= 4)
        return CompareMasters(argv[2], argv[3], argc > 4 ? std::max(1, std::atoi(argv[4])) : 1);
    if (mode == "changes" && argc >= 4)
        return ChangeMaps(argv[2], std::atoi(argv[3]), argc > 4 ? std::max(1, std::atoi(argv[4])) : 1);
    if (mode == "compression" && argc == 4)
        return Compression(argv[2], std::atoi(argv[3]));
    if (mode == "ours" && argc >= 4)
        return Run(argv[2], std::atoi(argv[3]), argc > 4 ? std::max(1, std::atoi(argv[4])) : 1, "", false,
                   argc > 5 ? argv[5] : "01234");
    std::fprintf(stderr, "Usage: tiling_bench master PAGEBUFFER_FOLDER MASTER.tif\n"
                         "       tiling_bench run MASTER.tif RESOLUTION [REPEATS] [KEEP_FOLDER]\n"
                         "       tiling_bench ours MASTER.tif RESOLUTION [REPEATS] [LEVELS]\n"
                         "       tiling_bench single MASTER.tif RESOLUTION [REPEATS] [LEVELS]\n"
                         "       tiling_bench compression MASTER.tif RESOLUTION\n"
                         "       tiling_bench compare OLD.tif NEW.tif [REPEATS]\n"
                         "       tiling_bench changes MASTER.tif RESOLUTION [REPEATS]\n"
                         "       tiling_bench chain PAGEBUFFER_FOLDER [REPEATS]\n");
    return 2;
}
