#include "station/RunnerTexts.h"

namespace tavrin {

namespace {

std::string Decimal(std::uint32_t number)
{
    return std::to_string(number);
}

}  // namespace

std::string CompletionLogText(TMessageNumber number, std::uint32_t jobReference)
{
    const char* prefix = "Notification for job ";
    switch (number) {
    case WM_MASTER_DONE: prefix = "Master for job "; break;
    case WM_PREVIEW_DONE: prefix = "Preview for job "; break;
    case WM_WEB_DONE: prefix = "Web files for job "; break;
    case WM_TRANSFER_DONE: prefix = "Transfer for job "; break;
    case WM_DELETE_DONE: prefix = "Deletion from FTP server for job "; break;
    case WM_ANSWERS_DONE:
        return jobReference ? "Fetching the answers of job " + Decimal(jobReference) + " complete."
                            : "Fetching the answers complete.";
    case WM_REMINDERS_DONE: return "Sending reminders complete.";
    default: break;
    }
    return prefix + Decimal(jobReference) + " complete.";
}

std::string CompletionLogText(const TTaskMessage& completion)
{
    std::string text = CompletionLogText(completion.Number, completion.JobReference);
    if (completion.Failed)
        text = text.substr(0, text.size() - std::string("complete.").size()) + "failed: " + completion.FailureReason;
    return text;
}

std::string FailedStatus(TTaskIndex task)
{
    return "Failed at " + TaskWords[static_cast<std::size_t>(task)];
}

const std::string DeletingStatus = "Deleting";

bool IsFailedStatus(const std::string& status)
{
    return status.rfind("Failed at ", 0) == 0;
}

const std::string NotifyWithoutRecipientsCaption = "Notify without recipients?";
const std::string NotifyWithoutRecipientsQuestion =
    "One or more jobs has notification selected,\r\nbut does not have any recipients listed.\r\nWould you like to "
    "continue?";

std::string NotifiedNobodyLogText(std::uint32_t jobReference)
{
    return "Job " + std::to_string(jobReference) + ": uploaded; no mail sent (no recipients)";
}

std::string ActivityText(const TRunnerActivity& activity)
{
    std::string text = TaskWords[static_cast<std::size_t>(activity.Task)];
    if (activity.Page > 0) {
        text += ": page " + Decimal(static_cast<std::uint32_t>(activity.Page));
        if (activity.PageCount > 0)
            text += " of " + Decimal(static_cast<std::uint32_t>(activity.PageCount));
    }
    return text;
}

std::string FinishingText(const std::optional<TRunnerActivity>& chainTask, std::optional<std::uint32_t> deletion,
                          bool fetchingAnswers)
{
    if (chainTask)
        return "Finishing " + TaskWords[static_cast<std::size_t>(chainTask->Task)] + " for job " +
               Decimal(chainTask->JobReference) + " before closing...";
    if (deletion)
        return "Finishing Deletion for job " + Decimal(*deletion) + " before closing...";
    if (fetchingAnswers)
        return "Finishing fetching the answers before closing...";
    return {};
}

const std::string ProofRoundCaption = "Proof round";

std::string ProofRoundQuestion(std::uint32_t jobReference, const std::string& jobName, std::uint32_t earlierReference,
                               std::int32_t roundNumber, const std::string& sentAt)
{
    return "Is job " + std::to_string(jobReference) + " (" + jobName + ") round " + std::to_string(roundNumber) +
           " of job " + std::to_string(earlierReference) + ", sent " + sentAt + "?";
}

std::string AnswerNewsText(std::uint32_t jobReference, std::size_t count, const std::string& answerStatus)
{
    // A job outside the post queue has no status word to add.
    return "Job " + std::to_string(jobReference) + ": " + std::to_string(count) +
           (count == 1 ? " new answer" : " new answers") + (answerStatus.empty() ? "" : " (" + answerStatus + ")");
}

}  // namespace tavrin
