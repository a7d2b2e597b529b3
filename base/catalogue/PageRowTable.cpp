#include "base/catalogue/PageRowTable.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueTransaction.h"

#include <utility>

namespace tavrin {

TPageRowTable::TPageRowTable(std::string table, std::string columns)
    : Table(std::move(table)), Columns(std::move(columns))
{
}

std::string TPageRowTable::JobCondition(std::uint32_t jobReference) const
{
    return " where " + Table + "JobReference = " + std::to_string(jobReference);
}

std::string TPageRowTable::PageCondition(std::uint32_t jobReference, std::int32_t page) const
{
    return JobCondition(jobReference) + " and " + Table + "PageNumber = " + std::to_string(page);
}

void TPageRowTable::ReplacePage(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page,
                                const std::vector<std::string>& values) const
{
    InTransaction(catalogue, [&] {
        ExecuteStatement(catalogue, "delete from " + Table + PageCondition(jobReference, page));
        for (const std::string& row : values)
            ExecuteStatement(catalogue, "insert into " + Table + " (" + Table + "JobReference, " + Table +
                                            "PageNumber, " + Columns + ") values (" + std::to_string(jobReference) +
                                            ", " + std::to_string(page) + ", " + row + ")");
    });
}

void TPageRowTable::RemovePage(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page) const
{
    ExecuteStatement(catalogue, "delete from " + Table + PageCondition(jobReference, page));
}

void TPageRowTable::RemoveBeyondPages(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                      std::int32_t pageCount) const
{
    const std::string pageNumber = Table + "PageNumber";
    ExecuteStatement(catalogue, "delete from " + Table + JobCondition(jobReference) + " and (" + pageNumber +
                                    " is null or " + pageNumber + " < 1 or " + pageNumber + " > " +
                                    std::to_string(pageCount) + ")");
}

void TPageRowTable::RemoveJob(TCatalogueConnection& catalogue, std::uint32_t jobReference) const
{
    ExecuteStatement(catalogue, "delete from " + Table + JobCondition(jobReference));
}

void TPageRowTable::OpenJobRows(TCatalogueConnection& catalogue, TRecordSet& rows, std::uint32_t jobReference) const
{
    OpenQuery(catalogue, rows,
              "select * from " + Table + JobCondition(jobReference) + " order by " + Table + "PageNumber, " + Table +
                  "ID");
}

}  // namespace tavrin
