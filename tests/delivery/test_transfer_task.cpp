#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"
#include "base/platform/MessageBox.h"
#include "base/text/TextRules.h"
#include "engines/delivery/NotifyMessage.h"
#include "engines/delivery/TransferHelpers.h"
#include "tasks/delivery/DeleteThread.h"
#include "tasks/delivery/TransferCommonFiles.h"
#include "tasks/delivery/TransferThread.h"
#include "tests/delivery/DeliveryFixture.h"
#include "tests/support/TaskContexts.h"

namespace tavrin {
namespace {

using testing::FileBytes;
using testing::NoiseBytes;
using testing::WriteBytes;

constexpr const char* FirstID = "20240314092653120";
constexpr const char* SecondID = "20240314092653121";

class TransferTask : public testing::DeliveryFixture {
protected:
    // A job folder as the web task leaves it: the two pages and ten tile databases.
    std::vector<std::string> WriteJobFolder(const std::string& uniqueID)
    {
        std::vector<std::string> names = {"index.html", "print.html"};
        for (int page = 1; page <= 2; ++page)
            for (int zoom = 0; zoom <= 4; ++zoom)
                names.push_back("tile" + std::to_string(zoom) + PageNumberText(page) + ".tdb");
        unsigned seed = 10;
        for (const std::string& name : names)
            WriteBytes(Local("output/" + uniqueID + "/" + name),
                       IsTextTransferName(name) ? "<html>\n" + name + "\n</html>\n" : NoiseBytes(30000, ++seed));
        return names;
    }

    void WriteSharedFiles(const std::vector<std::string>& files)
    {
        unsigned seed = 50;
        for (const std::string& file : files)
            WriteBytes(Local(file), NoiseBytes(2000, ++seed));
    }

    // The progress values of the "Done sending " lines of files in the folder.
    static std::vector<int> DoneProgress(const testing::TPostedMessages& posted, const std::string& folder)
    {
        std::vector<int> values;
        for (const auto& [text, progress] : posted.LogStartingWith("Done sending " + folder))
            values.push_back(progress);
        return values;
    }
};

TEST_F(TransferTask, AFreshServerGetsTheSystemFolderTheJobFolderAndEverySharedFile)
{
    StartServer();
    UseServer();
    AddJob(7, FirstID);
    const auto jobFiles = WriteJobFolder(FirstID);
    WriteSharedFiles({"scripts/tavrin.js", "images/logo.jpg", "images/zoom-in.png"});

    const auto posted = RunTask(new TTransferThread(Messages, TaskContext(7)));
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_EQ(posted.Completions[0].Number, WM_TRANSFER_DONE);
    EXPECT_EQ(posted.Completions[0].JobReference, 7u);
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;

    const std::string local = Local("output/").string() + FirstID + "/";
    ASSERT_GE(posted.Log.size(), 2u);
    EXPECT_EQ(posted.Log[0], std::make_pair("Local Path: " + local, 0));
    EXPECT_EQ(posted.Log[1], std::make_pair("Remote Path: /tavrin/" + std::string(FirstID) + "/", -1));
    EXPECT_EQ(posted.LogStartingWith("Sending " + local).size(), 12u);
    EXPECT_EQ(DoneProgress(posted, local), (std::vector<int>{0, 8, 17, 25, 33, 42, 50, 58, 67, 75, 83, 92}));
    EXPECT_EQ(posted.LogStartingWith("Sending " + ProgramFolder()).size(), 12u + 3u);
    EXPECT_EQ(posted.Log.back(), std::make_pair(std::string("Done."), 100));
    EXPECT_EQ(posted.TaskLog.back(), std::make_pair(std::string(), 100));

    for (const std::string& name : jobFiles)
        EXPECT_EQ(FileBytes(ServerRoot() / "tavrin" / FirstID / name), FileBytes(local + name)) << name;
    for (const char* shared : {"scripts/tavrin.js", "images/logo.jpg", "images/zoom-in.png"})
        EXPECT_EQ(FileBytes(ServerRoot() / "tavrin" / shared), FileBytes(Local(shared))) << shared;
    // A listing web server shows nothing of tavrin/ and the shared folders.
    for (const char* folder : {"tavrin/", "tavrin/scripts/", "tavrin/images/"}) {
        const std::string page = FileBytes(ServerRoot() / folder / "index.html");
        EXPECT_NE(page.find("<body></body>"), std::string::npos) << folder;
        EXPECT_EQ(posted.LogStartingWith("Done sending an empty /" + std::string(folder) + "index.html").size(), 1u);
    }
    // Plain listings: the server here, like many, does not expand "*.*".
    EXPECT_EQ(CommandCount("NLST"), 3u);

    // "tavrin/" hides its listing before the job's folder is made in it.
    const auto commands = Commands();
    const auto hidden = std::find(commands.begin(), commands.end(), "RNTO index.html");
    const auto made = std::find(commands.begin(), commands.end(), "MKD " + std::string(FirstID));
    ASSERT_NE(made, commands.end());
    EXPECT_LT(hidden, made);
    // Every file arrived under its unfinished name and has its real one now.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(ServerRoot()))
        EXPECT_FALSE(IsUnfinishedName(entry.path().filename().string())) << entry.path();
    // The job's page and the three empty ones.
    EXPECT_EQ(CommandCount("STOR index.html.part"), 1u + 3u);
    EXPECT_EQ(CommandCount("RNTO index.html"), 1u + 3u);
}

TEST_F(TransferTask, ASecondJobSendsOnlyItsOwnFilesAndTheSharedOnesTheServerLacks)
{
    WriteBytes(ServerRoot() / "tavrin/index.html", "the shop's own index");
    WriteBytes(ServerRoot() / "tavrin/scripts/INDEX.HTML", "their scripts index");
    WriteBytes(ServerRoot() / "tavrin/scripts/tavrin.js", "old script");
    WriteBytes(ServerRoot() / "tavrin/images/LOGO.JPG", "their logo");
    WriteBytes(ServerRoot() / "tavrin/images/zoom-in.png", "old zoom");
    StartServer();
    UseServer();
    AddJob(8, SecondID);
    WriteJobFolder(SecondID);
    WriteSharedFiles({"scripts/tavrin.js", "images/logo.jpg", "images/zoom-in.png", "images/new.png"});

    const auto posted = RunTask(new TTransferThread(Messages, TaskContext(8)));
    const std::string images = ProgramFolder() + "images/";
    EXPECT_EQ(posted.LogStartingWith("Sending " + Local("output/").string()).size(), 12u);
    EXPECT_TRUE(posted.LogStartingWith("Sending " + ProgramFolder() + "scripts/").empty());
    // Only the new image is sent; its progress counts every local image, sent or not.
    const auto imageNames = ListFolderFiles(images);
    const auto newIndex = std::find(imageNames.begin(), imageNames.end(), "new.png") - imageNames.begin();
    EXPECT_EQ(posted.LogStartingWith("Sending " + images),
              (std::vector<std::pair<std::string, int>>{{"Sending " + images + "new.png", -1}}));
    EXPECT_EQ(DoneProgress(posted, images),
              std::vector<int>{RoundedPercent(newIndex, static_cast<std::int64_t>(imageNames.size()))});

    EXPECT_EQ(FileBytes(ServerRoot() / "tavrin/images/LOGO.JPG"), "their logo");
    EXPECT_EQ(FileBytes(ServerRoot() / "tavrin/scripts/tavrin.js"), "old script");
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin/images/logo.jpg"));
    EXPECT_EQ(FileBytes(ServerRoot() / "tavrin/images/new.png"), FileBytes(images + "new.png"));
    // Index pages already there stay; only images/ lacked one.
    EXPECT_EQ(FileBytes(ServerRoot() / "tavrin/index.html"), "the shop's own index");
    EXPECT_EQ(FileBytes(ServerRoot() / "tavrin/scripts/INDEX.HTML"), "their scripts index");
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin/scripts/index.html"));
    EXPECT_EQ(posted.LogStartingWith("Sending an empty "),
              (std::vector<std::pair<std::string, int>>{{"Sending an empty /tavrin/images/index.html", -1}}));
}

TEST_F(TransferTask, EachFailureIsLoggedAndFailsTheTask)
{
    StartServer();
    UseServer();
    // No job: only the completion, which fails.
    auto posted = RunTask(new TTransferThread(Messages, TaskContext(99)));
    EXPECT_TRUE(posted.Log.empty());
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_EQ(posted.Completions[0].FailureReason, "Job 99 is not in the catalogue.");

    // A job without a unique id would name the whole output folder: nothing is sent.
    AddJob(9, "");
    WriteBytes(Local("output/stray.tif"), "another job's master");
    posted = RunTask(new TTransferThread(Messages, TaskContext(9)));
    EXPECT_EQ(posted.LogTexts(), std::vector<std::string>{"Job 9 has no unique id; no files are sent."});
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_TRUE(Commands().empty()) << "no session for such a job";

    // A logon that fails, and a job folder the server will not make.
    AddJob(10, FirstID);
    WriteJobFolder(FirstID);
    Settings.Update([](TSettingsRecord& settings) { settings.FTPPassword = "wrong"; });
    posted = RunTask(new TTransferThread(Messages, TaskContext(10)));
    ASSERT_EQ(posted.Log.size(), 2u);
    EXPECT_EQ(posted.Log[1].first.rfind("Error sending files. 530 ", 0), 0u) << posted.Log[1].first;
    EXPECT_EQ(posted.Log[1].second, 100);
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_EQ(posted.Completions[0].FailureReason.rfind("Could not log on to the FTP server: 530 ", 0), 0u)
        << posted.Completions[0].FailureReason;

    StartServer({"--refuse-mkd"});
    UseServer();
    posted = RunTask(new TTransferThread(Messages, TaskContext(10)));
    ASSERT_EQ(posted.Log.size(), 3u);
    EXPECT_EQ(posted.Log[1].first, "Remote Path: /tavrin/" + std::string(FirstID) + "/");
    EXPECT_EQ(posted.Log[2], std::make_pair(std::string("Error sending files. 550 Folders cannot be made here."), 100));
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_EQ(posted.Completions[0].FailureReason,
              "Could not reach the remote folder /tavrin/: 550 Folders cannot be made here.");
    std::filesystem::create_directories(ServerRoot() / "tavrin");
    posted = RunTask(new TTransferThread(Messages, TaskContext(10)));
    EXPECT_EQ(posted.Completions[0].FailureReason, "Could not reach the remote folder /tavrin/" + std::string(FirstID) +
                                                       "/: 550 Folders cannot be made here.");

    // The job folder exists but the shared ones cannot be made: the job's files go, the task fails.
    std::filesystem::create_directories(ServerRoot() / "tavrin" / FirstID);
    WriteSharedFiles({"scripts/tavrin.js", "images/logo.jpg"});
    posted = RunTask(new TTransferThread(Messages, TaskContext(10)));
    EXPECT_EQ(posted.LogStartingWith("Done sending ").size(), 12u);
    const std::string unreached =
        "Could not reach the remote folder /tavrin/scripts/: 550 Folders cannot be made here.";
    EXPECT_EQ(posted.LogStartingWith("Could not reach "), (std::vector<std::pair<std::string, int>>{{unreached, -1}}));
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_EQ(posted.Completions[0].FailureReason, unreached);
    EXPECT_TRUE(posted.LogStartingWith("Done.").empty());

    // Every file refused: "tavrin/" cannot hide its listing, so no job folder is made in it.
    std::filesystem::remove_all(ServerRoot());
    StartServer({"--refuse-stor"});
    UseServer();
    posted = RunTask(new TTransferThread(Messages, TaskContext(10)));
    const std::string refused = "550 Uploads are refused here.";
    EXPECT_EQ(posted.Log,
              (std::vector<std::pair<std::string, int>>{{"Local Path: " + Local("output/").string() + FirstID + "/", 0},
                                                        {"Remote Path: /tavrin/" + std::string(FirstID) + "/", -1},
                                                        {"Sending an empty /tavrin/index.html", -1},
                                                        {refused, -1},
                                                        {refused, -1},
                                                        {refused, -1},
                                                        {"Could not send an empty /tavrin/index.html", -1},
                                                        {"Error sending files. " + refused, 100}}));
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_EQ(posted.Completions[0].FailureReason,
              "1 file was not sent: an empty /tavrin/index.html (" + refused + ")");
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin" / FirstID));
}

TEST_F(TransferTask, AFileThatCannotBeSentFailsTheTaskWhileTheOthersArrive)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> ServerOptions;
        bool Unreadable;  // the file is a link to nothing: it cannot be opened here
        std::string Why;  // the reason in the completion, after the file's path
    };
    const std::string local = Local("output/").string() + FirstID + "/";
    const TCase cases[] = {
        {"refused by the server", {"--refuse-stor-of", "tile2-0001.tdb"}, false, " (550 Uploads are refused here.)"},
        {"unreadable here", {}, true, " (Could not open the file " + local + "tile2-0001.tdb.)"},
    };
    AddJob(10, FirstID);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(ServerRoot());
        std::filesystem::remove_all(Local("output"));
        const auto names = WriteJobFolder(FirstID);
        if (c.Unreadable) {
            std::filesystem::remove(local + "tile2-0001.tdb");
            std::filesystem::create_symlink(local + "gone.tdb", local + "tile2-0001.tdb");
        }
        StartServer(c.ServerOptions);
        UseServer();
        ClearCommands();
        const auto posted = RunTask(new TTransferThread(Messages, TaskContext(10)));

        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_TRUE(posted.Completions[0].Failed);
        EXPECT_EQ(posted.Completions[0].FailureReason, "1 file was not sent: " + local + "tile2-0001.tdb" + c.Why);
        const auto listed = ListFolderFiles(local);
        const auto index = std::find(listed.begin(), listed.end(), "tile2-0001.tdb") - listed.begin();
        EXPECT_EQ(posted.LogStartingWith("Could not send "),
                  (std::vector<std::pair<std::string, int>>{
                      {"Could not send " + local + "tile2-0001.tdb", RoundedPercent(index, 12)}}));
        for (const std::string& name : names) {
            if (name == "tile2-0001.tdb")
                continue;
            EXPECT_EQ(FileBytes(ServerRoot() / "tavrin" / FirstID / name), FileBytes(local + name)) << name;
        }
        EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin" / FirstID / "tile2-0001.tdb"));
        // A file that cannot be opened costs no attempt on the server.
        EXPECT_EQ(CommandCount("STOR tile2-0001.tdb.part"), c.Unreadable ? 0u : 3u);
    }
}

// A server that stops answering costs each attempt no more than its
// time-out, and once it has timed out at log-on or on three attempts in a
// row no further file waits for it.
TEST_F(TransferTask, AServerThatStopsAnsweringFailsTheTaskWithTheStepThatTimedOut)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> ServerOptions;
        std::string Reason;  // what the completion's reason holds
        std::size_t Stores;  // STOR commands the server received
        bool JobFilesTried;
    };
    const TCase cases[] = {
        {"no greeting",
         {"--silent-at", "greeting"},
         "Could not log on to the FTP server: The FTP server sent no greeting within 1 s: timed out",
         0,
         false},
        {"silent at CWD",
         {"--silent-at", "CWD"},
         "Could not reach the remote folder /tavrin/: The FTP server did not answer CWD within 1 s: timed out",
         0,
         false},
        {"silent at STOR",
         {"--silent-at", "STOR"},
         "1 file was not sent: an empty /tavrin/index.html (The FTP server did not answer STOR index.html.part "
         "within 1 s: timed out)",
         3,
         false},
        {"a data connection that stalls every time",
         {"--stall-after", "100000"},
         "The upload of big.tdb.part stalled for 2 s: timed out",
         3,
         true},
    };
    AddJob(10, FirstID);
    const std::string local = Local("output/").string() + FirstID + "/";
    WriteBytes(local + "index.html", "<html></html>\n");
    // Larger than what the kernel's socket buffers take in before the sender blocks.
    WriteBytes(local + "big.tdb", NoiseBytes(12 * 1024 * 1024, 3));
    WriteSharedFiles({"scripts/tavrin.js"});
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(ServerRoot());
        StartServer(c.ServerOptions);
        LoadSettingsFile("FTPReplyTimeout=1\nFTPStallTimeout=2\n");
        UseServer();
        ClearCommands();
        const auto posted = RunTask(new TTransferThread(Messages, TaskContext(10)));

        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_TRUE(posted.Completions[0].Failed);
        const std::string& reason = posted.Completions[0].FailureReason;
        EXPECT_NE(reason.find(c.Reason), std::string::npos) << reason;
        EXPECT_NE(reason.find(": timed out"), std::string::npos) << reason;
        const auto commands = Commands();
        std::vector<std::string> stores;
        std::copy_if(commands.begin(), commands.end(), std::back_inserter(stores),
                     [](const std::string& line) { return line.rfind("STOR ", 0) == 0; });
        // The empty index page of "tavrin/" goes before the job's files.
        if (c.JobFilesTried && !stores.empty() && stores.front() == "STOR index.html.part")
            stores.erase(stores.begin());
        EXPECT_EQ(stores.size(), c.Stores);
        // The three attempts are all of one file; no other file waited after them.
        EXPECT_TRUE(std::all_of(stores.begin(), stores.end(), [&](const std::string& s) { return s == stores[0]; }));
        if (c.JobFilesTried) {
            EXPECT_NE(reason.find(" files were not sent: "), std::string::npos) << reason;
            EXPECT_NE(reason.find("Could not reach the remote folder /tavrin/scripts/: "), std::string::npos) << reason;
            const auto timedOut = std::count_if(posted.Log.begin(), posted.Log.end(), [](const auto& line) {
                return line.first.find(": timed out") != std::string::npos;
            });
            EXPECT_GE(timedOut, 3) << "each attempt's time-out is a log line";
        }
    }
}

TEST_F(TransferTask, AStalledUploadIsAFailedAttemptAndTheNextOneSendsTheFile)
{
    AddJob(10, FirstID);
    const std::string local = Local("output/").string() + FirstID + "/";
    WriteBytes(local + "index.html", "<html></html>\n");
    WriteBytes(local + "big.tdb", NoiseBytes(12 * 1024 * 1024, 4));
    StartServer({"--stall-after", "100000", "--stall-once"});
    LoadSettingsFile("FTPStallTimeout=1\n");
    UseServer();
    const auto posted = RunTask(new TTransferThread(Messages, TaskContext(10)));

    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    EXPECT_EQ(FileBytes(ServerRoot() / "tavrin" / FirstID / "big.tdb"), FileBytes(local + "big.tdb"));
    EXPECT_EQ(
        posted.LogStartingWith("The upload of big.tdb"),
        (std::vector<std::pair<std::string, int>>{{"The upload of big.tdb.part stalled for 1 s: timed out", -1}}));
    EXPECT_EQ(CommandCount("STOR big.tdb.part"), 2u);
    EXPECT_EQ(posted.Log.back(), std::make_pair(std::string("Done."), 100));
}

TEST_F(TransferTask, UnfinishedFilesOfAKilledRunAreNeverSent)
{
    StartServer();
    UseServer();
    AddJob(10, FirstID);
    WriteJobFolder(FirstID);
    const std::string local = Local("output/").string() + FirstID + "/";
    WriteBytes(local + "tile0-0001.tdb.part", "half a tile database");
    WriteBytes(Local("images/zoom-in.png.part"), "half a picture");
    WriteBytes(Local("images/logo.jpg"), "logo");

    const auto posted = RunTask(new TTransferThread(Messages, TaskContext(10)));
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    EXPECT_EQ(posted.LogStartingWith("Sending " + local).size(), 12u);
    EXPECT_EQ(DoneProgress(posted, local).back(), 92) << "the leftover counts for no file";
    EXPECT_EQ(posted.Log.back(), std::make_pair(std::string("Done."), 100));
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin" / FirstID / "tile0-0001.tdb.part"));
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin/images/zoom-in.png.part"));
    EXPECT_EQ(FileBytes(ServerRoot() / "tavrin/images/logo.jpg"), "logo");
    // Files go under their unfinished names, but a leftover is never among them.
    for (const std::string& line : Commands()) {
        EXPECT_EQ(line.find(".part.part"), std::string::npos) << line;
        EXPECT_FALSE(line.rfind("RNTO ", 0) == 0 && IsUnfinishedName(line)) << line;
    }
}

// The job's folder on the web host carries its secret; the local folder
// keeps the unique id alone. A job catalogued before secrets keeps its old
// folder, and a damaged secret never falls back to it.
TEST_F(TransferTask, AJobWithASecretIsUploadedAndDeletedAtItsPrivateFolderAndALinkCarriesIt)
{
    StartServer();
    UseServer();
    const std::string secret = "00112233445566778899aabbccddeeff";
    const std::string remoteName = std::string(FirstID) + "-" + secret;
    AddJob(7, FirstID, secret);
    AddJob(8, SecondID);
    const auto names = WriteJobFolder(FirstID);
    WriteJobFolder(SecondID);

    auto posted = RunTask(new TTransferThread(Messages, TaskContext(7)));
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    // The log shows which folder, not the key to it.
    EXPECT_EQ(
        posted.LogStartingWith("Remote Path: "),
        (std::vector<std::pair<std::string, int>>{{"Remote Path: /tavrin/" + std::string(FirstID) + "-0011.../", -1}}));
    for (const auto& line : posted.Log)
        EXPECT_EQ(line.first.find(secret), std::string::npos) << line.first;
    for (const auto& line : posted.TaskLog)
        EXPECT_EQ(line.first.find(secret), std::string::npos) << line.first;
    for (const std::string& name : names)
        EXPECT_TRUE(std::filesystem::exists(ServerRoot() / "tavrin" / remoteName / name)) << name;
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin" / FirstID));
    posted = RunTask(new TTransferThread(Messages, TaskContext(8)));
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    EXPECT_TRUE(std::filesystem::exists(ServerRoot() / "tavrin" / SecondID / "index.html"));

    TJobDetailRecord job;
    LoadJobDetail(Catalogue, 7, job);
    Settings.Update([](TSettingsRecord& settings) { settings.WebRoot = "https://proofs.example.com/"; });
    EXPECT_NE(NotifyMessageFor(job, "", Settings.Copy())
                  .PlainText.find("https://proofs.example.com/tavrin/" + remoteName + "/ to review"),
              std::string::npos);

    posted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin" / remoteName));
    posted = RunTask(new TDeleteThread(Messages, TaskContext(8)));
    EXPECT_FALSE(posted.Completions[0].Failed) << posted.Completions[0].FailureReason;
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin" / SecondID));

    AddJob(9, "20240314092653122", "00112233445566778899AABBCCDDEEFF");
    WriteJobFolder("20240314092653122");
    ClearCommands();
    posted = RunTask(new TTransferThread(Messages, TaskContext(9)));
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_EQ(posted.Completions[0].FailureReason,
              "Job 9 has the secret \"00112233445566778899AABBCCDDEEFF\", which is not 32 lower-case hexadecimal "
              "digits; no files are sent.");
    EXPECT_TRUE(Commands().empty());
}

// A security choice or pin that is not one is never read as plain FTP.
TEST_F(TransferTask, ASecurityChoiceOrFingerprintThatIsNoneFailsBeforeConnecting)
{
    StartServer();
    UseServer();
    AddJob(10, FirstID);
    WriteJobFolder(FirstID);
    const std::pair<std::string, std::string> settings[] = {
        {"SSL", ""},
        {"TLS", "not a fingerprint"},
    };
    const std::string expected[] = {
        "Could not log on to the FTP server: FTP Security \"SSL\" is not None or TLS; nothing is sent",
        "Could not log on to the FTP server: FTP Server Fingerprint \"not a fingerprint\" is not a SHA-256 "
        "fingerprint; nothing is sent",
    };
    for (std::size_t index = 0; index < std::size(settings); ++index) {
        Settings.Update([&](TSettingsRecord& record) {
            record.FTPSecurity = settings[index].first;
            record.FTPServerFingerprint = settings[index].second;
        });
        const auto posted = RunTask(new TTransferThread(Messages, TaskContext(10)));
        ASSERT_EQ(posted.Completions.size(), 1u);
        EXPECT_TRUE(posted.Completions[0].Failed);
        EXPECT_EQ(posted.Completions[0].FailureReason, expected[index]);
        EXPECT_TRUE(Commands().empty()) << Commands().front();
    }
}

TEST_F(TransferTask, AProofWithoutItsIndexPageIsRefusedBeforeConnecting)
{
    StartServer();
    UseServer();
    AddJob(10, FirstID);
    WriteJobFolder(FirstID);
    const std::string local = Local("output/").string() + FirstID + "/";
    // A web task that was killed while writing the page leaves only its unfinished name.
    std::filesystem::rename(local + "index.html", local + "index.html.part");

    const auto posted = RunTask(new TTransferThread(Messages, TaskContext(10)));
    const std::string refusal = "The web proof is not complete: " + local + "index.html is missing; no files are sent.";
    EXPECT_EQ(posted.Log, (std::vector<std::pair<std::string, int>>{{"Local Path: " + local, 0}, {refusal, 100}}));
    ASSERT_EQ(posted.Completions.size(), 1u);
    EXPECT_TRUE(posted.Completions[0].Failed);
    EXPECT_EQ(posted.Completions[0].FailureReason, refusal);
    EXPECT_TRUE(Commands().empty());
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin"));
}

TEST_F(TransferTask, CommonFilesAreSentInFullOverPORTAndAnErrorEndsThemRaisingItsReason)
{
    std::filesystem::create_directories(ServerRoot() / "www/tavrin");
    StartServer();
    UseServer("/www/");
    WriteSharedFiles({"images/logo.jpg", "images/zoom-in.png", "scripts/tavrin.js"});
    WriteBytes(Local("images/half.png.part"), "what a killed run left");
    std::vector<std::string> boxes;
    SetMessageBoxHook([&](const std::string& caption, const std::string& text, TMessageBoxIcon) {
        boxes.push_back(caption + ": " + text);
    });

    // Twice: the second time the folders exist and their MKD fails harmlessly.
    for (int round = 0; round < 2; ++round) {
        TStationLog log;
        ASSERT_NO_THROW(TransferCommonFiles(Settings.Copy(), log));
        std::vector<std::string> texts;
        for (const std::string& line : log.Lines())
            texts.push_back(line.substr(line.find("]: ") + 3));
        EXPECT_EQ(texts.size(), 3u * 2u + 2u);
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "Done"), 2);
        EXPECT_EQ(texts.back(), "Done");
        EXPECT_EQ(texts[texts.size() - 3], "Sending " + ProgramFolder() + "scripts/tavrin.js");
    }
    for (const char* shared : {"images/logo.jpg", "images/zoom-in.png", "scripts/tavrin.js"})
        EXPECT_EQ(FileBytes(ServerRoot() / "www/tavrin" / shared), FileBytes(Local(shared))) << shared;
    EXPECT_EQ(CommandCount("CWD /www/tavrin/images"), 2u);
    EXPECT_EQ(CommandCount("PASV"), 0u);
    EXPECT_EQ(CommandCount("TYPE I"), 4u);
    // Each file got its name when whole; a leftover of a killed run is never sent.
    EXPECT_EQ(CommandCount("RNTO logo.jpg"), 2u);
    EXPECT_EQ(CommandCount("STOR half.png.part"), 0u);
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "www/tavrin/images/half.png.part"));

    // A hand-edited initial directory without its slash names "/wwwtavrin/images", which cannot be made.
    // The caller shows the reason, as the server said it without its line end.
    UseServer("/www");
    TStationLog log;
    try {
        TransferCommonFiles(Settings.Copy(), log);
        ADD_FAILURE() << "an unreachable folder did not raise";
    } catch (const std::runtime_error& error) {
        const std::string reason = error.what();
        EXPECT_EQ(reason.rfind("550 ", 0), 0u) << reason;
        EXPECT_EQ(reason, Trimmed(reason));
    }
    // Nothing below the station shows a box, not even for a failure.
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(CommandCount("MKD /wwwtavrin/images"), 1u);
    SetMessageBoxHook({});
}

}  // namespace
}  // namespace tavrin
