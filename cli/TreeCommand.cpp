#include "cli/TreeCommand.h"

#include "catalogue/FolderScan.h"
#include "cli/StartupCommands.h"
#include "shell/SharedSettings.h"

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
    if (!PrepareStationFiles())
        return ExitFailed;
    TJobTree tree;
    try {
        BuildJobTree(tree, StationSettings().Copy(), context.Log);
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return ExitFailed;
    }
    for (const TJobTreeNode& job : tree.Jobs)
        PrintNode(job, 0);
    return ExitDone;
}

}  // namespace tavrin
