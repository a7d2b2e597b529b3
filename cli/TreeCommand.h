#pragma once

#include "cli/CliContext.h"

namespace tavrin {

// tree: scans the page buffer folder and prints the job tree, one line per
// node with its image index, plates indented under their job.
int RunTree(TCliContext& context, const std::vector<std::string>& arguments);

}  // namespace tavrin
