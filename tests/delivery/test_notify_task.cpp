#include "base/catalogue/DueDates.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/ProofAnswers.h"
#include "base/catalogue/Reminders.h"
#include "base/catalogue/RoundChanges.h"
#include "engines/delivery/ConnectionTest.h"
#include "engines/delivery/SMTPClient.h"
#include "tasks/delivery/NotifyThread.h"
#include "tests/delivery/DeliveryFixture.h"
#include "tests/delivery/MailFixture.h"
#include "tests/delivery/TestCertificate.h"
#include "tests/support/TaskContexts.h"

#include <functional>
#include <iostream>

namespace tavrin::testing {
namespace {

// "<local@domain>" with a local part of at least one character and none of "<>@ ".
bool IsMessageIDIn(const std::string& id, const std::string& domain)
{
    const std::string tail = "@" + domain + ">";
    if (id.size() < tail.size() + 2 || id.front() != '<' || !id.ends_with(tail))
        return false;
    const std::string local = id.substr(1, id.size() - 1 - tail.size());
    return local.find_first_of("<>@ ") == std::string::npos;
}

constexpr const char* JobID = "20240314092653120";
const std::string Link = std::string("http://proofs.example.com/tavrin/") + JobID + "/";

using TLines = std::vector<std::pair<std::string, int>>;

// The parts of the message that stay the same whatever the settings: the
// structure (the plain text beside the HTML, which holds the overview it
// shows), the texts and the inline overview, for a job of the given
// HTML-encoded name.
std::string ExpectedParts(const std::string& encodedName)
{
    return "multipart/alternative\n"
           "  text/plain quoted-printable inline\n"
           "    \"An online rendering of this print job has been generated.\\r\\nPlease visit " +
           Link +
           " to review this job\"\n"
           "  multipart/related\n"
           "    text/html quoted-printable inline\n"
           "      \"<html><head></head><body>\\r\\n"
           "An online rendering of this print job has been generated.<br><br>\\r\\n"
           "Please visit <a href=\\\"" +
           Link + "\\\">" + Link +
           "</a> to review this job<br><br>\\r\\n"
           "<img src=\\\"CID:overview-0001.png\\\"><br>\\r\\n"
           "<i>&nbsp;Page 1 of " +
           encodedName +
           "</i>\\r\\n"
           "</body></html>\"\n"
           "    image/png base64 inline filename=overview-0001.png id=<overview-0001.png>\n";
}

class NotifyTask : public DeliveryFixture {
protected:
    void SetUp() override
    {
        DeliveryFixture::SetUp();
        SetJobName("A&B");
        Run("insert into AddressList (AddressListID, AddressListName, AddressListEmail) values "
            "(3, \"Ann Archer\", \"ann@example.com\"), (7, \"Nobody\", \"\"), (9, \"\", \"bare@example.com\")");
        Run("insert into QueueList (QueueListJobReference, QueueListTasks, QueueListStatus, QueueListRecipients) "
            "values (7, \"Master, Preview, Web, Transfer, Notify\", \"new\", \"3,7\")");
        Overview = "\x89PNG\r\n\x1a\n" + NoiseBytes(5000, 12) + "\r\n.\r\n";
        WriteBytes(OverviewPath(), Overview);
        Settings.Update([](TSettingsRecord& settings) {
            settings.SMTPHost = "127.0.0.1";
            settings.AuthenticationRequired = true;
            settings.SMTPUsername = "mailer";
            settings.SMTPPassword = "secret";
            settings.FromEmail = "proofs@example.com";
            settings.FromEmailName = "Proof Desk";
            settings.ReplyEmail = "service@example.com";
            settings.ReplyEmailName = "Customer Service";
            settings.CC = "archive@example.com";
            settings.CCName = "Archive";
            settings.WebRoot = "http://proofs.example.com/";
        });
    }

    void TearDown() override
    {
        Settings.Assign(TSettingsRecord());
        DeliveryFixture::TearDown();
    }

    void SetJobName(const std::string& name)
    {
        Run("delete from JobList where JobListReference = 7");
        Run("insert into JobList (JobListReference, JobListUniqueID, JobListName, JobListPageCount) values (7, " +
            QuoteText(JobID) + ", " + QuoteText(name) + ", 1)");
    }

    void SetRecipients(const std::string& recipients)
    {
        Run("update QueueList set QueueListRecipients = " + QuoteText(recipients) + " where QueueListJobReference = 7");
    }

    // Starts the SMTP server with the options of smtp_server.py and points the settings at it.
    void StartMailServer(const std::vector<std::string>& options = {})
    {
        MailServer.reset();
        ClearCommands();
        MailServer = StartSMTPServer(Temporary, options);
        const std::string port = std::to_string(MailServer->Port());
        Settings.Update([&](TSettingsRecord& settings) { settings.SMTPPort = port; });
    }

    TPostedMessages RunNotify() { return RunTask(new TNotifyThread(Messages, TaskContext(7))); }

    // The SMTP reply time-out as a settings file of these lines gives it.
    void UseReplyTimeoutFromFile(const std::string& lines)
    {
        Folder.Write("tavrin.ini", "[Main]\n" + lines);
        TSettingsRecord loaded;
        LoadSettings(loaded);
        Settings.Update([&](TSettingsRecord& settings) { settings.SMTPReplyTimeout = loaded.SMTPReplyTimeout; });
    }

    std::string OverviewPath() const { return OutputFolder() + JobID + "/overview-0001.png"; }

    // The commands the server received, the local host name shown as "host".
    std::vector<std::string> Conversation() const
    {
        std::vector<std::string> lines = Commands();
        for (std::string& line : lines)
            if (line == "EHLO " + LocalHostName() || line == "HELO " + LocalHostName())
                line = line.substr(0, 5) + "host";
        return lines;
    }

    std::string Overview;
    std::unique_ptr<TServerProcess> MailServer;
};

TEST_F(NotifyTask, SendsTheMessageToTheRecipientsWithAnAddress)
{
    StartMailServer();
    const TPostedMessages posted = RunNotify();

    EXPECT_EQ(posted.TaskLog, (TLines{{"Sending email to Ann Archer <ann@example.com>", 0},
                                      {"Done sending email to Ann Archer <ann@example.com>", 0}}));
    EXPECT_TRUE(posted.Log.empty()) << posted.Log.front().first;
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_EQ(posted.Completions[0].Number, WM_NOTIFY_DONE);
    EXPECT_EQ(posted.Completions[0].JobReference, 7u);
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    EXPECT_EQ(Conversation(), (std::vector<std::string>{"EHLO host", "RSET", "AUTH LOGIN", "(LOGIN mailer accepted)",
                                                        "MAIL FROM:<proofs@example.com>", "RCPT TO:<ann@example.com>",
                                                        "RCPT TO:<archive@example.com>", "DATA", "QUIT"}));

    const auto received = ReceivedMessages(Temporary);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(MailSummary(received[0]), "From: Proof Desk <proofs@example.com>\n"
                                        "Reply-To: Customer Service <service@example.com>\n"
                                        "To: Ann Archer <ann@example.com>\n"
                                        "Cc: Archive <archive@example.com>\n"
                                        "Subject: Remote Proofing information for A&B\n"
                                        "Header block: ASCII\n" +
                                            ExpectedParts("A&amp;B"));
    EXPECT_EQ(FileBytes(received[0].string() + ".part1"), Overview);
}

// Job 7 as round 2 of job 5, whose customer approved page 1: the mail
// says what changed and what stays approved, from the compare stored with
// the proof; without that compare, only which round it is.
TEST_F(NotifyTask, ALaterRoundsMailSaysWhatChangedSinceTheEarlierRound)
{
    Run("insert into JobList (JobListReference, JobListUniqueID, JobListName, JobListPageCount) values (5, "
        "\"20240301080000000\", \"A&B\", 3)");
    Run("update JobList set JobListPageCount = 3, JobListRound = 2, JobListRoundOf = 5, JobListRoundOfUniqueID = "
        "\"20240301080000000\" where JobListReference = 7");
    TProofAnswer approval;
    approval.Job = "20240301080000000";
    approval.Page = 1;
    approval.Decision = "approve";
    approval.Name = "Zoe Lang";
    approval.Time = "2024-03-02T09:00:00Z";
    approval.Source = "web";
    AddProofAnswers(Catalogue, 5, {approval});
    std::vector<TPageComparison> pages(3);
    for (int page = 1; page <= 3; ++page) {
        pages[page - 1].Page = page;
        pages[page - 1].State = page == 1 ? TPageComparison::TState::Same : TPageComparison::TState::Changed;
    }
    SaveRoundChanges(Catalogue, 7, 5, pages);
    Settings.Update([](TSettingsRecord& settings) { settings.CC = ""; });

    // The message as a first proof's, but for the subject's end and the line after each text.
    const auto expected = [](const std::string& line) {
        std::string parts = ExpectedParts("A&amp;B");
        const std::string plainEnd = " to review this job\"\n";
        parts.insert(parts.find(plainEnd) + plainEnd.size() - 2, "\\r\\n" + line);
        const std::string htmlLink = " to review this job<br><br>\\r\\n";
        parts.insert(parts.find(htmlLink) + htmlLink.size(), line + "<br><br>\\r\\n");
        return "From: Proof Desk <proofs@example.com>\n"
               "Reply-To: Customer Service <service@example.com>\n"
               "To: Ann Archer <ann@example.com>\n"
               "Subject: Remote Proofing information for A&B (round 2)\n"
               "Header block: ASCII\n" +
               parts;
    };
    struct TCase {
        const char* Name;
        std::function<void()> Prepare;
        const char* Line;
    };
    const TCase cases[] = {
        {"compare stored", [] {},
         "Round 2: pages 2 and 3 changed since round 1; page 1 is unchanged and stays approved."},
        // A compare with the job it was linked to before is no compare with this round's.
        {"compare with another job", [&] { SaveRoundChanges(Catalogue, 7, 6, pages); }, "Round 2 of this job."},
        {"no compare", [&] { RemoveRoundChanges(Catalogue, 7); }, "Round 2 of this job."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(Temporary.Path() / "mail");
        StartMailServer();
        c.Prepare();
        const TPostedMessages posted = RunNotify();
        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
        const auto received = ReceivedMessages(Temporary);
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(MailSummary(received[0]), expected(c.Line));
    }
}

// The mail as a mail program reads it: a Message-ID of its own in the
// sender's domain and a Date; the plain text beside the HTML, which holds
// the picture it names; the shop's lines and the due date in both parts.
TEST_F(NotifyTask, TheMailCarriesItsIdentityTheShopsLinesAndTheDueDateAsMailProgramsExpect)
{
    ASSERT_TRUE(SaveDueDate(Catalogue, 7, ParseCalendarDate("2026-12-18")));
    Settings.Update([](TSettingsRecord& settings) {
        settings.NotifyIntroduction = "Dear Ann,\nyour proof from <b>Smith & Co</b>:\n";
        settings.NotifySignature = "Regards\r\n<b>&</b> the Proof Desk";
    });
    StartMailServer();
    for (int mail = 0; mail < 2; ++mail) {
        const TPostedMessages posted = RunNotify();
        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    }
    const auto received = ReceivedMessages(Temporary);
    ASSERT_EQ(received.size(), 2u);
    const auto first = MailFacts(received[0]);
    const auto second = MailFacts(received[1]);
    for (const auto& facts : {first, second}) {
        EXPECT_TRUE(IsMessageIDIn(facts.at("message-id"), "example.com")) << facts.at("message-id");
        EXPECT_EQ(facts.at("date"), "yes");
        EXPECT_EQ(facts.at("tree"), "multipart/alternative text/plain multipart/related text/html image/png");
        EXPECT_EQ(facts.at("html-cid"), facts.at("image-id"));
        EXPECT_EQ(facts.at("related-type"), "text/html");
        EXPECT_EQ(facts.at("image-id"), "overview-0001.png");
    }
    EXPECT_NE(first.at("message-id"), second.at("message-id"));

    EXPECT_EQ(first.at("plain"), "Dear Ann,\r\nyour proof from <b>Smith & Co</b>:\r\n\r\n"
                                 "An online rendering of this print job has been generated.\r\n"
                                 "Please visit " +
                                     Link +
                                     " to review this job\r\n"
                                     "Please answer by Friday, 18 December 2026.\r\n\r\n"
                                     "Regards\r\n<b>&</b> the Proof Desk");
    EXPECT_EQ(first.at("html"), "<html><head></head><body>\r\n"
                                "Dear Ann,<br>your proof from &lt;b&gt;Smith &amp; Co&lt;/b&gt;:<br><br>\r\n"
                                "An online rendering of this print job has been generated.<br><br>\r\n"
                                "Please visit <a href=\"" +
                                    Link + "\">" + Link +
                                    "</a> to review this job<br><br>\r\n"
                                    "Please answer by Friday, 18 December 2026.<br><br>\r\n"
                                    "<img src=\"CID:overview-0001.png\"><br>\r\n"
                                    "<i>&nbsp;Page 1 of A&amp;B</i>\r\n"
                                    "<br><br>Regards<br>&lt;b&gt;&amp;&lt;/b&gt; the Proof Desk\r\n"
                                    "</body></html>");
}

TEST_F(NotifyTask, ConversationFollowsTheSettingsAndTheServer)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> ServerOptions;
        bool Authentication;
        std::vector<std::string> Expected;
    };
    const TCase cases[] = {
        {"LOGIN not offered: PLAIN",
         {"--no-login"},
         true,
         {"EHLO host", "RSET", "AUTH PLAIN AG1haWxlcgBzZWNyZXQ=", "(PLAIN mailer accepted)",
          "MAIL FROM:<proofs@example.com>", "RCPT TO:<ann@example.com>", "RCPT TO:<bare@example.com>", "DATA", "QUIT"}},
        {"no authentication asked for",
         {},
         false,
         {"EHLO host", "RSET", "MAIL FROM:<proofs@example.com>", "RCPT TO:<ann@example.com>",
          "RCPT TO:<bare@example.com>", "DATA", "QUIT"}},
        {"EHLO refused",
         {"--refuse-ehlo"},
         true,
         {"EHLO host", "HELO host", "RSET", "MAIL FROM:<proofs@example.com>", "RCPT TO:<ann@example.com>",
          "RCPT TO:<bare@example.com>", "DATA", "QUIT"}},
    };
    // Neither Reply-To nor Cc: no such header and no RCPT for them.
    Settings.Update([](TSettingsRecord& settings) {
        settings.ReplyEmail = "";
        settings.CC = "";
    });
    SetRecipients("3,7,9");
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(Temporary.Path() / "mail");
        StartMailServer(c.ServerOptions);
        Settings.Update([&](TSettingsRecord& settings) { settings.AuthenticationRequired = c.Authentication; });
        const TPostedMessages posted = RunNotify();

        EXPECT_EQ(posted.TaskLog.front().first, "Sending email to Ann Archer <ann@example.com>, bare@example.com");
        EXPECT_TRUE(posted.Log.empty()) << posted.Log.front().first;
        EXPECT_EQ(Conversation(), c.Expected);
        const auto received = ReceivedMessages(Temporary);
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(MailSummary(received[0]), "From: Proof Desk <proofs@example.com>\n"
                                            "To: Ann Archer <ann@example.com>, bare@example.com\n"
                                            "Subject: Remote Proofing information for A&B\n"
                                            "Header block: ASCII\n" +
                                                ExpectedParts("A&amp;B"));
    }
}

TEST_F(NotifyTask, AMessageTheServerDidNotAcceptIsLoggedAndFailsTheTask)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> ServerOptions;
        const char* Recipients;
        bool RemoveOverview;
        bool StopServer;
        std::vector<std::string> ExpectedLog;  // a line ending in "*" stands for any line beginning so
        const char* LastCommands;              // the end of the conversation
    };
    const TCase cases[] = {
        {"MAIL FROM refused",
         {"--refuse-mail"},
         "3",
         false,
         false,
         {"550 5.7.1 Sender refused"},
         "MAIL FROM:<proofs@example.com>|QUIT"},
        {"RCPT refused",
         {"--refuse-rcpt"},
         "3",
         false,
         false,
         {"Recipient ann@example.com refused: 550 5.1.1 No such mailbox here",
          "The mail server refused every recipient"},
         "RCPT TO:<ann@example.com>|QUIT"},
        {"DATA refused",
         {"--refuse-data"},
         "3",
         false,
         false,
         {"554 5.3.0 Transactions are refused here"},
         "DATA|QUIT"},
        {"missing overview",
         {},
         "3",
         true,
         false,
         {"File not found: " + OutputFolder() + JobID + "/overview-0001.png"},
         "RCPT TO:<ann@example.com>|QUIT"},
        {"closed port", {}, "3", false, true, {"Connection refused*"}, ""},
    };
    Settings.Update([](TSettingsRecord& settings) { settings.CC = ""; });
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(Temporary.Path() / "mail");
        SetRecipients(c.Recipients);
        WriteBytes(OverviewPath(), Overview);
        if (c.RemoveOverview)
            std::filesystem::remove(OverviewPath());
        StartMailServer(c.ServerOptions);
        if (c.StopServer)
            MailServer->Stop();
        const TPostedMessages posted = RunNotify();

        const std::string to = "Ann Archer <ann@example.com>";
        EXPECT_EQ(posted.TaskLog, (TLines{{"Sending email to " + to, 0}}));
        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_TRUE(posted.Completions[0].Failed);
        ASSERT_EQ(posted.Log.size(), c.ExpectedLog.size());
        EXPECT_EQ(posted.Completions[0].FailureReason,
                  "The e-mail to " + to + " was not sent: " + posted.Log.back().first);
        for (std::size_t i = 0; i < c.ExpectedLog.size(); ++i) {
            const std::string& expected = c.ExpectedLog[i];
            if (expected.back() == '*')
                EXPECT_EQ(posted.Log[i].first.rfind(expected.substr(0, expected.size() - 1), 0), 0u)
                    << posted.Log[i].first;
            else
                EXPECT_EQ(posted.Log[i].first, expected);
            EXPECT_EQ(posted.Log[i].second, -1);
        }
        EXPECT_TRUE(ReceivedMessages(Temporary).empty());
        std::string last;
        const auto commands = Commands();
        for (std::size_t i = commands.size() >= 2 ? commands.size() - 2 : 0; i < commands.size(); ++i)
            last += (last.empty() ? "" : "|") + commands[i];
        EXPECT_EQ(last, c.LastCommands);
    }
}

TEST_F(NotifyTask, WithoutRecipientsOrJobNothingIsSentAndTheTaskFails)
{
    StartMailServer();
    const std::string noRecipients = "There were no recipients to send the message to";
    for (const char* recipients : {"", "no queue row"}) {
        SCOPED_TRACE(recipients);
        if (std::string(recipients) == "no queue row")
            Run("delete from QueueList");
        else
            SetRecipients(recipients);
        const TPostedMessages posted = RunNotify();
        EXPECT_EQ(posted.Log, (TLines{{noRecipients, 100}}));
        EXPECT_TRUE(posted.TaskLog.empty());
        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_TRUE(posted.Completions[0].Failed);
        EXPECT_EQ(posted.Completions[0].FailureReason, noRecipients);
        EXPECT_TRUE(Commands().empty());
    }

    // A job that is not catalogued has no link to send.
    Run("insert into QueueList (QueueListJobReference, QueueListTasks, QueueListStatus, QueueListRecipients) "
        "values (8, \"Notify\", \"new\", \"3\")");
    const TPostedMessages posted = RunTask(new TNotifyThread(Messages, TaskContext(8)));
    EXPECT_TRUE(posted.Log.empty());
    EXPECT_TRUE(posted.TaskLog.empty());
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_EQ(posted.Completions[0].FailureReason, "Job 8 is not in the catalogue.");
    EXPECT_TRUE(Commands().empty());
}

TEST_F(NotifyTask, ARefusedRecipientCostsTheOthersNothingButTheCustomerMustBeAmongThem)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> Refusals;  // ADDRESS=REPLY
        const char* CC;
        std::vector<std::string> Delivered;  // the envelope of the one message; empty: nothing was sent
        const char* Failure;                 // after "was not sent: "; empty: the task succeeds
        const char* Done;                    // after "Done sending email to "
    };
    const std::string annRefused = "ann@example.com=550 5.1.1 No such user here";
    const std::string bareRefused = "bare@example.com=501 5.1.3 Bad recipient address syntax";
    const TCase cases[] = {
        {"two of three refused", {annRefused, bareRefused}, "", {"carl@example.com"}, "", "Carl <carl@example.com>"},
        {"the Cc refused",
         {"archive@example.com=550 5.7.1 Relaying denied"},
         "archive@example.com",
         {"ann@example.com", "bare@example.com", "carl@example.com"},
         "",
         "Ann Archer <ann@example.com>, bare@example.com, Carl <carl@example.com>"},
        {"every one refused",
         {annRefused, bareRefused, "carl@example.com=550 5.1.1 Gone"},
         "",
         {},
         "The mail server refused every recipient",
         ""},
        {"only the Cc accepted",
         {annRefused, bareRefused, "carl@example.com=550 5.1.1 Gone"},
         "archive@example.com",
         {},
         "The mail server refused every To recipient; the Cc alone would not tell the customer",
         ""},
    };
    Run("insert into AddressList (AddressListID, AddressListName, AddressListEmail) values "
        "(11, \"Carl\", \"carl@example.com\")");
    SetRecipients("3,9,11");
    const std::string to = "Ann Archer <ann@example.com>, bare@example.com, Carl <carl@example.com>";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(Temporary.Path() / "mail");
        SaveNotifiedRecipients(Catalogue, 7, {});
        std::vector<std::string> options;
        for (const std::string& refusal : c.Refusals)
            options.insert(options.end(), {"--refuse-rcpt-to", refusal});
        StartMailServer(options);
        Settings.Update([&](TSettingsRecord& settings) { settings.CC = c.CC; });
        const TPostedMessages posted = RunNotify();

        // Each refusal is a line with the address and the server's reply.
        std::vector<std::string> expectedLog;
        for (const std::string& refusal : c.Refusals)
            expectedLog.push_back("Recipient " + refusal.substr(0, refusal.find('=')) +
                                  " refused: " + refusal.substr(refusal.find('=') + 1));
        const bool fails = *c.Failure != '\0';
        if (fails)
            expectedLog.push_back(c.Failure);
        EXPECT_EQ(posted.LogTexts(), expectedLog);
        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_EQ(posted.Completions[0].Failed, fails);
        // The reminders go to those the mail reached, and to nobody when it went nowhere.
        std::vector<std::int32_t> reached;
        for (const auto& [id, address] :
             {std::pair{3, "ann@example.com"}, {9, "bare@example.com"}, {11, "carl@example.com"}})
            if (std::count(c.Delivered.begin(), c.Delivered.end(), address))
                reached.push_back(id);
        EXPECT_EQ(LoadNotifiedRecipients(Catalogue, 7), reached);
        const auto received = ReceivedMessages(Temporary);
        const auto commands = Commands();
        if (fails) {
            EXPECT_EQ(posted.Completions[0].FailureReason, "The e-mail to " + to + " was not sent: " + c.Failure);
            EXPECT_TRUE(received.empty());
            EXPECT_EQ(std::count(commands.begin(), commands.end(), "DATA"), 0);
            EXPECT_EQ(commands.back(), "QUIT");
            continue;
        }
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(EnvelopeRecipients(received[0]), c.Delivered);
        EXPECT_EQ(posted.TaskLog.back().first, std::string("Done sending email to ") + c.Done);
    }
}

TEST_F(NotifyTask, AStoredAddressThatIsNoMailAddressIsSkippedWithALogLine)
{
    Run("insert into AddressList (AddressListID, AddressListName, AddressListEmail) values "
        "(12, \"Old Row\", \"bob at example.com\"), (13, \"\", \"<x>@example.com\")");
    Settings.Update([](TSettingsRecord& settings) { settings.CC = "archive at example.com"; });
    SetRecipients("3,12,13");
    StartMailServer();
    TPostedMessages posted = RunNotify();

    EXPECT_EQ(
        posted.LogTexts(),
        (std::vector<std::string>{"Contact 12 (Old Row <bob at example.com>) skipped: not a mail address",
                                  "Contact 13 (<x>@example.com) skipped: not a mail address",
                                  "The Cc Archive <archive at example.com> is not a mail address; no copy is sent"}));
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    const auto commands = Commands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const std::string& line) { return line.rfind("RCPT", 0) == 0; }),
              1);
    const auto received = ReceivedMessages(Temporary);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(EnvelopeRecipients(received[0]), std::vector<std::string>{"ann@example.com"});
    const std::string summary = MailSummary(received[0]);
    EXPECT_NE(summary.find("\nTo: Ann Archer <ann@example.com>\n"), std::string::npos) << summary;
    EXPECT_EQ(summary.find("Cc:"), std::string::npos) << summary;

    // With none left, nothing is sent: no connection at all.
    SetRecipients("7,12");
    ClearCommands();
    posted = RunNotify();
    const std::string none = "The e-mail was not sent: none of the recipients has a mail address";
    EXPECT_EQ(posted.LogTexts().back(), none);
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_EQ(posted.Completions[0].FailureReason, none);
    EXPECT_TRUE(posted.TaskLog.empty());
    EXPECT_TRUE(Commands().empty());
}

// Every reply is awaited only as long as the settings allow, and the task
// says which one did not come.
TEST_F(NotifyTask, AServerThatStopsAnsweringFailsTheTaskWithTheStepThatTimedOut)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> ServerOptions;
        const char* Reason;
    };
    const TCase cases[] = {
        {"no greeting", {"--silent-at", "greeting"}, "The mail server sent no greeting within 1 s: timed out"},
        {"silent at MAIL", {"--silent-at", "MAIL"}, "The mail server did not answer MAIL FROM within 1 s: timed out"},
        {"silent at RCPT", {"--silent-at", "RCPT"}, "The mail server did not answer RCPT TO within 1 s: timed out"},
    };
    UseReplyTimeoutFromFile("SMTPReplyTimeout=1\n");
    SetRecipients("3");
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        StartMailServer(c.ServerOptions);
        const TPostedMessages posted = RunNotify();

        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_TRUE(posted.Completions[0].Failed);
        EXPECT_EQ(posted.Completions[0].FailureReason,
                  "The e-mail to Ann Archer <ann@example.com> was not sent: " + std::string(c.Reason));
        EXPECT_EQ(posted.LogTexts(), std::vector<std::string>{c.Reason});
        EXPECT_TRUE(ReceivedMessages(Temporary).empty());
        // The connection was dropped, not closed with a QUIT the server would never answer.
        const auto commands = Commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "QUIT"), 0);
    }
}

// A reply that never ends, fast or slow, costs the task no more than its
// bounds: the step is named and the connection dropped.
TEST_F(NotifyTask, AReplyThatNeverEndsFailsTheTaskWithItsStep)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> ServerOptions;
        std::string Reason;
        std::vector<std::string> Conversation;
    };
    const std::string lines = std::to_string(TSMTPClient::MaxReplyLines);
    const std::string bytes = std::to_string(TSMTPClient::MaxReplyBytes);
    const TCase cases[] = {
        {"greeting lines for ever",
         {"--endless-at", "greeting"},
         "The mail server's greeting went on for more than " + lines + " lines; the connection is closed",
         {}},
        {"greeting a line a moment",
         {"--endless-at", "greeting", "--endless-kind", "drip"},
         "The mail server's greeting did not end within 1 s: timed out",
         {}},
        {"EHLO lines for ever",
         {"--endless-at", "EHLO"},
         "The mail server's reply to EHLO went on for more than " + lines + " lines; the connection is closed",
         {"EHLO host"}},
        {"EHLO one line for ever",
         {"--endless-at", "EHLO", "--endless-kind", "line"},
         "The mail server's reply to EHLO went on for more than " + bytes + " bytes; the connection is closed",
         {"EHLO host"}},
    };
    UseReplyTimeoutFromFile("SMTPReplyTimeout=1\n");
    SetRecipients("3");
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        StartMailServer(c.ServerOptions);
        const TPostedMessages posted = RunNotify();

        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_TRUE(posted.Completions[0].Failed);
        EXPECT_EQ(posted.Completions[0].FailureReason,
                  "The e-mail to Ann Archer <ann@example.com> was not sent: " + c.Reason);
        EXPECT_EQ(posted.LogTexts(), std::vector<std::string>{c.Reason});
        // Dropped: no QUIT waits behind the reply that never ends.
        EXPECT_EQ(Conversation(), c.Conversation);
        EXPECT_TRUE(ReceivedMessages(Temporary).empty());
    }
}

TEST_F(NotifyTask, TheEndOfTheMessageMayTakeLongerThanOtherReplies)
{
    UseReplyTimeoutFromFile("SMTPReplyTimeout=1\n");
    StartMailServer({"--slow-end", "2.5"});
    const TPostedMessages posted = RunNotify();

    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    EXPECT_EQ(ReceivedMessages(Temporary).size(), 1u);
}

TEST_F(NotifyTask, OnlyTheNumbersOfTheRecipientsTextReachTheStatement)
{
    // Pasted as it stands, the text would select every contact with an address.
    SetRecipients("3,7) or (1=1");
    Settings.Update([](TSettingsRecord& settings) { settings.CC = ""; });
    StartMailServer();
    const TPostedMessages posted = RunNotify();

    EXPECT_EQ(posted.TaskLog.front().first, "Sending email to Ann Archer <ann@example.com>");
    EXPECT_TRUE(posted.Log.empty()) << posted.Log.front().first;
    EXPECT_EQ(ReceivedMessages(Temporary).size(), 1u);
}

TEST_F(NotifyTask, TextFromOutsideNeverBreaksAHeaderOrACommandLine)
{
    SetJobName("Zoë's Brochure für Müller & Söhne\r\nBcc: evil@example.com");
    Run("update AddressList set AddressListName = \"Ann\r\nX-Injected: yes\", AddressListEmail = "
        "\"ann@example.com\r\n\" where AddressListID = 3");
    Settings.Update([](TSettingsRecord& settings) {
        settings.FromEmailName = "Café Proofs";
        settings.ReplyEmail = "";
        settings.CC = "";
    });
    StartMailServer();
    const TPostedMessages posted = RunNotify();

    EXPECT_EQ(posted.TaskLog.front().first, "Sending email to Ann X-Injected: yes <ann@example.com>");
    EXPECT_TRUE(posted.Log.empty()) << posted.Log.front().first;
    const auto commands = Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "RCPT TO:<ann@example.com>"), 1);
    const auto received = ReceivedMessages(Temporary);
    ASSERT_EQ(received.size(), 1u);
    // Non-ASCII names travel as RFC 2047 words; the line breaks became blanks.
    EXPECT_EQ(MailSummary(received[0]),
              "From: Café Proofs <proofs@example.com>\n"
              "To: \"Ann X-Injected: yes\" <ann@example.com>\n"
              "Subject: Remote Proofing information for Zoë's Brochure für Müller & "
              "Söhne Bcc: evil@example.com\n"
              "Header block: ASCII\n" +
                  ExpectedParts("Zoë's Brochure für Müller &amp; Söhne\\r\\nBcc: evil@example.com"));
}

TEST_F(NotifyTask, LinesBeginningWithADotArriveWhole)
{
    // Quoted-printable lines of the HTML part begin with dots here, and one
    // line of the overview's bytes is a lone dot.
    const std::string name = "Leaflet" + std::string(300, '.');
    SetJobName(name);
    StartMailServer();
    RunNotify();

    const auto received = ReceivedMessages(Temporary);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_NE(FileBytes(received[0]).find("\r\n."), std::string::npos);
    EXPECT_NE(MailSummary(received[0]).find(ExpectedParts(name)), std::string::npos);
    EXPECT_EQ(FileBytes(received[0].string() + ".part1"), Overview);
}

// With STARTTLS or implicit TLS chosen, the log-on and the message travel
// only inside TLS, to a server whose certificate the settings trust.
TEST_F(NotifyTask, MailOverSTARTTLSAndImplicitTLSArrivesWithThePinnedCertificate)
{
    const TTestCertificate certificate = MakeTestCertificate(Temporary.Path());
    const std::vector<std::string> tls = {"--tls-certificate", certificate.Certificate.string(), "--tls-key",
                                          certificate.Key.string()};
    struct TCase {
        const char* Security;
        const char* ServerOption;
        std::vector<std::string> Expected;
    };
    const TCase cases[] = {
        {"STARTTLS",
         "--starttls",
         {"EHLO host", "STARTTLS", "EHLO host", "RSET", "AUTH LOGIN", "(LOGIN mailer accepted)",
          "MAIL FROM:<proofs@example.com>", "RCPT TO:<ann@example.com>", "RCPT TO:<archive@example.com>", "DATA",
          "QUIT"}},
        {"TLS",
         "--implicit-tls",
         {"EHLO host", "RSET", "AUTH LOGIN", "(LOGIN mailer accepted)", "MAIL FROM:<proofs@example.com>",
          "RCPT TO:<ann@example.com>", "RCPT TO:<archive@example.com>", "DATA", "QUIT"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Security);
        std::vector<std::string> options = tls;
        options.push_back(c.ServerOption);
        StartMailServer(options);
        std::filesystem::remove_all(Temporary.Path() / "mail");
        std::filesystem::create_directories(Temporary.Path() / "mail");
        Settings.Update([&](TSettingsRecord& settings) {
            settings.SMTPSecurity = c.Security;
            settings.SMTPServerFingerprint = certificate.Fingerprint;
        });
        const TPostedMessages posted = RunNotify();
        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
        EXPECT_EQ(Conversation(), c.Expected);
        EXPECT_EQ(ReceivedMessages(Temporary).size(), 1u);
        std::cout << "SMTP conversation with " << c.Security << " (the server's command log):\n";
        for (const std::string& line : Conversation())
            std::cout << "  " << line << "\n";
    }
}

// The pin decides, not the dates: an expired certificate that is pinned is
// accepted with a log line that says so; without the pin it stays refused.
TEST_F(NotifyTask, AnExpiredCertificateIsAcceptedByItsPinWithALogLine)
{
    const TTestCertificate certificate = MakeTestCertificate(Temporary.Path(), true);
    const std::string notice = "The certificate of 127.0.0.1 expired on 2020-02-01 00:00:00 UTC; it is accepted "
                               "because its fingerprint is pinned";
    for (const auto& [security, option] : {std::pair<std::string, std::string>{"STARTTLS", "--starttls"},
                                           std::pair<std::string, std::string>{"TLS", "--implicit-tls"}}) {
        SCOPED_TRACE(security);
        StartMailServer(
            {"--tls-certificate", certificate.Certificate.string(), "--tls-key", certificate.Key.string(), option});
        std::filesystem::remove_all(Temporary.Path() / "mail");
        std::filesystem::create_directories(Temporary.Path() / "mail");
        Settings.Update([&](TSettingsRecord& settings) {
            settings.SMTPSecurity = security;
            settings.SMTPServerFingerprint = certificate.Fingerprint;
        });
        TPostedMessages posted = RunNotify();
        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
        EXPECT_EQ(posted.Log, (TLines{{notice, -1}}));
        EXPECT_EQ(ReceivedMessages(Temporary).size(), 1u);
        // The connection test's box says so too.
        const TConnectionTestReport report = TestSMTPConnection(Settings.Copy());
        EXPECT_TRUE(report.Succeeded) << report.Outcome;
        EXPECT_NE(ReportText(report).find("\nThis certificate has expired: it is accepted because its fingerprint is "
                                          "pinned."),
                  std::string::npos)
            << ReportText(report);

        Settings.Update([&](TSettingsRecord& settings) { settings.SMTPServerFingerprint.clear(); });
        posted = RunNotify();
        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_TRUE(posted.Completions[0].Failed);
        EXPECT_NE(posted.Completions[0].FailureReason.find("is not trusted ("), std::string::npos)
            << posted.Completions[0].FailureReason;
        EXPECT_TRUE(posted.LogStartingWith("The certificate of 127.0.0.1 expired").empty());
        EXPECT_EQ(ReceivedMessages(Temporary).size(), 1u);
    }
}

// A server that does not offer STARTTLS, or presents a certificate the
// settings do not trust, hears no AUTH and no message.
TEST_F(NotifyTask, WithoutSTARTTLSOrATrustedCertificateNoAuthIsEverSent)
{
    const TTestCertificate certificate = MakeTestCertificate(Temporary.Path());
    Settings.Update([&](TSettingsRecord& settings) { settings.SMTPSecurity = "STARTTLS"; });
    StartMailServer();
    TPostedMessages posted = RunNotify();
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_NE(posted.Completions[0].FailureReason.find("does not offer STARTTLS; nothing was sent"), std::string::npos)
        << posted.Completions[0].FailureReason;
    EXPECT_EQ(Conversation(), (std::vector<std::string>{"EHLO host", "QUIT"}));

    // Trusted by nobody: a self-signed certificate without a pin.
    StartMailServer(
        {"--tls-certificate", certificate.Certificate.string(), "--tls-key", certificate.Key.string(), "--starttls"});
    posted = RunNotify();
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_NE(posted.Completions[0].FailureReason.find("presented the SHA-256 fingerprint " + certificate.Fingerprint),
              std::string::npos)
        << posted.Completions[0].FailureReason;
    EXPECT_EQ(Conversation(), (std::vector<std::string>{"EHLO host", "STARTTLS"}));
    EXPECT_TRUE(ReceivedMessages(Temporary).empty());

    // A choice that is none of the three is refused before any connection.
    Settings.Update([&](TSettingsRecord& settings) { settings.SMTPSecurity = "SSL"; });
    ClearCommands();
    posted = RunNotify();
    EXPECT_NE(posted.Completions[0].FailureReason.find("SMTP Security \"SSL\" is not None, STARTTLS or TLS"),
              std::string::npos)
        << posted.Completions[0].FailureReason;
    EXPECT_TRUE(Conversation().empty());
}

}  // namespace
}  // namespace tavrin::testing
