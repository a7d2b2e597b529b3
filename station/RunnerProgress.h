#pragma once

#include "base/platform/MessageTarget.h"
#include "station/RunnerObserver.h"
#include "station/RunnerTexts.h"

#include <optional>

namespace tavrin {

class TStationLog;

// The two progress bars and the chain's running task, as the windows and
// tavrin-cli show them. The bars are whichever task's posts last; the
// activity is only the chain's.
class TRunnerProgress {
public:
    TRunnerProgress(TStationLog& log, const TRunnerNotices& notices) : Log(log), Notices(notices) {}

    // A progress message: its bar moves when it gives a position, the running
    // task turns to the page it names, and a text that is not empty is logged.
    void Handle(const TTaskMessage& message);
    // A chain task starts, on empty bars: a bar left at 100 would claim it done.
    void Begin(const TRunnerActivity& activity);
    // The chain's task ended: no activity, empty bars.
    void End();
    // Empty bars, the activity as it is.
    void ClearBars();

    int Total() const { return TotalPosition; }
    int Task() const { return TaskPosition; }
    // The chain's running task; nothing while the chain is idle.
    const std::optional<TRunnerActivity>& Activity() const { return Current; }

private:
    TStationLog& Log;
    const TRunnerNotices& Notices;
    int TotalPosition = 0;
    int TaskPosition = 0;
    std::optional<TRunnerActivity> Current;
};

}  // namespace tavrin
