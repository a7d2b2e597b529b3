#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;
class TRecordSet;

// A catalogue table that keeps rows about the pages of a job, its columns
// named after it: TABLEID, TABLEJobReference, TABLEPageNumber, then the
// row's own. Mastering replaces a page's rows as it makes the page, and
// drops those of pages the job no longer has.
class TPageRowTable {
public:
    // columns: the row's own columns, as an insert lists them ("A, B").
    TPageRowTable(std::string table, std::string columns);

    // Replaces the rows of one page of a job with one row per entry of
    // values (each the row's own values as statement texts, "1, \"CYAN\""),
    // in one transaction, in the given order. Raises the catalogue's error;
    // the old rows then stay.
    void ReplacePage(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page,
                     const std::vector<std::string>& values) const;

    // Removes the rows of one page of a job; of every page of the job
    // outside 1 to pageCount (a page number that is NULL too); of every page
    // of the job. Raise the catalogue's error.
    void RemovePage(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page) const;
    void RemoveBeyondPages(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t pageCount) const;
    void RemoveJob(TCatalogueConnection& catalogue, std::uint32_t jobReference) const;

    // Opens the record set on a job's rows in page order, and in the order
    // they were stored within a page. Raises the catalogue's error.
    void OpenJobRows(TCatalogueConnection& catalogue, TRecordSet& rows, std::uint32_t jobReference) const;

private:
    std::string JobCondition(std::uint32_t jobReference) const;
    std::string PageCondition(std::uint32_t jobReference, std::int32_t page) const;

    std::string Table;
    std::string Columns;
};

// A whole field text as a number of the type; false for anything else (an
// empty text, a sign where the type has none, trailing characters).
template <typename TNumber>
bool ParseFieldNumber(const std::string& text, TNumber& number)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}  // namespace tavrin
