#include "base/catalogue/InkCoverage.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/PageRowTable.h"

#include <cmath>
#include <limits>

namespace tavrin {

namespace {

const TPageRowTable CoverageList("CoverageList", "CoverageListPlateColor, CoverageListIndexBit, "
                                                 "CoverageListInkedPixels, CoverageListPagePixels");

}  // namespace

void ReplacePageCoverage(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page,
                         const std::vector<TPlateCoverage>& plates)
{
    std::vector<std::string> rows;
    for (const TPlateCoverage& plate : plates)
        rows.push_back(QuoteText(plate.ColorName) + ", " + std::to_string(plate.IndexBit) + ", " +
                       std::to_string(plate.InkedPixels) + ", " + std::to_string(plate.PagePixels));
    CoverageList.ReplacePage(catalogue, jobReference, page, rows);
}

void RemovePageCoverage(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page)
{
    CoverageList.RemovePage(catalogue, jobReference, page);
}

void RemoveCoverageBeyondPages(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t pageCount)
{
    CoverageList.RemoveBeyondPages(catalogue, jobReference, pageCount);
}

void RemoveJobCoverage(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    CoverageList.RemoveJob(catalogue, jobReference);
}

std::vector<TPlateCoverage> LoadJobCoverage(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    TRecordSet rows;
    CoverageList.OpenJobRows(catalogue, rows, jobReference);
    std::vector<TPlateCoverage> plates;
    for (; !rows.Eof(); rows.MoveNext()) {
        TPlateCoverage plate;
        plate.ColorName = FieldValue(rows, "CoverageListPlateColor");
        const bool readable = ParseFieldNumber(FieldValue(rows, "CoverageListPageNumber"), plate.Page) &&
                              ParseFieldNumber(FieldValue(rows, "CoverageListIndexBit"), plate.IndexBit) &&
                              ParseFieldNumber(FieldValue(rows, "CoverageListInkedPixels"), plate.InkedPixels) &&
                              ParseFieldNumber(FieldValue(rows, "CoverageListPagePixels"), plate.PagePixels);
        if (readable && plate.PagePixels > 0)
            plates.push_back(std::move(plate));
    }
    CloseQuery(rows);
    return plates;
}

std::string CoveragePercentText(std::uint64_t inkedPixels, std::uint64_t pagePixels)
{
    if (pagePixels == 0)
        return "0.00";
    // Hundredths of a percent, rounded half up; whole numbers where they fit.
    constexpr std::uint64_t Largest = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t hundredths =
        inkedPixels <= Largest / 20000 && pagePixels <= Largest / 2
            ? (inkedPixels * 20000 + pagePixels) / (2 * pagePixels)
            : static_cast<std::uint64_t>(std::floor(
                  static_cast<long double>(inkedPixels) * 10000.0L / static_cast<long double>(pagePixels) + 0.5L));
    const std::uint64_t fraction = hundredths % 100;
    return std::to_string(hundredths / 100) + (fraction < 10 ? ".0" : ".") + std::to_string(fraction);
}

}  // namespace tavrin
