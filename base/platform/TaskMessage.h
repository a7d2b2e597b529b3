#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavrin {

class TWorkerThread;

// The numbers of the messages that worker threads post to the main thread.
enum TMessageNumber : unsigned {
    WM_USER = 1024,
    WM_TOTAL_PROGRESS = WM_USER + 100,
    WM_TASK_PROGRESS = WM_USER + 101,
    WM_MASTER_DONE = WM_USER + 102,
    WM_PREVIEW_DONE = WM_USER + 103,
    WM_WEB_DONE = WM_USER + 104,
    WM_TRANSFER_DONE = WM_USER + 105,
    WM_NOTIFY_DONE = WM_USER + 106,
    WM_DELETE_DONE = WM_USER + 107,
    WM_ANSWERS_DONE = WM_USER + 108,
    WM_REMINDERS_DONE = WM_USER + 109,
};

// One posted message. The two parameters keep their meaning per number:
// progress messages carry a bar position (wParam) and an optional text
// (lParam); completion messages carry the thread object (wParam) and the job
// reference (lParam), and the task's outcome: whether it failed and why. The
// message is a value: whoever receives it owns the text.
struct TTaskMessage {
    TMessageNumber Number = WM_TOTAL_PROGRESS;
    int Position = -1;                // 1124, 1125: 0..100, or -1 for no change
    std::optional<std::string> Text;  // 1124, 1125: empty optional stands for a null lParam
    TWorkerThread* Thread = nullptr;  // 1126..1133: the thread object to release
    std::uint32_t JobReference = 0;   // 1126..1133
    bool Failed = false;              // 1126..1133: the task did not do its whole work
    std::string FailureReason;        // 1126..1133: why, when it failed
    int Page = 0;                     // 1125: the page the task now works on (from 1), or 0 when not told

    static TTaskMessage Progress(TMessageNumber number, int position, std::optional<std::string> text)
    {
        TTaskMessage message;
        message.Number = number;
        message.Position = position;
        message.Text = std::move(text);
        return message;
    }

    static TTaskMessage Completion(TMessageNumber number, TWorkerThread* thread, std::uint32_t jobReference,
                                   const std::optional<std::string>& failure = std::nullopt)
    {
        TTaskMessage message;
        message.Number = number;
        message.Thread = thread;
        message.JobReference = jobReference;
        message.Failed = failure.has_value();
        message.FailureReason = failure.value_or(std::string());
        return message;
    }

    bool IsCompletion() const { return Number >= WM_MASTER_DONE && Number <= WM_REMINDERS_DONE; }
};

}  // namespace tavrin
