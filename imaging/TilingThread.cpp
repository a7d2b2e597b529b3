#include "imaging/TilingThread.h"

#include "catalogue/JobDetailRecord.h"
#include "catalogue/OutputLayout.h"
#include "imaging/MasterImagePath.h"
#include "imaging/ProofImage.h"
#include "platform/LocalClock.h"
#include "shell/RoundedPercent.h"
#include "shell/SharedSettings.h"
#include "web/HTMLJobRecord.h"
#include "web/ProofPages.h"

#include <filesystem>
#include <stdexcept>

namespace tavrin {

namespace {

std::uint32_t NonNegative(std::int32_t value)
{
    return value > 0 ? static_cast<std::uint32_t>(value) : 0;
}

}  // namespace

TTilingThread::TTilingThread(TMessageTarget& target, std::uint32_t jobReference)
    : TTaskThread(target, jobReference, WM_WEB_DONE)
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
    LoadJobDetail(static_cast<std::int32_t>(JobReference()), job);
    if (job.ID == 0) {
        PostLogText("Invalid Job for reference " + std::to_string(JobReference()));
        return;
    }
    PostLogText("Creating web site...");
    const std::string jobFolder = JobFolderPath(job.UniqueID);
    std::filesystem::create_directories(jobFolder);
    const std::vector<double> factors = ProofFactors(NonNegative(job.ImageWidth), NonNegative(job.ImageHeight),
                                                     NonNegative(job.XResolution), NonNegative(job.YResolution));

    // 1. The pyramid of every page with a master.
    for (int page = 1; std::filesystem::exists(MasterImagePath(job.UniqueID, page)); ++page) {
        auto image = TProofImage::CreateForRead(MasterImagePath(job.UniqueID, page));
        image->OnProgress = [this](int percentage) { PostTaskText("", percentage); };
        for (int level = 0; level < LevelCount; ++level) {
            const std::string name = TileDatabaseName(level, page);
            try {
                image->MakeTiles(jobFolder + name, TileSize, factors[static_cast<std::size_t>(level)]);
            } catch (const std::exception& error) {
                // One level lost is no reason to lose the rest of the proof.
                PostLogText("Could not create " + jobFolder + name + ": " + error.what());
            }
            PostLogText("Finished creating page " + std::to_string(page) + " zoom level " + std::to_string(level),
                        RoundedPercent(level + 2, 6));
        }
    }

    // 2. The pages, with the settings as they are now.
    WriteJobProofPages(job, StationSettings().Copy(), jobFolder, started);
    PostLogText("", 100);
}

}  // namespace tavrin
