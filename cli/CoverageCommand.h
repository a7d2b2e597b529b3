#pragma once

#include "cli/CliContext.h"

namespace tavrin {

// coverage REF: the job's ink coverage from its last mastering, one line per
// page and ink in page order, then plate order ("page 1 CYAN 23.41 %"); exit
// 1 with the reason on standard error for a job that is not catalogued or
// has no figures.
int RunCoverage(TCliContext& context, const std::vector<std::string>& arguments);

}  // namespace tavrin
