#pragma once

#include "base/tasking/RoundedPercent.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// The names of the files in a local folder (every entry but directories,
// hidden ones included) in the order the file system returns them; empty
// when the folder cannot be read.
std::vector<std::string> ListFolderFiles(const std::string& folder);

// True when the name, its ASCII letters lower-cased, ends in ".htm", ".html", ".php", ".js" or
// ".txt": those files travel as text ("TYPE A").
bool IsTextTransferName(const std::string& name);

}  // namespace tavrin
