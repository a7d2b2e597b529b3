#pragma once

#include "base/platform/MessageTarget.h"
#include "station/RunnerObserver.h"

#include <optional>
#include <string>

namespace tavrin {

class TAnswersRefresh;
class TOperatorDialogs;
class TQueueLists;
class TQueueStore;
class TStationLog;
struct TRunnerTasks;

// What the operator does with the selected post-queue job beyond looking at
// it: delete its files, and open its web page. Both ask or tell the operator
// through the dialogs.
class TPostQueueActions {
public:
    TPostQueueActions(TRunnerTasks& tasks, TQueueLists& lists, TQueueStore& store, const TAnswersRefresh& answers,
                      TStationLog& log, TOperatorDialogs& dialogs, const TRunnerNotices& notices);

    // Asks for confirmation, then deletes the selected job's files on the web
    // server and locally (a task beside the chain). The job stays in the post
    // queue ("Deleting") while the task runs; it leaves when the task
    // succeeds, and stays marked "Withdrawal failed: REASON" when it fails,
    // until a later deletion succeeds.
    void DeleteSelected();
    void HandleDeletionDone(const TTaskMessage& message);

    // The address of the selected job's web page, or nothing (after telling
    // the operator why, where there is something to tell).
    std::optional<std::string> WebPageAddress();

private:
    TRunnerTasks& Tasks;
    TQueueLists& Lists;
    TQueueStore& Store;
    const TAnswersRefresh& Answers;
    TStationLog& Log;
    TOperatorDialogs& Dialogs;
    const TRunnerNotices& Notices;
};

}  // namespace tavrin
