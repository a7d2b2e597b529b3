#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

// Reads a whole text as a signed 32-bit decimal number (optional sign, no
// blanks); false, with number untouched, for anything else or out of range.
bool TryParseInt32(const std::string& text, std::int32_t& number);

}  // namespace tavrin
