#include "base/catalogue/InkCoverage.h"

#include "base/catalogue/CatalogueAccess.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tavrin {

namespace {

std::string JobCondition(std::uint32_t jobReference)
{
    return " where CoverageListJobReference = " + std::to_string(jobReference);
}

std::string PageCondition(std::uint32_t jobReference, std::int32_t page)
{
    return JobCondition(jobReference) + " and CoverageListPageNumber = " + std::to_string(page);
}

// A whole text as a number of the type; false for anything else.
template <typename TNumber>
bool ParseNumber(const std::string& text, TNumber& number)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}  // namespace

void ReplacePageCoverage(std::uint32_t jobReference, std::int32_t page, const std::vector<TPlateCoverage>& plates)
{
    CatalogueConnection->BeginTrans();
    try {
        ExecuteStatement("delete from CoverageList" + PageCondition(jobReference, page));
        for (const TPlateCoverage& plate : plates)
            ExecuteStatement("insert into CoverageList (CoverageListJobReference, CoverageListPageNumber, "
                             "CoverageListPlateColor, CoverageListIndexBit, CoverageListInkedPixels, "
                             "CoverageListPagePixels) values (" +
                             std::to_string(jobReference) + ", " + std::to_string(page) + ", " +
                             QuoteText(plate.ColorName) + ", " + std::to_string(plate.IndexBit) + ", " +
                             std::to_string(plate.InkedPixels) + ", " + std::to_string(plate.PagePixels) + ")");
        CatalogueConnection->CommitTrans();
    } catch (...) {
        CatalogueConnection->RollbackTrans();
        throw;
    }
}

void RemovePageCoverage(std::uint32_t jobReference, std::int32_t page)
{
    ExecuteStatement("delete from CoverageList" + PageCondition(jobReference, page));
}

void RemoveCoverageBeyondPages(std::uint32_t jobReference, std::int32_t pageCount)
{
    ExecuteStatement("delete from CoverageList" + JobCondition(jobReference) +
                     " and (CoverageListPageNumber is null or CoverageListPageNumber < 1 or "
                     "CoverageListPageNumber > " +
                     std::to_string(pageCount) + ")");
}

void RemoveJobCoverage(std::uint32_t jobReference)
{
    ExecuteStatement("delete from CoverageList" + JobCondition(jobReference));
}

std::vector<TPlateCoverage> LoadJobCoverage(std::uint32_t jobReference)
{
    TRecordSet rows;
    OpenQuery(CatalogueConnection.get(), rows,
              "select * from CoverageList" + JobCondition(jobReference) +
                  " order by CoverageListPageNumber, CoverageListID");
    std::vector<TPlateCoverage> plates;
    for (; !rows.Eof(); rows.MoveNext()) {
        TPlateCoverage plate;
        plate.ColorName = FieldValue(rows, "CoverageListPlateColor");
        const bool readable = ParseNumber(FieldValue(rows, "CoverageListPageNumber"), plate.Page) &&
                              ParseNumber(FieldValue(rows, "CoverageListIndexBit"), plate.IndexBit) &&
                              ParseNumber(FieldValue(rows, "CoverageListInkedPixels"), plate.InkedPixels) &&
                              ParseNumber(FieldValue(rows, "CoverageListPagePixels"), plate.PagePixels);
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
