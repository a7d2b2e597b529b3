#pragma once

#include "cli/CliContext.h"

namespace tavrin {

// task master REF: runs the mastering task for job REF with the settings'
// page buffer folder and colour profiles, printing its log lines, and waits
// for its completion. Exit 1 when the station files cannot be prepared,
// 2 when REF is not a job reference.
int RunTaskMaster(TCliContext& context, const std::vector<std::string>& arguments);

}  // namespace tavrin
