#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/DueDates.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/ProofAnswers.h"
#include "base/catalogue/Reminders.h"
#include "base/platform/MessageQueue.h"
#include "base/tasking/StationLog.h"
#include "station/QueueRunner.h"
#include "tasks/delivery/ReminderThread.h"
#include "tests/delivery/DeliveryFixture.h"
#include "tests/delivery/MailFixture.h"
#include "tests/support/ScriptedDialogs.h"

#include <algorithm>

namespace tavrin::testing {
namespace {

constexpr const char* JobID = "20261201090000000";

// The fetch of answers: it reads nothing and fails when told to.
bool FetchFails = false;

class TQuietAnswers final : public TTaskThread {
public:
    TQuietAnswers(TMessageTarget& target) : TTaskThread(target, 0, WM_ANSWERS_DONE) {}

protected:
    void Run() override
    {
        if (FetchFails)
            Fail("The web server is down");
    }
};

// The failures the runner reports, as "JOB TASK: REASON".
struct TFailureRecorder final : TRunnerObserver {
    std::vector<std::string> Failures;
    void TaskFailed(std::uint32_t jobReference, const std::string& task, const std::string& reason) override
    {
        Failures.push_back(std::to_string(jobReference) + " " + task + ": " + reason);
    }
};

TTaskKinds ReminderKinds()
{
    TTaskKinds kinds;
    kinds.Answers = [](TMessageTarget& target, const TTaskContext&, const std::vector<std::uint32_t>&) {
        return std::make_unique<TQuietAnswers>(target);
    };
    kinds.Reminders = [](TMessageTarget& target, const TTaskContext& context, const std::vector<std::uint32_t>& jobs) {
        return std::make_unique<TReminderThread>(target, context, jobs);
    };
    return kinds;
}

// Job 7, notified to Ann and to a bare address, waits in the post queue for
// its customer's answer about two pages; the clock is the test's.
class Reminders : public DeliveryFixture {
protected:
    void SetUp() override
    {
        DeliveryFixture::SetUp();
        FetchFails = false;
        Run("insert into JobList (JobListReference, JobListUniqueID, JobListName, JobListPageCount) values (7, " +
            QuoteText(JobID) + ", \"A&B\", 2)");
        Run("insert into AddressList (AddressListID, AddressListName, AddressListEmail) values "
            "(3, \"Ann Archer\", \"ann@example.com\"), (9, \"\", \"bare@example.com\")");
        Run("insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values "
            "(7, \"Master, Preview, Web, Transfer, Notify\")");
        SaveNotifiedRecipients(Catalogue, 7, {3, 9});
        SetDue("2026-12-18");
        WriteBytes(OutputFolder() + JobID + "/overview-0001.png", "\x89PNG\r\n\x1a\noverview");
        MailServer = StartSMTPServer(Temporary);
        Settings.Update([&](TSettingsRecord& settings) {
            settings.SMTPHost = "127.0.0.1";
            settings.SMTPPort = std::to_string(MailServer->Port());
            settings.FromEmail = "proofs@example.com";
            settings.FromEmailName = "Proof Desk";
            settings.CC = "archive@example.com";
            settings.WebRoot = "http://proofs.example.com/";
            settings.ReminderDays = 3;
        });
        Runner.ReloadPostQueueList();
    }

    void TearDown() override
    {
        Settings.Assign(TSettingsRecord());
        DeliveryFixture::TearDown();
    }

    void SetDue(const char* date)
    {
        ASSERT_TRUE(SaveDueDate(Catalogue, 7, ParseCalendarDate(date)));
        Runner.ReloadPostQueueList();
    }

    // A fetch on that day, run until the station is idle again: the
    // log lines it added, without their time stamps.
    std::vector<std::string> FetchOn(const TLocalTime& day)
    {
        Today = day;
        const std::size_t before = Log.Lines().size();
        EXPECT_TRUE(Runner.RefreshAnswers());
        while (Runner.HasRunningTasks())
            if (!Messages.PumpOne(Runner, std::chrono::seconds(30)))
                break;
        std::vector<std::string> lines;
        for (std::size_t i = before; i < Log.Lines().size(); ++i)
            lines.push_back(Log.Lines()[i].substr(Log.Lines()[i].find("]: ") + 3));
        return lines;
    }

    // The recipients of each mail received so far, in order.
    std::vector<std::string> Mailed() const
    {
        std::vector<std::string> recipients;
        for (const auto& message : ReceivedMessages(Temporary))
            for (const std::string& recipient : EnvelopeRecipients(message))
                recipients.push_back(recipient);
        return recipients;
    }

    TLocalTime Today{2026, 12, 1, 9, 0, 0, 0};
    std::unique_ptr<TServerProcess> MailServer;
    TMessageQueue Messages;
    TStationLog Log{[this] { return Today; }};
    TScriptedDialogs Dialogs;
    TQueueRunner Runner{Messages,       Log,       Dialogs,  ReminderKinds(),
                        ContextMaker(), Catalogue, Settings, [this] { return Today; }};
};

const std::string AnnSent = "Job 7: reminder sent to Ann Archer <ann@example.com>";
const std::string BareSent = "Job 7: reminder sent to bare@example.com";

// Once per contact and due date, from ReminderDays before the due date up
// to the due date; a due date moved later earns one more.
TEST_F(Reminders, EachRecipientIsRemindedOnceInTheDaysBeforeTheDueDate)
{
    EXPECT_EQ(FetchOn({2026, 12, 14, 9}), std::vector<std::string>{"Fetching the answers complete."});
    EXPECT_TRUE(Mailed().empty());

    const auto sent = FetchOn({2026, 12, 15, 9});
    EXPECT_EQ(sent, (std::vector<std::string>{"Fetching the answers complete.", AnnSent, BareSent,
                                              "Sending reminders complete."}));
    // One mail each, without the shop's copy, saying what it is.
    EXPECT_EQ(Mailed(), (std::vector<std::string>{"ann@example.com", "bare@example.com"}));
    const auto received = ReceivedMessages(Temporary);
    ASSERT_EQ(received.size(), 2u);
    const std::string summary = MailSummary(received[0]);
    EXPECT_NE(summary.find("To: Ann Archer <ann@example.com>\nSubject: Reminder: Remote Proofing information for "
                           "A&B\n"),
              std::string::npos)
        << summary;
    const auto facts = MailFacts(received[1]);
    EXPECT_EQ(facts.at("plain").rfind("This is a reminder: the proof below is still waiting for your answer.\r\n"
                                      "An online rendering of this print job has been generated.\r\n",
                                      0),
              0u)
        << facts.at("plain");
    EXPECT_NE(facts.at("plain").find("Please answer by Friday, 18 December 2026."), std::string::npos);
    EXPECT_EQ(facts.at("html").rfind("<html><head></head><body>\r\nThis is a reminder: the proof below is still "
                                     "waiting for your answer.<br><br>\r\nAn online rendering",
                                     0),
              0u)
        << facts.at("html");
    EXPECT_NE(facts.at("html").find("Please answer by Friday, 18 December 2026.<br><br>"), std::string::npos);
    EXPECT_EQ(facts.at("tree"), "multipart/alternative text/plain multipart/related text/html image/png");

    EXPECT_EQ(FetchOn({2026, 12, 16, 9}), std::vector<std::string>{"Fetching the answers complete."});
    EXPECT_EQ(Mailed().size(), 2u) << "a second fetch sends no second reminder";

    SetDue("2026-12-20");
    EXPECT_EQ(FetchOn({2026, 12, 16, 9}), std::vector<std::string>{"Fetching the answers complete."});
    EXPECT_EQ(FetchOn({2026, 12, 17, 9}), (std::vector<std::string>{"Fetching the answers complete.", AnnSent, BareSent,
                                                                    "Sending reminders complete."}));
    EXPECT_EQ(Mailed().size(), 4u);
}

// Nothing goes for a job that does not wait for its customer, outside the
// days, with reminders off, or after a fetch that failed.
TEST_F(Reminders, NoneGoesUnlessAPageWaitsOnADayOfTheReminder)
{
    const auto answer = [](int page, const char* decision) {
        TProofAnswer proofAnswer;
        proofAnswer.Job = JobID;
        proofAnswer.Page = page;
        proofAnswer.Decision = decision;
        proofAnswer.Name = "Zoe Lang";
        proofAnswer.Time = "2026-12-15T08:0" + std::to_string(page) + ":00Z";
        proofAnswer.Source = "web";
        return proofAnswer;
    };
    struct TCase {
        const char* Name;
        std::function<void()> Prepare;
        TLocalTime Day;
        std::size_t Mails;
    };
    const TCase cases[] = {
        {"one page approved, one waiting",
         [&] { AddProofAnswers(Catalogue, 7, {answer(1, "approve")}); },
         {2026, 12, 16, 9},
         2},
        {"every page approved",
         [&] {
             AddProofAnswers(Catalogue, 7, {answer(1, "approve"), answer(2, "approve")});
         },
         {2026, 12, 16, 9},
         0},
        {"changes requested", [&] { AddProofAnswers(Catalogue, 7, {answer(2, "changes")}); }, {2026, 12, 16, 9}, 0},
        {"on the due date", [] {}, {2026, 12, 18, 9}, 2},
        {"the day after the due date", [] {}, {2026, 12, 19, 9}, 0},
        {"reminders off",
         [&] { Settings.Update([](TSettingsRecord& s) { s.ReminderDays = 0; }); },
         {2026, 12, 16, 9},
         0},
        {"the fetch failed", [] { FetchFails = true; }, {2026, 12, 16, 9}, 0},
        {"no due date", [&] { SetDue("-"); }, {2026, 12, 16, 9}, 0},
        {"not notified",
         [&] { Run("update PostQueueList set PostQueueListTasks = \"Master, Preview, Web, Transfer\""); },
         {2026, 12, 16, 9},
         0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Run("delete from AnswerList");
        Run("delete from ReminderList");
        Run("update PostQueueList set PostQueueListTasks = \"Master, Preview, Web, Transfer, Notify\"");
        std::filesystem::remove_all(Temporary.Path() / "mail");
        std::filesystem::create_directories(Temporary.Path() / "mail");
        FetchFails = false;
        Settings.Update([](TSettingsRecord& s) { s.ReminderDays = 3; });
        SetDue("2026-12-18");
        c.Prepare();
        Runner.ReloadPostQueueList();
        FetchOn(c.Day);
        EXPECT_EQ(Mailed().size(), c.Mails);
    }
}

// A reminder the server refused is logged, fails the task as a fetch's
// failure does, and is tried again at the next fetch; the one that went
// is not sent again.
TEST_F(Reminders, ARefusedReminderIsToldAndTriedAgainAtTheNextFetch)
{
    MailServer.reset();
    MailServer = StartSMTPServer(Temporary, {"--refuse-rcpt-to", "bare@example.com=550 5.1.1 No such mailbox"});
    Settings.Update([&](TSettingsRecord& s) { s.SMTPPort = std::to_string(MailServer->Port()); });
    TFailureRecorder failures;
    Runner.Observer = &failures;
    const auto lines = FetchOn({2026, 12, 16, 9});
    Runner.Observer = nullptr;
    const std::string refused = "Job 7: the reminder to bare@example.com was not sent: the mail server refused the "
                                "recipient: 550 5.1.1 No such mailbox";
    EXPECT_EQ(lines, (std::vector<std::string>{"Fetching the answers complete.", AnnSent, refused,
                                               "Sending reminders failed: " + refused}));
    EXPECT_EQ(failures.Failures, std::vector<std::string>{"7 Sending reminders: " + refused});
    EXPECT_EQ(RecipientsToRemind(Catalogue, 7, *ParseCalendarDate("2026-12-18")), std::vector<std::int32_t>{9});

    MailServer.reset();
    MailServer = StartSMTPServer(Temporary);
    Settings.Update([&](TSettingsRecord& s) { s.SMTPPort = std::to_string(MailServer->Port()); });
    EXPECT_EQ(FetchOn({2026, 12, 16, 10}),
              (std::vector<std::string>{"Fetching the answers complete.", BareSent, "Sending reminders complete."}));
}

}  // namespace
}  // namespace tavrin::testing
