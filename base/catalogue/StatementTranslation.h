#pragma once

#include <string>
#include <vector>

namespace tavrin {

// A statement as the engine runs it: the SQL with one "?" per text literal,
// and the literals' texts in order, to be bound as parameters.
struct TTranslatedStatement {
    std::string Sql;
    std::vector<std::string> Texts;
};

// Translates a statement as the station writes it (double-quoted texts with
// doubled inner quotes, "delete * from") into SQLite's dialect. Text
// literals never reach the SQL: each becomes a bound parameter, so no text
// can change what the statement does. Raises std::runtime_error for an
// unterminated text literal.
TTranslatedStatement TranslateStatement(const std::string& statement);

}  // namespace tavrin
