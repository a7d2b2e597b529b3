#include "base/catalogue/StatementTranslation.h"

#include "base/text/TextRules.h"

#include <cctype>
#include <stdexcept>

namespace tavrin {

namespace {

// Reads the literal whose opening quote is at position; returns its text
// with doubled quotes undone and moves position past the closing quote.
std::string ReadQuoted(const std::string& statement, std::size_t& position, char quote)
{
    std::string text;
    for (std::size_t i = position + 1; i < statement.size(); ++i) {
        if (statement[i] != quote) {
            text += statement[i];
            continue;
        }
        if (i + 1 < statement.size() && statement[i + 1] == quote) {
            text += quote;
            ++i;
            continue;
        }
        position = i + 1;
        return text;
    }
    throw std::runtime_error("Catalogue error: unterminated text in statement");
}

// Moves position past blanks; true when there was at least one.
bool SkipBlanks(const std::string& sql, std::size_t& position)
{
    const std::size_t start = position;
    while (position < sql.size() && std::isspace(static_cast<unsigned char>(sql[position])))
        ++position;
    return position > start;
}

// Moves position past the word (any case) when it stands there.
bool SkipWord(const std::string& sql, std::size_t& position, const std::string& word)
{
    if (sql.size() - position < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (AsciiLower(sql[position + i]) != word[i])
            return false;
    position += word.size();
    return true;
}

// "delete * from T" is the station's way of emptying a table; SQLite knows no "*" there.
std::string WithoutDeleteStar(const std::string& sql)
{
    std::size_t position = 0;
    SkipBlanks(sql, position);
    if (!SkipWord(sql, position, "delete"))
        return sql;
    const std::size_t star = position;
    if (!SkipBlanks(sql, position) || !SkipWord(sql, position, "*") || !SkipBlanks(sql, position))
        return sql;
    const std::size_t from = position;
    if (!SkipWord(sql, position, "from") ||
        (position < sql.size() && !std::isspace(static_cast<unsigned char>(sql[position]))))
        return sql;
    return sql.substr(0, star) + " " + sql.substr(from);
}

}  // namespace

TTranslatedStatement TranslateStatement(const std::string& statement)
{
    TTranslatedStatement translated;
    std::size_t position = 0;
    while (position < statement.size()) {
        const char c = statement[position];
        if (c == '"') {
            translated.Texts.push_back(ReadQuoted(statement, position, '"'));
            translated.Sql += '?';
        } else if (c == '\'') {
            // A single-quoted literal passes as it is; a double quote inside it starts nothing.
            const std::size_t start = position;
            ReadQuoted(statement, position, '\'');
            translated.Sql += statement.substr(start, position - start);
        } else {
            translated.Sql += c;
            ++position;
        }
    }
    translated.Sql = WithoutDeleteStar(translated.Sql);
    return translated;
}

}  // namespace tavrin
