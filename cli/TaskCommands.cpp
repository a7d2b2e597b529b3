#include "cli/TaskCommands.h"

#include "cli/StartupCommands.h"
#include "imaging/MasteringThread.h"
#include "shell/SharedSettings.h"

#include <charconv>
#include <chrono>
#include <cstdint>
#include <iostream>

namespace tavrin {

namespace {

// A job reference in plain decimal, as the catalogue keeps it.
bool ParseReference(const std::string& text, std::uint32_t& reference)
{
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, reference);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// Handles the task's messages as the main window does: texts go to the log,
// the completion message releases the thread.
class TTaskMessageLog final : public TMessageHandler {
public:
    explicit TTaskMessageLog(TStationLog& log) : Log(log) {}

    void HandleMessage(TTaskMessage message) override
    {
        if (message.IsCompletion()) {
            Log.Log("Master for job " + std::to_string(message.JobReference) + " complete.");
            TWorkerThread::Release(message.Thread);
            Completed = true;
        } else if (message.Text && !message.Text->empty()) {
            Log.Log(*message.Text);
        }
    }

    bool Completed = false;

private:
    TStationLog& Log;
};

}  // namespace

int RunTaskMaster(TCliContext& context, const std::vector<std::string>& arguments)
{
    std::uint32_t reference = 0;
    if (arguments.size() != 1 || !ParseReference(arguments[0], reference)) {
        std::cerr << "Usage: tavrin-cli task master REF\n";
        return ExitUsage;
    }
    if (!PrepareStationFiles())
        return ExitFailed;
    const TSettingsRecord settings = StationSettings().Copy();
    // The configured profiles count only once the configuration check accepted them.
    const std::string source = settings.ProfilesValid ? settings.SourceColorProfile : "";
    const std::string destination = settings.ProfilesValid ? settings.DestinationColorProfile : "";
    auto* task = new TMasteringThread(context.Messages, settings.InputFolder, reference, source, destination);
    task->Start();

    TTaskMessageLog handler(context.Log);
    while (!handler.Completed)
        context.Messages.PumpOne(handler, std::chrono::seconds(1));
    return ExitDone;
}

}  // namespace tavrin
