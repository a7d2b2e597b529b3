#include "station/JobPreview.h"

#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"

#include <charconv>
#include <filesystem>

namespace tavrin {

int PageNumberOf(const std::string& text)
{
    int page = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, page);
    return error == std::errc() && stop == end ? page : 1;
}

bool TJobPreview::BeginDraw(std::int32_t jobReference)
{
    TJobDetailRecord job;
    LoadJobDetail(Catalogue, jobReference, job);
    Drawing = jobReference;
    Pages = job.PageCount;
    UniqueID = job.UniqueID;
    return jobReference != Previewed;
}

std::string TJobPreview::OverviewFile(const std::string& pageText)
{
    Previewed = Drawing;
    if (!IsUniqueID(UniqueID))
        return {};
    const std::string file = JobFolderPath(UniqueID) + OverviewName(PageNumberOf(pageText));
    std::error_code error;
    return std::filesystem::is_regular_file(file, error) ? file : std::string();
}

}  // namespace tavrin
