#include "base/catalogue/JobDetailRecord.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/OutputLayout.h"

namespace tavrin {

namespace {

std::string JobStatement(std::int32_t reference)
{
    return "select * from JobList where JobListReference = " + std::to_string(reference);
}

}  // namespace

void LoadJobDetail(TCatalogueConnection& catalogue, std::int32_t reference, TJobDetailRecord& record)
{
    record = TJobDetailRecord();
    TRecordSet rows;
    OpenQuery(catalogue, rows, JobStatement(reference));
    if (!rows.Eof()) {
        const auto number = [&](const char* column) { return ValueAsInteger(FieldValue(rows, column), 0); };
        const auto text = [&](const char* column, const char* fallback) {
            return ValueAsText(FieldValue(rows, column), fallback);
        };
        record.ID = number("JobListID");
        record.Name = text("JobListName", "Untitled");
        record.CustomerID = number("JobListCustomerID");
        record.Status = text("JobListStatus", "unknown");
        record.Reference = number("JobListReference");
        record.XResolution = number("JobListXResolution");
        record.YResolution = number("JobListYResolution");
        record.ImageNegate = number("JobListImageNegate");
        record.MarginNegate = number("JobListMarginNegate");
        record.UniqueID = text("JobListUniqueID", "");
        record.ImageWidth = number("JobListImageWidth");
        record.ImageHeight = number("JobListImageHeight");
        record.PageCount = number("JobListPageCount");
        record.DataWidth = number("JobListDataWidth");
        record.Secret = text("JobListSecret", "");
    }
    CloseQuery(rows);
}

std::string JobOutputFolder(TCatalogueConnection& catalogue, std::int32_t reference)
{
    TRecordSet rows;
    OpenQuery(catalogue, rows, JobStatement(reference));
    const std::string uniqueID = rows.Eof() ? std::string() : FieldValue(rows, "JobListUniqueID");
    CloseQuery(rows);
    return IsUniqueID(uniqueID) ? JobFolderPath(uniqueID) : std::string();
}

}  // namespace tavrin
