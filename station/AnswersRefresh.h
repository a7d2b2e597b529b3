#pragma once

#include "base/platform/MessageTarget.h"
#include "station/RunnerObserver.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace tavrin {

class TQueueLists;
class TRunnerProgress;
class TStationLog;
struct TRunnerTasks;

// When the customers' answers are fetched: a task beside the chain that
// never runs together with another task, since the shop's server gets one
// session at a time. A fetch somebody asked for says in the log why it cannot
// start, and its failure goes to the observer; the timer's is skipped
// silently and its failure only logged. A Start meanwhile waits for the answers.
class TAnswersRefresh {
public:
    TAnswersRefresh(TRunnerTasks& tasks, TQueueLists& lists, TRunnerProgress& progress, TStationLog& log,
                    const TRunnerNotices& notices);

    // The operator's or a command's fetch, of every post-queue job that was
    // transferred or of the given jobs: false, with a log line, while a task
    // runs, the station closes, or there is nothing to fetch.
    bool Refresh();
    bool Refresh(const std::vector<std::uint32_t>& jobReferences);
    // The timer's: only while no task runs and the post queue has jobs.
    bool RefreshIfIdle();
    bool Fetching() const { return Refreshing; }

    // A Start came while the answers are fetched: the queue follows them.
    void HoldStart() { StartWaiting = true; }
    // The fetch's completion: the post queue shows the answers; each job that
    // got answers new to the catalogue gets a log line ("Job 101: 2 new
    // answers (Changes requested)"), a bold row until the operator selects
    // it, and the observer hears of them. True when a held Start is now due.
    bool HandleDone(const TTaskMessage& message);
    // Whether an operator or a command asked for the last fetch.
    bool Asked() const { return AnswersAsked; }
    // A task that follows a fetch (the reminders) counts as part of it: a
    // Start waits for it too. EndFollowUp is true when a held Start is now due.
    void BeginFollowUp();
    bool EndFollowUp();

private:
    // Tells of the answers the fetch added to what the jobs had before it.
    void TellNews();
    // Starts the answers task; asked: an operator or a command wants to hear of its failure.
    bool Begin(const std::vector<std::uint32_t>& jobReferences, bool asked);

    TRunnerTasks& Tasks;
    TQueueLists& Lists;
    TRunnerProgress& Progress;
    TStationLog& Log;
    const TRunnerNotices& Notices;
    bool Refreshing = false;
    bool StartWaiting = false;
    // Whether an operator or a command asked for the running refresh, rather than the timer.
    bool AnswersAsked = false;
    // How many answers each fetched job had when the fetch began.
    std::map<std::uint32_t, std::size_t> CountsBefore;
};

}  // namespace tavrin
