#pragma once

#include <cstddef>
#include <string>

namespace tavrin {

// count bytes from the system's cryptographic random generator. Raises
// std::runtime_error when the generator cannot give them: a guessable value
// must never stand in for a random one.
std::string SecureRandomBytes(std::size_t count);

}  // namespace tavrin
