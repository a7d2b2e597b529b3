#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/ProofAnswers.h"
#include "base/platform/MessageBox.h"
#include "engines/delivery/TransferHelpers.h"
#include "tasks/delivery/AnswersThread.h"
#include "tasks/delivery/DeleteThread.h"
#include "tasks/delivery/TransferCommonFiles.h"
#include "tasks/delivery/TransferThread.h"
#include "tests/delivery/DeliveryFixture.h"
#include "tests/delivery/ProofFixture.h"
#include "tests/delivery/TestCertificate.h"
#include "tests/support/TaskContexts.h"

#include <unistd.h>

#include <iostream>
#include <sstream>

namespace tavrin {
namespace {

using testing::FileBytes;
using testing::WriteBytes;

constexpr const char* JobID = "20240314092653120";

// Debian's vsftpd, a production server, on a free port with a configuration
// of its own (tests/delivery/vsftpd_server.py).
class VsftpdUpload : public testing::DeliveryFixture {
protected:
    void SetUp() override
    {
        DeliveryFixture::SetUp();
        if (geteuid() != 0 || !std::filesystem::exists("/usr/sbin/vsftpd"))
            GTEST_SKIP() << "vsftpd runs only as root here (its chroot); tools/install-dependencies.sh installs it";
        Server = std::make_unique<testing::TServerProcess>(
            std::vector<std::string>{"/usr/bin/python3", testing::SourcePath("tests/delivery/vsftpd_server.py"),
                                     "--folder", Temporary.Path().string(), "--port-file",
                                     (Temporary.Path() / "port").string()},
            Temporary.Path() / "port");
        Settings.Update([&](TSettingsRecord& settings) {
            settings.FTPServer = "127.0.0.1:" + std::to_string(Server->Port());
            settings.FTPUserName = "anonymous";
            settings.FTPPassword = "proofs@example.com";
            settings.FTPInitialDirectory = "/www/";
            settings.FTPPassiveMode = true;
            settings.FTPUseKeepAlives = true;
        });
    }
};

TEST_F(VsftpdUpload, AProofArrivesByteForByteAndItsRemoteDeletionLeavesNoJobFolder)
{
    AddJob(7, JobID);
    const std::string local = Local("output/").string() + JobID + "/";
    Folder.CopyStationFile("tavrin.js");
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A sanitizer makes the render take minutes; the upload sees the same names and sizes.
    const auto names = testing::WriteWebProofStandIn(JobID);
#else
    const auto names = testing::WriteWebProof(TaskContext(7), JobID, Messages);
    // The stand-in the sanitizer builds upload is still a proof's names and sizes.
    ASSERT_EQ(names.size(), std::size(testing::WebProofFiles));
    for (const auto& file : testing::WebProofFiles) {
        const auto size = std::filesystem::file_size(local + file.Name);
        EXPECT_TRUE(size > file.Size / 2 && size < file.Size * 2) << file.Name << " has " << size << " bytes";
    }
#endif
    WriteBytes(Local("scripts/tavrin.js"), "function zoom() {}\n");
    WriteBytes(Local("images/logo.jpg"), testing::NoiseBytes(20000, 5));

    const auto sent = RunTask(new TTransferThread(Messages, TaskContext(7)));
    EXPECT_EQ(sent.Log.back(), std::make_pair(std::string("Done."), 100));
    EXPECT_TRUE(sent.LogStartingWith("Could not send ").empty());
    const auto remote = ServerRoot() / "www/tavrin";
    EXPECT_EQ(ListFolderFiles((remote / JobID).string()).size(), names.size());
    for (const std::string& name : ListFolderFiles(local))
        EXPECT_TRUE(FileBytes(remote / JobID / name) == FileBytes(local + name)) << name << " differs";
    EXPECT_EQ(FileBytes(remote / "scripts/tavrin.js"), FileBytes(Local("scripts/tavrin.js")));
    EXPECT_EQ(FileBytes(remote / "images/logo.jpg"), FileBytes(Local("images/logo.jpg")));

    const auto deleted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
    EXPECT_EQ(deleted.LogStartingWith("Done deleting /www/tavrin/" + std::string(JobID) + "//").size(), names.size());
    EXPECT_TRUE(deleted.LogStartingWith("Could not delete").empty());
    EXPECT_FALSE(std::filesystem::exists(remote / JobID));
    EXPECT_FALSE(std::filesystem::exists(local));
    // The shared files stay for the other jobs.
    EXPECT_TRUE(std::filesystem::exists(remote / "images/logo.jpg"));
}

// vsftpd with TLS forced on logins and data, its certificate self-signed
// by the test; the conversation is read back from vsftpd's protocol log.
class VsftpdTLS : public testing::DeliveryFixture {
protected:
    void SetUp() override
    {
        DeliveryFixture::SetUp();
        if (geteuid() != 0 || !std::filesystem::exists("/usr/sbin/vsftpd"))
            GTEST_SKIP() << "vsftpd runs only as root here (its chroot); tools/install-dependencies.sh installs it";
        Certificate = testing::MakeTestCertificate(Temporary.Path());
    }

    void StartVsftpd(bool tls)
    {
        std::vector<std::string> command = {"/usr/bin/python3", testing::SourcePath("tests/delivery/vsftpd_server.py"),
                                            "--folder",         Temporary.Path().string(),
                                            "--port-file",      (Temporary.Path() / "port").string()};
        if (tls)
            command.insert(command.end(), {"--tls-certificate", Certificate.Certificate.string(), "--tls-key",
                                           Certificate.Key.string()});
        Server.reset();
        std::filesystem::remove(Temporary.Path() / "port");
        Server = std::make_unique<testing::TServerProcess>(command, Temporary.Path() / "port");
        Settings.Update([&](TSettingsRecord& settings) {
            settings.FTPServer = "127.0.0.1:" + std::to_string(Server->Port());
            settings.FTPUserName = "anonymous";
            settings.FTPPassword = "proofs@example.com";
            settings.FTPInitialDirectory = "/www/";
            settings.FTPSecurity = "TLS";
            settings.FTPServerFingerprint = Certificate.Fingerprint;
        });
    }

    // The commands vsftpd received, in order, as its protocol log has them.
    std::vector<std::string> Conversation() const
    {
        std::vector<std::string> commands;
        std::istringstream log(FileBytes(Temporary.Path() / "vsftpd.log"));
        const std::string marker = "FTP command: Client \"127.0.0.1\", \"";
        for (std::string line; std::getline(log, line);) {
            const std::size_t at = line.find(marker);
            if (at != std::string::npos)
                commands.push_back(line.substr(at + marker.size(), line.size() - at - marker.size() - 1));
        }
        return commands;
    }

    static bool Says(const std::vector<std::string>& commands, const std::string& beginning)
    {
        return std::any_of(commands.begin(), commands.end(),
                           [&](const std::string& command) { return command.rfind(beginning, 0) == 0; });
    }

    void WriteSmallProof(const std::string& uniqueID)
    {
        WriteBytes(Local("output/" + uniqueID + "/index.html"), "<html>proof</html>\n");
        WriteBytes(Local("output/" + uniqueID + "/tile0-0001.tdb"), testing::NoiseBytes(300000, 3));
        WriteBytes(Local("scripts/tavrin.css"), "body {}\n");
        WriteBytes(Local("images/logo.jpg"), testing::NoiseBytes(20000, 5));
    }

    testing::TTestCertificate Certificate;
};

TEST_F(VsftpdTLS, UploadDeletionAndCommonFilesTravelInTLSWithThePinnedFingerprint)
{
    StartVsftpd(true);
    const std::string secret = "8f14e45fceea167a5a36dedd4bea2543";
    const std::string remoteName = std::string(JobID) + "-" + secret;
    AddJob(7, JobID, secret);
    WriteSmallProof(JobID);

    const auto sent = RunTask(new TTransferThread(Messages, TaskContext(7)));
    ASSERT_EQ(sent.Completions.size(), 1u);
    EXPECT_FALSE(sent.Completions[0].Failed) << sent.Completions[0].FailureReason;
    const auto remote = ServerRoot() / "www/tavrin";
    EXPECT_EQ(FileBytes(remote / remoteName / "tile0-0001.tdb"),
              FileBytes(Local("output/" + std::string(JobID) + "/tile0-0001.tdb")));
    EXPECT_EQ(FileBytes(remote / "images/logo.jpg"), FileBytes(Local("images/logo.jpg")));
    EXPECT_TRUE(std::filesystem::exists(remote / "index.html"));

    const auto commands = Conversation();
    ASSERT_GE(commands.size(), 4u);
    // TLS first; the password only inside it; data only protected.
    EXPECT_EQ(commands[0], "AUTH TLS");
    EXPECT_EQ(commands[1].rfind("USER ", 0), 0u) << commands[1];
    EXPECT_TRUE(Says(commands, "PBSZ 0"));
    EXPECT_TRUE(Says(commands, "PROT P"));
    // One session carried every file: each data connection resumed a TLS
    // session, as vsftpd insists, and none had to be tried again.
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "AUTH TLS"), 1);
    EXPECT_GE(std::count(commands.begin(), commands.end(), "EPSV"), 6);
    // Each file got its name only when whole.
    EXPECT_TRUE(Says(commands, "STOR tile0-0001.tdb.part"));
    EXPECT_TRUE(Says(commands, "RNTO tile0-0001.tdb"));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(remote))
        EXPECT_FALSE(IsUnfinishedName(entry.path().filename().string())) << entry.path();
    std::cout << "FTP conversation over TLS (vsftpd's log):\n";
    for (const std::string& command : commands)
        std::cout << "  " << command << "\n";

    std::vector<std::string> boxes;
    SetMessageBoxHook([&](const std::string& caption, const std::string& text, TMessageBoxIcon) {
        boxes.push_back(caption + ": " + text);
    });
    std::filesystem::remove(remote / "images/logo.jpg");
    TStationLog log;
    EXPECT_NO_THROW(TransferCommonFiles(Settings.Copy(), log));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(FileBytes(remote / "images/logo.jpg"), FileBytes(Local("images/logo.jpg")));

    // The customer's answers come back in TLS too; a job never sent has none yet.
    TProofAnswer answer;
    answer.Job = remoteName;
    answer.Page = 1;
    answer.Decision = "approve";
    answer.Time = "2026-12-10T09:30:00Z";
    WriteBytes(remote / remoteName / "replies.jsonl", AnswerJson(answer) + "\n");
    AddJob(8, "20240314092653121");
    const auto fetched = RunTask(new TAnswersThread(Messages, TaskContext(0), {7, 8}));
    ASSERT_EQ(fetched.Completions.size(), 1u);
    EXPECT_FALSE(fetched.Completions[0].Failed) << fetched.Completions[0].FailureReason;
    answer.Source = "web";
    EXPECT_EQ(LoadProofAnswers(Catalogue, 7), std::vector<TProofAnswer>{answer});
    EXPECT_TRUE(Says(Conversation(), "RETR /www/tavrin/" + remoteName + "/replies.jsonl"));

    const auto deleted = RunTask(new TDeleteThread(Messages, TaskContext(7)));
    EXPECT_FALSE(deleted.Completions[0].Failed) << deleted.Completions[0].FailureReason;
    EXPECT_FALSE(std::filesystem::exists(remote / remoteName));
    SetMessageBoxHook(nullptr);
}

// The certificate is judged before the log-on: with another fingerprint
// pinned nothing but AUTH TLS is said, and the log names the fingerprint
// the server presented, for the operator to pin.
TEST_F(VsftpdTLS, AnotherCertificateOrNoTLSAtAllFailsBeforeTheUserNameAndPassword)
{
    struct TCase {
        const char* Name;
        bool ServerTLS;
        std::string Pinned;
        std::string Reason;  // found in the failure
    };
    StartVsftpd(true);
    std::string wrong = Certificate.Fingerprint;
    wrong.replace(0, 2, wrong.compare(0, 2, "00") == 0 ? "01" : "00");
    const TCase cases[] = {
        {"another fingerprint pinned", true, wrong,
         "does not match the pinned fingerprint; nothing was sent. It presented the SHA-256 fingerprint " +
             Certificate.Fingerprint},
        {"no pin: a self-signed certificate is not trusted", true, "",
         "is not trusted (self-signed certificate); nothing was sent. It presented the SHA-256 fingerprint " +
             Certificate.Fingerprint},
        {"a server without TLS", false, Certificate.Fingerprint, "The FTP server does not offer TLS (AUTH TLS: "},
    };
    AddJob(7, JobID);
    WriteSmallProof(JobID);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        StartVsftpd(c.ServerTLS);
        std::filesystem::remove(Temporary.Path() / "vsftpd.log");
        Settings.Update([&](TSettingsRecord& settings) { settings.FTPServerFingerprint = c.Pinned; });
        const auto sent = RunTask(new TTransferThread(Messages, TaskContext(7)));
        ASSERT_EQ(sent.Completions.size(), 1u);
        EXPECT_TRUE(sent.Completions[0].Failed);
        EXPECT_NE(sent.Completions[0].FailureReason.find(c.Reason), std::string::npos)
            << sent.Completions[0].FailureReason;
        const auto commands = Conversation();
        EXPECT_TRUE(Says(commands, "AUTH TLS"));
        EXPECT_FALSE(Says(commands, "USER")) << "the user name went out";
        EXPECT_FALSE(Says(commands, "PASS")) << "the password went out";
        EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "www/tavrin"));
    }
}

// The pin decides, not the dates: an expired certificate that is pinned is
// accepted with a log line that says so; without the pin it stays refused.
TEST_F(VsftpdTLS, AnExpiredCertificateIsAcceptedByItsPinWithALogLine)
{
    std::filesystem::create_directories(Temporary.Path() / "expired");
    Certificate = testing::MakeTestCertificate(Temporary.Path() / "expired", true);
    StartVsftpd(true);
    AddJob(7, JobID);
    WriteSmallProof(JobID);

    auto sent = RunTask(new TTransferThread(Messages, TaskContext(7)));
    ASSERT_EQ(sent.Completions.size(), 1u);
    EXPECT_FALSE(sent.Completions[0].Failed) << sent.Completions[0].FailureReason;
    EXPECT_EQ(sent.LogStartingWith("The certificate of "),
              (std::vector<std::pair<std::string, int>>{{"The certificate of 127.0.0.1 expired on 2020-02-01 00:00:00 "
                                                         "UTC; it is accepted because its fingerprint is pinned",
                                                         -1}}));
    EXPECT_EQ(FileBytes(ServerRoot() / "www/tavrin" / JobID / "index.html"), "<html>proof</html>\n");
    TStationLog log;
    EXPECT_NO_THROW(TransferCommonFiles(Settings.Copy(), log));
    ASSERT_FALSE(log.Lines().empty());
    EXPECT_NE(log.Lines().front().find("]: The certificate of 127.0.0.1 expired on 2020-02-01 00:00:00 UTC; "),
              std::string::npos)
        << log.Lines().front();

    std::filesystem::remove_all(ServerRoot() / "www/tavrin");
    std::filesystem::remove(Temporary.Path() / "vsftpd.log");
    Settings.Update([](TSettingsRecord& settings) { settings.FTPServerFingerprint.clear(); });
    sent = RunTask(new TTransferThread(Messages, TaskContext(7)));
    ASSERT_EQ(sent.Completions.size(), 1u);
    EXPECT_TRUE(sent.Completions[0].Failed);
    EXPECT_NE(sent.Completions[0].FailureReason.find("is not trusted ("), std::string::npos)
        << sent.Completions[0].FailureReason;
    EXPECT_TRUE(sent.LogStartingWith("The certificate of 127.0.0.1 expired").empty());
    EXPECT_FALSE(Says(Conversation(), "USER"));
}

}  // namespace
}  // namespace tavrin
