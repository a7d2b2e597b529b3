#include "engines/web/PageInks.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/InkCoverage.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"
#include "engines/imaging/ColorTableGenerator.h"
#include "engines/imaging/PlateIndexBits.h"
#include "engines/web/DataScript.h"
#include "engines/web/TextEncoders.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tavrin {

namespace {

// The plates of a page's master by its plate rows, in the order mastering reads them.
std::vector<TPlateInk> CataloguedPlates(TCatalogueConnection& catalogue, std::int32_t reference, std::int32_t page)
{
    std::vector<std::string> names;
    TRecordSet rows;
    OpenQuery(catalogue, rows,
              "select * from PlateList where (PlateListJobReference = " + std::to_string(reference) +
                  ") and (PlateListPageNumber = " + std::to_string(page) + ")");
    for (; !rows.Eof(); rows.MoveNext())
        names.push_back(FieldValue(rows, "PlateListPlateColor"));
    CloseQuery(rows);
    const std::vector<int> bits = PlateIndexBits(names);
    std::vector<TPlateInk> plates;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (bits[i] >= 0)
            plates.push_back({names[i], bits[i], std::nullopt});
    std::sort(plates.begin(), plates.end(), [](const TPlateInk& left, const TPlateInk& right) {
        return PlaneOfIndexBit(left.IndexBit) < PlaneOfIndexBit(right.IndexBit);
    });
    return plates;
}

std::string PlateText(const TPlateInk& plate)
{
    return "{\"name\":" + JSONQuoted(plate.Name) + ",\"bit\":" + std::to_string(plate.IndexBit) +
           ",\"coverage\":" + plate.Coverage.value_or("null") + "}";
}

}  // namespace

std::vector<TPageInks> BuildPageInks(TCatalogueConnection& catalogue, const TJobDetailRecord& job,
                                     const TPageColorTables& tables)
{
    const std::vector<TPlateCoverage> figures = LoadJobCoverage(catalogue, static_cast<std::uint32_t>(job.Reference));
    std::vector<TPageInks> pages;
    for (std::int32_t page = 1; page <= job.PageCount; ++page) {
        TPageInks& entry = pages.emplace_back();
        entry.Page = page;
        entry.InkedBit = InkedIndexBit;
        // The figures were stored in plate order.
        for (const TPlateCoverage& plate : figures)
            if (plate.Page == page)
                entry.Plates.push_back(
                    {plate.ColorName, plate.IndexBit, CoveragePercentText(plate.InkedPixels, plate.PagePixels)});
        if (entry.Plates.empty())
            entry.Plates = CataloguedPlates(catalogue, job.Reference, page);
        if (const auto table = tables.find(page); table != tables.end())
            entry.ColorTable = table->second;
    }
    return pages;
}

std::string PageInksScript(const std::vector<TPageInks>& pages)
{
    std::string script = "var pageinks=[";
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const TPageInks& page = pages[p];
        script += (p ? ",{\"page\":" : "{\"page\":") + std::to_string(page.Page) +
                  ",\"inked\":" + std::to_string(page.InkedBit) + ",\"plates\":[";
        for (std::size_t i = 0; i < page.Plates.size(); ++i)
            script += (i ? "," : "") + PlateText(page.Plates[i]);
        script += "]";
        if (page.ColorTable) {
            static constexpr char Digits[] = "0123456789abcdef";
            script += ",\"table\":\"";
            for (const std::uint8_t value : *page.ColorTable)
                script += {Digits[value >> 4], Digits[value & 15]};
            script += "\"";
        }
        script += "}";
    }
    // A line end as the pages have: the file travels as text.
    return script + "];\r\n";
}

void WritePageInks(const std::string& fileName, const std::vector<TPageInks>& pages)
{
    WriteDataScript(fileName, [&] { return PageInksScript(pages); });
}

}  // namespace tavrin
