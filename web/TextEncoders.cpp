#include "web/TextEncoders.h"

#include "platform/MessageBox.h"

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
        for (char c : text) {
            // A backslash of the text must not escape the closing quote: it
            // is doubled like the apostrophe and slash are escaped.
            if (c == '\\' || c == '\'' || c == '/')
                result += '\\';
            if (c == '\n')
                result += "\\n";
            else if (c == '\r')
                result += "\\r";
            else
                result += c;
        }
    } catch (...) {
        ShowMessageBox("Error", "Exception in function JSEncoded", TMessageBoxIcon::Error);
    }
    return result;
}

}  // namespace tavrin
