#include "catalogue/StatementTranslation.h"

#include <regex>
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

// "delete * from T" is the station's way of emptying a table; SQLite knows no "*" there.
std::string WithoutDeleteStar(const std::string& sql)
{
    static const std::regex deleteStar(R"(^(\s*delete)\s+\*\s+(from\b))", std::regex::icase);
    return std::regex_replace(sql, deleteStar, "$1 $2", std::regex_constants::format_first_only);
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
