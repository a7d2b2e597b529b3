#pragma once

#include <cstddef>
#include <string>

namespace tavrin {

// SHA-256 as 64 lower-case hex digits: of a text, and of a file's bytes read
// in pieces (a page buffer can be hundreds of megabytes). FileSHA256 raises
// std::runtime_error naming the file and the system's reason when it cannot
// be opened or read to its end.
std::string TextSHA256(const std::string& text);
std::string FileSHA256(const std::string& path);

}  // namespace tavrin
