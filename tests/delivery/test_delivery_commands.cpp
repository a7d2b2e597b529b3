#include "catalogue/CatalogueAccess.h"
#include "catalogue/CatalogueDefinition.h"
#include "catalogue/SettingsCipher.h"
#include "tests/delivery/DeliveryFixture.h"
#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"

namespace tavrin {
namespace {

using testing::FileBytes;
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
                                       "\nFTPUserName=" + EncipherText("u") + "\nFTPPassword=" +
                                       EncipherText("secret") + "\nFTPInitialDirectory=/www/\n");
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

    // A job that does not exist: the task ends at once, having done nothing.
    EXPECT_EQ(testing::RunProgram("tavrin-cli", "task transfer 99").ExitStatus, 1);
    for (const char* usage : {"task transfer", "task transfer x", "task delete 7 8", "common-files now"})
        EXPECT_EQ(testing::RunProgram("tavrin-cli", usage).ExitStatus, 2) << usage;

    // A server that is gone: the reason is printed and the exit status says so.
    Server->Stop();
    result = testing::RunProgram("tavrin-cli", "task transfer 7");
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_NE(result.Output.find("]: Error sending files. "), std::string::npos) << result.Output;
    result = testing::RunProgram("tavrin-cli", "common-files");
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_NE(result.Errors.find("Error: "), std::string::npos) << result.Errors;
}

}  // namespace
}  // namespace tavrin
