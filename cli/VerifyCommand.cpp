#include "cli/VerifyCommand.h"

#include "base/text/TerminalText.h"
#include "cli/CliStation.h"

#include <iostream>

namespace tavrin {

int RunVerify(TCliContext& context, const std::vector<std::string>& arguments)
{
    const auto reference = OnlyReference(arguments, "verify REF");
    if (!reference)
        return ExitUsage;
    TCliStation& station = PreparedStation(context);
    // The folder as it is now: plates added or removed since the proof show.
    station.Startup.RebuildJobTree();
    if (!station.Core.IsCatalogued(*reference)) {
        std::cerr << "tavrin-cli: no job " << *reference << " in the page buffer folder\n";
        return ExitFailed;
    }
    const TPlateVerification verification = station.Core.VerifyPlates(*reference);
    // Plates the master would refuse are no plates a customer can approve.
    for (const std::string& problem : verification.Problems)
        std::cout << "refused: " << problem << "\n";
    if (verification.JobFingerprint.empty()) {
        std::cerr << "tavrin-cli: job " << *reference
                  << " has no proof fingerprint: it is recorded when the job is mastered (tavrin-cli task master "
                  << *reference << ")\n";
        return ExitFailed;
    }
    std::cout << "fingerprint " << verification.JobFingerprint << "\n";
    bool changed = false;
    for (const TPageVerification& page : verification.Pages) {
        std::cout << "page " << page.Page << (page.Changes.empty() ? " same" : " changed:");
        for (std::size_t i = 0; i < page.Changes.size(); ++i)
            std::cout << (i ? ", " : " ") << TerminalText(page.Changes[i]);
        std::cout << "\n";
        changed = changed || !page.Changes.empty();
    }
    if (changed)
        std::cerr << "tavrin-cli: job " << *reference
                  << "'s page buffers are not the plates its proof was made from (the pages above say how)\n";
    if (!verification.Problems.empty())
        std::cerr << "tavrin-cli: job " << *reference
                  << "'s page buffers cannot make a true proof (the refused lines above say why)\n";
    return changed || !verification.Problems.empty() ? ExitFailed : ExitDone;
}

}  // namespace tavrin
