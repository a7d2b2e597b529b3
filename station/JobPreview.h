#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

class TCatalogueConnection;

// Which overview picture the Preview tab shows for the job of the selected
// tree node. It remembers the job it last drew, so that the page list is
// rebuilt only when the job changes.
class TJobPreview {
public:
    explicit TJobPreview(TCatalogueConnection& catalogue) : Catalogue(catalogue) {}

    // Loads the job's record. Returns true when the job differs from the one
    // last drawn: the page list must then be rebuilt with PageCount() entries
    // and its first entry selected. Catalogue errors reach the caller.
    bool BeginDraw(std::int32_t jobReference);

    std::int32_t PageCount() const { return Pages; }

    // The overview picture of the page named by the page list's text (page 1
    // when the text is not a number), or "" when the job has no unique id or
    // the picture does not exist ("Preview not available"). Either way the
    // job counts as drawn from now on.
    std::string OverviewFile(const std::string& pageText);

    std::int32_t PreviewedJob() const { return Previewed; }

private:
    TCatalogueConnection& Catalogue;
    std::int32_t Previewed = 0;
    std::int32_t Drawing = 0;
    std::int32_t Pages = 0;
    std::string UniqueID;
};

// A page list text as a page number: its decimal value, or 1 when it is not a number.
int PageNumberOf(const std::string& text);

}  // namespace tavrin
