#include "station/AnswersRefresh.h"

#include "base/tasking/StationLog.h"
#include "station/QueueLists.h"
#include "station/RunnerProgress.h"
#include "station/RunnerTasks.h"
#include "station/RunnerTexts.h"

namespace tavrin {

TAnswersRefresh::TAnswersRefresh(TRunnerTasks& tasks, TQueueLists& lists, TRunnerProgress& progress, TStationLog& log,
                                 const TRunnerNotices& notices)
    : Tasks(tasks), Lists(lists), Progress(progress), Log(log), Notices(notices)
{
}

bool TAnswersRefresh::Refresh()
{
    const std::vector<std::uint32_t> jobs = Lists.AnswerJobs();
    if (jobs.empty()) {
        Log.Log("No post-queue job was sent to the web server: there are no answers to fetch.");
        return false;
    }
    return Refresh(jobs);
}

bool TAnswersRefresh::Refresh(const std::vector<std::uint32_t>& jobReferences)
{
    return Begin(jobReferences, true);
}

bool TAnswersRefresh::Begin(const std::vector<std::uint32_t>& jobReferences, bool asked)
{
    if (Tasks.Closing || jobReferences.empty())
        return false;
    if (Tasks.Busy()) {
        Log.Log(Refreshing ? "The answers are being fetched already."
                           : "The answers are fetched once the running task has finished; try again then.");
        return false;
    }
    if (!Tasks.Kinds.Answers) {
        Log.Log("Fetching answers is not available in this build.");
        return false;
    }
    try {
        CountsBefore = Lists.StoredAnswerCounts(jobReferences);
    } catch (const std::exception& error) {
        // Without the counts the fetch still brings the answers, only no news of them.
        CountsBefore.clear();
        Log.Log("Could not count the answers the station has: " + std::string(error.what()));
    }
    Tasks.Running.Start(Tasks.Kinds.Answers(Tasks.Target, Tasks.NewContext(0), jobReferences));
    Refreshing = true;
    AnswersAsked = asked;
    Notices.Tell(&TRunnerObserver::ProgressChanged);
    Notices.Tell(&TRunnerObserver::ActivityChanged);
    return true;
}

bool TAnswersRefresh::RefreshIfIdle()
{
    if (Tasks.Closing || Tasks.Busy())
        return false;
    const std::vector<std::uint32_t> jobs = Lists.AnswerJobs();
    // Nobody asked: a server that is down is told in the log, not in a box every few minutes.
    return !jobs.empty() && Begin(jobs, false);
}

void TAnswersRefresh::TellNews()
{
    std::vector<TAnswerNews> news;
    try {
        std::vector<std::uint32_t> jobs;
        for (const auto& [job, count] : CountsBefore)
            jobs.push_back(job);
        for (const auto& [job, count] : Lists.StoredAnswerCounts(jobs))
            if (count > CountsBefore[job]) {
                news.push_back(TAnswerNews{job, count - CountsBefore[job], ""});
                Lists.MarkNewAnswers(job);
            }
    } catch (const std::exception& error) {
        Log.Log("Could not count the answers the fetch brought: " + std::string(error.what()));
    }
    CountsBefore.clear();
    Lists.ReloadPostQueueList();
    for (TAnswerNews& job : news) {
        for (const TPostQueueRow& row : Lists.PostQueueRows())
            if (row.JobReference == job.JobReference)
                job.AnswerStatus = row.AnswerStatus;
        Log.Log(AnswerNewsText(job.JobReference, job.Count, job.AnswerStatus));
    }
    if (!news.empty())
        Notices.AnswersArrived(news);
}

bool TAnswersRefresh::HandleDone(const TTaskMessage& message)
{
    Log.Log(CompletionLogText(message));
    Tasks.Running.Release(message.Thread);
    // The bars were the fetch's: an idle station shows them empty (told while still the fetch's).
    Progress.ClearBars();
    Refreshing = false;
    TellNews();
    if (message.Failed && AnswersAsked)
        Notices.TaskFailed(message.JobReference, "Fetching answers", message.FailureReason);
    Notices.Tell(&TRunnerObserver::ActivityChanged);
    if (!StartWaiting || Tasks.Closing)
        return false;
    StartWaiting = false;
    return true;
}

void TAnswersRefresh::BeginFollowUp()
{
    Refreshing = true;
    Notices.Tell(&TRunnerObserver::ActivityChanged);
}

bool TAnswersRefresh::EndFollowUp()
{
    Refreshing = false;
    Notices.Tell(&TRunnerObserver::ActivityChanged);
    if (!StartWaiting || Tasks.Closing)
        return false;
    StartWaiting = false;
    return true;
}

}  // namespace tavrin
