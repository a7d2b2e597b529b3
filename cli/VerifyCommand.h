#pragma once

#include "cli/CliContext.h"

#include <string>
#include <vector>

namespace tavrin {

// tavrin-cli verify REF: the page buffers in the folder now against the
// plates the job's proof was made from.
int RunVerify(TCliContext& context, const std::vector<std::string>& arguments);

}  // namespace tavrin
