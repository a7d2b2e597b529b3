#include "station/QueueRunner.h"

#include "base/tasking/StationLog.h"

namespace tavrin {

TQueueRunner::TQueueRunner(TMessageTarget& target, TStationLog& log, TOperatorDialogs& dialogs, TTaskKinds kinds,
                           TTaskContextMaker newContext, TCatalogueConnection& catalogue,
                           const TSharedSettings& settings, TLocalClock clock)
    : Log(log), Store(catalogue, clock), Tasks(target, std::move(kinds), std::move(newContext), catalogue, settings),
      Progress(log, Notices), Lists(Store, catalogue, settings, log, dialogs, Notices, Tasks.Deleting),
      Answers(Tasks, Lists, Progress, log, Notices), Reminders(Tasks, Lists, Progress, log, Notices, std::move(clock)),
      PostQueue(Tasks, Lists, Store, Answers, log, dialogs, Notices),
      Chain(Tasks, Lists, Store, Progress, Answers, log, dialogs, Notices)
{
}

TQueueRunner::~TQueueRunner() = default;  // the running tasks are waited for as they go

void TQueueRunner::HandleMessage(TTaskMessage message)
{
    switch (message.Number) {
    case WM_TOTAL_PROGRESS:
    case WM_TASK_PROGRESS: Progress.Handle(message); break;
    case WM_DELETE_DONE: PostQueue.HandleDeletionDone(message); break;
    case WM_ANSWERS_DONE:
        if (Answers.HandleDone(message))
            Chain.StartNext();  // the Start that waited for the answers
        else if (!message.Failed && Reminders.Begin(Answers.Asked()))
            Answers.BeginFollowUp();  // never to a customer whose answer could not be read
        break;
    case WM_REMINDERS_DONE:
        Reminders.HandleDone(message);
        if (Answers.EndFollowUp())
            Chain.StartNext();
        break;
    default:
        if (message.IsCompletion())
            Chain.HandleCompletion(message);
        break;
    }
}

TMailAnswers TQueueRunner::AddAnswersFromMail(const std::string& mailText)
{
    TMailAnswers result = AddMailAnswers(Tasks.Catalogue, mailText);
    if (result.Added > 0)
        Lists.ReloadPostQueueList();
    return result;
}

std::string TQueueRunner::FinishingText() const
{
    const std::optional<std::uint32_t> deletion =
        Tasks.Deleting.empty() ? std::nullopt : std::optional<std::uint32_t>(*Tasks.Deleting.begin());
    return tavrin::FinishingText(Progress.Activity(), deletion, Answers.Fetching());
}

void TQueueRunner::BeginShutdown()
{
    Tasks.Closing = true;
    if (HasRunningTasks())
        Log.Log("Waiting for the running task to finish before the station closes.");
}

}  // namespace tavrin
