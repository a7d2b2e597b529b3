#include "base/catalogue/RecordSet.h"

#include "base/text/TextRules.h"

namespace tavrin {

void TRecordSet::Open(std::vector<std::string> columns, std::vector<TRow> rows)
{
    Columns = std::move(columns);
    Rows = std::move(rows);
    Position = 0;
    IsOpen = true;
}

void TRecordSet::Close()
{
    IsOpen = false;
    Columns.clear();
    Rows.clear();
    Position = 0;
}

void TRecordSet::MoveNext()
{
    if (!Eof())
        ++Position;
}

std::optional<std::string> TRecordSet::Value(const std::string& column) const
{
    if (Eof())
        return std::nullopt;
    for (std::size_t i = 0; i < Columns.size(); ++i)
        if (SameTextIgnoringCase(Columns[i], column))
            return Rows[Position][i];
    return std::nullopt;
}

}  // namespace tavrin
