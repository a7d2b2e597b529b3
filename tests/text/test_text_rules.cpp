#include "base/text/TextRules.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrin {
namespace {

using namespace std::string_literals;

TEST(TextRules, TrimRemovesEveryByteUpToTheSpaceAndNothingElse)
{
    const struct {
        std::string Text;
        std::string Expected;
    } cases[] = {
        {"", ""},
        {" \t\r\n", ""},
        {"plain", "plain"},
        {"  two words  ", "two words"},
        {"\tCYAN\t", "CYAN"},
        {" \r\n550 Refused.\r\n", "550 Refused."},
        {"Line one\r\nLine two\r\n", "Line one\r\nLine two"},
        // NUL, vertical tab, form feed and the other controls go too.
        {"\0\x01\x0b\x0c value \x1f\0"s, "value"},
        {"a\0b"s, "a\0b"s},
        // DEL and bytes above 0x7F are text, at either end.
        {"\x7f", "\x7f"},
        {" \xc3\xa9t\xc3\xa9 ", "\xc3\xa9t\xc3\xa9"},
        {"\xa0nbsp\xa0", "\xa0nbsp\xa0"},
        {"\xff", "\xff"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Trimmed(c.Text), c.Expected) << '"' << c.Text << '"';
}

TEST(TextRules, CaseChangesTouchAsciiLettersOnly)
{
    const struct {
        std::string Text;
        std::string Lower;
        std::string Upper;
    } cases[] = {
        {"", "", ""},
        {"Cyan 2\t", "cyan 2\t", "CYAN 2\t"},
        {"INDEX.HTML", "index.html", "INDEX.HTML"},
        {"@[`{", "@[`{", "@[`{"},
        // UTF-8 "Grün" and Latin-1 "ÄÖ" keep their upper bytes whatever the locale.
        {"Gr\xc3\xbcn", "gr\xc3\xbcn", "GR\xc3\xbcN"},
        {"\xc4\xd6x", "\xc4\xd6x", "\xc4\xd6X"},
        {"a\0B"s, "a\0b"s, "A\0B"s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LowerCase(c.Text), c.Lower) << c.Text;
        EXPECT_EQ(UpperCase(c.Text), c.Upper) << c.Text;
    }
}

TEST(TextRules, SameTextIgnoringCaseComparesAsciiLettersOnly)
{
    EXPECT_TRUE(SameTextIgnoringCase("", ""));
    EXPECT_TRUE(SameTextIgnoringCase("PlateListJobReference", "platelistjobreference"));
    EXPECT_TRUE(SameTextIgnoringCase(".PGB", ".pgb"));
    EXPECT_FALSE(SameTextIgnoringCase(".pgb", ".pgb "));
    EXPECT_FALSE(SameTextIgnoringCase("", " "));
    // '@' and '`' sit beside the letters; only the letters fold.
    EXPECT_FALSE(SameTextIgnoringCase("@", "`"));
    EXPECT_FALSE(SameTextIgnoringCase("\xc4", "\xe4"));
}

TEST(TextRules, JoinedWithCommasLeavesEmptyItemsOut)
{
    const struct {
        std::set<std::string> Items;
        std::string Expected;
    } cases[] = {
        {{}, ""},
        {{""}, ""},
        {{"7"}, "7"},
        {{"12", "3", "45"}, "12,3,45"},
        {{"", "a", "b"}, "a,b"},
        {{" ", "a"}, " ,a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JoinedWithCommas(c.Items), c.Expected) << c.Expected;
}

}  // namespace
}  // namespace tavrin
