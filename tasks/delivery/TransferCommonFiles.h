#pragma once

#include "base/settings/SettingsRecord.h"
#include "base/tasking/StationLog.h"

namespace tavrin {

// Sends the program folder's "images" and then "scripts" folders in full to
// "tavrin/images" and "tavrin/scripts" under the initial directory, each
// with a plain session of its own (binary, "PORT" data connections). Runs on
// the main thread and logs each file. Any failure ends it at once and raises
// std::runtime_error with the reason; the caller shows it.
void TransferCommonFiles(const TSettingsRecord& settings, TStationLog& log);

}  // namespace tavrin
