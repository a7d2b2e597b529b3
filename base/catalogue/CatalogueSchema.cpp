#include "base/catalogue/CatalogueSchema.h"

#include "base/text/TextRules.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace tavrin {

namespace {

// One token of a table definition with the blanks before it, so that a
// definition put back together reads as it was written.
struct TToken {
    std::string Blanks;
    std::string Text;
};

using TTokens = std::vector<TToken>;

constexpr const char* RebuildTable = "tavrin_rebuild";

std::string QuoteName(const std::string& name)
{
    std::string quoted = "\"";
    for (const char c : name)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string UnquoteName(const std::string& token)
{
    if (token.size() >= 2 && (token.front() == '"' || token.front() == '`' || token.front() == '[')) {
        const char close = token.front() == '[' ? ']' : token.front();
        std::string name;
        for (std::size_t i = 1; i + 1 < token.size(); ++i) {
            name += token[i];
            if (token[i] == close && token[i + 1] == close)
                ++i;
        }
        return name;
    }
    return token;
}

// The end of the quoted token or bracketed group that opens at position.
std::size_t TokenEnd(const std::string& text, std::size_t position)
{
    const char open = text[position];
    if (open == '(') {
        int depth = 0;
        for (std::size_t i = position; i < text.size(); ++i) {
            if (text[i] == '"' || text[i] == '\'' || text[i] == '`' || text[i] == '[') {
                i = TokenEnd(text, i) - 1;
                continue;
            }
            depth += text[i] == '(' ? 1 : text[i] == ')' ? -1 : 0;
            if (depth == 0)
                return i + 1;
        }
        return text.size();
    }
    const char close = open == '[' ? ']' : open;
    for (std::size_t i = position + 1; i < text.size(); ++i) {
        if (text[i] != close)
            continue;
        if (close != ']' && i + 1 < text.size() && text[i + 1] == close) {
            ++i;
            continue;
        }
        return i + 1;
    }
    return text.size();
}

TTokens Tokenize(const std::string& text)
{
    TTokens tokens;
    std::size_t position = 0;
    while (position < text.size()) {
        TToken token;
        while (position < text.size() && std::isspace(static_cast<unsigned char>(text[position])))
            token.Blanks += text[position++];
        if (position >= text.size())
            break;
        std::size_t end = position;
        const char c = text[position];
        if (c == '(' || c == '"' || c == '\'' || c == '`' || c == '[' || c == ',' || c == ')') {
            end = (c == ',' || c == ')') ? position + 1 : TokenEnd(text, position);
        } else {
            while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
                   std::string("(\"'`[,)").find(text[end]) == std::string::npos)
                ++end;
        }
        token.Text = text.substr(position, end - position);
        tokens.push_back(token);
        position = end;
    }
    return tokens;
}

std::string Joined(const TTokens& tokens)
{
    std::string text;
    for (const TToken& token : tokens)
        text += token.Blanks + token.Text;
    return Trimmed(text);
}

// The column definitions and table constraints of a table, in order.
std::vector<TTokens> ReadSegments(TCatalogueConnection& catalogue, const std::string& table)
{
    TRecordSet rows;
    catalogue.Run({"select sql from sqlite_master where type = 'table' and name = ?", {table}}, rows);
    const std::string sql = rows.Value("sql").value_or("");
    // The part between the first bracketed group's brackets is the list of segments.
    const TTokens all = Tokenize(sql);
    const auto group = std::find_if(all.begin(), all.end(), [](const TToken& t) { return t.Text.front() == '('; });
    if (group == all.end())
        throw ECatalogueError("Catalogue error: cannot read the definition of table " + table);
    std::vector<TTokens> segments(1);
    for (const TToken& token : Tokenize(group->Text.substr(1, group->Text.size() - 2))) {
        if (token.Text == ",")
            segments.emplace_back();
        else
            segments.back().push_back(token);
    }
    return segments;
}

bool IsTableConstraint(const TTokens& segment)
{
    const std::string first = segment.empty() ? "" : UpperCase(segment.front().Text);
    return first == "CONSTRAINT" || first == "PRIMARY" || first == "UNIQUE" || first == "CHECK" || first == "FOREIGN";
}

std::string SegmentColumn(const TTokens& segment)
{
    return (segment.empty() || IsTableConstraint(segment)) ? "" : UnquoteName(segment.front().Text);
}

TTokens* FindSegment(std::vector<TTokens>& segments, const std::string& column)
{
    for (TTokens& segment : segments)
        if (!column.empty() && SegmentColumn(segment) == column)
            return &segment;
    return nullptr;
}

std::string WithoutBlanks(const std::string& text)
{
    std::string result;
    for (const char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            result += c;
    return result;
}

std::string EmptyTextCheck(const std::string& column)
{
    return "(" + QuoteName(column) + " <> '')";
}

// Position of the token pair (first, second) in the segment, or its size.
std::size_t FindPair(const TTokens& segment, const std::string& first, const std::string& second)
{
    for (std::size_t i = 0; i + 1 < segment.size(); ++i)
        if (UpperCase(segment[i].Text) == first && WithoutBlanks(UpperCase(segment[i + 1].Text)) == second)
            return i;
    return segment.size();
}

TColumnRules RulesOf(const TTokens& segment, const std::string& column)
{
    TColumnRules rules;
    rules.Nullable = FindPair(segment, "NOT", "NULL") == segment.size();
    rules.AllowsEmptyText =
        FindPair(segment, "CHECK", WithoutBlanks(UpperCase(EmptyTextCheck(column)))) == segment.size();
    return rules;
}

std::optional<std::string> SequenceOf(TCatalogueConnection& catalogue, const std::string& table)
{
    TRecordSet rows;
    catalogue.Run({"select name from sqlite_master where type = 'table' and name = 'sqlite_sequence'", {}}, rows);
    if (rows.Eof())
        return std::nullopt;
    catalogue.Run({"select seq from sqlite_sequence where name = ?", {table}}, rows);
    return rows.Value("seq");
}

void RestoreSequence(TCatalogueConnection& catalogue, const std::string& table, const std::string& sequence)
{
    TRecordSet rows;
    catalogue.Run({"update sqlite_sequence set seq = max(seq, cast(? as integer)) where name = ?", {sequence, table}},
                  rows);
    catalogue.Run({"select seq from sqlite_sequence where name = ?", {table}}, rows);
    if (rows.Eof())
        catalogue.Run({"insert into sqlite_sequence (name, seq) values (?, cast(? as integer))", {table, sequence}},
                      rows);
}

// Replaces the table by one made of the segments, copying the columns both
// share.
//  1. Remember the automatic numbering, the indexes and the triggers.
//  2. Create the new table, copy the rows, drop the old one, rename the new.
//  3. Put back indexes, triggers and numbering.
// All under a savepoint: on any error the table stays as it was.
void RebuildWith(TCatalogueConnection& catalogue, const std::string& table, const std::vector<TTokens>& oldSegments,
                 const std::vector<TTokens>& newSegments)
{
    catalogue.Execute("savepoint rebuild");
    try {
        const std::optional<std::string> sequence = SequenceOf(catalogue, table);
        TRecordSet extras;
        catalogue.Run({"select sql from sqlite_master where tbl_name = ? and type in ('index', 'trigger') and sql "
                       "is not null",
                       {table}},
                      extras);
        std::string definition;
        for (const TTokens& segment : newSegments)
            definition += (definition.empty() ? "" : ", ") + Joined(segment);
        catalogue.Execute(std::string("create table ") + RebuildTable + " (" + definition + ")");
        std::string shared;
        for (const TTokens& segment : oldSegments) {
            const std::string column = SegmentColumn(segment);
            if (!column.empty() && std::any_of(newSegments.begin(), newSegments.end(),
                                               [&](const TTokens& s) { return SegmentColumn(s) == column; }))
                shared += (shared.empty() ? "" : ", ") + QuoteName(column);
        }
        if (!shared.empty())
            catalogue.Execute(std::string("insert into ") + RebuildTable + " (" + shared + ") select " + shared +
                              " from " + QuoteName(table));
        catalogue.Execute("drop table " + QuoteName(table));
        catalogue.Execute(std::string("alter table ") + RebuildTable + " rename to " + QuoteName(table));
        for (; !extras.Eof(); extras.MoveNext())
            catalogue.Execute(extras.Value("sql").value_or(""));
        if (sequence)
            RestoreSequence(catalogue, table, *sequence);
        catalogue.Execute("release rebuild");
    } catch (...) {
        try {
            catalogue.Execute("rollback to rebuild");
            catalogue.Execute("release rebuild");
        } catch (const ECatalogueError&) {
            // The engine ended the transaction itself; nothing is left to undo.
        }
        throw;
    }
}

}  // namespace

bool TableExists(TCatalogueConnection& catalogue, const std::string& table)
{
    TRecordSet rows;
    catalogue.Run({"select name from sqlite_master where type = 'table' and name = ?", {table}}, rows);
    return !rows.Eof();
}

std::optional<TColumnRules> FindColumn(TCatalogueConnection& catalogue, const std::string& table,
                                       const std::string& column)
{
    std::vector<TTokens> segments = ReadSegments(catalogue, table);
    const TTokens* segment = FindSegment(segments, column);
    if (!segment)
        return std::nullopt;
    return RulesOf(*segment, column);
}

std::string ColumnSql(const TColumnDefinition& definition)
{
    // Only an INTEGER PRIMARY KEY numbers its rows itself in SQLite.
    std::string sql = QuoteName(definition.Column) + " " +
                      (definition.AutoIncrement ? std::string("INTEGER") : SqlTypeFor(definition));
    if (!definition.Nullable)
        sql += " NOT NULL";
    if (definition.PrimaryKey || definition.AutoIncrement) {
        if (definition.PrimaryKey && !definition.KeyName.empty())
            sql += " CONSTRAINT " + QuoteName(definition.KeyName);
        sql += " PRIMARY KEY";
    }
    if (definition.AutoIncrement)
        sql += " AUTOINCREMENT";
    if (IsOtherTextType(definition.TypeName))
        sql += " CHECK " + EmptyTextCheck(definition.Column);
    return sql;
}

void CreateTableWithColumn(TCatalogueConnection& catalogue, const TColumnDefinition& definition)
{
    catalogue.Execute("create table " + QuoteName(definition.Table) + " (" + ColumnSql(definition) + ")");
}

void AddColumn(TCatalogueConnection& catalogue, const TColumnDefinition& definition)
{
    const std::vector<TTokens> segments = ReadSegments(catalogue, definition.Table);
    std::vector<TTokens> extended = segments;
    // Columns go before the table constraints, as SQLite requires.
    const auto firstConstraint = std::find_if(extended.begin(), extended.end(), IsTableConstraint);
    extended.insert(firstConstraint, Tokenize(ColumnSql(definition)));
    RebuildWith(catalogue, definition.Table, segments, extended);
}

void SetColumnRules(TCatalogueConnection& catalogue, const std::string& table, const std::string& column,
                    const TColumnRules& rules)
{
    const std::vector<TTokens> segments = ReadSegments(catalogue, table);
    std::vector<TTokens> changed = segments;
    TTokens* segment = FindSegment(changed, column);
    if (!segment)
        throw ECatalogueError("Catalogue error: no column " + column + " in table " + table);
    const TColumnRules current = RulesOf(*segment, column);
    if (current.Nullable == rules.Nullable && current.AllowsEmptyText == rules.AllowsEmptyText)
        return;
    const auto removePair = [&](const std::string& first, const std::string& second) {
        const std::size_t at = FindPair(*segment, first, second);
        if (at < segment->size())
            segment->erase(segment->begin() + static_cast<std::ptrdiff_t>(at),
                           segment->begin() + static_cast<std::ptrdiff_t>(at) + 2);
    };
    if (rules.Nullable)
        removePair("NOT", "NULL");
    else if (current.Nullable)
        segment->insert(segment->end(), {{" ", "NOT"}, {" ", "NULL"}});
    if (rules.AllowsEmptyText)
        removePair("CHECK", WithoutBlanks(UpperCase(EmptyTextCheck(column))));
    else if (current.AllowsEmptyText)
        segment->insert(segment->end(), {{" ", "CHECK"}, {" ", EmptyTextCheck(column)}});
    RebuildWith(catalogue, table, segments, changed);
}

}  // namespace tavrin
