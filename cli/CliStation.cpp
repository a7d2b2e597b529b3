#include "cli/CliStation.h"

#include "base/text/TerminalText.h"

#include <charconv>
#include <iostream>
#include <memory>

namespace tavrin {

namespace {

std::unique_ptr<TCliStation> TheStation;

// The texts of message boxes use CR LF and may quote outside texts; a
// terminal wants plain line ends and nothing it would obey.
std::string ForTerminal(const std::string& text)
{
    return TerminalLines(WithoutCarriageReturns(text));
}

}  // namespace

bool TCliDialogs::AskYesNo(const std::string& caption, const std::string& text, TDialogIcon)
{
    const bool yes = Answer.value_or(false);
    std::cerr << caption << ": " << ForTerminal(text) << "\n"
              << (Answer ? (yes ? "Answered Yes (--yes)" : "Answered No (--no)")
                         : "Answered No (give --yes to answer Yes)")
              << std::endl;
    return yes;
}

void TCliDialogs::Tell(const std::string& caption, const std::string& text, TDialogIcon)
{
    std::cerr << caption << ": " << ForTerminal(text) << std::endl;
}

TCliStation::TCliStation(TCliContext& context)
    : Context(context), Core(context.Messages, context.Log, Dialogs), Runner(Core.Runner), Startup(Core.Startup)
{
    Runner.Observer = this;
}

TCliStation::~TCliStation()
{
    Runner.Observer = nullptr;
}

void TCliStation::Prepare()
{
    if (Context.ReadsOnly)
        Core.OpenForReading();
    else
        Core.Open();
}

void TCliStation::RunUntilIdle()
{
    // Tasks post at least now and then; a long silence is a task still at work.
    while (Runner.HasRunningTasks())
        Context.Messages.PumpOne(Runner, std::chrono::seconds(1));
    Context.Messages.PumpPending(Runner);
}

int TCliStation::QueueRowOf(std::uint32_t jobReference) const
{
    const auto& rows = Runner.QueueRows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].JobReference == jobReference)
            return static_cast<int>(i);
    std::cerr << "tavrin-cli: job " << jobReference << " is not in the queue\n";
    return -1;
}

void TCliStation::ProgressChanged()
{
    // Fetching answers prints the answers: its progress must not mix with them.
    std::ostream& out = Runner.RefreshingAnswers() ? std::cerr : std::cout;
    if (Runner.TotalProgress() != LastTotal) {
        LastTotal = Runner.TotalProgress();
        out << "Total progress: " << LastTotal << "%" << std::endl;
    }
    if (Runner.TaskProgress() != LastTask) {
        LastTask = Runner.TaskProgress();
        out << "Task progress: " << LastTask << "%" << std::endl;
    }
}

void TCliStation::TaskFailed(std::uint32_t jobReference, const std::string& task, const std::string& reason)
{
    // The log line on standard output is one among many: a caller that
    // sees exit status 1 finds the reason on standard error.
    ++FailedTasks;
    std::cerr << "tavrin-cli: " << task << (jobReference ? " for job " + std::to_string(jobReference) : std::string())
              << " failed: " << TerminalText(reason) << std::endl;
}

TCliStation& Station(TCliContext& context)
{
    if (!TheStation)
        TheStation = std::make_unique<TCliStation>(context);
    return *TheStation;
}

std::optional<std::uint32_t> OnlyReference(const std::vector<std::string>& arguments, const char* synopsis)
{
    if (arguments.size() != 1) {
        std::cerr << "Usage: tavrin-cli " << synopsis << "\n";
        return std::nullopt;
    }
    return ParseReference(arguments[0]);
}

TCliStation& PreparedStation(TCliContext& context)
{
    TCliStation& station = Station(context);
    station.Prepare();
    return station;
}

std::optional<std::uint32_t> ParseReference(const std::string& text)
{
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        std::cerr << "tavrin-cli: \"" << text << "\" is not a job reference\n";
        return std::nullopt;
    }
    return value;
}

}  // namespace tavrin

namespace tavrin {

void CloseStation()
{
    if (!TheStation)
        return;
    TheStation->Runner.BeginShutdown();
    TheStation->RunUntilIdle();
    TheStation.reset();
}

}  // namespace tavrin
