#pragma once

#include "base/catalogue/JobDetailRecord.h"
#include "base/tasking/TaskContext.h"
#include "engines/delivery/WebHostSession.h"

#include <functional>
#include <string>

namespace tavrin {

// The job a delivery task works on and its local folder, or why the task may
// not work on it.
struct TDeliveryJob {
    TJobDetailRecord Job;
    std::string LocalFolder;
    // Empty when the task may go on; otherwise its failure reason, which
    // ends in the consequence.
    std::string Refusal;
    // Whether the refusal is a log line too: a job that is not catalogued
    // only fails the task.
    bool RefusalIsLogged = false;
};

// Loads the context's job and its local folder. Refused: no such job, a job
// without a unique id, whose folder would be the whole output folder, or one
// whose secret is damaged (which must not fall back to the guessable folder).
TDeliveryJob CheckDeliveryJob(const TTaskContext& context, const std::string& consequence);

// A delivery task's posts for a session's reports: its lines are log lines
// (WM_TOTAL_PROGRESS) without progress, the client's statuses and the file's
// progress go to the task's own line (WM_TASK_PROGRESS).
using TPostText = std::function<void(const std::string& text, int progress)>;
TSessionReports TaskSessionReports(const TPostText& postLog, const TPostText& postTask);

}  // namespace tavrin
