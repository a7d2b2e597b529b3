#include "base/catalogue/PlateDigest.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/PageRowTable.h"
#include "base/catalogue/RecordSet.h"

namespace tavrin {

namespace {

const TPageRowTable PlateDigestList("PlateDigestList",
                                    "PlateDigestListPlateColor, PlateDigestListIndexBit, PlateDigestListWidth, "
                                    "PlateDigestListHeight, PlateDigestListXResolution, PlateDigestListYResolution, "
                                    "PlateDigestListSHA256");

}  // namespace

void ReplacePageDigests(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page,
                        const std::vector<TPlateDigest>& plates)
{
    std::vector<std::string> rows;
    for (const TPlateDigest& plate : plates)
        rows.push_back(QuoteText(plate.ColorName) + ", " + std::to_string(plate.IndexBit) + ", " +
                       std::to_string(plate.Width) + ", " + std::to_string(plate.Height) + ", " +
                       std::to_string(plate.XResolution) + ", " + std::to_string(plate.YResolution) + ", " +
                       QuoteText(plate.SHA256));
    PlateDigestList.ReplacePage(catalogue, jobReference, page, rows);
}

void RemovePageDigests(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page)
{
    PlateDigestList.RemovePage(catalogue, jobReference, page);
}

void RemoveDigestsBeyondPages(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t pageCount)
{
    PlateDigestList.RemoveBeyondPages(catalogue, jobReference, pageCount);
}

void RemoveJobDigests(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    PlateDigestList.RemoveJob(catalogue, jobReference);
}

std::vector<TPlateDigest> LoadJobDigests(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    TRecordSet rows;
    PlateDigestList.OpenJobRows(catalogue, rows, jobReference);
    std::vector<TPlateDigest> plates;
    for (; !rows.Eof(); rows.MoveNext()) {
        TPlateDigest plate;
        plate.ColorName = FieldValue(rows, "PlateDigestListPlateColor");
        plate.SHA256 = FieldValue(rows, "PlateDigestListSHA256");
        const bool readable = ParseFieldNumber(FieldValue(rows, "PlateDigestListPageNumber"), plate.Page) &&
                              ParseFieldNumber(FieldValue(rows, "PlateDigestListIndexBit"), plate.IndexBit) &&
                              ParseFieldNumber(FieldValue(rows, "PlateDigestListWidth"), plate.Width) &&
                              ParseFieldNumber(FieldValue(rows, "PlateDigestListHeight"), plate.Height) &&
                              ParseFieldNumber(FieldValue(rows, "PlateDigestListXResolution"), plate.XResolution) &&
                              ParseFieldNumber(FieldValue(rows, "PlateDigestListYResolution"), plate.YResolution);
        if (readable && plate.IndexBit >= 0 && plate.IndexBit < 8 && plate.SHA256.size() == 64)
            plates.push_back(std::move(plate));
    }
    CloseQuery(rows);
    return plates;
}

}  // namespace tavrin
