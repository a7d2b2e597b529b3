#pragma once

#include <string>

namespace tavrin {

// Conversions of page buffer header items into field values.

// A signed decimal 32-bit integer; anything else, out of range included, gives 0.
int HeaderInteger(const std::string& item);

// "true"/"false" in any letter case, or a number (0 false, else true).
// Raises std::runtime_error "'ITEM' is not a valid boolean value" otherwise.
bool HeaderBoolean(const std::string& item);

// A finite decimal number. Raises std::runtime_error
// "'ITEM' is not a valid floating point value" otherwise.
double HeaderReal(const std::string& item);

// A PostScript-like string value: one leading "(" and one trailing ")"
// removed, then "\(" -> "(", "\)" -> ")", "\\" -> "\", in that order.
std::string UnescapedText(std::string text);

}  // namespace tavrin
