#include "cli/DeliveryCommands.h"
#include "base/platform/MessageBox.h"

#include "base/text/TerminalText.h"
#include "cli/CliStation.h"
#include "cli/StartupCommands.h"
#include "station/QueueRunner.h"
#include "tasks/delivery/DeleteThread.h"
#include "tasks/delivery/TransferCommonFiles.h"
#include "tasks/delivery/TransferThread.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <limits>
#include <stdexcept>

namespace tavrin {

namespace {

// Shows what a task posts as the main window would: each non-empty text
// becomes a log line; the completion releases the thread.
class TTaskPrinter final : public TMessageHandler {
public:
    explicit TTaskPrinter(TStationLog& log) : Log(log) {}

    void HandleMessage(TTaskMessage message) override
    {
        if (message.IsCompletion()) {
            Log.Log(CompletionLogText(message));
            // The exit status says that it failed; standard error says why.
            if (message.Failed)
                std::cerr << "tavrin-cli: " << TerminalText(CompletionLogText(message)) << std::endl;
            TWorkerThread::Release(message.Thread);
            Completed = true;
            Failed = message.Failed;
            return;
        }
        if (message.Text && !message.Text->empty()) {
            Log.Log(*message.Text);
            Texts.push_back(*message.Text);
        }
    }

    bool Completed = false;
    bool Failed = false;
    std::vector<std::string> Texts;

private:
    TStationLog& Log;
};

bool ParseReference(const std::string& text, std::uint32_t& reference)
{
    try {
        std::size_t used = 0;
        const unsigned long long value = std::stoull(text, &used);
        if (used != text.size() || text.front() == '-' || value > std::numeric_limits<std::uint32_t>::max())
            return false;
        reference = static_cast<std::uint32_t>(value);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Runs one delivery task to its completion, printing its log; the task's
// outcome is the exit status.
template <typename TTask>
int RunDeliveryTask(TCliContext& context, const std::vector<std::string>& arguments, const char* synopsis)
{
    std::uint32_t reference = 0;
    if (arguments.size() != 1 || !ParseReference(arguments[0], reference)) {
        std::cerr << "Usage: tavrin-cli " << synopsis << "\n";
        return ExitUsage;
    }
    TStation& station = Station(context).Core;
    if (!PrepareStationFiles(station))
        return ExitFailed;
    auto* task = new TTask(context.Messages, station.TaskContext(reference));
    task->Start();
    TTaskPrinter printer(context.Log);
    // The task always ends with its completion; a server may take its time.
    while (!printer.Completed)
        context.Messages.PumpOne(printer, std::chrono::seconds(1));
    return printer.Failed ? ExitFailed : ExitDone;
}

}  // namespace

int RunTaskTransfer(TCliContext& context, const std::vector<std::string>& arguments)
{
    return RunDeliveryTask<TTransferThread>(context, arguments, "task transfer REF");
}

int RunTaskDelete(TCliContext& context, const std::vector<std::string>& arguments)
{
    return RunDeliveryTask<TDeleteThread>(context, arguments, "task delete REF");
}

int RunCommonFiles(TCliContext& context, const std::vector<std::string>& arguments)
{
    if (!arguments.empty()) {
        std::cerr << "Usage: tavrin-cli common-files\n";
        return ExitUsage;
    }
    TStation& station = Station(context).Core;
    if (!PrepareStationFiles(station))
        return ExitFailed;
    bool sent = true;
    try {
        TransferCommonFiles(station.Settings().Copy(), context.Log);
    } catch (const std::exception& error) {
        sent = false;
        // The window shows the reason in an error box; here the box's text goes to standard error and the log.
        ShowMessageBox("Error", error.what(), TMessageBoxIcon::Error);
    }
    // The error's message box reached the queue as a log text.
    TTaskPrinter printer(context.Log);
    context.Messages.PumpPending(printer);
    return sent ? ExitDone : ExitFailed;
}

}  // namespace tavrin
