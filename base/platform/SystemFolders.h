#pragma once

#include <string>

namespace tavrin {

// The folder where the system keeps its colour profiles (the file dialog
// for a profile opens there when no profile is set yet).
std::string SystemColorProfileFolder();

}  // namespace tavrin
