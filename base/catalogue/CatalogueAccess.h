#pragma once

#include "base/catalogue/CatalogueConnection.h"
#include "base/catalogue/RecordSet.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// The catalogue file: the program file's path with the extension ".mdb".
std::string CatalogueFilePath();

// Opens the connection on the path unless it is open already. Ignores every
// error: later queries then fail.
void OpenCatalogueConnection(TCatalogueConnection& connection, const std::string& path);

// Runs the statement, written as the station writes statements (texts
// through QuoteText), and opens the record set on its rows; a statement
// that returns no rows leaves it closed. Raises ECatalogueError (or
// std::runtime_error for a malformed text literal); returns true otherwise.
bool OpenQuery(TCatalogueConnection& connection, TRecordSet& recordSet, const std::string& statement);

// Closes the record set if it is open; harmless otherwise.
void CloseQuery(TRecordSet& recordSet);

// The named column of the current row as text; the empty text when the
// column does not exist, is NULL or is not text.
std::string FieldValue(const TRecordSet& recordSet, const std::string& column);

// The value, or the default when the value is empty.
std::string ValueAsText(const std::string& value, const std::string& defaultText);

// The value as a signed 32-bit number, or the default when it is not one
// (an empty text is not).
std::int32_t ValueAsInteger(const std::string& value, std::int32_t defaultNumber);

// Runs a statement that returns no rows; raises like OpenQuery.
void ExecuteStatement(TCatalogueConnection& connection, const std::string& statement);

// Runs a statement that returns no rows, with each "?" of the SQL bound to
// the next of the texts: for texts from outside the station, which never
// become part of a statement. Raises ECatalogueError.
void ExecuteWithTexts(TCatalogueConnection& connection, const std::string& sql, const std::vector<std::string>& texts);

// Whether a statement returns at least one row.
bool StatementReturnsRows(TCatalogueConnection& connection, const std::string& statement);

// One column of the first row a statement returns, or the empty text when it returns none.
std::string FirstFieldValue(TCatalogueConnection& connection, const std::string& statement, const std::string& column);

// The text in double quotes with each inner double quote doubled.
std::string QuoteText(const std::string& text);

}  // namespace tavrin
