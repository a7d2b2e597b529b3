#include "shell/TaskThread.h"

#include <exception>

namespace tavrin {

TTaskThread::TTaskThread(TMessageTarget& target, std::uint32_t jobReference, TMessageNumber completion)
    : Target(target), Reference(jobReference), CompletionNumber(completion)
{
}

void TTaskThread::PostLogText(const std::string& text, int totalProgress)
{
    Target.Post(TTaskMessage::Progress(WM_TOTAL_PROGRESS, totalProgress, text));
}

void TTaskThread::PostTaskText(const std::string& text, int taskProgress)
{
    Target.Post(TTaskMessage::Progress(WM_TASK_PROGRESS, taskProgress, text));
}

void TTaskThread::Execute()
{
    try {
        Run();
    } catch (const std::exception& error) {
        PostLogText(std::string("Task for job ") + std::to_string(Reference) + " failed: " + error.what());
    } catch (...) {
        PostLogText("Task for job " + std::to_string(Reference) + " failed with an unknown error");
    }
    // The last action: after this the handler may release the object.
    Target.Post(TTaskMessage::Completion(CompletionNumber, this, Reference));
}

}  // namespace tavrin
