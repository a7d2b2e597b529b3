#include "base/catalogue/SettingsCipher.h"
#include "tests/delivery/DeliveryFixture.h"
#include "tests/delivery/MailFixture.h"
#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <filesystem>
#include <random>

namespace tavrin {
namespace {

// A station whose page buffer folder holds job 7, queued for the whole chain
// with contact 3 as its recipient, and real FTP and SMTP servers in its settings.
class DamagedPlatesChain : public testing::ScratchStation {
protected:
    void SetUp() override
    {
        ScratchStation::SetUp();
        MakeCatalogue({"insert into AddressList (AddressListID, AddressListName, AddressListEmail) values (3, "
                       "\"Ann Archer\", \"ann@example.com\")"});
        CopyFromStation("tavrin.js");
        PageBuffers = Folder.Path("pgb").string() + "/";
        std::filesystem::create_directories(PageBuffers);
        FTPServer = testing::StartScriptedFTPServer(FTPFolder);
        MailServer = testing::StartSMTPServer(MailFolder);
        Folder.Write("tavrin.ini", "[Main]\nInputFolder=" + PageBuffers + "\nFTPServer=127.0.0.1:" +
                                       std::to_string(FTPServer->Port()) + "\nFTPUserName=" + EncipherText("u") +
                                       "\nFTPPassword=" + EncipherText("secret") +
                                       "\nSMTPHost=127.0.0.1\nSMTPPort=" + std::to_string(MailServer->Port()) +
                                       "\nAuthenticationRequired=True\nSMTPUsername=" + EncipherText("mailer") +
                                       "\nSMTPPassword=" + EncipherText("secret") +
                                       "\nFromEmail=proofs@example.com\nFromEmailName=Proof Desk\n"
                                       "WebRoot=http://proofs.example.com/\n");
    }

    void WritePlate(const std::string& name, const std::string& color)
    {
        TBitmap bitmap{120, 90, {}};
        bitmap.Bits.resize(bitmap.RowBytes() * std::size_t(bitmap.Height));
        std::mt19937 random(unsigned(name.size()));
        for (auto& byte : bitmap.Bits)
            byte = static_cast<std::uint8_t>(random());
        TPlateOptions options;
        options.JobNumber = 7;
        options.ColorName = color;
        options.JobName = "7.Flyer.ps";
        options.Resolution = 300;
        WriteFileBytes(PageBuffers + name, PageBufferBytes(PlateLayout(bitmap, options)));
    }

    // Queues job 7 for every task and starts the chain, answering yes to the notification.
    testing::TCliResult StartTheChain()
    {
        return testing::RunProgram(
            "tavrin-cli", "tree then queue add 7 then queue tasks 7 'Master, Preview, Web, Transfer, Notify' then "
                          "queue recipient add 7 3 then start --yes");
    }

    // Nothing reached the web host or the mail server, and no proof is left to send.
    void ExpectNothingSent(const testing::TCliResult& result)
    {
        EXPECT_EQ(result.Output.find("Transfer for job 7"), std::string::npos) << result.Output;
        EXPECT_FALSE(std::filesystem::exists(FTPFolder.Path() / "root/tavrin"));
        EXPECT_EQ(testing::FileBytes(FTPFolder.Path() / "commands.log"), "") << "no connection to the web host";
        EXPECT_TRUE(testing::ReceivedMessages(MailFolder).empty());
        EXPECT_EQ(testing::FileBytes(MailFolder.Path() / "commands.log"), "") << "no connection to the mail server";
        std::error_code error;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Folder.Path("output"), error))
            EXPECT_FALSE(entry.is_regular_file()) << entry.path();
    }

    std::string PageBuffers;
    testing::TTemporaryFolder FTPFolder;
    testing::TTemporaryFolder MailFolder;
    std::unique_ptr<testing::TServerProcess> FTPServer;
    std::unique_ptr<testing::TServerProcess> MailServer;
};

TEST_F(DamagedPlatesChain, APlateCutInsideItsHeaderStopsTheChainAtMaster)
{
    WritePlate("7-1-Cyan.pgb", "CYAN");
    WritePlate("7-1-Black.pgb", "BLACK");
    std::filesystem::resize_file(PageBuffers + "7-1-Black.pgb", 100);

    const auto result = StartTheChain();
    EXPECT_EQ(result.ExitStatus, 1) << result.Output << result.Errors;
    EXPECT_NE(
        result.Output.find("Master for job 7 failed: Page 1 of job 7: cannot read the plate file 7-1-Black.pgb: "),
        std::string::npos)
        << result.Output;
    ExpectNothingSent(result);
}

TEST_F(DamagedPlatesChain, TwoFilesOfOneColourStopTheChainAtMasterAndVerifyRefusesThem)
{
    WritePlate("7-1-Cyan.pgb", "CYAN");
    WritePlate("7-1-Black.pgb", "BLACK");
    WritePlate("7-1-Black2.pgb", "BLACK");

    const auto result = StartTheChain();
    EXPECT_EQ(result.ExitStatus, 1) << result.Output << result.Errors;
    EXPECT_NE(result.Output.find("Master for job 7 failed: Page 1 of job 7 has two BLACK plates: 7-1-Black"),
              std::string::npos)
        << result.Output;
    EXPECT_NE(result.Output.find("The page buffer 7-1-Black"), std::string::npos) << "the scan's line";
    for (const char* file : {"7-1-Black.pgb (BLACK)", "7-1-Black2.pgb (BLACK)"})
        EXPECT_NE(result.Output.find(file), std::string::npos) << file << " in " << result.Output;
    ExpectNothingSent(result);

    const auto verify = testing::RunProgram("tavrin-cli", "verify 7");
    EXPECT_EQ(verify.ExitStatus, 1);
    EXPECT_NE(verify.Output.find("refused: Page 1 of job 7 has two BLACK plates: "), std::string::npos)
        << verify.Output << verify.Errors;
}

}  // namespace
}  // namespace tavrin
