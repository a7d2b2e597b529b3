#pragma once

#include "base/platform/LocalClock.h"
#include "base/platform/MessageTarget.h"
#include "base/text/CalendarDate.h"
#include "station/RunnerObserver.h"

#include <cstdint>
#include <vector>

namespace tavrin {

class TQueueLists;
class TRunnerProgress;
class TStationLog;
struct TRunnerTasks;

// When the reminders go: right after a fetch of answers that succeeded,
// while the answers are fresh, as a task that runs alone (the runner counts
// it as part of the fetch). Due are the post-queue jobs that were notified,
// have a due date whose reminder days (ReminderDays) include today, still
// wait for their customer's answer, and have a notified contact not yet
// reminded for that date.
class TReminderSchedule {
public:
    TReminderSchedule(TRunnerTasks& tasks, TQueueLists& lists, TRunnerProgress& progress, TStationLog& log,
                      const TRunnerNotices& notices, TLocalClock clock);

    // The jobs due for a reminder today. Raises catalogue errors.
    std::vector<std::uint32_t> DueJobs() const;

    // Starts the reminder task when some job is due and nothing else runs;
    // asked: somebody asked for the fetch and hears of a failure. True when it started.
    bool Begin(bool asked);
    bool Sending() const { return Running; }
    // The task's completion: logged, a failure told as a fetch's is.
    void HandleDone(const TTaskMessage& message);

private:
    TCalendarDate Today() const;

    TRunnerTasks& Tasks;
    TQueueLists& Lists;
    TRunnerProgress& Progress;
    TStationLog& Log;
    const TRunnerNotices& Notices;
    TLocalClock Clock;
    bool Running = false;
    bool Asked = false;
};

}  // namespace tavrin
