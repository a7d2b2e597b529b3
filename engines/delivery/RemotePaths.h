#pragma once

#include <string>
#include <vector>

namespace tavrin {

// The part of the wanted remote path that a session at the current one can
// reach by going up: the wanted path itself when the current one lies below
// it, the current one when the wanted one lies below it, otherwise their
// common beginning cut back to its last "/" (empty when they share none).
// Both are full paths with a trailing slash.
std::string RemoteCommonPart(const std::string& wanted, const std::string& current);

// The folder names of a relative remote path, in order; runs of slashes
// never make empty names.
std::vector<std::string> RemoteFolderNames(const std::string& relative);

}  // namespace tavrin
