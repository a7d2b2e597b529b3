#pragma once

#include "base/platform/MessageTarget.h"
#include "base/tasking/TaskSets.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tavrin {

// The texts the runner writes to the log, the queue's status column and the
// operator's questions. Kept together because the windows, tavrin-cli and
// the shop's log readers all rely on their exact wording.

// The log line of a handled completion message: "Master for job 17 complete."
std::string CompletionLogText(TMessageNumber number, std::uint32_t jobReference);
// The same for a task's outcome: "Master for job 17 failed: REASON" when it failed.
std::string CompletionLogText(const TTaskMessage& completion);

// The queue status of a job whose task failed: "Failed at Master".
std::string FailedStatus(TTaskIndex task);
bool IsFailedStatus(const std::string& status);
// The post-queue status of a job while its deletion task runs.
extern const std::string DeletingStatus;

// The question Start asks when a job would notify nobody.
extern const std::string NotifyWithoutRecipientsCaption;
extern const std::string NotifyWithoutRecipientsQuestion;

// What a fetch brought a job: "Job 101: 2 new answers (Changes requested)".
std::string AnswerNewsText(std::uint32_t jobReference, std::size_t count, const std::string& answerStatus);

// The log line of a job that ends without its mail because the operator
// agreed at Start to notify nobody: "Job 101: uploaded; no mail sent (no recipients)"
std::string NotifiedNobodyLogText(std::uint32_t jobReference);

// The question the window asks when a job added to the queue may be the
// next round of an earlier one: "Is job 105 (proof-job.ps) round 2 of job
// 101, sent 2026-12-10 09:26?"
extern const std::string ProofRoundCaption;
std::string ProofRoundQuestion(std::uint32_t jobReference, const std::string& jobName, std::uint32_t earlierReference,
                               std::int32_t roundNumber, const std::string& sentAt);

// What the task chain is doing: which task of which job, on which page.
struct TRunnerActivity {
    std::uint32_t JobReference = 0;
    TTaskIndex Task = MasterTask;
    // The page the task works on (from 1), 0 while it has named none.
    int Page = 0;
    // The job's pages; 0 when unknown.
    int PageCount = 0;
};

// "Web: page 2 of 3"; only the task's word ("Transfer") while it names no page.
std::string ActivityText(const TRunnerActivity& activity);

// What the station waits for before it can close, the chain's task first,
// then a deletion (of the given job), then a fetch of answers: "Finishing Web
// for job 12 before closing..."; empty when nothing runs.
std::string FinishingText(const std::optional<TRunnerActivity>& chainTask, std::optional<std::uint32_t> deletion,
                          bool fetchingAnswers);

}  // namespace tavrin
