#include "engines/web/TextEncoders.h"

#include "base/text/UTF8Text.h"

#include <cstdint>

namespace tavrin {

std::string HTMLEncoded(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '"': result += "&quot;"; break;
        case '&': result += "&amp;"; break;
        case '<': result += "&lt;"; break;
        case '>': result += "&gt;"; break;
        default: result += c;
        }
    }
    return result;
}

std::string JSEncoded(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        // A backslash of the text must not escape the closing quote: it is
        // doubled like the apostrophe and slash are escaped.
        if (c == '\\' || c == '\'' || c == '/')
            result += '\\';
        if (c == '\n') {
            result += "\\n";
        } else if (c == '\r') {
            result += "\\r";
        } else if (text.compare(i, 3, "\xE2\x80\xA8") == 0 || text.compare(i, 3, "\xE2\x80\xA9") == 0) {
            // U+2028 and U+2029 end a line inside a script string in older browsers.
            result += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            result += c;
        }
    }
    return result;
}

namespace {

// One UTF-16 unit as a JSON escape.
std::string UnicodeEscape(std::uint32_t unit)
{
    static const char Digits[] = "0123456789abcdef";
    std::string escape = "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        escape += Digits[(unit >> shift) & 0xfu];
    return escape;
}

}  // namespace

std::string JSONQuoted(const std::string& text)
{
    const std::string utf8 = AsUTF8(text);
    std::string result = "\"";
    for (std::size_t at = 0; at < utf8.size();) {
        const std::uint32_t point = NextCodePoint(utf8, at);
        if (point == '"' || point == '\\') {
            result += '\\';
            result += static_cast<char>(point);
        } else if (point >= 0x20 && point < 0x7f && point != '<' && point != '>' && point != '&') {
            result += static_cast<char>(point);
        } else if (point < 0x10000) {
            result += UnicodeEscape(point);
        } else {
            // Beyond the first plane: a surrogate pair.
            result += UnicodeEscape(0xd800 + ((point - 0x10000) >> 10));
            result += UnicodeEscape(0xdc00 + ((point - 0x10000) & 0x3ff));
        }
    }
    return result + "\"";
}

}  // namespace tavrin
