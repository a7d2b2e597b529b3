#include "tasks/imaging/PreviewThread.h"

#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"
#include "base/tasking/RoundedPercent.h"
#include "engines/imaging/MasterImagePath.h"
#include "engines/imaging/ProofImage.h"

#include <algorithm>
#include <filesystem>

namespace tavrin {

TPreviewThread::TPreviewThread(TMessageTarget& target, const TTaskContext& context)
    : TTaskThread(target, context.JobReference(), WM_PREVIEW_DONE), Context(context)
{
}

void TPreviewThread::Run()
{
    TJobDetailRecord job;
    LoadJobDetail(Context.Catalogue(), static_cast<std::int32_t>(JobReference()), job);
    if (job.ID == 0) {
        Fail("Invalid Job for reference " + std::to_string(JobReference()));
        return;
    }
    RemoveUnfinishedOutput(job.UniqueID);
    PostLogText("Creating preview...");
    const std::string jobFolder = JobFolderPath(job.UniqueID);
    std::filesystem::create_directories(jobFolder);
    const double pageSide = std::max(job.ImageWidth, job.ImageHeight);
    const double factor = pageSide > 0 ? OverviewSize / pageSide : 0.0;
    if (job.PageCount < 1) {
        Fail("Job " + std::to_string(JobReference()) + " has no pages");
        return;
    }
    for (int page = 1; page <= job.PageCount; ++page) {
        PostPage(page);
        const std::string master = MasterImagePath(job.UniqueID, page);
        // The old overview no longer stands for a page whose master is missing or unreadable.
        RemoveOutputFile(jobFolder + OverviewName(page));
        if (!std::filesystem::exists(master)) {
            Fail("Page " + std::to_string(page) + " has no master: " + master);
            return;
        }
        auto image = TProofImage::CreateForRead(master);
        image->OnProgress = [this](int percentage) { PostTaskText("", percentage); };
        image->MakePreview(jobFolder + OverviewName(page), factor);
        image.reset();
        PostLogText("Created preview for page " + std::to_string(page), RoundedPercent(page, job.PageCount));
    }
}

}  // namespace tavrin
