#include "base/platform/ProcessPriority.h"
#include "base/platform/ProgramPath.h"
#include "base/platform/StationLock.h"
#include "base/text/TerminalText.h"
#include "cli/CliContext.h"
#include "cli/CliStation.h"
#include "cli/CompareCommand.h"
#include "cli/CoverageCommand.h"
#include "cli/DeliveryCommands.h"
#include "cli/RepliesCommand.h"
#include "cli/RunnerCommands.h"
#include "cli/StartupCommands.h"
#include "cli/TreeCommand.h"
#include "cli/VerifyCommand.h"
#include "engines/imaging/TiffErrorHandler.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>

using namespace tavrin;

namespace {

// The commands of the front end; each subsystem adds its own.
const std::vector<TCliCommand>& Commands()
{
    static const std::vector<TCliCommand> commands = {
        {{"startup"},
         "",
         "the start-up operation: settings, catalogue, configuration check, scan, queues",
         RunStartupOperation},
        {{"tree"}, "", "scan the page buffer folder and print the job tree", RunTree},
        {{"queue", "list"},
         "",
         "the queue: reference, tick, name, status, task set, recipients, a due date when set; a later proof round "
         "ends with its round",
         RunQueueList,
         TCliAccess::ReadsOnly},
        {{"queue", "add"},
         "REF [--round-of OLD]",
         "add a catalogued job to the queue; --round-of makes it the next proof round of job OLD",
         RunQueueAdd},
        {{"queue", "tasks"}, "REF TEXT", "give a queued job a task set, e.g. \"Master, Preview\"", RunQueueTasks},
        {{"queue", "due"},
         "REF YYYY-MM-DD|-",
         "ask the customer to answer job REF by that day (- for no date); the mail, the lists and the viewer show it",
         RunQueueDue},
        {{"queue", "tick"}, "REF", "process from the first task this run (follow with: then start)", RunQueueTick},
        {{"queue", "remove"}, "REF", "remove a job from the queue", RunQueueRemove},
        {{"queue", "recipient", "add"}, "REF ID", "notify contact ID about a queued job", RunRecipientAdd},
        {{"queue", "recipient", "remove"}, "REF ID", "stop notifying contact ID", RunRecipientRemove},
        {{"start"}, "[--yes|--no]", "start the queue and run until the runner is idle", RunStart},
        {{"postqueue", "list"},
         "",
         "the post queue: reference, name, status, task set, due date (or -), answers (Approved, Changes requested, "
         "Waiting); a later "
         "proof round ends with its round",
         RunPostQueueList,
         TCliAccess::ReadsOnly},
        {{"postqueue", "delete"},
         "REF --yes|--no",
         "withdraw a finished job's proof from the web server, keeping its answers, then delete its files here",
         RunPostQueueDelete},
        {{"coverage"},
         "REF",
         "the job's ink coverage: one line per page and ink (\"page 1 CYAN 23.41 %\")",
         RunCoverage,
         TCliAccess::ReadsOnly},
        {{"verify"},
         "REF",
         "the page buffers now against the plates the proof was made from (\"page 1 same\", exit 1 on a change)",
         RunVerify},
        {{"compare"},
         "OLD NEW",
         "two proof rounds page by page and plate by plate (\"page 2 changed: BLACK 70 px; area 20,30 to 29,36\")",
         RunCompare,
         TCliAccess::ReadsOnly},
        {{"replies"},
         "[REF]",
         "fetch and print the customers' answers of a job, or of every post-queue job (\"page 1 approve by ...\")",
         RunReplies},
        {{"replies", "mail"},
         "FILE",
         "add the answers of a mail saved in FILE (- for standard input)",
         RunRepliesFromMail},
        {{"task"}, "KIND REF", "run one task (master, preview, web, transfer, notify, delete)", RunTask},
        {{"contacts", "list"}, "", "the address book", RunContactsList, TCliAccess::ReadsOnly},
        {{"contacts", "save"}, "NAME EMAIL", "add a contact, or rename the one with this address", RunContactsSave},
        {{"contacts", "delete"}, "ID", "delete a contact", RunContactsDelete},
        {{"encipher"}, "TEXT", "print the settings cipher text of TEXT", RunEncipher, TCliAccess::ReadsOnly},
        {{"decipher"}, "TEXT", "print the text of a settings cipher text", RunDecipher, TCliAccess::ReadsOnly},
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
    out << "Several commands run in one station session when joined by the word \"then\":\n"
           "  tavrin-cli queue tick 12 then start --yes\n\n";
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

// The command lines of one run: the arguments split at each word "then".
std::vector<std::vector<std::string>> CommandLines(const std::vector<std::string>& arguments)
{
    std::vector<std::vector<std::string>> lines(1);
    for (const std::string& argument : arguments) {
        if (argument == "then")
            lines.emplace_back();
        else
            lines.back().push_back(argument);
    }
    return lines;
}

int RunCommand(TCliContext& context, const TCliCommand& command, std::vector<std::string> arguments)
{
    arguments.erase(arguments.begin(), arguments.begin() + static_cast<std::ptrdiff_t>(command.Words.size()));
    try {
        return command.Run(context, arguments);
    } catch (const std::exception& error) {
        std::cerr << TerminalLines(WithoutCarriageReturns(error.what())) << std::endl;
        return ExitFailed;
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    InstallTiffErrorHandler();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        PrintUsage(std::cerr);
        return ExitUsage;
    }
    if (arguments.front() == "--help" || arguments.front() == "-h" || arguments.front() == "help") {
        PrintUsage(std::cout);
        return ExitDone;
    }
    // Every command of the run is known before the first one runs.
    std::vector<std::pair<const TCliCommand*, std::vector<std::string>>> run;
    for (const auto& line : CommandLines(arguments)) {
        const TCliCommand* command = FindCommand(line);
        if (!command) {
            std::cerr << "tavrin-cli: unknown command \"" << (line.empty() ? "" : line.front()) << "\"\n\n";
            PrintUsage(std::cerr);
            return ExitUsage;
        }
        run.emplace_back(command, line);
    }

    SetProcessIdlePriority();
    SetCurrentThreadIdlePriority();
    // The front end works on the station's files, never on files named after itself.
    const std::filesystem::path folder = std::filesystem::path(ExecutablePath()).parent_path();
    OverrideProgramFilePath((folder / "tavrin").string());

    // Two processes changing one station would scan, queue and run every task
    // twice; commands that only read need not wait for the other.
    std::unique_ptr<TStationLock> lock;
    const bool changes = std::any_of(run.begin(), run.end(),
                                     [](const auto& command) { return command.first->Access == TCliAccess::Changes; });
    if (changes) {
        lock = std::make_unique<TStationLock>(StationLockPath());
        if (!lock->Held()) {
            std::cerr << lock->Refusal() << std::endl;
            return ExitFailed;
        }
    }

    TCliContext context(!changes);
    int status = ExitDone;
    for (const auto& [command, line] : run) {
        status = RunCommand(context, *command, line);
        if (status != ExitDone)
            break;
    }
    // Tasks still running are waited for, so that nothing is left half written.
    CloseStation();
    return status;
}
