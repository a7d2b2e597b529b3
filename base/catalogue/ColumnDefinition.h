#pragma once

#include <string>

namespace tavrin {

// One line of the catalogue definition file: one column of one table.
struct TColumnDefinition {
    std::string Table;
    std::string Column;
    std::string TypeName;  // one of the forty ADO type names
    int Type = 0;          // its ADO type constant
    int DefinedSize = 0;
    int Precision = 0;
    bool Nullable = false;
    bool PrimaryKey = false;
    int Reserved = 0;
    std::string KeyName;  // may be empty
    bool AutoIncrement = false;
};

// Removes one pair of enclosing single quotes or, failing that, one pair of
// enclosing double quotes.
std::string StripQuotes(const std::string& field);

// The ADO type constant of a type name (exact, case-sensitive), or -1.
int AdoTypeFromName(const std::string& name);

// The SQLite column type that stands for an ADO type, with its size or
// precision where the type takes one ("NVARCHAR(255)").
std::string SqlTypeFor(const TColumnDefinition& definition);

// The two wide text types: columns of them accept the empty text.
bool IsWideTextType(const std::string& typeName);
// The other text types: their new columns refuse the empty text.
bool IsOtherTextType(const std::string& typeName);

// Splits and validates one line: exactly ten comma-separated fields, each
// trimmed and stripped of quotes; required fields non-empty, a known type
// name, integer fields that are integers other than -1. False, with the
// definition unspecified, when the line is rejected.
bool ParseColumnDefinition(const std::string& line, TColumnDefinition& definition);

}  // namespace tavrin
