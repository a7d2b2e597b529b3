#include "base/text/TerminalText.h"

#include <cstdint>

namespace tavrin {

namespace {

constexpr char HexDigits[] = "0123456789abcdef";

// One character of a text: its code point, or none for a byte that starts no
// valid UTF-8 sequence (then Length is 1).
struct TCharacter {
    bool Valid = false;
    std::uint32_t Code = 0;
    std::size_t Length = 1;
};

TCharacter NextCharacter(std::string_view text, std::size_t at)
{
    const auto first = static_cast<unsigned char>(text[at]);
    if (first < 0x80)
        return {true, first, 1};
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
        code = first & 0x1Fu;
        least = 0x80;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        code = first & 0x0Fu;
        least = 0x800;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        code = first & 0x07u;
        least = 0x10000;
    } else {
        return {};
    }
    if (at + length > text.size())
        return {};
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0u) != 0x80u)
            return {};
        code = (code << 6) | (next & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {};
    return {true, code, length};
}

bool IsBidirectionalControl(std::uint32_t code)
{
    return code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

void AppendHexByte(std::string& out, unsigned char byte)
{
    out += "\\x";
    out += HexDigits[byte >> 4];
    out += HexDigits[byte & 0x0F];
}

// Appends the character at the text's position as it is shown; returns its length in bytes.
std::size_t AppendShown(std::string& out, std::string_view text, std::size_t at, bool keepLineFeeds)
{
    const TCharacter c = NextCharacter(text, at);
    if (!c.Valid) {
        AppendHexByte(out, static_cast<unsigned char>(text[at]));
        return 1;
    }
    if (c.Code < 0x20 || c.Code == 0x7F) {
        if (c.Code == '\n' && keepLineFeeds)
            out += '\n';
        else if (c.Code == '\n')
            out += "\\n";
        else if (c.Code == '\t')
            out += "\\t";
        else if (c.Code == '\r')
            out += "\\r";
        else
            AppendHexByte(out, static_cast<unsigned char>(c.Code));
    } else if ((c.Code >= 0x80 && c.Code <= 0x9F) || IsBidirectionalControl(c.Code)) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4)
            out += HexDigits[(c.Code >> shift) & 0x0Fu];
    } else {
        out.append(text.substr(at, c.Length));
    }
    return c.Length;
}

std::string Shown(std::string_view text, bool keepLineFeeds)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();)
        at += AppendShown(out, text, at, keepLineFeeds);
    return out;
}

}  // namespace

std::string TerminalText(std::string_view text)
{
    return Shown(text, false);
}

std::string TerminalLines(std::string_view text)
{
    return Shown(text, true);
}

std::string TerminalExcerpt(std::string_view text, std::size_t maxCharacters)
{
    std::string out;
    std::size_t at = 0;
    for (std::size_t characters = 0; at < text.size() && characters < maxCharacters; ++characters)
        at += AppendShown(out, text, at, false);
    if (at < text.size())
        out += "...";
    return out;
}

}  // namespace tavrin
