#include "station/JobChain.h"

#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"
#include "engines/imaging/MasterImagePath.h"

#include <algorithm>
#include <filesystem>

namespace tavrin {

namespace {

bool FileExists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace

TTaskIndex FirstTaskOf(TCatalogueConnection& catalogue, std::uint32_t jobReference, bool ticked)
{
    if (ticked)
        return MasterTask;
    TJobDetailRecord job;
    LoadJobDetail(catalogue, static_cast<std::int32_t>(jobReference), job);
    if (!IsUniqueID(job.UniqueID))
        return MasterTask;
    const std::string webFolder = JobFolderPath(job.UniqueID);
    TTaskIndex first = TransferTask;
    if (!FileExists(webFolder + "index.html"))
        first = WebTask;
    for (int page = 1; page <= job.PageCount; ++page)
        if (!FileExists(webFolder + OverviewName(page))) {
            first = PreviewTask;
            break;
        }
    for (int page = 1; page <= job.PageCount; ++page)
        if (!FileExists(MasterImagePath(job.UniqueID, page))) {
            first = MasterTask;
            break;
        }
    return first;
}

std::optional<TTaskIndex> NextTask(TTaskIndex completed, const std::string& taskSet)
{
    const int next = static_cast<int>(completed) + 1;
    if (next >= TaskCount || !TaskSetNames(taskSet, static_cast<TTaskIndex>(next)))
        return std::nullopt;
    return static_cast<TTaskIndex>(next);
}

void TRunningTasks::Start(std::unique_ptr<TTaskThread> thread)
{
    TTaskThread* started = thread.get();
    Threads.emplace_back(thread.release());
    started->Start();
}

void TRunningTasks::Release(TWorkerThread* thread)
{
    const auto held =
        std::find_if(Threads.begin(), Threads.end(), [&](const auto& owned) { return owned.get() == thread; });
    if (held != Threads.end())
        Threads.erase(held);
    else
        TWorkerThread::Release(thread);  // its completion handed it over all the same
}

}  // namespace tavrin
