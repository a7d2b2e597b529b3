#pragma once

#include <set>
#include <string>
#include <string_view>

namespace tavrin {

// Small text rules shared by every layer. They work on bytes and never
// consult the C locale: the Qt shell sets the user's locale for the whole
// process, and a file name or colour name must compare the same there as in
// the command-line tools.

// The text without leading and trailing blanks and control bytes: every byte
// from 0x00 to 0x20 (NUL, tab, CR, LF, the other controls and the space).
// Bytes above 0x7F are text and stay, so UTF-8 and Latin-1 letters at either
// end survive. Page buffer headers, settings values, definition lines and
// library error messages are all read this way.
std::string Trimmed(std::string_view text);

// The byte in lower or upper case when it is an ASCII letter; any other byte,
// those above 0x7F included, is returned unchanged.
char AsciiLower(char c);
char AsciiUpper(char c);

// The text with its ASCII letters in lower or upper case; other bytes unchanged.
std::string LowerCase(std::string text);
std::string UpperCase(std::string text);

// True when both texts are equal once their ASCII letters are in one case.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

// The items in order, separated by "," with no blanks; an empty item is left
// out rather than leaving two commas or a leading one behind.
std::string JoinedWithCommas(const std::set<std::string>& items);

}  // namespace tavrin
