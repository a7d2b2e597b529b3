#pragma once

#include "cli/CliContext.h"

#include <string>
#include <vector>

namespace tavrin {

// tavrin-cli compare OLD NEW: two proof rounds of a job, page by page and
// plate by plate, one line per page in page order.
int RunCompare(TCliContext& context, const std::vector<std::string>& arguments);

}  // namespace tavrin
