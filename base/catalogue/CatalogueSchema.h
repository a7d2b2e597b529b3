#pragma once

#include "base/catalogue/CatalogueConnection.h"
#include "base/catalogue/ColumnDefinition.h"

#include <optional>
#include <string>

namespace tavrin {

// Schema work on a catalogue connection that its caller uses alone or holds
// CatalogueLock for. SQLite cannot alter a column in place, so adding a
// column and changing one rebuild the table under a savepoint: every row is
// kept, the automatic numbering goes on where it stood, and a failure
// leaves the table as it was. Errors raise ECatalogueError.

// What the definition file can bring in line on an existing column.
struct TColumnRules {
    bool Nullable = true;
    bool AllowsEmptyText = true;
};

// True when a table of exactly this name (case-sensitive) exists.
bool TableExists(TCatalogueConnection& catalogue, const std::string& table);

// The rules of the column of exactly this name, or nullopt when the table has none.
std::optional<TColumnRules> FindColumn(TCatalogueConnection& catalogue, const std::string& table,
                                       const std::string& column);

// Creates the table with the defined column as its first.
void CreateTableWithColumn(TCatalogueConnection& catalogue, const TColumnDefinition& definition);

// Appends the defined column to an existing table.
void AddColumn(TCatalogueConnection& catalogue, const TColumnDefinition& definition);

// Gives an existing column the rules; type, size and keys stay as they are.
void SetColumnRules(TCatalogueConnection& catalogue, const std::string& table, const std::string& column,
                    const TColumnRules& rules);

// The column's definition in SQLite's CREATE TABLE form.
std::string ColumnSql(const TColumnDefinition& definition);

}  // namespace tavrin
