#pragma once

#include "cli/CliContext.h"
#include "station/OperatorDialogs.h"
#include "station/Station.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

// Answers the operator's questions from the command line: --yes or --no
// given with the command, otherwise No. Every question and warning is
// written to standard error.
class TCliDialogs final : public TOperatorDialogs {
public:
    std::optional<bool> Answer;

    bool AskYesNo(const std::string& caption, const std::string& text, TDialogIcon icon) override;
    void Tell(const std::string& caption, const std::string& text, TDialogIcon icon) override;
};

// The station without windows: the runner fed by the context's message
// queue, and the start-up operation.
class TCliStation final : public TRunnerObserver {
public:
    explicit TCliStation(TCliContext& context);
    ~TCliStation() override;

    // Settings, catalogue, a silent configuration check (for the colour
    // profiles) and the queue lists: what every command but startup needs.
    // Done once per run, so that ticks survive between chained commands. A
    // run of reading commands opens the files read-only, as they are.
    void Prepare();

    // Pumps the task messages until no task runs any more.
    void RunUntilIdle();

    // The queue row of a job, or -1 (after saying so on standard error).
    int QueueRowOf(std::uint32_t jobReference) const;

    void ProgressChanged() override;
    void TaskFailed(std::uint32_t jobReference, const std::string& task, const std::string& reason) override;

    // Tasks that failed in this run: any makes the command's exit status 1.
    int FailedTasks = 0;

    TCliContext& Context;
    TCliDialogs Dialogs;
    TStation Core;
    TQueueRunner& Runner;
    TStartupOperation& Startup;

private:
    int LastTotal = -1;
    int LastTask = -1;
};

// The station of this run, made on first use.
TCliStation& Station(TCliContext& context);

// A job reference argument, or nothing after a usage message.
std::optional<std::uint32_t> ParseReference(const std::string& text);

// The one job reference argument of a command, or nothing after a usage
// message ("Usage: tavrin-cli " and the synopsis).
std::optional<std::uint32_t> OnlyReference(const std::vector<std::string>& arguments, const char* synopsis);

// The station of this run, prepared (TCliStation::Prepare).
TCliStation& PreparedStation(TCliContext& context);

}  // namespace tavrin

namespace tavrin {

// Ends the station of this run: waits for tasks still running. Call before the context goes.
void CloseStation();

}  // namespace tavrin
