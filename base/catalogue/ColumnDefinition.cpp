#include "base/catalogue/ColumnDefinition.h"

#include "base/catalogue/TextValues.h"
#include "base/text/TextRules.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tavrin {

namespace {

enum class TSizeRule { None, Size, Precision };

struct TAdoType {
    const char* Name;
    int Constant;
    const char* SqlType;  // chosen for SQLite's type affinity: INT, CHAR/TEXT, BLOB, REAL/DOUB, else numeric
    TSizeRule SizeRule;
};

// clang-format off
constexpr std::array<TAdoType, 40> AdoTypes = {{
    {"adEmpty", 0, "BLOB", TSizeRule::None},
    {"adTinyInt", 16, "TINYINT", TSizeRule::None},
    {"adSmallInt", 2, "SMALLINT", TSizeRule::None},
    {"adInteger", 3, "INTEGER", TSizeRule::None},
    {"adBigInt", 20, "BIGINT", TSizeRule::None},
    {"adUnsignedTinyInt", 17, "UNSIGNED TINYINT", TSizeRule::None},
    {"adUnsignedSmallInt", 18, "UNSIGNED SMALLINT", TSizeRule::None},
    {"adUnsignedInt", 19, "UNSIGNED INTEGER", TSizeRule::None},
    {"adUnsignedBigInt", 21, "UNSIGNED BIGINT", TSizeRule::None},
    {"adSingle", 4, "REAL", TSizeRule::None},
    {"adDouble", 5, "DOUBLE", TSizeRule::None},
    {"adCurrency", 6, "CURRENCY", TSizeRule::None},
    {"adDecimal", 14, "DECIMAL", TSizeRule::Precision},
    {"adNumeric", 131, "NUMERIC", TSizeRule::Precision},
    {"adBoolean", 11, "BOOLEAN", TSizeRule::None},
    {"adError", 10, "INTEGER", TSizeRule::None},
    {"adUserDefined", 132, "BLOB", TSizeRule::None},
    {"adVariant", 12, "BLOB", TSizeRule::None},
    {"adIDispatch", 9, "BLOB", TSizeRule::None},
    {"adIUnknown", 13, "BLOB", TSizeRule::None},
    {"adGUID", 72, "GUID", TSizeRule::None},
    {"adDate", 7, "DATETIME", TSizeRule::None},
    {"adDBDate", 133, "DATE", TSizeRule::None},
    {"adDBTime", 134, "TIME", TSizeRule::None},
    {"adDBTimeStamp", 135, "TIMESTAMP", TSizeRule::None},
    {"adBSTR", 8, "TEXT", TSizeRule::None},
    {"adChar", 129, "CHAR", TSizeRule::Size},
    {"adVarChar", 200, "VARCHAR", TSizeRule::Size},
    {"adLongVarChar", 201, "LONGCHAR", TSizeRule::None},
    {"adWChar", 130, "NCHAR", TSizeRule::Size},
    {"adVarWChar", 202, "NVARCHAR", TSizeRule::Size},
    {"adLongVarWChar", 203, "NTEXT", TSizeRule::None},
    {"adBinary", 128, "BLOB", TSizeRule::Size},
    {"adVarBinary", 204, "BLOB", TSizeRule::Size},
    {"adLongVarBinary", 205, "LONGBLOB", TSizeRule::None},
    {"adChapter", 136, "BLOB", TSizeRule::None},
    {"adFileTime", 64, "FILETIME", TSizeRule::None},
    {"adDBFileTime", 137, "DBFILETIME", TSizeRule::None},
    {"adPropVariant", 138, "BLOB", TSizeRule::None},
    {"adVarNumeric", 139, "NUMERIC", TSizeRule::Precision},
}};
// clang-format on

const TAdoType* FindAdoType(const std::string& name)
{
    for (const TAdoType& type : AdoTypes)
        if (name == type.Name)
            return &type;
    return nullptr;
}

// The ten fields: up to each of the first nine commas, then the rest.
std::vector<std::string> SplitFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (fields.size() < 9) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string::npos)
            break;
        fields.push_back(StripQuotes(Trimmed(line.substr(start, comma - start))));
        start = comma + 1;
    }
    fields.push_back(StripQuotes(Trimmed(line.substr(start))));
    return fields;
}

// An integer field: required, a number, and not -1 (the "no value" mark).
bool IntegerField(const std::string& field, int& value)
{
    std::int32_t number = 0;
    if (!TryParseInt32(field, number) || number == -1)
        return false;
    value = number;
    return true;
}

}  // namespace

std::string StripQuotes(const std::string& field)
{
    for (const char quote : {'\'', '"'})
        if (field.size() >= 2 && field.front() == quote && field.back() == quote)
            return field.substr(1, field.size() - 2);
    return field;
}

int AdoTypeFromName(const std::string& name)
{
    const TAdoType* type = FindAdoType(name);
    return type ? type->Constant : -1;
}

std::string SqlTypeFor(const TColumnDefinition& definition)
{
    const TAdoType* type = FindAdoType(definition.TypeName);
    if (!type)
        return "BLOB";
    const int size = type->SizeRule == TSizeRule::Size        ? definition.DefinedSize
                     : type->SizeRule == TSizeRule::Precision ? definition.Precision
                                                              : 0;
    return size > 0 ? std::string(type->SqlType) + "(" + std::to_string(size) + ")" : type->SqlType;
}

bool IsWideTextType(const std::string& typeName)
{
    return typeName == "adVarWChar" || typeName == "adLongVarWChar";
}

bool IsOtherTextType(const std::string& typeName)
{
    return typeName == "adBSTR" || typeName == "adChar" || typeName == "adVarChar" || typeName == "adLongVarChar" ||
           typeName == "adWChar";
}

bool ParseColumnDefinition(const std::string& line, TColumnDefinition& definition)
{
    const std::vector<std::string> fields = SplitFields(Trimmed(line));
    if (fields.size() != 10)
        return false;
    int nullable = 0;
    int primaryKey = 0;
    int autoIncrement = 0;
    definition.Table = fields[0];
    definition.Column = fields[1];
    definition.TypeName = fields[2];
    definition.Type = AdoTypeFromName(fields[2]);
    definition.KeyName = fields[8];
    const bool valid = !definition.Table.empty() && !definition.Column.empty() && definition.Type != -1 &&
                       IntegerField(fields[3], definition.DefinedSize) &&
                       IntegerField(fields[4], definition.Precision) && IntegerField(fields[5], nullable) &&
                       IntegerField(fields[6], primaryKey) && IntegerField(fields[7], definition.Reserved) &&
                       IntegerField(fields[9], autoIncrement);
    definition.Nullable = nullable != 0;
    definition.PrimaryKey = primaryKey != 0;
    definition.AutoIncrement = autoIncrement != 0;
    return valid;
}

}  // namespace tavrin
