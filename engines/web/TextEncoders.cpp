#include "engines/web/TextEncoders.h"

#include "base/platform/MessageBox.h"

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
    try {
        result.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            // A backslash of the text must not escape the closing quote: it
            // is doubled like the apostrophe and slash are escaped.
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
    } catch (...) {
        ShowMessageBox("Error", "Exception in function JSEncoded", TMessageBoxIcon::Error);
    }
    return result;
}

}  // namespace tavrin
