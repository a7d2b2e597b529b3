#include "base/catalogue/CatalogueDefinition.h"

#include "base/catalogue/CatalogueSchema.h"
#include "base/catalogue/ColumnDefinition.h"
#include "base/platform/PrivateFile.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tavrin {

namespace {

// An empty line and one whose first character is ";" define nothing.
bool IsSkipped(const std::string& line)
{
    return line.empty() || line.front() == ';';
}

// Runs the work in a transaction of its own; a failure is rolled back and raised.
template <typename TWork>
void InTransaction(TCatalogueConnection& catalogue, TWork work)
{
    catalogue.Execute("begin");
    try {
        work();
        catalogue.Execute("commit");
    } catch (...) {
        try {
            catalogue.Execute("rollback");
        } catch (const ECatalogueError&) {
            // Already rolled back by the engine.
        }
        throw;
    }
}

// A job reference names one job: two stations scanning at once, or a
// catalogue from before this rule, may have filed a job twice. The first
// filing (its unique id names the job's files) stays; the index keeps it so.
void KeepJobReferencesUnique(TCatalogueConnection& catalogue)
{
    if (!TableExists(catalogue, "JobList") || !FindColumn(catalogue, "JobList", "JobListReference") ||
        !FindColumn(catalogue, "JobList", "JobListID"))
        return;
    InTransaction(catalogue, [&] {
        catalogue.Execute("delete from JobList where JobListReference is not null and JobListID not in "
                          "(select min(JobListID) from JobList where JobListReference is not null "
                          "group by JobListReference)");
        catalogue.Execute("create unique index if not exists JobListReferenceUnique on JobList (JobListReference)");
    });
}

}  // namespace

bool ApplyColumnDefinition(TCatalogueConnection& catalogue, const std::string& line)
{
    TColumnDefinition definition;
    if (!ParseColumnDefinition(line, definition))
        return false;
    if (!TableExists(catalogue, definition.Table)) {
        CreateTableWithColumn(catalogue, definition);
        return true;
    }
    const std::optional<TColumnRules> current = FindColumn(catalogue, definition.Table, definition.Column);
    if (!current) {
        AddColumn(catalogue, definition);
        return true;
    }
    // Existing column: only nullability and the empty-text rule follow the line.
    TColumnRules wanted = *current;
    wanted.Nullable = definition.Nullable;
    if (IsWideTextType(definition.TypeName))
        wanted.AllowsEmptyText = true;
    try {
        SetColumnRules(catalogue, definition.Table, definition.Column, wanted);
    } catch (const ECatalogueError&) {
        // Rows that break the new rule keep the old one; nothing is lost.
    }
    return true;
}

bool PrepareCatalogue(const std::string& databasePath, bool update)
{
    // 1. Create a missing file, or 2. open a connection of our own on an existing one.
    std::error_code error;
    const bool created = !std::filesystem::exists(databasePath, error);
    if (!created && !update)
        return false;
    // Without its definition file no catalogue is made, not even an empty one.
    const std::string definitionPath = std::filesystem::path(databasePath).replace_extension(".dbi").string();
    std::ifstream definitions(definitionPath, std::ios::binary);
    if (!definitions)
        throw std::runtime_error("Cannot open the catalogue definition file " + definitionPath + ": " +
                                 std::strerror(errno));
    // The catalogue holds the customers' names, addresses and answers.
    if (created)
        CreatePrivateFile(databasePath);
    TCatalogueConnection catalogue;
    {
        std::lock_guard lock(CatalogueLock);
        catalogue.Open(databasePath, created);
    }
    // 3. Apply the definition file line by line.
    std::string line;
    while (std::getline(definitions, line)) {
        if (IsSkipped(line))
            continue;
        std::lock_guard lock(CatalogueLock);
        if (created)
            ApplyColumnDefinition(catalogue, line);
        else
            InTransaction(catalogue, [&] { ApplyColumnDefinition(catalogue, line); });
    }
    {
        std::lock_guard lock(CatalogueLock);
        KeepJobReferencesUnique(catalogue);
    }
    // 4. A new file gets a moment to settle before the station's connection opens it.
    if (created)
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return true;
}

std::string FirstMissingColumn(TCatalogueConnection& catalogue, const std::string& databasePath)
{
    const std::string definitionPath = std::filesystem::path(databasePath).replace_extension(".dbi").string();
    std::ifstream definitions(definitionPath, std::ios::binary);
    if (!definitions)
        throw std::runtime_error("Cannot open the catalogue definition file " + definitionPath + ": " +
                                 std::strerror(errno));
    std::string line;
    while (std::getline(definitions, line)) {
        TColumnDefinition definition;
        if (IsSkipped(line) || !ParseColumnDefinition(line, definition))
            continue;
        if (!TableExists(catalogue, definition.Table) || !FindColumn(catalogue, definition.Table, definition.Column))
            return definition.Table + "." + definition.Column;
    }
    return "";
}

}  // namespace tavrin
