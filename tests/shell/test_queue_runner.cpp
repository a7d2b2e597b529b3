#include "base/catalogue/OutputLayout.h"
#include "base/platform/MessageQueue.h"
#include "base/settings/ConnectionSecurity.h"
#include "base/settings/SharedSettings.h"
#include "base/tasking/StationLog.h"
#include "station/QueueRunner.h"
#include "station/StartupOperation.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TaskContexts.h"

#include <filesystem>
#include <fstream>
#include <map>

namespace tavrin::testing {
namespace {

// Which tasks fail, as (job reference, task index; -1 the deletion), and why.
std::map<std::pair<std::uint32_t, int>, std::string> FailingTasks;

// The web root of each chain task's context, in the order the tasks were made: "JOB TASK ROOT".
std::vector<std::string> ChainTaskRoots;

// A task that only says that it ran, and fails where the script says.
class TScriptedTask final : public TTaskThread {
public:
    TScriptedTask(TMessageTarget& target, std::uint32_t reference, int task)
        : TTaskThread(target, reference,
                      task < 0 ? WM_DELETE_DONE : static_cast<TMessageNumber>(WM_MASTER_DONE + task)),
          Task(task)
    {
    }

protected:
    void Run() override
    {
        PostLogText((Task < 0 ? std::string("Delete") : TaskWords[static_cast<std::size_t>(Task)]) + " ran for job " +
                    std::to_string(JobReference()));
        const auto failure = FailingTasks.find({JobReference(), Task});
        if (failure != FailingTasks.end())
            Fail(failure->second);
    }

private:
    int Task;
};

// The answers task: says which jobs it was given, and fails where the script
// says for job reference 0 and task -2.
class TScriptedAnswers final : public TTaskThread {
public:
    TScriptedAnswers(TMessageTarget& target, const std::vector<std::uint32_t>& jobs)
        : TTaskThread(target, jobs.size() == 1 ? jobs[0] : 0, WM_ANSWERS_DONE), Jobs(jobs)
    {
    }

protected:
    void Run() override
    {
        std::string text = "Answers ran for";
        for (const std::uint32_t job : Jobs)
            text += " " + std::to_string(job);
        PostLogText(text);
        const auto failure = FailingTasks.find({0, -2});
        if (failure != FailingTasks.end())
            Fail(failure->second);
    }

private:
    std::vector<std::uint32_t> Jobs;
};

TTaskKinds ScriptedKinds()
{
    TTaskKinds kinds;
    for (int task = 0; task < TaskCount; ++task)
        kinds.Chain[static_cast<std::size_t>(task)] = [task](TMessageTarget& target, const TTaskContext& context) {
            ChainTaskRoots.push_back(std::to_string(context.JobReference()) + " " +
                                     TaskWords[static_cast<std::size_t>(task)] + " " + context.Settings().WebRoot);
            return std::make_unique<TScriptedTask>(target, context.JobReference(), task);
        };
    kinds.Deletion = [](TMessageTarget& target, const TTaskContext& context) {
        return std::make_unique<TScriptedTask>(target, context.JobReference(), -1);
    };
    kinds.Answers = [](TMessageTarget& target, const TTaskContext&, const std::vector<std::uint32_t>& jobs) {
        return std::make_unique<TScriptedAnswers>(target, jobs);
    };
    return kinds;
}

// Records the failures the runner reports.
struct TFailureObserver final : TRunnerObserver {
    std::vector<std::string> Failures;
    void TaskFailed(std::uint32_t jobReference, const std::string& task, const std::string& reason) override
    {
        Failures.push_back(std::to_string(jobReference) + " " + task + ": " + reason);
    }
};

class QueueRunner : public CatalogueFixture {
protected:
    // The unique id of job n (0 to 9), 17 digits as the folder scan makes them.
    static std::string ID(int n) { return "2026121009000000" + std::to_string(n); }

    QueueRunner()
    {
        FailingTasks.clear();
        ChainTaskRoots.clear();
    }
    ~QueueRunner() override { FailingTasks.clear(); }

    void AddJob(int reference, const std::string& uniqueID, int pages)
    {
        Run("insert into JobList (JobListName, JobListReference, JobListUniqueID, JobListPageCount) values (\"Job " +
            std::to_string(reference) + "\", " + std::to_string(reference) + ", \"" + uniqueID + "\", " +
            std::to_string(pages) + ")");
    }

    void Touch(const std::string& path)
    {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << "x";
    }

    // Every file a finished job of two pages has.
    void MakeAllFiles(const std::string& uniqueID)
    {
        Touch(OutputFolder() + uniqueID + "/index.html");
        for (int page : {1, 2}) {
            Touch(OutputFolder() + uniqueID + "/overview" + PageNumberText(page) + ".png");
            Touch(OutputFolder() + uniqueID + PageNumberText(page) + ".tif");
        }
    }

    void Queue(int reference, const std::string& tasks, const std::string& recipients = "1")
    {
        Runner.AddToQueue(static_cast<std::uint32_t>(reference));
        Runner.SetTaskSet(static_cast<std::uint32_t>(reference), tasks);
        Run("update QueueList set QueueListRecipients = \"" + recipients +
            "\" where QueueListJobReference = " + std::to_string(reference));
        Runner.ReloadQueueList();
    }

    void RunUntilIdle()
    {
        while (Runner.HasRunningTasks())
            ASSERT_TRUE(Messages.PumpOne(Runner, std::chrono::seconds(10)));
    }

    // The lines the tasks logged, without time stamps.
    std::vector<std::string> Ran() const
    {
        std::vector<std::string> lines;
        for (const std::string& line : Log.Lines())
            lines.push_back(line.substr(line.find("]: ") + 3));
        return lines;
    }

    TMessageQueue Messages;
    TStationLog Log{[] { return TLocalTime{2026, 12, 10, 9, 0, 0, 0}; }};
    TScriptedDialogs Dialogs;
    TQueueRunner Runner{Messages, Log, Dialogs, ScriptedKinds(), ContextMaker(), Catalogue, Settings};
};

TEST_F(QueueRunner, TheFirstTaskFollowsTheFilesThatExist)
{
    struct TCase {
        const char* Name;
        const char* Tasks;
        bool Ticked;
        const char* MissingFile;  // relative to the output folder
        std::vector<std::string> Expected;
    };
    const TCase cases[] = {
        {"all files",
         "Master, Preview, Web, Transfer, Notify",
         false,
         nullptr,
         {"Transfer ran for job 5", "Transfer for job 5 complete.", "Notify ran for job 5",
          "Notification for job 5 complete."}},
        {"all files, short task set", "Master, Preview, Web", false, nullptr, {}},
        {"no master of page 2",
         "Master, Preview, Web, Transfer, Notify",
         false,
         "20261210090000005-0002.tif",
         {"Master ran for job 5", "Master for job 5 complete.", "Preview ran for job 5", "Preview for job 5 complete.",
          "Web ran for job 5", "Web files for job 5 complete.", "Transfer ran for job 5",
          "Transfer for job 5 complete.", "Notify ran for job 5", "Notification for job 5 complete."}},
        {"no overview of page 1",
         "Master, Preview",
         false,
         "20261210090000005/overview-0001.png",
         {"Preview ran for job 5", "Preview for job 5 complete."}},
        {"ticked", "Master", true, nullptr, {"Master ran for job 5", "Master for job 5 complete."}},
    };
    AddJob(5, ID(5), 2);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(OutputFolder());
        MakeAllFiles(ID(5));
        if (c.MissingFile)
            std::filesystem::remove(OutputFolder() + c.MissingFile);
        Run("delete * from PostQueueList");
        Queue(5, c.Tasks);
        Runner.SetQueueRowChecked(0, c.Ticked);
        const std::size_t logged = Log.Lines().size();

        Runner.Start();
        RunUntilIdle();

        const auto lines = Ran();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(logged), lines.end()),
                  c.Expected);
        EXPECT_TRUE(Runner.QueueControlsEnabled());
        // Nothing started: the entry stays at the head of the queue.
        EXPECT_EQ(Runner.QueueRows().size(), c.Expected.empty() ? 1u : 0u);
        EXPECT_EQ(Column("select * from PostQueueList", "PostQueueListTasks"),
                  c.Expected.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Tasks});
        Run("delete * from QueueList");
        Runner.ReloadQueueList();
    }
}

// A settings change while a chain runs reaches the next chain, never a task
// of the running one: a proof's pages and its upload always agree.
TEST_F(QueueRunner, EveryTaskOfAChainWorksWithTheSettingsOfItsStart)
{
    AddJob(1, ID(1), 1);
    AddJob(2, ID(2), 1);
    Queue(1, "Master, Preview, Web");
    Queue(2, "Master, Preview");
    Settings.Update([](TSettingsRecord& settings) { settings.WebRoot = "http://before.example/"; });

    Runner.Start();
    ASSERT_EQ(ChainTaskRoots, std::vector<std::string>{"1 Master http://before.example/"});
    Settings.Update([](TSettingsRecord& settings) { settings.WebRoot = "http://after.example/"; });
    RunUntilIdle();

    EXPECT_EQ(ChainTaskRoots,
              (std::vector<std::string>{"1 Master http://before.example/", "1 Preview http://before.example/",
                                        "1 Web http://before.example/", "2 Master http://after.example/",
                                        "2 Preview http://after.example/"}));
}

// Three jobs notify nobody and one has recipients: Start asks once, and
// not again as the chain takes each next job. After Yes, a job without
// recipients ends in the post queue unmailed, as no failure; after No the
// queue stays idle with its controls enabled.
TEST_F(QueueRunner, AStartAsksOnceAboutMissingRecipientsAndNoLeavesTheQueueIdle)
{
    const std::string question = "Notify without recipients?: One or more jobs has notification selected,\r\nbut "
                                 "does not have any recipients listed.\r\nWould you like to continue?";
    const std::string full = "Master, Preview, Web, Transfer, Notify";
    for (int job = 1; job <= 4; ++job) {
        AddJob(job, ID(job), 1);
        Queue(job, full, job == 3 ? "1" : "");
    }
    TFailureObserver observer;
    Runner.Observer = &observer;

    Dialogs.Answers = {false};
    Runner.Start();
    RunUntilIdle();
    EXPECT_EQ(Dialogs.Asked, std::vector<std::string>{question});
    EXPECT_TRUE(Runner.QueueControlsEnabled());
    EXPECT_EQ(Runner.QueueRows().size(), 4u);
    EXPECT_TRUE(Ran().empty());

    Dialogs.Asked.clear();
    Dialogs.Answers = {true};
    Runner.Start();
    EXPECT_FALSE(Runner.QueueControlsEnabled());
    RunUntilIdle();
    EXPECT_EQ(Dialogs.Asked, std::vector<std::string>{question});
    EXPECT_TRUE(observer.Failures.empty()) << observer.Failures.front();
    EXPECT_TRUE(Runner.QueueControlsEnabled());
    EXPECT_TRUE(Runner.QueueRows().empty());
    EXPECT_EQ(Column("select * from PostQueueList", "PostQueueListJobReference"),
              (std::vector<std::string>{"1", "2", "3", "4"}));
    // Only the job with recipients ran its Notify task; the others say why they have no mail.
    const std::vector<std::string> ran = Ran();
    for (int job = 1; job <= 4; ++job) {
        const std::string notified = "Notify ran for job " + std::to_string(job);
        const std::string unmailed = "Job " + std::to_string(job) + ": uploaded; no mail sent (no recipients)";
        EXPECT_EQ(std::count(ran.begin(), ran.end(), notified), job == 3 ? 1 : 0) << job;
        EXPECT_EQ(std::count(ran.begin(), ran.end(), unmailed), job == 3 ? 0 : 1) << job;
    }
    Runner.Observer = nullptr;
}

TEST_F(QueueRunner, ProgressMessagesMoveTheirBarAndLogNonEmptyTexts)
{
    struct TCase {
        TMessageNumber Number;
        int Position;
        std::optional<std::string> Text;
        int Total;
        int Task;
        std::size_t LogLines;
    };
    const TCase cases[] = {
        {WM_TOTAL_PROGRESS, -1, "one line", 0, 0, 1},     {WM_TOTAL_PROGRESS, 40, std::nullopt, 40, 0, 1},
        {WM_TASK_PROGRESS, 70, std::string(), 40, 70, 1}, {WM_TASK_PROGRESS, -1, std::nullopt, 40, 70, 1},
        {WM_TASK_PROGRESS, 0, "another", 40, 0, 2},
    };
    for (const TCase& c : cases) {
        Messages.Post(TTaskMessage::Progress(c.Number, c.Position, c.Text));
        Messages.PumpPending(Runner);
        EXPECT_EQ(Runner.TotalProgress(), c.Total);
        EXPECT_EQ(Runner.TaskProgress(), c.Task);
        EXPECT_EQ(Log.Lines().size(), c.LogLines);
    }
}

// Finished again, the job is a new proof: an earlier failed withdrawal is forgotten.
TEST_F(QueueRunner, FinishingAJobAlreadyInThePostQueueReplacesItsTaskSetAndWithdrawalMark)
{
    AddJob(3, ID(3), 1);
    Run("insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks, PostQueueListWithdrawalFailure) "
        "values (3, \"Master\", \"Could not log on to the FTP server: Connection refused\")");
    Queue(3, "Master, Preview");
    Runner.SetQueueRowChecked(0, true);

    Runner.Start();
    RunUntilIdle();

    EXPECT_EQ(Column("select * from PostQueueList", "PostQueueListTasks"), std::vector<std::string>{"Master, Preview"});
    ASSERT_EQ(Runner.PostQueueRows().size(), 1u);
    EXPECT_EQ(Runner.PostQueueRows()[0].Status, "complete");
}

TEST_F(QueueRunner, ARowRemovedWhileItsJobRunsStopsAfterTheRunningTask)
{
    AddJob(4, ID(4), 1);
    Queue(4, "Master, Preview, Web, Transfer, Notify");
    Runner.SetQueueRowChecked(0, true);

    Runner.Start();
    Runner.SelectQueueRow(0);
    Runner.RemoveQueueRow();  // Start and Remove are disabled, the Delete key is not
    RunUntilIdle();

    EXPECT_EQ(Ran(), (std::vector<std::string>{"Master ran for job 4", "Master for job 4 complete."}));
    EXPECT_TRUE(Column("select * from PostQueueList", "PostQueueListJobReference").empty());
    EXPECT_TRUE(Runner.QueueControlsEnabled());
}

TEST_F(QueueRunner, DeletingFromThePostQueueAsksFirstAndNeedsASelectedRow)
{
    AddJob(6, ID(6), 1);
    Run("insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (6, \"Master\")");
    Runner.ReloadPostQueueList();

    Dialogs.Answers = {true};
    Runner.DeleteFromPostQueue();  // nothing selected
    EXPECT_EQ(Dialogs.Asked, std::vector<std::string>{"Confimation: Are you sure you want to delete all files for "
                                                      "this job?"});
    EXPECT_FALSE(Runner.HasRunningTasks());
    EXPECT_EQ(Runner.PostQueueRows().size(), 1u);

    Runner.SelectPostQueueRow(0);
    Dialogs.Answers = {false};
    Runner.DeleteFromPostQueue();
    EXPECT_EQ(Runner.PostQueueRows().size(), 1u);

    // The row stays while the task runs, and goes when it is done.
    Dialogs.Answers = {true};
    Runner.DeleteFromPostQueue();
    ASSERT_EQ(Runner.PostQueueRows().size(), 1u);
    EXPECT_EQ(Runner.PostQueueRows()[0].Status, "Deleting");
    EXPECT_EQ(Column("select * from PostQueueList", "PostQueueListJobReference"), std::vector<std::string>{"6"});
    RunUntilIdle();
    EXPECT_EQ(Ran().back(), "Deletion from FTP server for job 6 complete.");
    EXPECT_TRUE(Runner.PostQueueRows().empty());
    EXPECT_TRUE(Column("select * from PostQueueList", "PostQueueListJobReference").empty());
}

TEST_F(QueueRunner, RecipientsAreKeptSortedAsTextWithoutDuplicates)
{
    AddJob(8, ID(8), 1);
    for (const char* contact : {"A", "B", "C"})
        Run(std::string("insert into AddressList (AddressListName, AddressListEmail) values (\"") + contact + "\", \"" +
            contact + "@example.com\")");
    Queue(8, "Master", "12,5");
    Runner.SelectQueueRow(0);

    Runner.AddRecipient(3, "C@example.com");
    Runner.AddRecipient(3, "C@example.com");
    EXPECT_EQ(Column("select * from QueueList", "QueueListRecipients"), std::vector<std::string>{"12,3,5"});
    ASSERT_EQ(Runner.RecipientRows().size(), 1u);  // 12 and 5 are no contacts
    Runner.AddRecipient(4, "");
    EXPECT_EQ(Dialogs.Told, std::vector<std::string>{"Error: Cannot use a blank Email address."});

    Runner.SelectRecipientRow(0);
    Runner.RemoveRecipient();
    EXPECT_EQ(Column("select * from QueueList", "QueueListRecipients"), std::vector<std::string>{"12,5"});
}

TEST(ConfigurationCheck, ListsWhatIsMissingInOrder)
{
    const std::string missingAll =
        "Input Folder requires configuration\r\nFTP Server requires configuration\r\nFTP "
        "UserName requires configuration\r\nFTP Password requires configuration\r\nSMTP Host "
        "requires configuration\r\n";
    const std::string tail = "From Email requires configuration\r\nURL Base requires configuration";
    struct TCase {
        std::string Port;
        bool Authentication;
        std::string Expected;
    };
    const TCase cases[] = {
        {"25", false, missingAll + tail},
        {"", false, missingAll + "SMTP Port requires configuration\r\n" + tail},
        {"25", true,
         missingAll + "The SMTP Username requires configuration\r\nSMTP Password requires configuration\r\n" + tail},
    };
    for (const TCase& c : cases) {
        TSettingsRecord settings;
        settings.SMTPPort = c.Port;
        settings.AuthenticationRequired = c.Authentication;
        EXPECT_EQ(ConfigurationCheck(settings), c.Expected);
        EXPECT_FALSE(settings.ProfilesValid);
    }

    TSettingsRecord complete;
    for (std::string* field : {&complete.InputFolder, &complete.FTPServer, &complete.FTPUserName, &complete.FTPPassword,
                               &complete.SMTPHost, &complete.FromEmail, &complete.WebRoot})
        *field = " ";  // blanks count as set
    EXPECT_EQ(ConfigurationCheck(complete), "");
    EXPECT_FALSE(complete.ProfilesValid);

    complete.SourceColorProfile = "/usr/share/color/icc/sRGB.icc";
    EXPECT_EQ(
        ConfigurationCheck(complete),
        "Color profile error: Incorrect input color space: /usr/share/color/icc/sRGB.icc is not a CMYK profile. If "
        "ignored, one or more default profiles will be used.");
    EXPECT_FALSE(complete.ProfilesValid);
    complete.SourceColorProfile.clear();
    complete.DestinationColorProfile = "/usr/share/color/icc/sRGB.icc";
    EXPECT_EQ(ConfigurationCheck(complete), "");
    EXPECT_TRUE(complete.ProfilesValid);
}

// A password that would cross the network readable is named, as is a
// security choice or fingerprint that is not one; loopback hosts are fine.
TEST(ConfigurationCheck, NamesUnencryptedPasswordsAndChoicesThatAreNone)
{
    const std::string fingerprint = "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:"
                                    "01:23:45:67:89";
    struct TCase {
        const char* Name;
        std::string FTPServer, FTPSecurity, FTPFingerprint, SMTPHost, SMTPSecurity, SMTPFingerprint;
        bool Authentication;
        std::string Expected;
    };
    const TCase cases[] = {
        {"a file without the keys, shop hosts", "ftp.example.com", "", "", "mail.example.com", "", "", true,
         "The FTP password would travel unencrypted to ftp.example.com: choose TLS under FTP Security\r\n"
         "The SMTP password would travel unencrypted to mail.example.com: choose STARTTLS or TLS under SMTP "
         "Security\r\n"},
        {"loopback hosts", "127.0.0.1:2121", "None", "", "localhost", "None", "", true, ""},
        {"IPv6 loopback", "[::1]:21", "None", "", "::1", "None", "", true, ""},
        {"encrypted, pinned", "ftp.example.com", "tls", fingerprint, "mail.example.com", "starttls",
         "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789", true, ""},
        {"no mail log-on", "ftp.example.com", "TLS", "", "mail.example.com", "None", "", false, ""},
        {"choices that are none", "ftp.example.com", "SSL", "", "mail.example.com", "implicit", "", true,
         "FTP Security \"SSL\" is not None or TLS; nothing is sent by FTP\r\n"
         "SMTP Security \"implicit\" is not None, STARTTLS or TLS; no e-mail is sent\r\n"},
        {"fingerprints that are none", "ftp.example.com", "TLS", "AB:CD", "mail.example.com", "TLS",
         fingerprint + ":00", true,
         "FTP Server Fingerprint is not a SHA-256 fingerprint (64 hexadecimal digits)\r\n"
         "SMTP Server Fingerprint is not a SHA-256 fingerprint (64 hexadecimal digits)\r\n"},
        {"a host that only looks like loopback", "127.0.0.1.example.com", "None", "", "127.example.com", "None", "",
         true,
         "The FTP password would travel unencrypted to 127.0.0.1.example.com: choose TLS under FTP Security\r\n"
         "The SMTP password would travel unencrypted to 127.example.com: choose STARTTLS or TLS under SMTP "
         "Security\r\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSettingsRecord settings;
        settings.FTPServer = c.FTPServer;
        settings.FTPPassword = "secret";
        settings.FTPSecurity = c.FTPSecurity;
        settings.FTPServerFingerprint = c.FTPFingerprint;
        settings.SMTPHost = c.SMTPHost;
        settings.SMTPPassword = "secret";
        settings.AuthenticationRequired = c.Authentication;
        settings.SMTPSecurity = c.SMTPSecurity;
        settings.SMTPServerFingerprint = c.SMTPFingerprint;
        EXPECT_EQ(ConnectionSecurityCheck(settings), c.Expected);
    }
    EXPECT_EQ(ParseFingerprint(fingerprint), "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789");
    EXPECT_EQ(ParseFingerprint(""), "");
}

}  // namespace
}  // namespace tavrin::testing

namespace tavrin::testing {
namespace {

TEST_F(QueueRunner, ClosingLetsTheRunningTaskFinishAndStartsNoOther)
{
    AddJob(9, ID(9), 1);
    Queue(9, "Master, Preview");
    Runner.SetQueueRowChecked(0, true);

    Runner.Start();
    Runner.BeginShutdown();
    RunUntilIdle();

    EXPECT_EQ(Ran(), (std::vector<std::string>{"Waiting for the running task to finish before the station closes.",
                                               "Master ran for job 9", "Master for job 9 complete."}));
    EXPECT_EQ(Column("select * from QueueList", "QueueListJobReference"), std::vector<std::string>{"9"});
}

// A failed task ends its job's chain: the job stays queued, failed, with the
// reason; the queue goes on with the next job and never loops on the failed
// one. The operator's Start takes it up again from its first missing output.
TEST_F(QueueRunner, AFailedTaskStopsItsJobWhichStaysQueuedAndTheQueueGoesOn)
{
    TFailureObserver observer;
    Runner.Observer = &observer;
    AddJob(5, ID(5), 2);
    AddJob(6, ID(6), 2);
    AddJob(7, ID(7), 2);
    Queue(5, "Master, Preview, Web, Transfer, Notify");
    Queue(6, "Master, Preview");
    Queue(7, "Master");
    FailingTasks[{5, WebTask}] = "Could not write index.html: No space left on device";
    FailingTasks[{7, MasterTask}] = "Cannot open file pb7.pgb";

    Runner.Start();
    RunUntilIdle();

    EXPECT_EQ(Ran(), (std::vector<std::string>{
                         "Master ran for job 5", "Master for job 5 complete.", "Preview ran for job 5",
                         "Preview for job 5 complete.", "Web ran for job 5",
                         "Web files for job 5 failed: Could not write index.html: No space left on device",
                         "Master ran for job 6", "Master for job 6 complete.", "Preview ran for job 6",
                         "Preview for job 6 complete.", "Master ran for job 7",
                         "Master for job 7 failed: Cannot open file pb7.pgb"}));
    EXPECT_EQ(observer.Failures, (std::vector<std::string>{"5 Web: Could not write index.html: No space left on device",
                                                           "7 Master: Cannot open file pb7.pgb"}));
    EXPECT_TRUE(Runner.QueueControlsEnabled());
    EXPECT_EQ(Column("select * from PostQueueList", "PostQueueListJobReference"), std::vector<std::string>{"6"});
    // The failures are kept in the catalogue, so a reload shows them.
    Runner.ReloadQueueList();
    ASSERT_EQ(Runner.QueueRows().size(), 2u);
    EXPECT_EQ(Runner.QueueRows()[0].Status, "Failed at Web");
    EXPECT_EQ(Runner.QueueRows()[0].FailureReason, "Could not write index.html: No space left on device");
    EXPECT_EQ(Runner.QueueRows()[1].Status, "Failed at Master");

    // The operator's Start runs job 5 again from its first missing output
    // (all but the web page exist) and, once it is through, job 7 again.
    MakeAllFiles(ID(5));
    std::filesystem::remove(OutputFolder() + ID(5) + "/index.html");
    FailingTasks.erase({5, WebTask});
    const std::size_t logged = Log.Lines().size();
    Runner.Start();
    RunUntilIdle();
    const std::vector<std::string> all = Ran();
    const std::vector<std::string> again(all.begin() + static_cast<std::ptrdiff_t>(logged), all.end());
    EXPECT_EQ(again, (std::vector<std::string>{
                         "Web ran for job 5", "Web files for job 5 complete.", "Transfer ran for job 5",
                         "Transfer for job 5 complete.", "Notify ran for job 5", "Notification for job 5 complete.",
                         "Master ran for job 7", "Master for job 7 failed: Cannot open file pb7.pgb"}));
    ASSERT_EQ(Runner.QueueRows().size(), 1u);
    EXPECT_EQ(Runner.QueueRows()[0].JobReference, 7u);
    EXPECT_EQ(Column("select * from QueueList", "QueueListStatus"), std::vector<std::string>{"Failed at Master"});
    Runner.Observer = nullptr;
}

TEST_F(QueueRunner, AFailedDeletionIsReportedOnceAndKeepsTheJobMarkedUntilOneSucceeds)
{
    TFailureObserver observer;
    Runner.Observer = &observer;
    AddJob(6, ID(6), 1);
    Run("insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (6, \"Master\")");
    Runner.ReloadPostQueueList();
    FailingTasks[{6, -1}] = "530 Login incorrect.";
    Runner.SelectPostQueueRow(0);
    Dialogs.Answers = {true, true};
    Runner.DeleteFromPostQueue();
    // A second Delete while the first runs starts nothing.
    Runner.SelectPostQueueRow(0);
    Runner.DeleteFromPostQueue();
    EXPECT_EQ(Dialogs.Told, std::vector<std::string>{"Deleting: Job 6 is being deleted already."});
    RunUntilIdle();
    EXPECT_EQ(Ran().back(), "Deletion from FTP server for job 6 failed: 530 Login incorrect.");
    EXPECT_EQ(observer.Failures, std::vector<std::string>{"6 Deletion: 530 Login incorrect."});

    // The job stays, marked, also for a station started afresh.
    ASSERT_EQ(Runner.PostQueueRows().size(), 1u);
    EXPECT_EQ(Runner.PostQueueRows()[0].Status, "Withdrawal failed: 530 Login incorrect.");
    TQueueRunner restarted{Messages, Log, Dialogs, ScriptedKinds(), ContextMaker(), Catalogue, Settings};
    restarted.ReloadPostQueueList();
    ASSERT_EQ(restarted.PostQueueRows().size(), 1u);
    EXPECT_EQ(restarted.PostQueueRows()[0].Status, "Withdrawal failed: 530 Login incorrect.");

    // Trying again: "Deleting" while it runs, and a success takes the job away.
    FailingTasks.erase({6, -1});
    Runner.SelectPostQueueRow(0);
    Dialogs.Answers = {true};
    Runner.DeleteFromPostQueue();
    EXPECT_EQ(Runner.PostQueueRows()[0].Status, "Deleting");
    RunUntilIdle();
    EXPECT_TRUE(Runner.PostQueueRows().empty());
    EXPECT_TRUE(Column("select * from PostQueueList", "PostQueueListJobReference").empty());
    Runner.Observer = nullptr;
}

}  // namespace
}  // namespace tavrin::testing

namespace tavrin::testing {
namespace {

TEST_F(QueueRunner, FetchingAnswersNeverRunsBesideAnotherTask)
{
    AddJob(1, ID(1), 1);
    AddJob(2, ID(2), 1);
    AddJob(3, ID(3), 1);
    AddJob(4, ID(4), 1);
    for (const int job : {2, 3})
        Run("insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (" + std::to_string(job) +
            ", \"Master, Preview, Web, Transfer\")");
    // Never sent to the web server: it can have no answers.
    Run("insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (4, \"Master\")");
    Runner.ReloadPostQueueList();
    Queue(1, "Master");
    TFailureObserver observer;
    Runner.Observer = &observer;

    // The operator's Start while the answers are fetched waits for them.
    ASSERT_TRUE(Runner.RefreshAnswers());
    EXPECT_TRUE(Runner.RefreshingAnswers());
    EXPECT_FALSE(Runner.RefreshAnswers()) << "one refresh at a time";
    EXPECT_FALSE(Runner.RefreshAnswersIfIdle());
    Runner.Start();
    RunUntilIdle();
    std::vector<std::string> lines = Ran();
    const auto at = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) - lines.begin();
    };
    EXPECT_LT(at("Answers ran for 2 3"), at("Fetching the answers complete.")) << ::testing::PrintToString(lines);
    EXPECT_LT(at("Fetching the answers complete."), at("Master ran for job 1")) << ::testing::PrintToString(lines);
    EXPECT_LT(at("Master ran for job 1"), static_cast<std::ptrdiff_t>(lines.size()));
    EXPECT_FALSE(Runner.RefreshingAnswers());

    // A running chain task keeps both refreshes off; the timer's says nothing.
    Queue(1, "Master");
    Runner.Start();
    ASSERT_TRUE(Runner.HasRunningTasks());
    const std::size_t logged = Log.Lines().size();
    EXPECT_FALSE(Runner.RefreshAnswersIfIdle());
    EXPECT_EQ(Log.Lines().size(), logged);
    EXPECT_FALSE(Runner.RefreshAnswers());
    EXPECT_EQ(Ran().back(), "The answers are fetched once the running task has finished; try again then.");
    RunUntilIdle();

    // A failed refresh is a box only when somebody asked for it.
    FailingTasks[{0, -2}] = "530 Login incorrect.";
    ASSERT_TRUE(Runner.RefreshAnswersIfIdle());
    RunUntilIdle();
    EXPECT_TRUE(observer.Failures.empty());
    EXPECT_EQ(Ran().back(), "Fetching the answers failed: 530 Login incorrect.");
    ASSERT_TRUE(Runner.RefreshAnswers({2}));
    RunUntilIdle();
    EXPECT_EQ(observer.Failures, std::vector<std::string>{"2 Fetching answers: 530 Login incorrect."});

    Runner.BeginShutdown();
    EXPECT_FALSE(Runner.RefreshAnswers());
    Runner.Observer = nullptr;
}

}  // namespace
}  // namespace tavrin::testing
