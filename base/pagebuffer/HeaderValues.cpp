#include "base/pagebuffer/HeaderValues.h"

#include "base/text/TextRules.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace tavrin {

namespace {

// Parses the whole item as a finite number; false when it is not one.
bool ParseNumber(const std::string& item, double& value)
{
    std::string_view text(item);
    // from_chars knows no leading "+", the header format does.
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to)
{
    std::string result;
    result.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t found; (found = text.find(from, start)) != std::string::npos; start = found + from.size())
        result.append(text, start, found - start).append(to);
    result.append(text, start, std::string::npos);
    text = std::move(result);
}

}  // namespace

int HeaderInteger(const std::string& item)
{
    std::string_view text(item);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        return 0;
    return value;
}

bool HeaderBoolean(const std::string& item)
{
    const std::string lower = LowerCase(item);
    if (lower == "true")
        return true;
    if (lower == "false")
        return false;
    double number = 0;
    if (!ParseNumber(item, number))
        throw std::runtime_error("'" + item + "' is not a valid boolean value");
    return number != 0;
}

double HeaderReal(const std::string& item)
{
    double number = 0;
    if (!ParseNumber(item, number))
        throw std::runtime_error("'" + item + "' is not a valid floating point value");
    return number;
}

std::string UnescapedText(std::string text)
{
    if (!text.empty() && text.front() == '(')
        text.erase(0, 1);
    if (!text.empty() && text.back() == ')')
        text.pop_back();
    ReplaceAll(text, "\\(", "(");
    ReplaceAll(text, "\\)", ")");
    ReplaceAll(text, "\\\\", "\\");
    return text;
}

}  // namespace tavrin
