#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

// The text without leading and trailing blanks and control characters.
std::string Trimmed(const std::string& text);

// Reads a whole text as a signed 32-bit decimal number (optional sign, no
// blanks); false, with number untouched, for anything else or out of range.
bool TryParseInt32(const std::string& text, std::int32_t& number);

// ASCII comparison without regard to case.
bool SameTextIgnoringCase(const std::string& a, const std::string& b);

}  // namespace tavrin
