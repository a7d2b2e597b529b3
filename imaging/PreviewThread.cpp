#include "imaging/PreviewThread.h"

#include "catalogue/JobDetailRecord.h"
#include "catalogue/OutputLayout.h"
#include "imaging/MasterImagePath.h"
#include "imaging/ProofImage.h"
#include "shell/RoundedPercent.h"

#include <algorithm>
#include <filesystem>

namespace tavrin {

TPreviewThread::TPreviewThread(TMessageTarget& target, std::uint32_t jobReference)
    : TTaskThread(target, jobReference, WM_PREVIEW_DONE)
{
}

void TPreviewThread::Run()
{
    TJobDetailRecord job;
    LoadJobDetail(static_cast<std::int32_t>(JobReference()), job);
    if (job.ID == 0) {
        PostLogText("Invalid Job for reference " + std::to_string(JobReference()));
        return;
    }
    PostLogText("Creating preview...");
    const std::string jobFolder = JobFolderPath(job.UniqueID);
    std::filesystem::create_directories(jobFolder);
    const double pageSide = std::max(job.ImageWidth, job.ImageHeight);
    const double factor = pageSide > 0 ? OverviewSize / pageSide : 0.0;
    for (int page = 1; std::filesystem::exists(MasterImagePath(job.UniqueID, page)); ++page) {
        auto image = TProofImage::CreateForRead(MasterImagePath(job.UniqueID, page));
        image->OnProgress = [this](int percentage) { PostTaskText("", percentage); };
        image->MakePreview(jobFolder + OverviewName(page), factor);
        image.reset();
        // A record without a page count, or with a stale one, cannot share out the bar: it stays full.
        const int progress = job.PageCount > 0 ? std::min(100, RoundedPercent(page, job.PageCount)) : 100;
        PostLogText("Created preview for page " + std::to_string(page), progress);
    }
}

}  // namespace tavrin
