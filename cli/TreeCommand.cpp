#include "cli/TreeCommand.h"

#include "cli/CliStation.h"

#include <iostream>

namespace tavrin {

namespace {

void PrintNode(const TJobTreeNode& node, int depth)
{
    std::cout << std::string(static_cast<std::size_t>(depth) * 4, ' ') << "[" << node.ImageIndex << "] " << node.Text
              << "\n";
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
    station.Startup.RebuildJobTree();
    for (const TJobTreeNode& job : station.Startup.Tree().Jobs)
        PrintNode(job, 0);
    return ExitDone;
}

}  // namespace tavrin
