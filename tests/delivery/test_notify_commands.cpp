#include "base/catalogue/CatalogueConnection.h"
#include "base/catalogue/RecordSet.h"
#include "base/catalogue/SettingsCipher.h"
#include "tests/delivery/DeliveryFixture.h"
#include "tests/delivery/MailFixture.h"
#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"

namespace tavrin {
namespace {

using testing::FileBytes;
using testing::WriteBytes;

constexpr const char* JobID = "20240314092653120";

// A station folder whose catalogue holds job 7 queued for the whole chain
// with contact 3 as its recipient, the job's files as the earlier tasks
// leave them, and the FTP and SMTP servers in its settings.
class NotifyCommands : public testing::ScratchStation {
protected:
    void SetUp() override
    {
        ScratchStation::SetUp();
        MakeCatalogue({"insert into JobList (JobListReference, JobListUniqueID, JobListName, JobListPageCount) "
                       "values (7, " +
                           QuoteText(JobID) + ", \"Leaflet\", 1)",
                       "insert into QueueList (QueueListJobReference, QueueListTasks, QueueListStatus, "
                       "QueueListRecipients) values (7, \"Master, Preview, Web, Transfer, Notify\", \"new\", \"3\")",
                       "insert into AddressList (AddressListID, AddressListName, AddressListEmail) values (3, "
                       "\"Ann Archer\", \"ann@example.com\")"});

        WriteBytes(Folder.Path(std::string("output/") + JobID + "-0001.tif"), "master");
        WriteBytes(Folder.Path(std::string("output/") + JobID + "/index.html"), "<html></html>\n");
        WriteBytes(Folder.Path(std::string("output/") + JobID + "/overview-0001.png"), Overview);

        FTPServer = testing::StartScriptedFTPServer(FTPFolder);
        StartMailServer();
    }

    // (Re)starts the SMTP server with the options of smtp_server.py and
    // writes the settings for both servers.
    void StartMailServer(const std::vector<std::string>& options = {}, const std::string& ftpPassword = "secret",
                         const std::string& moreSettings = "")
    {
        MailServer.reset();
        MailServer = testing::StartSMTPServer(MailFolder, options);
        Folder.Write("tavrin.ini", "[Main]\nFTPServer=127.0.0.1:" + std::to_string(FTPServer->Port()) +
                                       "\nFTPUserName=" + EncipherText("u") +
                                       "\nFTPPassword=" + EncipherText(ftpPassword) +
                                       "\nSMTPHost=127.0.0.1\nSMTPPort=" + std::to_string(MailServer->Port()) +
                                       "\nAuthenticationRequired=True\nSMTPUsername=" + EncipherText("mailer") +
                                       "\nSMTPPassword=" + EncipherText("secret") +
                                       "\nFromEmail=proofs@example.com\nFromEmailName=Proof Desk\n"
                                       "WebRoot=http://proofs.example.com/\n" +
                                       moreSettings);
    }

    // The printed log lines without their time stamps.
    static std::vector<std::string> Texts(const std::string& output)
    {
        std::vector<std::string> texts;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("[", 0) == 0 && line.find("]: ") != std::string::npos)
                texts.push_back(line.substr(line.find("]: ") + 3));
        return texts;
    }

    const std::string Overview = "\x89PNG\r\n\x1a\n" + testing::NoiseBytes(3000, 5);
    testing::TTemporaryFolder FTPFolder;
    testing::TTemporaryFolder MailFolder;
    std::unique_ptr<testing::TServerProcess> FTPServer;
    std::unique_ptr<testing::TServerProcess> MailServer;
};

TEST_F(NotifyCommands, TaskNotifySendsTheMessage)
{
    const auto result = testing::RunProgram("tavrin-cli", "task notify 7");
    EXPECT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    EXPECT_EQ(Texts(result.Output), (std::vector<std::string>{"Sending email to Ann Archer <ann@example.com>",
                                                              "Done sending email to Ann Archer <ann@example.com>",
                                                              "Notification for job 7 complete."}));
    const auto received = testing::ReceivedMessages(MailFolder);
    ASSERT_EQ(received.size(), 1u);
    const std::string summary = testing::MailSummary(received[0]);
    EXPECT_NE(summary.find("Subject: Remote Proofing information for Leaflet\n"), std::string::npos) << summary;
    EXPECT_EQ(FileBytes(received[0].string() + ".part1"), Overview);
}

TEST_F(NotifyCommands, StartCarriesTheJobThroughTransferAndNotifyToThePostQueue)
{
    // Every file of the job exists: the chain begins again with Transfer.
    const auto result = testing::RunProgram("tavrin-cli", "start --yes then postqueue list");
    EXPECT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    const std::vector<std::string> texts = Texts(result.Output);
    const auto at = [&](const std::string& text) {
        return std::find(texts.begin(), texts.end(), text) - texts.begin();
    };
    const auto transferDone = at("Transfer for job 7 complete.");
    const auto sending = at("Sending email to Ann Archer <ann@example.com>");
    const auto notifyDone = at("Notification for job 7 complete.");
    EXPECT_LT(transferDone, sending) << result.Output;
    EXPECT_LT(sending, notifyDone) << result.Output;
    EXPECT_LT(notifyDone, static_cast<std::ptrdiff_t>(texts.size())) << result.Output;
    EXPECT_NE(result.Output.find("7\tLeaflet"), std::string::npos) << result.Output;

    EXPECT_EQ(FileBytes(FTPFolder.Path() / "root/tavrin" / JobID / "overview-0001.png"), Overview);
    const auto received = testing::ReceivedMessages(MailFolder);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_NE(testing::MailSummary(received[0])
                  .find("Please visit http://proofs.example.com/tavrin/" + std::string(JobID) + "/ to review this job"),
              std::string::npos);
}

TEST_F(NotifyCommands, ARefusedLogOnStopsTheChainAtTransferAndNoMailIsSent)
{
    StartMailServer({}, "wrong");
    auto result = testing::RunProgram("tavrin-cli", "start --yes");
    EXPECT_EQ(result.ExitStatus, 1) << result.Output << result.Errors;
    const std::vector<std::string> texts = Texts(result.Output);
    const auto failed = std::find_if(texts.begin(), texts.end(), [](const std::string& text) {
        return text.rfind("Transfer for job 7 failed: Could not log on to the FTP server: 530 ", 0) == 0;
    });
    EXPECT_NE(failed, texts.end()) << result.Output;
    for (const std::string& text : texts) {
        EXPECT_EQ(text.find("Transfer for job 7 complete."), std::string::npos) << text;
        EXPECT_EQ(text.find("email"), std::string::npos) << text;
    }
    // The queue row keeps the job with its failure.
    const auto row = result.Output.find("\n7\t");
    ASSERT_NE(row, std::string::npos) << result.Output;
    const std::string line = result.Output.substr(row + 1, result.Output.find('\n', row + 1) - row - 1);
    EXPECT_NE(line.find("\tFailed at Transfer\t"), std::string::npos) << line;
    EXPECT_NE(line.find("\treason: Could not log on to the FTP server: 530 "), std::string::npos) << line;

    result = testing::RunProgram("tavrin-cli", "postqueue list");
    EXPECT_EQ(result.ExitStatus, 0) << result.Errors;
    EXPECT_EQ(result.Output, "");
    EXPECT_TRUE(testing::ReceivedMessages(MailFolder).empty());
    EXPECT_EQ(FileBytes(MailFolder.Path() / "commands.log"), "") << "no connection to the mail server at all";
    EXPECT_FALSE(std::filesystem::exists(FTPFolder.Path() / "root/tavrin"));
}

// Three queued jobs notify nobody: start --yes asks once, uploads each and
// mails none, and none of them counts as failed.
TEST_F(NotifyCommands, StartYesAsksOnceAndCarriesJobsWithoutRecipientsToThePostQueueUnmailed)
{
    TCatalogueConnection catalogue;
    OpenCatalogueConnection(catalogue, CatalogueFilePath());
    for (const int job : {8, 9}) {
        const std::string id = "2024031409265312" + std::to_string(job);
        TRecordSet rows;
        OpenQuery(catalogue, rows,
                  "insert into JobList (JobListReference, JobListUniqueID, JobListName, JobListPageCount) values (" +
                      std::to_string(job) + ", " + QuoteText(id) + ", \"Leaflet " + std::to_string(job) + "\", 1)");
        OpenQuery(catalogue, rows,
                  "insert into QueueList (QueueListJobReference, QueueListTasks, QueueListStatus, "
                  "QueueListRecipients) values (" +
                      std::to_string(job) + ", \"Master, Preview, Web, Transfer, Notify\", \"new\", \"\")");
        WriteBytes(Folder.Path("output/" + id + "-0001.tif"), "master");
        WriteBytes(Folder.Path("output/" + id + "/index.html"), "<html></html>\n");
        WriteBytes(Folder.Path("output/" + id + "/overview-0001.png"), Overview);
    }
    catalogue.Close();

    const auto result =
        testing::RunProgram("tavrin-cli", "queue recipient remove 7 3 then start --yes then postqueue list");
    EXPECT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    const std::string question = "Notify without recipients?: ";
    EXPECT_NE(result.Errors.find(question), std::string::npos) << result.Errors;
    EXPECT_EQ(result.Errors.find(question), result.Errors.rfind(question)) << result.Errors;
    const std::vector<std::string> texts = Texts(result.Output);
    for (const int job : {7, 8, 9}) {
        const std::string reference = std::to_string(job);
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "Transfer for job " + reference + " complete."), 1);
        EXPECT_EQ(
            std::count(texts.begin(), texts.end(), "Job " + reference + ": uploaded; no mail sent (no recipients)"), 1)
            << result.Output;
        EXPECT_NE(result.Output.find("\n" + reference + "\tLeaflet"), std::string::npos) << result.Output;
    }
    for (const std::string& text : texts)
        EXPECT_EQ(text.find("failed"), std::string::npos) << text;
    EXPECT_TRUE(testing::ReceivedMessages(MailFolder).empty());
    EXPECT_EQ(FileBytes(FTPFolder.Path() / "root/tavrin" / JobID / "overview-0001.png"), Overview);
}

TEST_F(NotifyCommands, TaskNotifyExitsWithOneWhenNoRecipientAcceptedTheMessage)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> ServerOptions;
        const char* MoreSettings;
        const char* Commands;
        std::vector<std::string> Lines;  // the last printed log lines
    };
    const std::string failed = "Notification for job 7 failed: ";
    const std::string notSent = "The e-mail to Ann Archer <ann@example.com> was not sent: ";
    const std::string silent = "The mail server did not answer RCPT TO within 1 s: timed out";
    const TCase cases[] = {
        {"MAIL FROM refused",
         {"--refuse-mail"},
         "",
         "task notify 7",
         {"550 5.7.1 Sender refused", failed + notSent + "550 5.7.1 Sender refused"}},
        {"RCPT refused",
         {"--refuse-rcpt"},
         "",
         "task notify 7",
         {"Recipient ann@example.com refused: 550 5.1.1 No such mailbox here",
          "The mail server refused every recipient", failed + notSent + "The mail server refused every recipient"}},
        {"silent at RCPT",
         {"--silent-at", "RCPT"},
         "SMTPReplyTimeout=1\n",
         "task notify 7",
         {silent, failed + notSent + silent}},
        {"no recipients",
         {},
         "",
         "queue recipient remove 7 3 then task notify 7",
         {failed + "There were no recipients to send the message to"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        StartMailServer(c.ServerOptions, "secret", c.MoreSettings);
        const auto result = testing::RunProgram("tavrin-cli", c.Commands);
        EXPECT_EQ(result.ExitStatus, 1) << result.Output << result.Errors;
        const std::vector<std::string> texts = Texts(result.Output);
        ASSERT_GE(texts.size(), c.Lines.size()) << result.Output;
        EXPECT_EQ(std::vector<std::string>(texts.end() - static_cast<std::ptrdiff_t>(c.Lines.size()), texts.end()),
                  c.Lines);
        for (const std::string& text : texts)
            EXPECT_EQ(text.rfind("Done sending email", 0), std::string::npos) << text;
        EXPECT_TRUE(testing::ReceivedMessages(MailFolder).empty());
    }
}

}  // namespace
}  // namespace tavrin
