#include "cli/RunnerCommands.h"

#include "base/catalogue/ProofRounds.h"
#include "base/platform/WorkerThread.h"
#include "base/text/CalendarDate.h"
#include "base/text/TerminalText.h"
#include "cli/CliStation.h"
#include "station/AddressBook.h"

#include <algorithm>
#include <iostream>

namespace tavrin {

namespace {

int Usage(const char* synopsis)
{
    std::cerr << "Usage: tavrin-cli " << synopsis << "\n";
    return ExitUsage;
}

// --yes or --no among the arguments answers the operator's questions; the rest stay.
std::vector<std::string> TakeAnswer(TCliStation& station, const std::vector<std::string>& arguments)
{
    std::vector<std::string> rest;
    for (const std::string& argument : arguments) {
        if (argument == "--yes")
            station.Dialogs.Answer = true;
        else if (argument == "--no")
            station.Dialogs.Answer = false;
        else
            rest.push_back(argument);
    }
    return rest;
}

// A later round ends its row with "\tround 2 of 101"; a first proof's row
// stays as it was before rounds, so that scripts reading the columns they
// knew, from the left or from the right, read them still.
void PrintLaterRound(const TProofRound& round)
{
    if (round.EarlierReference != 0)
        std::cout << "\tround " << ProofRoundText(round);
}

// Names come from page buffers and reasons from servers: every field is
// printed safe, so that none can change the terminal or forge a column or a row.
void PrintQueue(const TQueueRunner& runner)
{
    for (const TQueueRow& row : runner.QueueRows()) {
        std::cout << row.JobReference << "\t" << (row.Checked ? "[x] " : "[ ] ") << TerminalText(row.Caption) << "\t"
                  << TerminalText(row.Status) << "\t" << TerminalText(row.Tasks) << "\t"
                  << "recipients: " << TerminalText(row.Recipients);
        if (row.DueDate)
            std::cout << "\t"
                      << "due: " << CalendarDateText(*row.DueDate);
        if (!row.FailureReason.empty())
            std::cout << "\t"
                      << "reason: " << TerminalText(row.FailureReason);
        PrintLaterRound(row.Round);
        std::cout << "\n";
    }
}

void PrintPostQueue(const TQueueRunner& runner, bool withAnswers)
{
    for (const TPostQueueRow& row : runner.PostQueueRows()) {
        std::cout << row.JobReference << "\t" << TerminalText(row.Caption) << "\t" << TerminalText(row.Status);
        if (withAnswers)
            std::cout << "\t" << TerminalText(row.Tasks) << "\t"
                      << (row.DueDate ? CalendarDateText(*row.DueDate) : std::string("-")) << "\t"
                      << TerminalText(row.AnswerStatus);
        PrintLaterRound(row.Round);
        std::cout << "\n";
    }
}

void PrintContacts(const std::vector<TContactRow>& contacts)
{
    for (const TContactRow& contact : contacts)
        std::cout << contact.AddressID << "\t" << TerminalText(contact.Name) << "\t" << TerminalText(contact.Email)
                  << "\n";
}

bool JobIsCatalogued(const TCliStation& station, std::uint32_t reference)
{
    const bool catalogued = station.Core.IsCatalogued(reference);
    if (!catalogued)
        std::cerr << "tavrin-cli: no job " << reference << " in the catalogue (run tavrin-cli tree to scan)\n";
    return catalogued;
}

// Runs a command on the selected queue row of the job named by the first
// argument; the action gets the second argument, if the command has one,
// and the queue is printed afterwards.
template <typename TAction>
int OnQueueRow(TCliContext& context, const std::vector<std::string>& arguments, std::size_t count, const char* synopsis,
               TAction action)
{
    if (arguments.size() != count)
        return Usage(synopsis);
    const auto reference = ParseReference(arguments[0]);
    if (!reference)
        return ExitUsage;
    TCliStation& station = PreparedStation(context);
    const int row = station.QueueRowOf(*reference);
    if (row < 0)
        return ExitFailed;
    station.Runner.SelectQueueRow(row);
    const int status = action(station, count > 1 ? arguments[1] : std::string());
    PrintQueue(station.Runner);
    return status;
}

// Prints what one task posts and waits for its completion.
class TSingleTaskHandler final : public TMessageHandler {
public:
    explicit TSingleTaskHandler(TStationLog& log) : Log(log) {}
    bool Done = false;

    void HandleMessage(TTaskMessage message) override
    {
        if (!message.IsCompletion()) {
            if (message.Text && !message.Text->empty())
                Log.Log(*message.Text);
            return;
        }
        Log.Log(CompletionLogText(message));
        // The exit status says that it failed; standard error says why.
        if (message.Failed)
            std::cerr << "tavrin-cli: " << TerminalText(CompletionLogText(message)) << std::endl;
        TWorkerThread::Release(message.Thread);
        Done = true;
        Failed = message.Failed;
    }

    bool Failed = false;

private:
    TStationLog& Log;
};

}  // namespace

int RunStartupOperation(TCliContext& context, const std::vector<std::string>& arguments)
{
    if (!arguments.empty())
        return Usage("startup");
    TCliStation& station = Station(context);
    station.Startup.Run();
    std::cout << "Queue:\n";
    PrintQueue(station.Runner);
    std::cout << "Post queue:\n";
    PrintPostQueue(station.Runner, false);
    return ExitDone;
}

int RunQueueList(TCliContext& context, const std::vector<std::string>& arguments)
{
    if (!arguments.empty())
        return Usage("queue list");
    PrintQueue(PreparedStation(context).Runner);
    return ExitDone;
}

// Without --round-of the job never becomes a later round, whatever its name:
// scripts get what they ask for.
int RunQueueAdd(TCliContext& context, const std::vector<std::string>& arguments)
{
    constexpr const char* synopsis = "queue add REF [--round-of OLD]";
    if (arguments.size() != 1 && (arguments.size() != 3 || arguments[1] != "--round-of"))
        return Usage(synopsis);
    const auto reference = ParseReference(arguments[0]);
    if (!reference)
        return ExitUsage;
    std::optional<std::uint32_t> earlier;
    if (arguments.size() == 3 && !(earlier = ParseReference(arguments[2])))
        return ExitUsage;
    TCliStation& station = PreparedStation(context);
    if (!JobIsCatalogued(station, *reference))
        return ExitFailed;
    if (earlier) {
        // A refused link queues nothing: the operator meant the job as a later round.
        try {
            station.Runner.LinkRound(*reference, *earlier);
        } catch (const EProofRoundError& refusal) {
            std::cerr << "tavrin-cli: " << TerminalText(refusal.what()) << "\n";
            return ExitFailed;
        }
    }
    station.Runner.DropJob(*reference);
    PrintQueue(station.Runner);
    return ExitDone;
}

int RunQueueTasks(TCliContext& context, const std::vector<std::string>& arguments)
{
    return OnQueueRow(context, arguments, 2, "queue tasks REF TEXT", [](TCliStation& station, const std::string& text) {
        const int level = ExactTaskSetLevel(text);
        if (level < 0) {
            std::cerr << "tavrin-cli: the task set is one of:";
            for (const std::string& known : TaskSetTexts)
                std::cerr << " \"" << known << "\"";
            std::cerr << "\n";
            return ExitUsage;
        }
        station.Runner.ChooseTaskLevel(level);
        return ExitDone;
    });
}

// A due date can be set or cleared ("-") for any catalogued job: a date
// agreed after the proof went out belongs to it as much as one set before.
int RunQueueDue(TCliContext& context, const std::vector<std::string>& arguments)
{
    constexpr const char* synopsis = "queue due REF YYYY-MM-DD|-";
    if (arguments.size() != 2)
        return Usage(synopsis);
    const auto reference = ParseReference(arguments[0]);
    if (!reference)
        return ExitUsage;
    const auto due = ParseCalendarDate(arguments[1]);
    if (!due && arguments[1] != "-") {
        std::cerr << "tavrin-cli: \"" << TerminalText(arguments[1])
                  << "\" is not a date: give the day as YYYY-MM-DD, e.g. 2026-12-18, or - for none\n";
        return ExitUsage;
    }
    TCliStation& station = PreparedStation(context);
    if (!JobIsCatalogued(station, *reference) || !station.Runner.SetDueDate(*reference, due))
        return ExitFailed;
    PrintQueue(station.Runner);
    return ExitDone;
}

int RunQueueTick(TCliContext& context, const std::vector<std::string>& arguments)
{
    return OnQueueRow(context, arguments, 1, "queue tick REF", [](TCliStation& station, const std::string&) {
        station.Runner.SetQueueRowChecked(station.Runner.SelectedQueueRow(), true);
        std::cerr << "Ticks last for this run only, like the station's check boxes: follow with \"then start\".\n";
        return ExitDone;
    });
}

int RunQueueRemove(TCliContext& context, const std::vector<std::string>& arguments)
{
    return OnQueueRow(context, arguments, 1, "queue remove REF", [](TCliStation& station, const std::string&) {
        station.Runner.RemoveQueueRow();
        return ExitDone;
    });
}

int RunRecipientAdd(TCliContext& context, const std::vector<std::string>& arguments)
{
    return OnQueueRow(
        context, arguments, 2, "queue recipient add REF ID", [](TCliStation& station, const std::string& text) {
            const auto id = ParseReference(text);
            if (!id)
                return ExitUsage;
            TAddressBook book(station.Core.Catalogue());
            book.Reload("");
            const auto& contacts = book.Rows();
            const auto contact = std::find_if(contacts.begin(), contacts.end(), [&](const TContactRow& c) {
                return c.AddressID == static_cast<std::int32_t>(*id);
            });
            if (contact == contacts.end()) {
                std::cerr << "Error: No contact was selected. (there is no contact " << *id << ")\n";
                return ExitFailed;
            }
            station.Runner.AddRecipient(contact->AddressID, contact->Email);
            return contact->Email.empty() ? ExitFailed : ExitDone;
        });
}

int RunRecipientRemove(TCliContext& context, const std::vector<std::string>& arguments)
{
    return OnQueueRow(context, arguments, 2, "queue recipient remove REF ID",
                      [](TCliStation& station, const std::string& text) {
                          const auto id = ParseReference(text);
                          if (!id)
                              return ExitUsage;
                          const auto& recipients = station.Runner.RecipientRows();
                          for (std::size_t i = 0; i < recipients.size(); ++i)
                              if (recipients[i].AddressID == static_cast<std::int32_t>(*id))
                                  station.Runner.SelectRecipientRow(static_cast<int>(i));
                          station.Runner.RemoveRecipient();
                          return ExitDone;
                      });
}

int RunStart(TCliContext& context, const std::vector<std::string>& arguments)
{
    TCliStation& station = Station(context);
    if (!TakeAnswer(station, arguments).empty())
        return Usage("start [--yes|--no]");
    station.Prepare();
    const int failedBefore = station.FailedTasks;
    station.Runner.Start();
    station.RunUntilIdle();
    std::cout << "Queue:\n";
    PrintQueue(station.Runner);
    return station.FailedTasks == failedBefore ? ExitDone : ExitFailed;
}

int RunPostQueueList(TCliContext& context, const std::vector<std::string>& arguments)
{
    if (!arguments.empty())
        return Usage("postqueue list");
    PrintPostQueue(PreparedStation(context).Runner, true);
    return ExitDone;
}

int RunPostQueueDelete(TCliContext& context, const std::vector<std::string>& arguments)
{
    constexpr const char* synopsis = "postqueue delete REF --yes|--no";
    TCliStation& station = PreparedStation(context);
    const auto rest = TakeAnswer(station, arguments);
    // Deleting a proof wants an answer on this very command, not one left from another.
    if (rest.size() == arguments.size())
        return Usage(synopsis);
    const auto reference = OnlyReference(rest, synopsis);
    if (!reference)
        return ExitUsage;
    const auto& rows = station.Runner.PostQueueRows();
    const auto row =
        std::find_if(rows.begin(), rows.end(), [&](const TPostQueueRow& r) { return r.JobReference == *reference; });
    if (row == rows.end()) {
        std::cerr << "tavrin-cli: job " << *reference << " is not in the post queue\n";
        return ExitFailed;
    }
    station.Runner.SelectPostQueueRow(static_cast<int>(row - rows.begin()));
    const int failedBefore = station.FailedTasks;
    station.Runner.DeleteFromPostQueue();
    station.RunUntilIdle();
    if (station.FailedTasks == failedBefore)
        return ExitDone;
    for (const TPostQueueRow& left : station.Runner.PostQueueRows())
        if (left.JobReference == *reference)
            std::cerr << "tavrin-cli: job " << *reference << " stays in the post queue: " << left.Status << "\n";
    return ExitFailed;
}

int RunTask(TCliContext& context, const std::vector<std::string>& arguments)
{
    static const std::vector<std::string> kinds = {"master", "preview", "web", "transfer", "notify", "delete"};
    const auto kind = arguments.empty() ? kinds.end() : std::find(kinds.begin(), kinds.end(), arguments[0]);
    if (arguments.size() != 2 || kind == kinds.end())
        return Usage("task master|preview|web|transfer|notify|delete REF");
    const auto reference = ParseReference(arguments[1]);
    if (!reference)
        return ExitUsage;
    TCliStation& station = PreparedStation(context);
    const TTaskKinds tasks = StationTaskKinds();
    const auto index = static_cast<std::size_t>(kind - kinds.begin());
    const TTaskFactory& factory = index < tasks.Chain.size() ? tasks.Chain[index] : tasks.Deletion;
    if (!factory) {
        std::cerr << "tavrin-cli: the " << *kind << " task is not available in this build\n";
        return ExitFailed;
    }
    TSingleTaskHandler handler(context.Log);
    factory(context.Messages, station.Core.TaskContext(*reference)).release()->Start();
    while (!handler.Done)
        context.Messages.PumpOne(handler, std::chrono::seconds(1));
    return handler.Failed ? ExitFailed : ExitDone;
}

int RunContactsList(TCliContext& context, const std::vector<std::string>& arguments)
{
    if (!arguments.empty())
        return Usage("contacts list");
    TAddressBook book(PreparedStation(context).Core.Catalogue());
    book.Reload("");
    PrintContacts(book.Rows());
    return ExitDone;
}

int RunContactsSave(TCliContext& context, const std::vector<std::string>& arguments)
{
    if (arguments.size() != 2)
        return Usage("contacts save NAME EMAIL");
    TCliStation& station = PreparedStation(context);
    TAddressBook book(station.Core.Catalogue());
    book.Reload("");
    book.SaveContact(arguments[0], arguments[1], station.Dialogs);
    if (!TAddressBook::AcceptsAddress(arguments[1]))
        return ExitFailed;  // the reason is on standard error
    PrintContacts(book.Rows());
    return ExitDone;
}

int RunContactsDelete(TCliContext& context, const std::vector<std::string>& arguments)
{
    const auto id = OnlyReference(arguments, "contacts delete ID");
    if (!id)
        return ExitUsage;
    TAddressBook book(PreparedStation(context).Core.Catalogue());
    book.DeleteContact(static_cast<std::int32_t>(*id), "");
    PrintContacts(book.Rows());
    return ExitDone;
}

}  // namespace tavrin
