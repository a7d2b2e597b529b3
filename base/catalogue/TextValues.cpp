#include "base/catalogue/TextValues.h"

#include <charconv>

namespace tavrin {

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

}  // namespace tavrin
