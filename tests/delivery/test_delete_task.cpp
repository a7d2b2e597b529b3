#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/ProofAnswers.h"
#include "base/catalogue/ProofRounds.h"
#include "tasks/delivery/DeleteThread.h"
#include "tests/delivery/DeliveryFixture.h"
#include "tests/support/TaskContexts.h"

namespace tavrin {
namespace {

using testing::FileBytes;
using testing::WriteBytes;

constexpr const char* JobID = "20240314092653120";

class DeleteTask : public testing::DeliveryFixture {
protected:
    std::string LocalJobFolder() const { return Local("output/").string() + JobID + "/"; }

    // A customer's approval of page 1, as the answer endpoint writes it.
    static TProofAnswer Approval()
    {
        TProofAnswer answer;
        answer.Job = JobID;
        answer.Page = 1;
        answer.Decision = "approve";
        answer.Name = "Zoe Lang";
        answer.Time = "2026-12-10T09:30:00Z";
        return answer;
    }
};

// The scripted server lists folders as pyftpdlib does: "NLST *.*" is a name
// it does not have, so only a plain listing finds the job's files.
TEST_F(DeleteTask, KeepsTheAnswersThenEmptiesAndRemovesTheRemoteFolderThenTheLocalFiles)
{
    std::filesystem::create_directories(ServerRoot() / "www");
    for (const char* name : {"index.html", "print.html", "tile0-0001.tdb"})
        WriteBytes(ServerRoot() / "www/tavrin" / JobID / name, name);
    WriteBytes(ServerRoot() / "www/tavrin" / JobID / "replies.jsonl", AnswerJson(Approval()) + "\n");
    WriteBytes(ServerRoot() / "www/tavrin/images/logo.jpg", "shared");
    StartServer();
    UseServer("/www/");
    AddJob(7, JobID);
    Run("insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (7, "
        "\"Master, Preview, Web, Transfer\")");
    // A run that was killed left an unfinished tile database in the job folder.
    for (const char* name : {"index.html", "print.html", "tile0-0001.tdb", "tile1-0001.tdb.part"})
        WriteBytes(LocalJobFolder() + name, name);
    WriteBytes(Local("output/").string() + JobID + "-0001.tif", "master 1");
    // The master's ink figures; another job's stay.
    for (const char* reference : {"7", "8"})
        Run(std::string("insert into CoverageList (CoverageListJobReference, CoverageListPageNumber) values (") +
            reference + ", 1)");
    // The digests of its plates' rows stay: a later round is compared with them.
    Run("insert into PlateDigestList (PlateDigestListJobReference, PlateDigestListPageNumber) values (7, 1)");

    const auto posted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_EQ(posted.Completions[0].Number, WM_DELETE_DONE);
    EXPECT_EQ(posted.Completions[0].JobReference, 7u);
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;

    // The answer is in the catalogue, fetched before anything was deleted.
    EXPECT_EQ(Column("select * from AnswerList", "AnswerListDecision"), std::vector<std::string>{"approve"});
    EXPECT_EQ(posted.LogStartingWith("Kept the job's answers: ").at(0).first,
              "Kept the job's answers: 1 on the web server, 1 new.");
    const auto commands = Commands();
    const auto at = [&](const std::string& command) { return std::find(commands.begin(), commands.end(), command); };
    ASSERT_NE(at("RETR /www/tavrin/" + std::string(JobID) + "/replies.jsonl"), commands.end());
    EXPECT_LT(at("RETR /www/tavrin/" + std::string(JobID) + "/replies.jsonl"), at("DELE index.html"));
    EXPECT_EQ(CommandCount("NLST *.*"), 0u);

    // Every file of the remote folder went, from a plain listing, then the
    // folder from its parent; the shared files stay.
    const std::string remote = "/www/tavrin/" + std::string(JobID) + "/";
    EXPECT_EQ(posted.LogStartingWith("Remote Path: "),
              (std::vector<std::pair<std::string, int>>{{"Remote Path: " + remote, -1}}));
    const auto remoteDone = posted.LogStartingWith("Done deleting " + remote + "/");
    ASSERT_EQ(remoteDone.size(), 4u);
    EXPECT_EQ(remoteDone[0], std::make_pair("Done deleting " + remote + "/index.html", 0));
    EXPECT_EQ(remoteDone[2], std::make_pair("Done deleting " + remote + "/replies.jsonl", 50));
    const auto rmd = at("RMD " + std::string(JobID));
    ASSERT_NE(rmd, commands.end());
    EXPECT_EQ(*std::find_if(std::make_reverse_iterator(rmd), commands.rend(),
                            [](const std::string& line) { return line.rfind("CWD ", 0) == 0; }),
              "CWD /www/tavrin");
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "www/tavrin" / JobID));
    EXPECT_EQ(FileBytes(ServerRoot() / "www/tavrin/images/logo.jpg"), "shared");

    // Only then the local files.
    const std::vector<std::string> texts = posted.LogTexts();
    const auto localPath = std::find(texts.begin(), texts.end(), "Local Path: " + LocalJobFolder());
    ASSERT_NE(localPath, texts.end());
    EXPECT_LT(std::find(texts.begin(), texts.end(), remoteDone.back().first), localPath);
    std::vector<int> localProgress;
    for (const auto& [text, progress] : posted.LogStartingWith("Done deleting " + LocalJobFolder()))
        localProgress.push_back(progress);
    EXPECT_EQ(localProgress, (std::vector<int>{0, 25, 50, 75}));
    EXPECT_FALSE(std::filesystem::exists(LocalJobFolder()));
    EXPECT_FALSE(std::filesystem::exists(Local("output/").string() + JobID + "-0001.tif"));
    EXPECT_EQ(Column("select * from CoverageList", "CoverageListJobReference"), std::vector<std::string>{"8"});
    EXPECT_EQ(Column("select * from PlateDigestList", "PlateDigestListJobReference"), std::vector<std::string>{"7"});
    EXPECT_EQ(posted.Log.back(), std::make_pair(std::string("Done."), 100));
    EXPECT_NE(std::find(posted.TaskLog.begin(), posted.TaskLog.end(), std::make_pair(std::string(), 100)),
              posted.TaskLog.end());
}

TEST_F(DeleteTask, EveryMasterOfTheJobGoesFinishedOrNotAndNoOtherName)
{
    StartServer();
    UseServer();
    AddJob(7, JobID);
    Run("update JobList set JobListPageCount = 3 where JobListReference = 7");
    const std::string output = Local("output/").string();
    // Page 2's master is gone, its unfinished one is not; later pages are past the gap.
    const std::vector<std::string> masters = {"-0001.tif", "-0002.tif.part", "-0003.tif", "-0012.tif.part",
                                              "-12345.tif"};
    for (const std::string& master : masters)
        WriteBytes(output + JobID + master, "a master");
    const std::vector<std::string> others = {
        "20240314092653121-0001.tif",      // the next job
        "202403140926531200-0001.tif",     // a longer id that begins with this one
        "20240314092653120-0001.tif.bak",  // not a master's name
        "20240314092653120-notes.tif",    "20240314092653120-.tif", "x20240314092653120-0001.tif",
    };
    for (const std::string& other : others)
        WriteBytes(output + other, "not this job's master");

    const auto posted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    for (const std::string& master : masters)
        EXPECT_FALSE(std::filesystem::exists(output + JobID + master)) << master;
    for (const std::string& other : others)
        EXPECT_EQ(FileBytes(output + other), "not this job's master") << other;
}

TEST_F(DeleteTask, WhatStaysLocallyIsNamedAndTheRestStillGoes)
{
    WriteBytes(ServerRoot() / "tavrin" / JobID / "index.html", "page");
    StartServer();
    UseServer();
    AddJob(7, JobID);
    const std::string output = Local("output/").string();
    for (const char* name : {"index.html", "print.html"})
        WriteBytes(LocalJobFolder() + name, name);
    // A folder in the job folder keeps it; a folder under a master's name cannot go.
    WriteBytes(LocalJobFolder() + "notes/todo.txt", "the operator's notes");
    WriteBytes(output + JobID + "-0001.tif", "master 1");
    WriteBytes(output + JobID + "-0002.tif/stray.txt", "in the way");

    const auto posted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
    const std::string folderLine = "Could not delete " + output + JobID + ": Directory not empty";
    const std::string masterLine = "Could not delete " + output + JobID + "-0002.tif: Directory not empty";
    EXPECT_EQ(posted.LogStartingWith("Could not delete "),
              (std::vector<std::pair<std::string, int>>{{folderLine, -1}, {masterLine, -1}}));
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_EQ(posted.Completions[0].FailureReason, folderLine + "; " + masterLine);
    EXPECT_TRUE(posted.LogStartingWith("Done.").empty());

    EXPECT_FALSE(std::filesystem::exists(LocalJobFolder() + "index.html"));
    EXPECT_FALSE(std::filesystem::exists(output + JobID + "-0001.tif"));
    EXPECT_EQ(FileBytes(LocalJobFolder() + "notes/todo.txt"), "the operator's notes");
    // The server's copy goes all the same.
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin" / JobID));
}

// A host that refuses the log-on or is down: nothing is deleted anywhere,
// and the task says why.
TEST_F(DeleteTask, AHostThatCannotBeReachedLeavesEverythingInPlace)
{
    WriteBytes(ServerRoot() / "tavrin" / JobID / "index.html", "page");
    AddJob(7, JobID);
    WriteBytes(LocalJobFolder() + "index.html", "page");
    WriteBytes(Local("output/").string() + JobID + "-0001.tif", "master 1");
    for (const bool stopped : {false, true}) {
        StartServer();
        UseServer();
        if (stopped)
            Server->Stop();
        else
            Settings.Update([](TSettingsRecord& settings) { settings.FTPPassword = "wrong"; });

        const auto posted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_TRUE(posted.Completions[0].Failed);
        const std::string& reason = posted.Completions[0].FailureReason;
        EXPECT_EQ(reason.rfind("Could not log on to the FTP server: ", 0), 0u) << reason;
        EXPECT_EQ(reason.find(": 530 ") != std::string::npos, !stopped) << reason;
        EXPECT_EQ(posted.Log.back(),
                  std::make_pair(std::string("Nothing was deleted: the proof stays on the web server and its files "
                                             "here."),
                                 100));
        EXPECT_TRUE(posted.LogStartingWith("Local Path: ").empty()) << stopped;
        EXPECT_EQ(FileBytes(LocalJobFolder() + "index.html"), "page") << stopped;
        EXPECT_TRUE(std::filesystem::exists(Local("output/").string() + JobID + "-0001.tif")) << stopped;
        EXPECT_EQ(FileBytes(ServerRoot() / "tavrin" / JobID / "index.html"), "page") << stopped;
    }
}

// A 550 to CWD is what a missing folder gets, and also what a folder the
// server keeps closed gets: only the parent's listing tells them apart. And
// a folder is gone when RMD took it, whatever its listing said.
TEST_F(DeleteTask, AFolderIsTakenForGoneOnlyWhenTheServerDoesNotListIt)
{
    AddJob(7, JobID);
    WriteBytes(LocalJobFolder() + "index.html", "page");

    // Never there (nor "tavrin"): withdrawn already, and nothing is made.
    StartServer();
    UseServer();
    auto posted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    EXPECT_EQ(posted.LogStartingWith("The job's folder is not on the web server.").size(), 1u);
    for (const std::string& line : Commands())
        EXPECT_TRUE(line.rfind("MKD", 0) != 0 && line.rfind("RMD", 0) != 0) << line;
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin"));
    EXPECT_FALSE(std::filesystem::exists(LocalJobFolder()));

    // There, but the server refuses to enter it: nothing is deleted.
    WriteBytes(LocalJobFolder() + "index.html", "page");
    WriteBytes(ServerRoot() / "tavrin" / JobID / "index.html", "page");
    StartServer({"--refuse-cwd-into", JobID});
    UseServer();
    posted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_EQ(posted.Completions[0].FailureReason,
              "Could not enter the job's folder on the web server: 550 Permission denied.");
    EXPECT_EQ(
        posted.Log.back(),
        std::make_pair(std::string("No file here was deleted: the job's folder on the web server is not gone."), 100));
    EXPECT_EQ(FileBytes(ServerRoot() / "tavrin" / JobID / "index.html"), "page");
    EXPECT_EQ(FileBytes(LocalJobFolder() + "index.html"), "page");

    // There and empty, on a server that will not list an empty folder: RMD takes it.
    std::filesystem::remove(ServerRoot() / "tavrin" / JobID / "index.html");
    StartServer({"--empty-listing-450"});
    UseServer();
    posted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    EXPECT_EQ(posted.LogStartingWith("Could not list the job's folder on the web server: 450 No files found.").size(),
              1u);
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin" / JobID));
    EXPECT_FALSE(std::filesystem::exists(LocalJobFolder()));
}

// A server that says it removed the folder and did not is not taken at its word.
TEST_F(DeleteTask, AFolderStillThereAfterRMDFailsTheWithdrawal)
{
    AddJob(7, JobID);
    WriteBytes(ServerRoot() / "tavrin" / JobID / "index.html", "page");
    WriteBytes(LocalJobFolder() + "index.html", "page");
    StartServer({"--pretend-rmd"});
    UseServer();

    const auto posted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_EQ(posted.Completions[0].FailureReason, "The web server still has the job's folder after removing it");
    EXPECT_TRUE(std::filesystem::is_directory(ServerRoot() / "tavrin" / JobID));
    EXPECT_EQ(FileBytes(LocalJobFolder() + "index.html"), "page");
}

// The answers outlive the folder or the folder stays: a replies file that
// cannot be fetched stops the deletion before anything goes.
TEST_F(DeleteTask, ARepliesFileThatCannotBeFetchedStopsTheDeletion)
{
    AddJob(7, JobID);
    const std::string tooLarge = AnswerJson(Approval()) + "\n" + std::string(1024 * 1024, ' ');
    const struct {
        std::vector<std::string> Options;
        std::string Replies;
        std::string Reason;
    } cases[] = {
        {{"--refuse-retr-of", "replies.jsonl"},
         AnswerJson(Approval()) + "\n",
         "Could not fetch the job's answers from the web server: 451 The file cannot be read now."},
        {{},
         tooLarge,
         "The job's replies file on the web server is larger than 1 MB, which no answer endpoint writes; remove it "
         "there by hand once it is checked"},
    };
    for (const auto& [options, replies, reason] : cases) {
        WriteBytes(ServerRoot() / "tavrin" / JobID / "index.html", "page");
        WriteBytes(ServerRoot() / "tavrin" / JobID / "replies.jsonl", replies);
        WriteBytes(LocalJobFolder() + "index.html", "page");
        StartServer(options);
        UseServer();
        ClearCommands();

        const auto posted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_TRUE(posted.Completions[0].Failed);
        EXPECT_EQ(posted.Completions[0].FailureReason, reason);
        EXPECT_EQ(posted.Log.back().first,
                  "Nothing was deleted: the proof stays on the web server and its files here.");
        for (const std::string& line : Commands())
            EXPECT_TRUE(line.rfind("DELE", 0) != 0 && line.rfind("RMD", 0) != 0) << line;
        EXPECT_EQ(FileBytes(ServerRoot() / "tavrin" / JobID / "replies.jsonl"), replies);
        EXPECT_EQ(FileBytes(LocalJobFolder() + "index.html"), "page");
        EXPECT_TRUE(Column("select * from AnswerList", "AnswerListID").empty());
    }
}

// A job that never went to the web server has nothing there: no server is needed.
TEST_F(DeleteTask, AJobNeverSentIsDeletedHereOnly)
{
    StartServer();
    UseServer();
    Server->Stop();
    AddJob(7, JobID);
    Run("insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (7, \"Master, Preview, "
        "Web\")");
    WriteBytes(LocalJobFolder() + "index.html", "page");
    WriteBytes(Local("output/").string() + JobID + "-0001.tif", "master 1");

    const auto posted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    EXPECT_TRUE(posted.LogStartingWith("Remote Path: ").empty());
    EXPECT_FALSE(std::filesystem::exists(LocalJobFolder()));
    EXPECT_FALSE(std::filesystem::exists(Local("output/").string() + JobID + "-0001.tif"));
}

// The viewer of round 2 shows round 1's tiles from round 1's own folder:
// deleting round 2 must leave that folder online and its files here.
TEST_F(DeleteTask, DeletingALaterRoundLeavesTheEarlierRoundsFolderOnline)
{
    const std::string laterID = "20240321101500000";
    for (const std::string& id : {std::string(JobID), laterID})
        for (const char* name : {"index.html", "rounds.js", "tile4-0001.tdb"})
            WriteBytes(ServerRoot() / "www/tavrin" / id / name, name);
    WriteBytes(ServerRoot() / "www/tavrin" / laterID / "change4-0001.tdb", "map");
    StartServer();
    UseServer("/www/");
    AddJob(7, JobID);
    AddJob(8, laterID);
    LinkProofRound(Catalogue, 8, 7);
    for (const char* reference : {"7", "8"})
        Run(std::string("insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (") +
            reference + ", \"Master, Preview, Web, Transfer\")");
    for (const std::string& id : {std::string(JobID), laterID}) {
        WriteBytes(Local("output/").string() + id + "/index.html", "page");
        WriteBytes(Local("output/").string() + id + "-0001.tif", "master");
    }

    const auto posted = RunTask(new TDeleteThread(Messages, TaskContext(8)));
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "www/tavrin" / laterID));
    EXPECT_FALSE(std::filesystem::exists(Local("output/").string() + laterID));
    for (const char* name : {"index.html", "rounds.js", "tile4-0001.tdb"})
        EXPECT_EQ(FileBytes(ServerRoot() / "www/tavrin" / JobID / name), name);
    EXPECT_EQ(FileBytes(Local("output/").string() + JobID + "/index.html"), "page");
    EXPECT_EQ(FileBytes(Local("output/").string() + JobID + "-0001.tif"), "master");
}

TEST_F(DeleteTask, ListedPathsAreNeverDeletedAndARefusalIsLoggedPassedByAndFailsTheTask)
{
    for (const char* name : {"index.html", "print.html", "keep.png"})
        WriteBytes(ServerRoot() / "tavrin" / JobID / name, name);
    WriteBytes(ServerRoot() / "tavrin/outside.png", "another job's");
    WriteBytes(ServerRoot() / "tavrin/images/logo.jpg", "shared");
    StartServer({"--refuse-dele", "keep.png", "--list-extra", "../outside.png,../images/logo.jpg,..,sub\\x.png"});
    UseServer();
    AddJob(7, JobID);
    WriteBytes(LocalJobFolder() + "index.html", "page");

    const auto posted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
    EXPECT_EQ(CommandCount("DELE index.html"), 1u);
    EXPECT_EQ(CommandCount("DELE print.html"), 1u);
    for (const std::string& line : Commands())
        EXPECT_TRUE(line.rfind("DELE ", 0) != 0 || line.find("..") == std::string::npos) << line;
    EXPECT_EQ(FileBytes(ServerRoot() / "tavrin/outside.png"), "another job's");
    EXPECT_EQ(FileBytes(ServerRoot() / "tavrin/images/logo.jpg"), "shared");
    EXPECT_EQ(posted.LogStartingWith("Not deleting ").size(), 4u);

    // The refused file stays, its reply is logged, the others go; the folder then stays too.
    const std::string remote = "/tavrin/" + std::string(JobID) + "/";
    EXPECT_EQ(posted.LogStartingWith("Could not delete " + remote + "/keep.png").size(), 1u);
    EXPECT_NE(
        posted.LogStartingWith("Could not delete " + remote + "/keep.png")[0].first.find("550 This file is protected."),
        std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(ServerRoot() / "tavrin" / JobID / "keep.png"));
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin" / JobID / "index.html"));
    EXPECT_EQ(posted.LogStartingWith("Could not delete directory " + std::string(JobID) + ". 550").size(), 1u);
    // The folder is still there: the local files stay too.
    EXPECT_EQ(posted.Log.back().first, "No file here was deleted: the job's folder on the web server is not gone.");
    EXPECT_EQ(FileBytes(LocalJobFolder() + "index.html"), "page");
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_TRUE(posted.Completions[0].Failed);
    const std::string& reason = posted.Completions[0].FailureReason;
    EXPECT_EQ(reason.rfind("Could not delete " + remote +
                               "/keep.png. 550 This file is protected.; "
                               "Could not delete directory " +
                               std::string(JobID) + ". 550 ",
                           0),
              0u)
        << reason;
}

TEST_F(DeleteTask, AJobWithoutUniqueIDOrRowFailsAndDeletesNothingAnywhere)
{
    WriteBytes(ServerRoot() / "tavrin/20230101000000000/index.html", "another job's page");
    StartServer();
    UseServer();
    WriteBytes(Local("output/other-0001.tif"), "another job's master");
    WriteBytes(Local("output/notes.txt"), "the shop's notes");
    WriteBytes(Local("tavrin.ini.keep"), "the program folder's own file");
    // An id of anything but 17 digits once named the program folder (".."),
    // its parent, or every job's masters ("." and "/"), here and on the server.
    const std::pair<std::string, std::string> cases[] = {
        {"", "Job 9 has no unique id; no files are deleted."},
        {"..", "Job 9 has the unique id \"..\", which is not 17 digits; no files are deleted."},
        {"../..", "Job 9 has the unique id \"../..\", which is not 17 digits; no files are deleted."},
        {".", "Job 9 has the unique id \".\", which is not 17 digits; no files are deleted."},
        {"/", "Job 9 has the unique id \"/\", which is not 17 digits; no files are deleted."},
        {"2023010100000000", "Job 9 has the unique id \"2023010100000000\", which is not 17 digits; no files are "
                             "deleted."},
    };
    for (const auto& [id, reason] : cases) {
        Run("delete from JobList where JobListReference = 9");
        AddJob(9, id);
        const auto posted = RunTask(new TDeleteThread(Messages, TaskContext(9)));
        EXPECT_EQ(posted.LogTexts(), std::vector<std::string>{reason}) << id;
        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_TRUE(posted.Completions[0].Failed);
        EXPECT_EQ(posted.Completions[0].FailureReason, reason);
        for (const char* file : {"output/other-0001.tif", "output/notes.txt", "tavrin.ini.keep"})
            EXPECT_TRUE(std::filesystem::exists(Local(file))) << id << " " << file;
        EXPECT_TRUE(std::filesystem::exists(ServerRoot() / "tavrin/20230101000000000/index.html")) << id;
        EXPECT_TRUE(Commands().empty()) << id;
    }

    // A job that does not exist: only the completion.
    const auto missing = RunTask(new TDeleteThread(Messages, TaskContext(99)));
    EXPECT_TRUE(missing.Log.empty());
    ASSERT_EQ(missing.Completions.size(), 1u);
    EXPECT_EQ(missing.Completions[0].FailureReason, "Job 99 is not in the catalogue.");
}

}  // namespace
}  // namespace tavrin
