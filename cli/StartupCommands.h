#pragma once

#include "cli/CliContext.h"

namespace tavrin {

class TStation;

// encipher TEXT: prints the settings cipher text of TEXT.
int RunEncipher(TCliContext& context, const std::vector<std::string>& arguments);

// decipher TEXT: prints the text; exit 1 when TEXT is not a cipher text of this station.
int RunDecipher(TCliContext& context, const std::vector<std::string>& arguments);

// Loads the settings into the station's record, prepares and opens its
// catalogue; false, with the reason on standard error, when it cannot.
bool PrepareStationFiles(TStation& station);

}  // namespace tavrin
