#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrin {

// UTF-8 for the texts that leave the station: the web pages' script data and
// the notification e-mail. Names come from page buffers and the address
// book, where a RIP on a Western system writes Latin-1, so every reader of a
// name repairs it the same way through AsUTF8.

// True when no byte is above 0x7F.
bool IsASCII(const std::string& text);

// The bytes of the UTF-8 character at the position: its lead byte and the
// continuation bytes that follow it, at most as many as the lead byte
// announces (one byte for anything malformed). at must lie inside the text.
std::size_t UTF8CharacterLength(const std::string& text, std::size_t at);

// The text when it is valid UTF-8 (no overlong forms, no surrogates, nothing
// above U+10FFFF, no character cut short); otherwise each byte read as
// Latin-1 and written in UTF-8.
std::string AsUTF8(const std::string& text);

// The code point of the UTF-8 character at the position; moves at past it.
// For valid UTF-8 (as AsUTF8 returns) only: a malformed sequence gives some
// code point but never reads past the end.
std::uint32_t NextCodePoint(const std::string& utf8, std::size_t& at);

}  // namespace tavrin
