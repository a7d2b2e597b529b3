#include "cli/CoverageCommand.h"

#include "base/text/TerminalText.h"
#include "cli/CliStation.h"

#include <iostream>

namespace tavrin {

int RunCoverage(TCliContext& context, const std::vector<std::string>& arguments)
{
    const auto reference = OnlyReference(arguments, "coverage REF");
    if (!reference)
        return ExitUsage;
    TCliStation& station = PreparedStation(context);
    if (!station.Core.IsCatalogued(*reference)) {
        std::cerr << "tavrin-cli: no job " << *reference << " in the catalogue (run tavrin-cli tree to scan)\n";
        return ExitFailed;
    }
    const std::vector<TPlateCoverage> plates = station.Core.InkCoverage(*reference);
    if (plates.empty()) {
        std::cerr << "tavrin-cli: job " << *reference
                  << " has no ink coverage figures: they are counted when it is mastered (tavrin-cli task master "
                  << *reference << ")\n";
        return ExitFailed;
    }
    for (const TPlateCoverage& plate : plates)
        std::cout << "page " << plate.Page << " " << TerminalText(plate.ColorName) << " "
                  << CoveragePercentText(plate.InkedPixels, plate.PagePixels) << " %\n";
    return ExitDone;
}

}  // namespace tavrin
