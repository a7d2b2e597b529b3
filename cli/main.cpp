#include "cli/CliContext.h"
#include "cli/DeliveryCommands.h"
#include "cli/StartupCommands.h"
#include "cli/TreeCommand.h"
#include "platform/ProcessPriority.h"
#include "platform/ProgramPath.h"

#include <filesystem>
#include <iostream>

using namespace tavrin;

namespace {

// The commands of the front end; each subsystem adds its own.
const std::vector<TCliCommand>& Commands()
{
    static const std::vector<TCliCommand> commands = {
        {{"startup"}, "", "load the settings, prepare and open the catalogue", RunStartup},
        {{"encipher"}, "TEXT", "print the settings cipher text of TEXT", RunEncipher},
        {{"decipher"}, "TEXT", "print the text of a settings cipher text", RunDecipher},
        {{"tree"}, "", "scan the page buffer folder and print the job tree", RunTree},
        {{"task", "transfer"}, "REF", "upload the job's web proof and print the task's log", RunTaskTransfer},
        {{"task", "delete"}, "REF", "delete the job's files here and on the web server", RunTaskDelete},
        {{"common-files"}, "", "send the shared scripts and images to the web server", RunCommonFiles},
    };
    return commands;
}

void PrintUsage(std::ostream& out)
{
    out << "Usage: tavrin-cli COMMAND [ARGUMENTS]\n"
           "Runs the station's operations without windows, on the station's own files\n"
           "in this program folder (tavrin.ini, tavrin.mdb, tavrin.dbi, output/).\n"
           "Exit status: 0 done, 1 the operation reported a failure, 2 usage error.\n\nCommands:\n";
    out << "  --help                   this text\n";
    for (const TCliCommand& command : Commands()) {
        std::string synopsis;
        for (const std::string& word : command.Words)
            synopsis += (synopsis.empty() ? "" : " ") + word;
        if (!command.Arguments.empty())
            synopsis += " " + command.Arguments;
        out << "  " << synopsis << std::string(synopsis.size() < 25 ? 25 - synopsis.size() : 1, ' ') << command.Help
            << "\n";
    }
}

// The command whose words begin the argument list; the longest match wins.
const TCliCommand* FindCommand(const std::vector<std::string>& arguments)
{
    const TCliCommand* found = nullptr;
    for (const TCliCommand& command : Commands()) {
        if (command.Words.size() > arguments.size())
            continue;
        if (!std::equal(command.Words.begin(), command.Words.end(), arguments.begin()))
            continue;
        if (!found || command.Words.size() > found->Words.size())
            found = &command;
    }
    return found;
}

}  // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        PrintUsage(std::cerr);
        return ExitUsage;
    }
    if (arguments.front() == "--help" || arguments.front() == "-h" || arguments.front() == "help") {
        PrintUsage(std::cout);
        return ExitDone;
    }
    const TCliCommand* command = FindCommand(arguments);
    if (!command) {
        std::cerr << "tavrin-cli: unknown command \"" << arguments.front() << "\"\n\n";
        PrintUsage(std::cerr);
        return ExitUsage;
    }

    SetProcessIdlePriority();
    SetCurrentThreadIdlePriority();
    // The front end works on the station's files, never on files named after itself.
    const std::filesystem::path folder = std::filesystem::path(ExecutablePath()).parent_path();
    OverrideProgramFilePath((folder / "tavrin").string());

    TCliContext context;
    arguments.erase(arguments.begin(), arguments.begin() + static_cast<std::ptrdiff_t>(command->Words.size()));
    return command->Run(context, arguments);
}
