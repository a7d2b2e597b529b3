#include "cli/CompareCommand.h"

#include "base/text/TerminalText.h"
#include "cli/CliStation.h"
#include "engines/imaging/RoundCompare.h"

#include <exception>
#include <iostream>

namespace tavrin {

int RunCompare(TCliContext& context, const std::vector<std::string>& arguments)
{
    if (arguments.size() != 2) {
        std::cerr << "Usage: tavrin-cli compare OLD NEW\n";
        return ExitUsage;
    }
    const auto older = ParseReference(arguments[0]);
    const auto newer = ParseReference(arguments[1]);
    if (!older || !newer)
        return ExitUsage;
    TCliStation& station = PreparedStation(context);
    std::vector<TPageComparison> pages;
    try {
        pages = CompareRounds(station.Core.Catalogue(), *older, *newer);
    } catch (const std::exception& error) {
        // Half a compare would pass for a whole one: nothing is printed.
        std::cerr << "tavrin-cli: cannot compare job " << *older << " with job " << *newer << ": "
                  << TerminalText(error.what()) << "\n";
        return ExitFailed;
    }
    bool changed = false;
    for (const TPageComparison& page : pages) {
        std::cout << TerminalText(ComparisonLine(page)) << "\n";
        changed = changed || page.State != TPageComparison::TState::Same;
    }
    return changed ? ExitFailed : ExitDone;
}

}  // namespace tavrin
