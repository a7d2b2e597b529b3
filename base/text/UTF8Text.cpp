#include "base/text/UTF8Text.h"

namespace tavrin {

bool IsASCII(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) > 0x7f)
            return false;
    return true;
}

std::size_t UTF8CharacterLength(const std::string& text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t expected = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
    std::size_t length = 1;
    while (length < expected && at + length < text.size() &&
           (static_cast<unsigned char>(text[at + length]) & 0xc0) == 0x80)
        ++length;
    return length;
}

std::string AsUTF8(const std::string& text)
{
    bool valid = true;
    for (std::size_t at = 0; at < text.size() && valid;) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80                    ? 1
                                   : lead >= 0xc2 && lead <= 0xdf ? 2
                                   : lead >= 0xe0 && lead <= 0xef ? 3
                                   : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                                  : 0;
        valid = length > 0 && UTF8CharacterLength(text, at) == length;
        if (valid && length > 2) {
            // No overlong forms, no surrogates, nothing above U+10FFFF.
            const auto second = static_cast<unsigned char>(text[at + 1]);
            valid = !(lead == 0xe0 && second < 0xa0) && !(lead == 0xed && second > 0x9f) &&
                    !(lead == 0xf0 && second < 0x90) && !(lead == 0xf4 && second > 0x8f);
        }
        at += length;
    }
    if (valid)
        return text;
    std::string utf8;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xc0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3f));
        }
    }
    return utf8;
}

std::uint32_t NextCodePoint(const std::string& utf8, std::size_t& at)
{
    const auto lead = static_cast<unsigned char>(utf8[at++]);
    const std::size_t following = lead < 0x80 ? 0 : lead < 0xe0 ? 1 : lead < 0xf0 ? 2 : 3;
    std::uint32_t point = following == 0 ? lead : lead & (0x3fu >> following);
    for (std::size_t i = 0; i < following && at < utf8.size(); ++i)
        point = (point << 6) | (static_cast<unsigned char>(utf8[at++]) & 0x3fu);
    return point;
}

}  // namespace tavrin
