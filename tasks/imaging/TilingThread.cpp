#include "tasks/imaging/TilingThread.h"

#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"
#include "base/platform/LocalClock.h"
#include "base/tasking/RoundedPercent.h"
#include "engines/imaging/MasterImagePath.h"
#include "engines/imaging/MasterLayout.h"
#include "engines/imaging/ProofImage.h"
#include "engines/imaging/PyramidCutter.h"
#include "engines/imaging/TileCutter.h"
#include "engines/imaging/TileGrid.h"
#include "engines/web/HTMLJobRecord.h"
#include "engines/web/ProofPages.h"

#include <filesystem>
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

}  // namespace

TTilingThread::TTilingThread(TMessageTarget& target, const TTaskContext& context)
    : TTaskThread(target, context.JobReference(), WM_WEB_DONE), Context(context)
{
}

std::string TTilingThread::TileDatabaseName(int level, int page)
{
    return "tile" + std::to_string(level) + PageNumberText(page) + ".tdb";
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

    // 2. The pages, with the settings the chain started with.
    WriteJobProofPages(Context.Catalogue(), job, Context.Settings(), jobFolder, started, tables);
    PostLogText("", 100);
}

}  // namespace tavrin
