#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// One CoverageList row: on how many pixels of a page's master one plate is
// inked, counted while the master was composed.
struct TPlateCoverage {
    std::int32_t Page = 0;
    std::string ColorName;  // as on the plate
    int IndexBit = 0;       // the plate's bit in the master's palette index
    std::uint64_t InkedPixels = 0;
    std::uint64_t PagePixels = 0;
};

// Replaces the rows of one page of a job with these (all of the same page),
// in one transaction, in the given order. Raises the catalogue's error; the
// old rows then stay.
void ReplacePageCoverage(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page,
                         const std::vector<TPlateCoverage>& plates);

// Removes the rows of one page of a job; of every page of the job outside 1
// to pageCount; of every page of the job. Raise the catalogue's error.
void RemovePageCoverage(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page);
void RemoveCoverageBeyondPages(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t pageCount);
void RemoveJobCoverage(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// A job's rows in page order, and in the order they were stored within a
// page; empty for a job without figures (one mastered before they were
// counted). A row whose numbers cannot be read, or whose page has no pixels,
// is left out. Raises the catalogue's error.
std::vector<TPlateCoverage> LoadJobCoverage(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// The share of the page's pixels as a percentage with two decimals, rounded
// half up, with a full stop whatever the locale: "23.41", "100.00".
std::string CoveragePercentText(std::uint64_t inkedPixels, std::uint64_t pagePixels);

}  // namespace tavrin
