#include "tasks/imaging/TilingThread.h"

#include "base/catalogue/CarriedAnswers.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/ProofRounds.h"
#include "base/catalogue/RoundChanges.h"
#include "base/platform/LocalClock.h"
#include "base/tasking/RoundedPercent.h"
#include "engines/imaging/ChangeMap.h"
#include "engines/imaging/MasterImagePath.h"
#include "engines/imaging/MasterLayout.h"
#include "engines/imaging/ProofImage.h"
#include "engines/imaging/PyramidCutter.h"
#include "engines/imaging/RoundCompare.h"
#include "engines/imaging/TileCutter.h"
#include "engines/imaging/TileGrid.h"
#include "engines/web/HTMLJobRecord.h"
#include "engines/web/ProofPages.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>

namespace tavrin {

namespace {

std::uint32_t NonNegative(std::int32_t value)
{
    return value > 0 ? static_cast<std::uint32_t>(value) : 0;
}

// Removes every tile database of a page; raises when one stays.
void RemovePageTiles(const std::string& jobFolder, int page)
{
    for (int level = 0; level < TTilingThread::LevelCount; ++level)
        RemoveOutputFile(jobFolder + TTilingThread::TileDatabaseName(level, page));
}

// Until the task is done, the round data and change maps it wrote are not
// the proof's: a failed run leaves none of them.
class TRoundOutputs {
public:
    explicit TRoundOutputs(const std::string& jobFolder) : JobFolder(jobFolder) {}
    ~TRoundOutputs()
    {
        if (Kept)
            return;
        try {
            RemoveJobProofPages(JobFolder);
        } catch (...) {
            // What stays has no viewer page: the next run removes it.
        }
    }
    TRoundOutputs(const TRoundOutputs&) = delete;
    TRoundOutputs& operator=(const TRoundOutputs&) = delete;
    void Keep() { Kept = true; }

private:
    std::string JobFolder;
    bool Kept = false;
};

}  // namespace

TTilingThread::TTilingThread(TMessageTarget& target, const TTaskContext& context)
    : TTaskThread(target, context.JobReference(), WM_WEB_DONE), Context(context)
{
}

std::string TTilingThread::TileDatabaseName(int level, int page)
{
    return "tile" + std::to_string(level) + PageNumberText(page) + ".tdb";
}

std::optional<std::vector<TPageComparison>> TTilingThread::CompareWithEarlierRound(const TProofRound& round,
                                                                                   const std::string& jobFolder,
                                                                                   const std::vector<double>& factors,
                                                                                   TProofRoundData& data)
{
    TCatalogueConnection& catalogue = Context.Catalogue();
    TJobDetailRecord earlier;
    LoadJobDetail(catalogue, static_cast<std::int32_t>(round.EarlierReference), earlier);
    std::int32_t earlierNumber = std::max(round.Number - 1, 1);
    if (earlier.ID != 0) {
        earlierNumber = LoadProofRound(catalogue, round.EarlierReference).Number;
        data.Earlier = TEarlierProof{earlierNumber, RemoteJobFolderName(earlier.UniqueID, earlier.Secret) + "/"};
    }
    const std::string earlierText =
        "round " + std::to_string(earlierNumber) + " (job " + std::to_string(round.EarlierReference) + ")";
    std::vector<TRoundPage> older, newer;
    try {
        older = LoadRoundPages(catalogue, round.EarlierReference);
        newer = LoadRoundPages(catalogue, JobReference());
    } catch (const ERoundNotComparable& reason) {
        PostLogText("Not comparing with " + earlierText + ": " + reason.what());
        return std::nullopt;
    }
    PostLogText("Comparing with " + earlierText + "...");
    std::vector<TPageComparison> pages;
    for (std::size_t i = 0; i < std::max(older.size(), newer.size()); ++i) {
        const TRoundPage* before = i < older.size() ? &older[i] : nullptr;
        const TRoundPage* now = i < newer.size() ? &newer[i] : nullptr;
        const int page = now ? now->Page : before->Page;
        std::optional<TChangeMapWriter> map;
        if (before && now) {
            PostPage(page);
            std::vector<TPyramidLevel> levels;
            for (int level = 0; level < LevelCount; ++level)
                levels.push_back(
                    {jobFolder + ChangeMapDatabaseName(level, page), factors[static_cast<std::size_t>(level)]});
            map.emplace(std::move(levels), [this](int percentage) { PostTaskText("", percentage); });
        }
        // The changed pixels go into the map as the compare finds them: the
        // map costs no decode of the masters of its own.
        const TPageComparison comparison = CompareRoundPages(before, now, map ? &*map : nullptr);
        if (map && comparison.HasArea) {
            map->Finish();
            data.Mapped.insert(page);
        }
        PostLogText(ComparisonLine(comparison));
        pages.push_back(comparison);
    }
    return pages;
}

void TTilingThread::Run()
{
    // A job without a page 1 master dates its pages by this task's start.
    const TDateTime started = DateTimeFromLocalTime(LocalNow());
    TJobDetailRecord job;
    LoadJobDetail(Context.Catalogue(), static_cast<std::int32_t>(JobReference()), job);
    if (job.ID == 0) {
        Fail("Invalid Job for reference " + std::to_string(JobReference()));
        return;
    }
    const std::string jobFolder = JobFolderPath(job.UniqueID);
    // Until this run is complete there are no pages: a failed or killed run
    // must not leave a page that makes the next start skip to Transfer.
    RemoveJobProofPages(jobFolder);
    RemoveUnfinishedOutput(job.UniqueID);
    PostLogText("Creating web site...");
    std::filesystem::create_directories(jobFolder);
    if (job.PageCount < 1) {
        Fail("Job " + std::to_string(JobReference()) + " has no pages");
        return;
    }
    const std::vector<double> factors = ProofFactors(NonNegative(job.ImageWidth), NonNegative(job.ImageHeight),
                                                     NonNegative(job.XResolution), NonNegative(job.YResolution));

    // 0. A later round is compared with its earlier one first: what changed,
    //    and the change maps of its changed pages.
    TRoundOutputs outputs(jobFolder);
    const TProofRound round = LoadProofRound(Context.Catalogue(), JobReference());
    TProofRoundData roundData;
    roundData.Round = round.Number;
    roundData.JobName = job.Name;
    if (round.EarlierReference != 0)
        roundData.Pages = CompareWithEarlierRound(round, jobFolder, factors, roundData);

    // 1. The pyramid of every page; a page that fails is left without tiles.
    //    The masters' colour tables go to the viewer's ink data.
    TPageColorTables tables;
    for (int page = 1; page <= job.PageCount; ++page) {
        PostPage(page);
        const std::string master = MasterImagePath(job.UniqueID, page);
        RemovePageTiles(jobFolder, page);
        if (!std::filesystem::exists(master)) {
            Fail("Page " + std::to_string(page) + " has no master: " + master);
            return;
        }
        try {
            auto image = TProofImage::CreateForRead(master);
            if (const TMasterLayout layout = TMasterLayout::Read(image->Tiff()); layout.HasColorMap) {
                TPageColorTable& table = tables[page];
                for (std::size_t v = 0; v < 256; ++v) {
                    table[3 * v] = layout.Red[v];
                    table[3 * v + 1] = layout.Green[v];
                    table[3 * v + 2] = layout.Blue[v];
                }
            }
            // Every level from one decode of the master; its bar runs once from 0 to 100.
            TPyramidOrder order;
            order.TileSize = TileSide;
            for (int level = 0; level < LevelCount; ++level)
                order.Levels.push_back(
                    {jobFolder + TileDatabaseName(level, page), factors[static_cast<std::size_t>(level)]});
            const auto errors = CutPyramid(
                image->Tiff(), order, [this](int percentage) { PostTaskText("", percentage); }, DefaultTileWorkers());
            for (int level = 0; level < LevelCount; ++level) {
                if (errors[static_cast<std::size_t>(level)])
                    std::rethrow_exception(errors[static_cast<std::size_t>(level)]);
                PostLogText("Finished creating page " + std::to_string(page) + " zoom level " + std::to_string(level),
                            RoundedPercent(level + 2, 6));
            }
        } catch (...) {
            std::error_code ignored;
            for (int level = 0; level < LevelCount; ++level)
                std::filesystem::remove(jobFolder + TileDatabaseName(level, page), ignored);
            throw;
        }
    }

    // 2. The compare is kept with the proof it was made for, and the pages
    //    written with the settings the chain started with and the answers
    //    the unchanged pages carry.
    if (round.EarlierReference != 0) {
        if (roundData.Pages)
            SaveRoundChanges(Context.Catalogue(), JobReference(), round.EarlierReference, *roundData.Pages);
        else
            RemoveRoundChanges(Context.Catalogue(), JobReference());
        roundData.Carried = LoadCarriedAnswers(Context.Catalogue(), JobReference());
    }
    WriteJobProofPages(Context.Catalogue(), job, Context.Settings(), jobFolder, started, tables, roundData);
    outputs.Keep();
    PostLogText("", 100);
}

}  // namespace tavrin
