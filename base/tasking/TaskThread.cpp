#include "base/tasking/TaskThread.h"

#include "base/platform/MessageBox.h"

#include <exception>

namespace tavrin {

TTaskThread::TTaskThread(TMessageTarget& target, std::uint32_t jobReference, TMessageNumber completion)
    : Target(target), Reference(jobReference), CompletionNumber(completion)
{
}

namespace {

// What stays of a hidden secret: enough to tell two jobs' folders apart.
constexpr std::size_t ShownSecretCharacters = 4;

}  // namespace

void TTaskThread::Fail(const std::string& reason)
{
    if (!Failure)
        Failure = reason.empty() ? std::string("unknown error") : Shown(reason);
}

void TTaskThread::HideInLog(const std::string& secret)
{
    if (secret.size() > ShownSecretCharacters)
        HiddenSecrets.push_back(secret);
}

std::string TTaskThread::Shown(std::string text) const
{
    for (const std::string& secret : HiddenSecrets) {
        const std::string shortened = secret.substr(0, ShownSecretCharacters) + "...";
        for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + shortened.size()))
            text.replace(at, secret.size(), shortened);
    }
    return text;
}

void TTaskThread::PostLogText(const std::string& text, int totalProgress)
{
    Target.Post(TTaskMessage::Progress(WM_TOTAL_PROGRESS, totalProgress, Shown(text)));
}

void TTaskThread::PostTaskText(const std::string& text, int taskProgress)
{
    Target.Post(TTaskMessage::Progress(WM_TASK_PROGRESS, taskProgress, Shown(text)));
}

void TTaskThread::PostPage(int page)
{
    TTaskMessage message = TTaskMessage::Progress(WM_TASK_PROGRESS, -1, std::nullopt);
    message.Page = page;
    Target.Post(std::move(message));
}

void TTaskThread::Execute()
{
    std::optional<std::string> firstBox;
    {
        // A box would stop the worker until someone clicks it, once for every
        // error of a damaged file; the log keeps them and the outcome tells.
        TMessageBoxCapture boxes([&](const std::string& caption, const std::string& text, TMessageBoxIcon) {
            const std::string line = caption + ": " + text;
            PostLogText(line);
            if (!firstBox)
                firstBox = line;
        });
        try {
            Run();
        } catch (const std::exception& error) {
            Fail(error.what());
        } catch (...) {
            Fail("unknown error");
        }
    }
    if (firstBox)
        Fail(*firstBox);
    // The last action: after this the handler may release the object.
    Target.Post(TTaskMessage::Completion(CompletionNumber, this, Reference, Failure));
}

}  // namespace tavrin
