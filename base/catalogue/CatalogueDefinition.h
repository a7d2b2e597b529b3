#pragma once

#include "base/catalogue/CatalogueConnection.h"

#include <string>

namespace tavrin {

// Applies one line of the definition file to the catalogue: creates a
// missing table or column; brings an existing column's nullability and
// empty-text rule in line, never its type, size or keys. Returns false,
// changing nothing, for a rejected line. Errors while creating raise
// ECatalogueError; errors while adjusting an existing column are ignored.
// The caller uses the catalogue alone or holds CatalogueLock.
bool ApplyColumnDefinition(TCatalogueConnection& catalogue, const std::string& line);

// Creates the catalogue file when it is missing, or updates it when asked,
// from the definition file beside it (same path, extension ".dbi"), one
// line at a time (each in its own transaction on an existing file). Returns
// true when it created the file or was asked to update. Raises
// std::runtime_error when the definition file cannot be read, and
// ECatalogueError when the catalogue file is not a database, is locked by
// another program, or a table or column cannot be created. An existing file
// is never replaced.
bool PrepareCatalogue(const std::string& databasePath, bool update);

// The first column of the definition file beside the catalogue that the
// open catalogue lacks, as "Table.Column"; empty when it has them all.
// Changes nothing: a catalogue older than its definition file is told, not
// brought up to date. Raises std::runtime_error when the definition file
// cannot be read.
std::string FirstMissingColumn(TCatalogueConnection& catalogue, const std::string& databasePath);

}  // namespace tavrin
