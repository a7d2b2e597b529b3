#include "base/catalogue/DueDates.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/RecordSet.h"

namespace tavrin {

namespace {

std::string JobCondition(std::uint32_t jobReference)
{
    return " where JobListReference = " + std::to_string(jobReference);
}

}  // namespace

std::optional<TCalendarDate> DueDateOfRow(const TRecordSet& row)
{
    return ParseCalendarDate(FieldValue(row, "JobListDueDate"));
}

std::optional<TCalendarDate> LoadDueDate(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    return ParseCalendarDate(FirstFieldValue(
        catalogue, "select JobListDueDate from JobList" + JobCondition(jobReference), "JobListDueDate"));
}

bool SaveDueDate(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::optional<TCalendarDate> due)
{
    if (!StatementReturnsRows(catalogue, "select JobListReference from JobList" + JobCondition(jobReference)))
        return false;
    // The text is the station's own "YYYY-MM-DD", never the operator's typing.
    ExecuteStatement(catalogue, "update JobList set JobListDueDate = " +
                                    (due ? QuoteText(CalendarDateText(*due)) : std::string("NULL")) +
                                    JobCondition(jobReference));
    return true;
}

bool IsOverdue(const std::optional<TCalendarDate>& due, const TCalendarDate& today)
{
    return due && *due < today;
}

}  // namespace tavrin
