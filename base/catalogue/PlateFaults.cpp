#include "base/catalogue/PlateFaults.h"

#include "base/catalogue/CatalogueAccess.h"

namespace tavrin {

void ReplacePlateFaults(TCatalogueConnection& catalogue, const std::vector<TPlateFault>& faults)
{
    ExecuteStatement(catalogue, "delete * from PlateFaultList");
    for (const TPlateFault& fault : faults)
        ExecuteStatement(catalogue, "insert into PlateFaultList (PlateFaultListJobReference, PlateFaultListPageNumber, "
                                    "PlateFaultListSource, PlateFaultListReason) values (" +
                                        std::to_string(fault.JobReference) + ", " + std::to_string(fault.Page) + ", " +
                                        QuoteText(fault.Source) + ", " + QuoteText(fault.Reason) + ")");
}

std::vector<TPlateFault> LoadPlateFaults(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    TRecordSet rows;
    OpenQuery(catalogue, rows,
              "select * from PlateFaultList where PlateFaultListJobReference = " + std::to_string(jobReference) +
                  " order by PlateFaultListPageNumber, PlateFaultListSource");
    std::vector<TPlateFault> faults;
    for (; !rows.Eof(); rows.MoveNext())
        faults.push_back({static_cast<std::int32_t>(jobReference),
                          ValueAsInteger(FieldValue(rows, "PlateFaultListPageNumber"), 0),
                          FieldValue(rows, "PlateFaultListSource"), FieldValue(rows, "PlateFaultListReason")});
    CloseQuery(rows);
    return faults;
}

}  // namespace tavrin
