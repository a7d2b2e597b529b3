#include "engines/web/TextEncoders.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

TEST(HTMLEncoded, ReplacesTheFourMarkupCharactersOnly)
{
    EXPECT_EQ(HTMLEncoded("Tom's <b>\"A&B\"</b> \xC3\xA9"), "Tom's &lt;b&gt;&quot;A&amp;B&quot;&lt;/b&gt; \xC3\xA9");
    EXPECT_EQ(HTMLEncoded(""), "");
}

TEST(JSEncoded, EscapesWhatCouldEndTheStringOrTheScript)
{
    const struct {
        const char* Text;
        const char* Expected;
    } cases[] = {
        {"", ""},
        {"Tom's <job> & \"co\"", "Tom\\'s <job> & \"co\""},
        {"12/31/2008", "12\\/31\\/2008"},
        {"</script>", "<\\/script>"},
        {"one\r\ntwo\nthree\r", "one\\r\\ntwo\\nthree\\r"},
        // A backslash of its own must not turn the escape of the apostrophe into a closing quote.
        {"\\';alert(1);x=\\'", "\\\\\\';alert(1);x=\\\\\\'"},
        {"C:\\jobs", "C:\\\\jobs"},
        // Line and paragraph separators end a script line in older browsers.
        {"a\xE2\x80\xA8"
         "b\xE2\x80\xA9"
         "c\xE2\x80\xAA",
         "a\\u2028b\\u2029c\xE2\x80\xAA"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JSEncoded(c.Text), c.Expected) << c.Text;
}

TEST(JSONQuoted, WritesASCIIThatNoCharacterSetOrScriptTagCanChange)
{
    const struct {
        const char* Text;
        const char* Expected;
    } cases[] = {
        {"", R"("")"},
        {"PANTONE 185 C", R"("PANTONE 185 C")"},
        {"a\"b\\c/d", R"("a\"b\\c/d")"},
        {"</script><!--&", R"("\u003c/script\u003e\u003c!--\u0026")"},
        {"tab\there\r\n\x01\x7f", R"("tab\u0009here\u000d\u000a\u0001\u007f")"},
        // UTF-8 as it is; a text that is not UTF-8 is read as Latin-1, as the mail reads it.
        {"Gr\xC3\xBCn \xE2\x80\xA8", R"("Gr\u00fcn \u2028")"},
        {"Gr\xFCn", R"("Gr\u00fcn")"},
        {"\xF0\x9F\x8E\xA8", R"("\ud83c\udfa8")"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JSONQuoted(c.Text), c.Expected) << c.Text;
}

}  // namespace
}  // namespace tavrin
