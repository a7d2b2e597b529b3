#include "base/catalogue/CatalogueAccess.h"

#include "base/catalogue/TextValues.h"
#include "base/platform/ProgramPath.h"
#include "base/text/TextRules.h"

#include <filesystem>

namespace tavrin {

std::string CatalogueFilePath()
{
    return std::filesystem::path(ProgramFilePath()).replace_extension(".mdb").string();
}

void OpenCatalogueConnection(TCatalogueConnection& connection, const std::string& path)
{
    if (connection.IsOpen())
        return;
    try {
        std::lock_guard lock(CatalogueLock);
        connection.Open(path, false);
    } catch (const std::exception&) {
        // Left closed: every query will say so.
    }
}

bool OpenQuery(TCatalogueConnection& connection, TRecordSet& recordSet, const std::string& statement)
{
    CloseQuery(recordSet);
    connection.RunStatement(TranslateStatement(statement), recordSet);
    return true;
}

void CloseQuery(TRecordSet& recordSet)
{
    recordSet.Close();
}

std::string FieldValue(const TRecordSet& recordSet, const std::string& column)
{
    return recordSet.Value(column).value_or(std::string());
}

std::string ValueAsText(const std::string& value, const std::string& defaultText)
{
    return value.empty() ? defaultText : value;
}

std::int32_t ValueAsInteger(const std::string& value, std::int32_t defaultNumber)
{
    std::int32_t number = defaultNumber;
    return TryParseInt32(Trimmed(value), number) ? number : defaultNumber;
}

void ExecuteStatement(TCatalogueConnection& connection, const std::string& statement)
{
    TRecordSet rows;
    OpenQuery(connection, rows, statement);
    CloseQuery(rows);
}

void ExecuteWithTexts(TCatalogueConnection& connection, const std::string& sql, const std::vector<std::string>& texts)
{
    TRecordSet rows;
    connection.RunStatement(TTranslatedStatement{sql, texts}, rows);
    CloseQuery(rows);
}

bool StatementReturnsRows(TCatalogueConnection& connection, const std::string& statement)
{
    TRecordSet rows;
    OpenQuery(connection, rows, statement);
    const bool found = !rows.Eof();
    CloseQuery(rows);
    return found;
}

std::string FirstFieldValue(TCatalogueConnection& connection, const std::string& statement, const std::string& column)
{
    TRecordSet rows;
    OpenQuery(connection, rows, statement);
    std::string value = rows.Eof() ? std::string() : FieldValue(rows, column);
    CloseQuery(rows);
    return value;
}

std::string QuoteText(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

}  // namespace tavrin
