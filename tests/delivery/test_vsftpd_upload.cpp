#include "tasks/delivery/DeleteThread.h"
#include "engines/delivery/TransferHelpers.h"
#include "tasks/delivery/TransferThread.h"
#include "tests/delivery/DeliveryFixture.h"
#include "tests/delivery/ProofFixture.h"

#include <unistd.h>

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
        StationSettings().Update([&](TSettingsRecord& settings) {
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
    const auto names = testing::WriteWebProof(7, JobID, Messages);
    // Two pages, an overview and five tile databases, the deepest one several megabytes.
    ASSERT_EQ(names.size(), 8u);
    ASSERT_GT(std::filesystem::file_size(local + "tile4-0001.tdb"), 1000000u);
    WriteBytes(Local("scripts/tavrin.js"), "function zoom() {}\n");
    WriteBytes(Local("images/logo.jpg"), testing::NoiseBytes(20000, 5));

    const auto sent = RunTask(new TTransferThread(Messages, 7));
    EXPECT_EQ(sent.Log.back(), std::make_pair(std::string("Done."), 100));
    EXPECT_TRUE(sent.LogStartingWith("Could not send ").empty());
    const auto remote = ServerRoot() / "www/tavrin";
    EXPECT_EQ(ListFolderFiles((remote / JobID).string()).size(), names.size());
    for (const std::string& name : ListFolderFiles(local))
        EXPECT_TRUE(FileBytes(remote / JobID / name) == FileBytes(local + name)) << name << " differs";
    EXPECT_EQ(FileBytes(remote / "scripts/tavrin.js"), FileBytes(Local("scripts/tavrin.js")));
    EXPECT_EQ(FileBytes(remote / "images/logo.jpg"), FileBytes(Local("images/logo.jpg")));

    const auto deleted = RunTask(new TDeleteThread(Messages, 7));
    EXPECT_EQ(deleted.LogStartingWith("Done deleting /www/tavrin/" + std::string(JobID) + "//").size(), names.size());
    EXPECT_TRUE(deleted.LogStartingWith("Could not delete").empty());
    EXPECT_FALSE(std::filesystem::exists(remote / JobID));
    EXPECT_FALSE(std::filesystem::exists(local));
    // The shared files stay for the other jobs.
    EXPECT_TRUE(std::filesystem::exists(remote / "images/logo.jpg"));
}

}  // namespace
}  // namespace tavrin
