#pragma once

#include <string>

namespace tavrin {

// Whether text is an address a mail server takes in "RCPT TO:<...>": a local
// part, one "@" and a domain of dot-separated labels; no blanks, control
// characters or the characters that end or quote an address ("<>()[]\,;:"
// and the double quote); at most 254 bytes. Bytes above ASCII are allowed
// (internationalised addresses).
bool IsMailAddress(const std::string& text);

}  // namespace tavrin
