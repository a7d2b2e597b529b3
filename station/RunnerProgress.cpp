#include "station/RunnerProgress.h"

#include "base/tasking/StationLog.h"

namespace tavrin {

void TRunnerProgress::Handle(const TTaskMessage& message)
{
    if (message.Page > 0 && Current) {
        Current->Page = message.Page;
        Notices.Tell(&TRunnerObserver::ActivityChanged);
    }
    if (message.Position >= 0) {
        (message.Number == WM_TOTAL_PROGRESS ? TotalPosition : TaskPosition) = message.Position;
        Notices.Tell(&TRunnerObserver::ProgressChanged);
    }
    if (message.Text && !message.Text->empty())
        Log.Log(*message.Text);
}

void TRunnerProgress::Begin(const TRunnerActivity& activity)
{
    Current = activity;
    TotalPosition = 0;
    TaskPosition = 0;
    Notices.Tell(&TRunnerObserver::ProgressChanged);
    Notices.Tell(&TRunnerObserver::ActivityChanged);
}

void TRunnerProgress::End()
{
    Current.reset();
    TotalPosition = 0;
    TaskPosition = 0;
    Notices.Tell(&TRunnerObserver::ProgressChanged);
    Notices.Tell(&TRunnerObserver::ActivityChanged);
}

void TRunnerProgress::ClearBars()
{
    TotalPosition = 0;
    TaskPosition = 0;
    Notices.Tell(&TRunnerObserver::ProgressChanged);
}

}  // namespace tavrin
