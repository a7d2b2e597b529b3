#include "base/catalogue/VerifiedPlates.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueTransaction.h"
#include "base/catalogue/PageRowTable.h"
#include "base/catalogue/RecordSet.h"

namespace tavrin {

namespace {

std::string JobCondition(std::uint32_t jobReference)
{
    return " where VerifiedPlateListJobReference = " + std::to_string(jobReference);
}

}  // namespace

void SaveVerifiedPlates(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                        const std::vector<TVerifiedPlate>& plates)
{
    InTransaction(catalogue, [&] {
        ExecuteStatement(catalogue, "delete * from VerifiedPlateList" + JobCondition(jobReference));
        for (const TVerifiedPlate& plate : plates)
            ExecuteStatement(
                catalogue, "insert into VerifiedPlateList (VerifiedPlateListJobReference, VerifiedPlateListPageNumber, "
                           "VerifiedPlateListSource, VerifiedPlateListSize, VerifiedPlateListModified, "
                           "VerifiedPlateListResult, VerifiedPlateListTime) values (" +
                               std::to_string(jobReference) + ", " + std::to_string(plate.Page) + ", " +
                               QuoteText(plate.Source) + ", " + std::to_string(plate.Size) + ", " +
                               std::to_string(plate.Modified) + ", " + QuoteText(plate.Result) + ", " +
                               QuoteText(plate.VerifiedAt) + ")");
    });
}

std::vector<TVerifiedPlate> LoadVerifiedPlates(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    TRecordSet rows;
    OpenQuery(catalogue, rows,
              "select * from VerifiedPlateList" + JobCondition(jobReference) + " order by VerifiedPlateListID");
    std::vector<TVerifiedPlate> plates;
    for (; !rows.Eof(); rows.MoveNext()) {
        TVerifiedPlate& plate = plates.emplace_back();
        plate.Page = ValueAsInteger(FieldValue(rows, "VerifiedPlateListPageNumber"), 0);
        plate.Source = FieldValue(rows, "VerifiedPlateListSource");
        // A value that does not read as a number matches no file: the job is then not taken as verified.
        if (!ParseFieldNumber(FieldValue(rows, "VerifiedPlateListSize"), plate.Size))
            plate.Size = -2;
        if (!ParseFieldNumber(FieldValue(rows, "VerifiedPlateListModified"), plate.Modified))
            plate.Size = -2;
        plate.Result = FieldValue(rows, "VerifiedPlateListResult");
        plate.VerifiedAt = FieldValue(rows, "VerifiedPlateListTime");
    }
    CloseQuery(rows);
    return plates;
}

}  // namespace tavrin
