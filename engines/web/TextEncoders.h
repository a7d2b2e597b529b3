#pragma once

#include <string>

namespace tavrin {

// The HTML form of plain text: double quote, ampersand, "<" and ">" become
// character references; everything else is copied unchanged.
std::string HTMLEncoded(const std::string& text);

// The content of a single-quoted script string: a backslash, an apostrophe
// and a slash get a backslash in front; line feeds become "\n" and carriage
// returns "\r". Never raises: an error inside shows a message box and the
// text built so far is returned.
std::string JSEncoded(const std::string& text);

}  // namespace tavrin
