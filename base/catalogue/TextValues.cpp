#include "base/catalogue/TextValues.h"

#include <charconv>

namespace tavrin {

std::string Trimmed(const std::string& text)
{
    // Blanks here are every character up to the space, as a line reader sees them.
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

bool TryParseInt32(const std::string& text, std::int32_t& number)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    // from_chars refuses a leading plus; a written "+5" is still a number.
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-')
        ++begin;
    std::int32_t parsed = 0;
    const auto [stop, error] = std::from_chars(begin, end, parsed);
    if (error != std::errc() || stop != end || begin == end)
        return false;
    number = parsed;
    return true;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

}  // namespace tavrin
