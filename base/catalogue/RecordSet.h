#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

// The rows a statement returned, collected when it was opened, so that
// reading and moving never touch the connection. One thread uses a
// record set at a time.
class TRecordSet {
public:
    using TRow = std::vector<std::optional<std::string>>;  // nullopt: NULL or not text

    // Takes the result of a statement that returns rows and stands on the first.
    void Open(std::vector<std::string> columns, std::vector<TRow> rows);
    void Close();

    bool Active() const { return IsOpen; }
    // True past the last row, and on a closed record set.
    bool Eof() const { return !IsOpen || Position >= Rows.size(); }
    void MoveNext();

    // The named column of the current row (names compared without regard to
    // case); nullopt for an unknown column, a NULL, a value that is not text,
    // or when there is no current row.
    std::optional<std::string> Value(const std::string& column) const;

    std::size_t RecordCount() const { return Rows.size(); }

private:
    bool IsOpen = false;
    std::vector<std::string> Columns;
    std::vector<TRow> Rows;
    std::size_t Position = 0;
};

}  // namespace tavrin
