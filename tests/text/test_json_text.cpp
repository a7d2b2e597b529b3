#include "base/text/JsonText.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

TEST(JsonTextTest, ReadsValuesEscapesAndSurrogatePairs)
{
    const TJsonValue value = ReadJson(
        " {\"a\":[1,-0,2.5,1e3,true,false,null],\"t\":\"\\u00e9\\ud83d\\ude00\\\"\\\\\\/\\n\\u0041\",\"o\":{}} ");
    ASSERT_EQ(value.Kind, TJsonValue::TKind::Object);
    const TJsonValue& array = *value.Member("a");
    ASSERT_EQ(array.Items.size(), 7u);
    EXPECT_EQ(array.Items[0].Integer, 1);
    EXPECT_EQ(array.Items[1].Integer, 0);
    // Only whole numbers written as such have a value.
    EXPECT_FALSE(array.Items[2].Integer);
    EXPECT_FALSE(array.Items[3].Integer);
    EXPECT_EQ(array.Items[3].Text, "1e3");
    EXPECT_TRUE(array.Items[4].Boolean);
    EXPECT_EQ(array.Items[6].Kind, TJsonValue::TKind::Null);
    EXPECT_EQ(value.Member("t")->Text, "\xC3\xA9\xF0\x9F\x98\x80\"\\/\nA");
    EXPECT_EQ(value.Member("o")->Kind, TJsonValue::TKind::Object);
    EXPECT_EQ(value.Member("missing"), nullptr);
    EXPECT_FALSE(ReadJson("99999999999999999999").Integer) << "past 64 bits has no value";
}

TEST(JsonTextTest, RefusesWhatTwoReadersCouldReadDifferently)
{
    const char* const refused[] = {
        "",
        "{",
        "[1,]",
        "{\"a\":1,}",
        "{\"a\":1,\"a\":2}",  // a repeated name
        "{\"a\" 1}",
        "01",
        "1.",
        "-",
        "1e",
        "\"\\ud800\"",         // a lone high surrogate
        "\"\\udc00\"",         // a lone low surrogate
        "\"\\ud800\\u0041\"",  // a high surrogate without its low one
        "\"\\x41\"",
        "\"\\u12g4\"",
        "\"a\nb\"",              // a raw control character
        "\"\xC0\xAF\"",          // an overlong form
        "\"\xED\xA0\x80\"",      // a surrogate written in UTF-8
        "\"\xF4\x90\x80\x80\"",  // past U+10FFFF
        "\"\xE2\x82\"",          // cut short
        "\"open",
        "true false",
        "nul",
        "'a'",
    };
    for (const char* text : refused)
        EXPECT_THROW(ReadJson(text), EJsonError) << text;

    EXPECT_NO_THROW(ReadJson("[[[1]]]", 3));
    EXPECT_THROW(ReadJson("[[[[1]]]]", 3), EJsonError) << "nesting past the limit";
    EXPECT_THROW(ReadJson(std::string(100000, '['), 16), EJsonError) << "deep nesting ends at the limit, not the stack";
}

TEST(JsonTextTest, QuotedTextsAreAsciiAndReadBackTheSame)
{
    const std::string text = "Tom's \"proof\" <script>&\t\n\\ \x01 \x7F \xC3\xA9 \xF0\x9F\x98\x80 \xE2\x80\xA8";
    const std::string quoted = JsonQuoted(text);
    for (const char c : quoted)
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << quoted;
    EXPECT_EQ(quoted.find_first_of("<>&'", 0), std::string::npos) << quoted;
    EXPECT_EQ(ReadJson(quoted).Text, text);
    // A byte that is not UTF-8 is written as the replacement character, never passed on.
    EXPECT_EQ(JsonQuoted("a\xFF"), "\"a\\ufffd\"");

    EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9"));
    EXPECT_FALSE(IsValidUtf8("\xC3"));
    EXPECT_FALSE(IsValidUtf8("\xED\xB0\x80"));
}

}  // namespace
}  // namespace tavrin
