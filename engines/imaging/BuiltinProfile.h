#pragma once

#include <cstddef>

namespace tavrin {

// The built-in CMYK source profile (data/builtin/swop-tr003.icc), linked into
// the program at build time so that it is opened from memory, never from a file.
extern const unsigned char BuiltinCMYKProfileBytes[];
extern const std::size_t BuiltinCMYKProfileSize;

}  // namespace tavrin
