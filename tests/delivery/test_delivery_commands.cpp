#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueDefinition.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/ProofAnswers.h"
#include "base/catalogue/SettingsCipher.h"
#include "tests/delivery/DeliveryFixture.h"
#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <thread>

extern char** environ;

namespace tavrin {
namespace {

using testing::FileBytes;
using testing::NoiseBytes;
using testing::WriteBytes;

constexpr const char* JobID = "20240314092653120";

class DeliveryCommands : public testing::ScratchStation {
protected:
    void SetUp() override
    {
        ScratchStation::SetUp();
        // The station's catalogue with one job, made here and closed again for the front end.
        MakeCatalogue({"insert into JobList (JobListReference, JobListUniqueID, JobListName) values (7, " +
                       QuoteText(JobID) + ", \"Leaflet\")"});

        Server = testing::StartScriptedFTPServer(Temporary);
        std::filesystem::create_directories(Temporary.Path() / "root/www/tavrin");
        Folder.Write("tavrin.ini", "[Main]\nFTPServer=127.0.0.1:" + std::to_string(Server->Port()) +
                                       "\nFTPUserName=" + EncipherText("u") +
                                       "\nFTPPassword=" + EncipherText("secret") + "\nFTPInitialDirectory=/www/\n");
    }

    // The station's settings for the server now running.
    void UseServer() const
    {
        Folder.Write("tavrin.ini", "[Main]\nFTPServer=127.0.0.1:" + std::to_string(Server->Port()) +
                                       "\nFTPUserName=" + EncipherText("u") +
                                       "\nFTPPassword=" + EncipherText("secret") + "\nFTPInitialDirectory=/www/\n");
    }

    // Starts the front end with the arguments and returns its process id;
    // what it prints goes to a file of the temporary folder.
    pid_t StartProgram(const std::vector<std::string>& arguments) const
    {
        std::vector<std::string> command = {Folder.Path("tavrin-cli").string()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (const std::string& argument : command)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const std::string output = (Temporary.Path() / "cli-output.txt").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t child = -1;
        const int error = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return error == 0 ? child : -1;
    }

    testing::TTemporaryFolder Temporary;
    std::unique_ptr<testing::TServerProcess> Server;
};

TEST_F(DeliveryCommands, TransferDeleteAndCommonFilesPrintTheirLogs)
{
    WriteBytes(Folder.Path(std::string("output/") + JobID + "/index.html"), "<html></html>\n");
    WriteBytes(Folder.Path("images/logo.jpg"), "logo");
    const auto remote = Temporary.Path() / "root/www/tavrin";

    auto result = testing::RunProgram("tavrin-cli", "task transfer 7");
    EXPECT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    EXPECT_NE(result.Output.find("]: Remote Path: /www/tavrin/" + std::string(JobID) + "/\n"), std::string::npos)
        << result.Output;
    EXPECT_NE(result.Output.find("]: Done.\n"), std::string::npos);
    EXPECT_EQ(FileBytes(remote / JobID / "index.html"), "<html></html>\n");
    EXPECT_EQ(FileBytes(remote / "images/logo.jpg"), "logo");

    result = testing::RunProgram("tavrin-cli", "task delete 7");
    EXPECT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    EXPECT_NE(result.Output.find("]: Deleting directory " + std::string(JobID) + "\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(remote / JobID));
    EXPECT_FALSE(std::filesystem::exists(Folder.Path(std::string("output/") + JobID)));

    std::filesystem::remove(remote / "images/logo.jpg");
    result = testing::RunProgram("tavrin-cli", "common-files");
    EXPECT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    EXPECT_EQ(FileBytes(remote / "images/logo.jpg"), "logo");

    // A job that does not exist: the task fails at once, having done nothing.
    result = testing::RunProgram("tavrin-cli", "task transfer 99");
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_NE(result.Output.find("]: Transfer for job 99 failed: Job 99 is not in the catalogue.\n"), std::string::npos)
        << result.Output;
    for (const char* usage : {"task transfer", "task transfer x", "task delete 7 8", "common-files now"})
        EXPECT_EQ(testing::RunProgram("tavrin-cli", usage).ExitStatus, 2) << usage;

    // A server that is gone: the reason is printed and the exit status says so.
    WriteBytes(Folder.Path(std::string("output/") + JobID + "/index.html"), "<html></html>\n");
    Server->Stop();
    result = testing::RunProgram("tavrin-cli", "task transfer 7");
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_NE(result.Output.find("]: Error sending files. "), std::string::npos) << result.Output;
    result = testing::RunProgram("tavrin-cli", "common-files");
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_NE(result.Errors.find("Error: "), std::string::npos) << result.Errors;
}

TEST_F(DeliveryCommands, ATransferThatDidNotSendEverythingExitsWithOneAndSaysWhy)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> ServerOptions;
        const char* Password;
        bool WithIndex;
        bool OthersSent;
        std::string Reason;  // how the completion line's reason begins
    };
    const std::string local = Folder.Path("output/").string() + JobID + "/";
    const TCase cases[] = {
        {"log-on refused", {}, "wrong", true, false, "Could not log on to the FTP server: 530 "},
        {"one file refused",
         {"--refuse-stor-of", "tile0-0001.tdb"},
         "secret",
         true,
         true,
         "1 file was not sent: " + local + "tile0-0001.tdb"},
        {"no index page",
         {},
         "secret",
         false,
         false,
         "The web proof is not complete: " + local + "index.html is missing; no files are sent."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(Temporary.Path() / "root");
        std::filesystem::remove_all(Folder.Path("output"));
        if (c.WithIndex)
            WriteBytes(local + "index.html", "<html></html>\n");
        WriteBytes(local + "tile0-0001.tdb", "tiles");
        WriteBytes(local + "tile1-0001.tdb", "more tiles");
        WriteBytes(local + "tile0-0002.tdb.part", "half of the tiles of a run that was killed");
        Server = testing::StartScriptedFTPServer(Temporary, c.ServerOptions);
        std::filesystem::create_directories(Temporary.Path() / "root/www/tavrin");
        Folder.Write("tavrin.ini", "[Main]\nFTPServer=127.0.0.1:" + std::to_string(Server->Port()) +
                                       "\nFTPUserName=" + EncipherText("u") +
                                       "\nFTPPassword=" + EncipherText(c.Password) + "\nFTPInitialDirectory=/www/\n");

        const auto result = testing::RunProgram("tavrin-cli", "task transfer 7");
        EXPECT_EQ(result.ExitStatus, 1) << result.Output << result.Errors;
        EXPECT_NE(result.Output.find("]: Transfer for job 7 failed: " + c.Reason), std::string::npos) << result.Output;
        EXPECT_EQ(result.Output.find("]: Done.\n"), std::string::npos) << result.Output;
        EXPECT_EQ(result.Output.find("complete."), std::string::npos) << result.Output;

        const auto remote = Temporary.Path() / "root/www/tavrin" / JobID;
        EXPECT_FALSE(std::filesystem::exists(remote / "tile0-0002.tdb.part"));
        EXPECT_FALSE(std::filesystem::exists(remote / "tile0-0001.tdb"));
        // Only the file the server refused stays behind; the others still go.
        EXPECT_EQ(FileBytes(remote / "tile1-0001.tdb"), c.OthersSent ? "more tiles" : "");
    }
}

TEST_F(DeliveryCommands, AServerThatStopsAnsweringEndsTransferAndCommonFilesWithTheStepThatTimedOut)
{
    WriteBytes(Folder.Path(std::string("output/") + JobID + "/index.html"), "<html></html>\n");
    WriteBytes(Folder.Path("images/logo.jpg"), "logo");
    Server = testing::StartScriptedFTPServer(Temporary, {"--silent-at", "STOR"});
    Folder.Write("tavrin.ini", "[Main]\nFTPServer=127.0.0.1:" + std::to_string(Server->Port()) +
                                   "\nFTPUserName=" + EncipherText("u") + "\nFTPPassword=" + EncipherText("secret") +
                                   "\nFTPInitialDirectory=/www/\nFTPReplyTimeout=1\n");

    auto result = testing::RunProgram("tavrin-cli", "task transfer 7");
    EXPECT_EQ(result.ExitStatus, 1) << result.Output << result.Errors;
    const auto failed = result.Output.find("]: Transfer for job 7 failed: 1 file was not sent: ");
    ASSERT_NE(failed, std::string::npos) << result.Output;
    EXPECT_NE(result.Output.find("The FTP server did not answer STOR index.html.part within 1 s: timed out", failed),
              std::string::npos)
        << result.Output;

    result = testing::RunProgram("tavrin-cli", "common-files");
    EXPECT_EQ(result.ExitStatus, 1) << result.Output << result.Errors;
    EXPECT_NE(result.Errors.find("The FTP server did not answer STOR logo.jpg.part within 1 s: timed out"),
              std::string::npos)
        << result.Errors;
    EXPECT_FALSE(std::filesystem::exists(Temporary.Path() / "root/www/tavrin/images/logo.jpg"));
}

// A transfer killed while a file is on its way leaves nothing the viewer
// could take for that file; the next one completes and leaves no
// unfinished name.
TEST_F(DeliveryCommands, ATransferKilledInTheMiddleOfAFileLeavesNoPartOfItUnderARealName)
{
    const std::string local = Folder.Path("output/").string() + JobID + "/";
    WriteBytes(local + "index.html", "<html></html>\n");
    const std::string tiles = NoiseBytes(12 * 1024 * 1024, 6);
    WriteBytes(local + "tile3-0003.tdb", tiles);
    // The server stops taking the file a third of the way in, so that the
    // transfer is surely in the middle of it when it is killed.
    Server = testing::StartScriptedFTPServer(Temporary, {"--stall-after", "4000000"});
    UseServer();
    const auto remote = Temporary.Path() / "root/www/tavrin" / JobID;
    const auto arrived = [&] {
        std::error_code error;
        for (const char* name : {"tile3-0003.tdb", "tile3-0003.tdb.part"})
            if (std::filesystem::file_size(remote / name, error) >= 3000000 && !error)
                return true;
        return false;
    };

    const pid_t transfer = StartProgram({"task", "transfer", "7"});
    ASSERT_GT(transfer, 0);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!arrived() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool inTheMiddle = arrived();
    kill(transfer, SIGKILL);
    int status = 0;
    waitpid(transfer, &status, 0);
    ASSERT_TRUE(inTheMiddle) << FileBytes(Temporary.Path() / "cli-output.txt");

    // Whatever the host holds under a real name is whole.
    EXPECT_FALSE(std::filesystem::exists(remote / "tile3-0003.tdb"));
    for (const auto& entry : std::filesystem::directory_iterator(remote)) {
        const std::string name = entry.path().filename().string();
        if (IsUnfinishedName(name))
            continue;
        EXPECT_TRUE(FileBytes(entry.path()) == FileBytes(local + name)) << name << " is not whole";
    }

    Server = testing::StartScriptedFTPServer(Temporary);
    UseServer();
    const auto result = testing::RunProgram("tavrin-cli", "task transfer 7");
    EXPECT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    EXPECT_TRUE(FileBytes(remote / "tile3-0003.tdb") == tiles);
    EXPECT_EQ(FileBytes(remote / "index.html"), "<html></html>\n");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Temporary.Path() / "root"))
        EXPECT_FALSE(IsUnfinishedName(entry.path().filename().string())) << entry.path();
}

TEST_F(DeliveryCommands, ADeletionThatLeavesAFileExitsWithOneAndNamesIt)
{
    const std::string output = Folder.Path("output/").string();
    WriteBytes(output + JobID + "/index.html", "<html></html>\n");
    WriteBytes(output + JobID + "/tile0-0001.tdb.part", "half");
    WriteBytes(output + JobID + "-0001.tif", "master 1");
    WriteBytes(output + JobID + "-0002.tif.part", "half a master");
    WriteBytes(output + JobID + "-0004.tif/stray.txt", "in the way");
    WriteBytes(output + "20240314092653121-0001.tif", "the next job's master");
    WriteBytes(Temporary.Path() / "root/www/tavrin" / JobID / "index.html", "<html></html>\n");

    const auto result = testing::RunProgram("tavrin-cli", "task delete 7");
    EXPECT_EQ(result.ExitStatus, 1) << result.Output << result.Errors;
    const std::string reason = "Could not delete " + output + JobID + "-0004.tif: Directory not empty";
    EXPECT_NE(result.Output.find("]: Deletion from FTP server for job 7 failed: " + reason + "\n"), std::string::npos)
        << result.Output;
    for (const char* gone : {"/index.html", "/tile0-0001.tdb.part", "-0001.tif", "-0002.tif.part"})
        EXPECT_FALSE(std::filesystem::exists(output + JobID + gone)) << gone;
    EXPECT_EQ(FileBytes(output + "20240314092653121-0001.tif"), "the next job's master");
    EXPECT_FALSE(std::filesystem::exists(Temporary.Path() / "root/www/tavrin" / JobID));
}

// The job leaves the post queue only once its proof is off the web host;
// until then it stays, marked with the reason, and a later Delete tries again.
TEST_F(DeliveryCommands, PostQueueDeleteWithdrawsTheProofOrKeepsTheJobMarkedAndSaysWhy)
{
    const std::string output = Folder.Path("output/").string();
    const auto remote = Temporary.Path() / "root/www/tavrin" / JobID;
    TProofAnswer answer;
    answer.Job = JobID;
    answer.Page = 1;
    answer.Decision = "approve";
    answer.Time = "2026-12-10T09:30:00Z";
    WriteBytes(remote / "index.html", "<html></html>\n");
    WriteBytes(remote / "replies.jsonl", AnswerJson(answer) + "\n");
    WriteBytes(output + JobID + "/index.html", "<html></html>\n");
    WriteBytes(output + JobID + "-0001.tif", "master 1");
    TCatalogueConnection catalogue;
    OpenCatalogueConnection(catalogue, CatalogueFilePath());
    ExecuteStatement(catalogue, "insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (7, "
                                "\"Master, Preview, Web, Transfer\")");
    catalogue.Close();
    const auto nothingDeleted = [&](const std::string& when) {
        EXPECT_EQ(FileBytes(remote / "index.html"), "<html></html>\n") << when;
        EXPECT_EQ(FileBytes(output + JobID + "/index.html"), "<html></html>\n") << when;
        EXPECT_EQ(FileBytes(output + JobID + "-0001.tif"), "master 1") << when;
    };

    // Without an answer the command is a usage error; No deletes nothing.
    auto result = testing::RunProgram("tavrin-cli", "postqueue delete 7");
    EXPECT_EQ(result.ExitStatus, 2) << result.Output << result.Errors;
    EXPECT_NE(result.Errors.find("Usage: tavrin-cli postqueue delete REF --yes|--no"), std::string::npos)
        << result.Errors;
    result = testing::RunProgram("tavrin-cli", "postqueue delete 7 --no");
    EXPECT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    nothingDeleted("without Yes");

    // The host is down: nothing goes, the job stays, marked, and that lasts.
    Server->Stop();
    result = testing::RunProgram("tavrin-cli", "postqueue delete 7 --yes");
    EXPECT_EQ(result.ExitStatus, 1) << result.Output << result.Errors;
    const std::string mark = "Withdrawal failed: Could not log on to the FTP server: ";
    EXPECT_NE(result.Errors.find("tavrin-cli: job 7 stays in the post queue: " + mark), std::string::npos)
        << result.Errors;
    EXPECT_NE(result.Output.find("]: Deletion from FTP server for job 7 failed: Could not log on to the FTP server: "),
              std::string::npos)
        << result.Output;
    nothingDeleted("with the host down");
    result = testing::RunProgram("tavrin-cli", "postqueue list");
    EXPECT_EQ(result.Output.rfind("7\tLeaflet\t" + mark, 0), 0u) << result.Output;

    // The host is back: the answer is kept, the folder goes, then the files here and the job.
    Server = testing::StartScriptedFTPServer(Temporary);
    Folder.Write("tavrin.ini", "[Main]\nFTPServer=127.0.0.1:" + std::to_string(Server->Port()) +
                                   "\nFTPUserName=" + EncipherText("u") + "\nFTPPassword=" + EncipherText("secret") +
                                   "\nFTPInitialDirectory=/www/\n");
    result = testing::RunProgram("tavrin-cli", "postqueue delete 7 --yes then postqueue list");
    EXPECT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    EXPECT_FALSE(std::filesystem::exists(remote));
    EXPECT_TRUE(std::filesystem::is_directory(remote.parent_path()));
    EXPECT_FALSE(std::filesystem::exists(output + JobID));
    EXPECT_FALSE(std::filesystem::exists(output + JobID + "-0001.tif"));
    EXPECT_EQ(result.Output.find("7\tLeaflet"), std::string::npos) << result.Output;
    OpenCatalogueConnection(catalogue, CatalogueFilePath());
    TRecordSet rows;
    OpenQuery(catalogue, rows, "select * from AnswerList where AnswerListJobReference = 7");
    ASSERT_FALSE(rows.Eof());
    EXPECT_EQ(FieldValue(rows, "AnswerListDecision"), "approve");
    CloseQuery(rows);
    EXPECT_FALSE(StatementReturnsRows(catalogue, "select * from PostQueueList"));
    catalogue.Close();
}

}  // namespace
}  // namespace tavrin
