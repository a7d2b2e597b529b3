#pragma once

#include <string>

namespace tavrin {

// The HTML form of plain text: double quote, ampersand, "<" and ">" become
// character references; everything else is copied unchanged.
std::string HTMLEncoded(const std::string& text);

// The content of a single-quoted script string: a backslash, an apostrophe
// and a slash get a backslash in front; line feeds become "\n" and carriage
// returns "\r". Raises what the string raises when memory runs out
// (std::bad_alloc, std::length_error) and never returns part of the text: the
// caller names the file it was writing.
std::string JSEncoded(const std::string& text);

// The text as a JSON string, quotes included, in ASCII alone so that the
// browser's choice of character set cannot change it: valid UTF-8 is read as
// such, anything else as Latin-1 (as the mail does); every character beyond
// ASCII, every control, and "<", ">" and "&" (so that no "</script>" can
// appear) are written as \u escapes; the quote and backslash are escaped.
std::string JSONQuoted(const std::string& text);

}  // namespace tavrin
