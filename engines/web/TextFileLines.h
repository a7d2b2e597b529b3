#pragma once

#include <string>
#include <vector>

namespace tavrin {

// The lines of a text file: a line ends at CR LF or LF, the last may lack
// its end, and the ends are not part of the lines (an empty file has none).
// Raises std::runtime_error with the system's reason when the file cannot
// be opened or read.
std::vector<std::string> TextFileLines(const std::string& path);

}  // namespace tavrin
