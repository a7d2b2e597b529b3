#include "base/text/TextRules.h"

namespace tavrin {

namespace {

bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

std::string Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlankOrControl(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlankOrControl(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string LowerCase(std::string text)
{
    for (char& c : text)
        c = AsciiLower(c);
    return text;
}

std::string UpperCase(std::string text)
{
    for (char& c : text)
        c = AsciiUpper(c);
    return text;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

std::string JoinedWithCommas(const std::set<std::string>& items)
{
    std::string text;
    for (const std::string& item : items) {
        if (item.empty())
            continue;
        if (!text.empty())
            text += ',';
        text += item;
    }
    return text;
}

}  // namespace tavrin
