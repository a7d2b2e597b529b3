#include "cli/StartupCommands.h"

#include "base/catalogue/SettingsCipher.h"
#include "station/Station.h"

#include <iostream>

namespace tavrin {

namespace {

int UsageError(const char* synopsis)
{
    std::cerr << "Usage: tavrin-cli " << synopsis << "\n";
    return ExitUsage;
}

}  // namespace

int RunEncipher(TCliContext&, const std::vector<std::string>& arguments)
{
    if (arguments.size() != 1)
        return UsageError("encipher TEXT");
    std::cout << EncipherText(arguments[0]) << "\n";
    return ExitDone;
}

int RunDecipher(TCliContext&, const std::vector<std::string>& arguments)
{
    if (arguments.size() != 1)
        return UsageError("decipher TEXT");
    const std::string plain = DecipherText(arguments[0]);
    if (plain.empty() && !arguments[0].empty()) {
        std::cerr << "tavrin-cli: not a cipher text of this station\n";
        return ExitFailed;
    }
    std::cout << plain << "\n";
    return ExitDone;
}

bool PrepareStationFiles(TStation& station)
{
    try {
        station.OpenFiles();
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return false;
    }
    return true;
}

}  // namespace tavrin
