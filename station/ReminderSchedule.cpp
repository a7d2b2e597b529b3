#include "station/ReminderSchedule.h"

#include "base/catalogue/Reminders.h"
#include "base/settings/SharedSettings.h"
#include "base/tasking/StationLog.h"
#include "base/tasking/TaskSets.h"
#include "station/JobAnswers.h"
#include "station/QueueLists.h"
#include "station/RunnerProgress.h"
#include "station/RunnerTasks.h"
#include "station/RunnerTexts.h"

#include <stdexcept>

namespace tavrin {

TReminderSchedule::TReminderSchedule(TRunnerTasks& tasks, TQueueLists& lists, TRunnerProgress& progress,
                                     TStationLog& log, const TRunnerNotices& notices, TLocalClock clock)
    : Tasks(tasks), Lists(lists), Progress(progress), Log(log), Notices(notices), Clock(std::move(clock))
{
}

TCalendarDate TReminderSchedule::Today() const
{
    const TLocalTime now = Clock();
    return {now.Year, now.Month, now.Day};
}

std::vector<std::uint32_t> TReminderSchedule::DueJobs() const
{
    const int days = Tasks.Settings.Copy().ReminderDays;
    std::vector<std::uint32_t> jobs;
    if (days <= 0)
        return jobs;
    const TCalendarDate today = Today();
    for (const TPostQueueRow& row : Lists.PostQueueRows()) {
        if (!TaskSetNames(row.Tasks, NotifyTask) || !row.DueDate || !InReminderDays(*row.DueDate, today, days))
            continue;
        if (LoadJobAnswers(Tasks.Catalogue, row.JobReference).Summary.State != TAnswerState::Waiting)
            continue;
        if (!RecipientsToRemind(Tasks.Catalogue, row.JobReference, *row.DueDate).empty())
            jobs.push_back(row.JobReference);
    }
    return jobs;
}

bool TReminderSchedule::Begin(bool asked)
{
    if (Tasks.Closing || Tasks.Busy() || !Tasks.Kinds.Reminders)
        return false;
    std::vector<std::uint32_t> jobs;
    try {
        jobs = DueJobs();
    } catch (const std::exception& error) {
        Log.Log("The reminders were not looked at: " + std::string(error.what()));
        return false;
    }
    if (jobs.empty())
        return false;
    Tasks.Running.Start(Tasks.Kinds.Reminders(Tasks.Target, Tasks.NewContext(0), jobs));
    Running = true;
    Asked = asked;
    Notices.Tell(&TRunnerObserver::ProgressChanged);
    return true;
}

void TReminderSchedule::HandleDone(const TTaskMessage& message)
{
    Log.Log(CompletionLogText(message));
    Tasks.Running.Release(message.Thread);
    Progress.ClearBars();
    Running = false;
    if (message.Failed && Asked)
        Notices.TaskFailed(message.JobReference, "Sending reminders", message.FailureReason);
}

}  // namespace tavrin
