#include "base/text/UTF8Text.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrin {
namespace {

TEST(UTF8Text, TextThatIsNotUTF8IsReadAsLatin1)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Zo\xC3\xAB's proof", "Zo\xC3\xAB's proof"},
        {"Caf\xE9 M\xFCller", "Caf\xC3\xA9 M\xC3\xBCller"},
        {"plain", "plain"},
        {"", ""},
        {"\xC0\x80", "\xC3\x80\xC2\x80"},                          // an overlong form is no UTF-8
        {"\xE0\x80\xAF", "\xC3\xA0\xC2\x80\xC2\xAF"},              // nor a longer one
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},              // nor is a surrogate
        {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},  // nor anything above U+10FFFF
        {"\xE2\x82", "\xC3\xA2\xC2\x82"},                          // nor a character cut short
        {"\xF0\x9F\x96\xA8", "\xF0\x9F\x96\xA8"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(AsUTF8(text), expected) << text;
}

TEST(UTF8Text, CharactersAreMeasuredAndReadWithoutPassingTheEnd)
{
    const struct {
        std::string Text;
        std::size_t Length;
        std::uint32_t CodePoint;
    } cases[] = {
        {"A", 1, 'A'},
        {"\xC3\xA9", 2, 0xE9},
        {"\xE2\x80\xA8x", 3, 0x2028},
        {"\xF0\x9F\x96\xA8", 4, 0x1F5A8},
        // Malformed: a lead byte without its continuation bytes, a stray
        // continuation byte, a lead byte at the very end.
        {"\xE2"
         "A",
         1, 0},
        {"\x80", 1, 0},
        {"\xF0\x9F", 2, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UTF8CharacterLength(c.Text, 0), c.Length) << c.Text;
        std::size_t at = 0;
        const std::uint32_t point = NextCodePoint(c.Text, at);
        EXPECT_LE(at, c.Text.size()) << c.Text;
        if (c.CodePoint != 0) {
            EXPECT_EQ(point, c.CodePoint) << c.Text;
            EXPECT_EQ(at, c.Length) << c.Text;
        }
    }
    EXPECT_TRUE(IsASCII("plain \x7f"));
    EXPECT_FALSE(IsASCII("Caf\xC3\xA9"));
}

}  // namespace
}  // namespace tavrin
