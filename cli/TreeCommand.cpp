#include "cli/TreeCommand.h"

#include "base/text/TerminalText.h"
#include "cli/CliStation.h"

#include <iostream>

namespace tavrin {

namespace {

void PrintNode(const TJobTreeNode& node, int depth)
{
    // Job and colour names come from the page buffers as the RIP wrote them.
    std::cout << std::string(static_cast<std::size_t>(depth) * 4, ' ') << "[" << node.ImageIndex << "] "
              << TerminalText(node.Text) << "\n";
    for (const TJobTreeNode& child : node.Children)
        PrintNode(child, depth + 1);
}

}  // namespace

int RunTree(TCliContext& context, const std::vector<std::string>& arguments)
{
    if (!arguments.empty()) {
        std::cerr << "Usage: tavrin-cli tree\n";
        return ExitUsage;
    }
    TCliStation& station = Station(context);
    station.Prepare();
    const bool listed = station.Startup.RebuildJobTree();
    for (const TJobTreeNode& job : station.Startup.Tree().Jobs)
        PrintNode(job, 0);
    if (!listed) {
        // The tree above is the catalogue's memory, not the folder: a caller must not take it for the folder.
        const std::string folder = station.Core.Settings().Copy().InputFolder;
        std::cerr << "tavrin-cli: "
                  << (folder.empty() ? "no page buffer folder is configured (InputFolder)"
                                     : "the page buffer folder " + TerminalText(folder) + " could not be listed")
                  << "; the tree shows the jobs the catalogue already had\n";
        return ExitFailed;
    }
    return ExitDone;
}

}  // namespace tavrin
