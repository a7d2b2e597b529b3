#include "base/text/TerminalText.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrin {
namespace {

using namespace std::string_literals;

TEST(TerminalText, ControlsEscapesAndBidirectionalMarksAreShownNotObeyed)
{
    const struct {
        std::string Text;
        std::string Shown;
    } cases[] = {
        {"", ""},
        {"Leaflet (3) 100% \\ back", "Leaflet (3) 100% \\ back"},
        // C0 controls, ESC sequences and DEL.
        {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
        {"\0\x01\x07\x08\x1f\x7f"s, "\\x00\\x01\\x07\\x08\\x1f\\x7f"},
        {"Ev\x1b[31mil\x1b[0m", "Ev\\x1b[31mil\\x1b[0m"},
        {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},
        // C1 controls, written in UTF-8 (CSI is U+009B).
        {"\xc2\x9b"
         "2J\xc2\x80\xc2\x9f",
         "\\u009b2J\\u0080\\u009f"},
        // Every bidirectional control; the letters beside them stay.
        {"x\xe2\x80\xaey", "x\\u202ey"},
        {"\xd8\x9c\xe2\x80\x8e\xe2\x80\x8f", "\\u061c\\u200e\\u200f"},
        {"\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad", "\\u202a\\u202b\\u202c\\u202d"},
        {"\xe2\x81\xa6\xe2\x81\xa7\xe2\x81\xa8\xe2\x81\xa9", "\\u2066\\u2067\\u2068\\u2069"},
        // Valid UTF-8 that is no control stays: accents, U+00A0, a joiner, CJK, an emoji.
        {"\xc3\xa9t\xc3\xa9 \xc2\xa0 \xe2\x80\x8d \xe5\x8d\xb0 \xf0\x9f\x96\xa8",
         "\xc3\xa9t\xc3\xa9 \xc2\xa0 \xe2\x80\x8d \xe5\x8d\xb0 \xf0\x9f\x96\xa8"},
        // Invalid UTF-8, byte by byte: Latin-1, a stray continuation, a cut
        // sequence, overlong forms, a surrogate, past U+10FFFF.
        {"caf\xe9", "caf\\xe9"},
        {"\x80x", "\\x80x"},
        {"\xe2\x80", "\\xe2\\x80"},
        {"\xe2\x80x", "\\xe2\\x80x"},
        {"\xc0\xaf\xe0\x80\xaf", "\\xc0\\xaf\\xe0\\x80\\xaf"},
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"\xf4\x90\x80\x80\xff", "\\xf4\\x90\\x80\\x80\\xff"},
        // An overlong ESC is escaped, never decoded into one.
        {"\xc1\x9b", "\\xc1\\x9b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TerminalText(c.Text), c.Shown) << c.Shown;
        // A text of several lines keeps its line feeds and nothing else.
        std::string lines = c.Shown;
        for (std::size_t at = lines.find("\\n"); at != std::string::npos; at = lines.find("\\n", at))
            lines.replace(at, 2, "\n");
        EXPECT_EQ(TerminalLines(c.Text), lines) << c.Shown;
    }
}

TEST(TerminalText, AnExcerptCountsCharactersAndSaysWhenItWasCut)
{
    EXPECT_EQ(TerminalExcerpt("short", 5), "short");
    EXPECT_EQ(TerminalExcerpt("longer", 5), "longe...");
    EXPECT_EQ(TerminalExcerpt("", 0), "");
    EXPECT_EQ(TerminalExcerpt("x", 0), "...");
    // Characters, not bytes: never half a letter, and an escape whole.
    EXPECT_EQ(TerminalExcerpt("\xc3\xa9\xc3\xa9\xc3\xa9", 2), "\xc3\xa9\xc3\xa9...");
    EXPECT_EQ(TerminalExcerpt("a\x1b[2J", 2), "a\\x1b...");
    EXPECT_EQ(TerminalExcerpt("\xff\xfe\xfd", 2), "\\xff\\xfe...");
    // A megabyte of anything stays a few hundred bytes.
    EXPECT_LE(TerminalExcerpt(std::string(1 << 20, '\x1b'), 80).size(), 80u * 4 + 3);
}

}  // namespace
}  // namespace tavrin
