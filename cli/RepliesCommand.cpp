#include "cli/RepliesCommand.h"

#include "base/text/TerminalText.h"
#include "cli/CliStation.h"

#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <sstream>

namespace tavrin {

namespace {

void PrintAnswers(const TJobAnswers& answers)
{
    // Customers' texts: a comment must not be able to drive the terminal.
    for (const std::string& line : AnswerLines(answers))
        std::cout << TerminalText(line) << "\n";
}

// The fetch's log is about the work, not its result: it goes to standard
// error, so that standard output holds the answers alone.
class TLogToStandardError {
public:
    explicit TLogToStandardError(TStationLog& log) : Log(log), Before(log.OnLine)
    {
        Log.OnLine = [](const std::string& line) { std::cerr << TerminalText(line) << std::endl; };
    }
    ~TLogToStandardError() { Log.OnLine = Before; }
    TLogToStandardError(const TLogToStandardError&) = delete;
    TLogToStandardError& operator=(const TLogToStandardError&) = delete;

private:
    TStationLog& Log;
    std::function<void(const std::string&)> Before;
};

}  // namespace

int RunReplies(TCliContext& context, const std::vector<std::string>& arguments)
{
    if (arguments.size() > 1) {
        std::cerr << "Usage: tavrin-cli replies [REF]\n";
        return ExitUsage;
    }
    std::optional<std::uint32_t> reference;
    if (!arguments.empty()) {
        reference = ParseReference(arguments[0]);
        if (!reference)
            return ExitUsage;
    }
    TCliStation& station = Station(context);
    station.Prepare();
    std::vector<std::uint32_t> jobs;
    if (reference) {
        if (!station.Core.IsCatalogued(*reference)) {
            std::cerr << "tavrin-cli: no job " << *reference << " in the catalogue\n";
            return ExitFailed;
        }
        jobs.push_back(*reference);
    } else {
        jobs = station.Runner.AnswerJobs();
        if (jobs.empty()) {
            std::cerr << "tavrin-cli: no post-queue job was sent to the web server: no answers to fetch\n";
            return ExitDone;
        }
    }
    const int failedBefore = station.FailedTasks;
    {
        TLogToStandardError quiet(context.Log);
        if (!station.Runner.RefreshAnswers(jobs))
            return ExitFailed;
        station.RunUntilIdle();
    }
    const bool fetched = station.FailedTasks == failedBefore;
    if (reference) {
        PrintAnswers(station.Core.Answers(*reference));
    } else {
        for (const TPostQueueRow& row : station.Runner.PostQueueRows()) {
            const TJobAnswers answers = station.Core.Answers(row.JobReference);
            std::cout << "job " << row.JobReference << " " << TerminalText(row.Caption) << ": "
                      << AnswerStateWord(answers.Summary.State) << "\n";
            PrintAnswers(answers);
        }
    }
    if (!fetched)
        std::cerr << "tavrin-cli: not every answer could be fetched; the answers shown are those the station has\n";
    return fetched ? ExitDone : ExitFailed;
}

int RunRepliesFromMail(TCliContext& context, const std::vector<std::string>& arguments)
{
    if (arguments.size() != 1) {
        std::cerr << "Usage: tavrin-cli replies mail FILE\n";
        return ExitUsage;
    }
    std::string text;
    if (arguments[0] == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream file(arguments[0], std::ios::binary);
        if (!file) {
            std::cerr << "tavrin-cli: cannot read " << arguments[0] << "\n";
            return ExitFailed;
        }
        text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    TCliStation& station = Station(context);
    station.Prepare();
    const TMailAnswers result = station.Runner.AddAnswersFromMail(text);
    for (const std::string& problem : result.Problems)
        std::cerr << "not taken: " << TerminalText(problem) << "\n";
    std::cout << result.Added << " new, " << result.Known << " known\n";
    for (const std::uint32_t job : result.Jobs)
        PrintAnswers(station.Core.Answers(job));
    return result.Problems.empty() ? ExitDone : ExitFailed;
}

}  // namespace tavrin
