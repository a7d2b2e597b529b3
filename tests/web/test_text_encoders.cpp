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

}  // namespace
}  // namespace tavrin
