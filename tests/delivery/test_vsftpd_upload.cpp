#include "engines/delivery/TransferHelpers.h"
#include "tasks/delivery/DeleteThread.h"
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
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A sanitizer makes the render take minutes; the upload sees the same names and sizes.
    const auto names = testing::WriteWebProofStandIn(JobID);
#else
    const auto names = testing::WriteWebProof(7, JobID, Messages);
    // The stand-in the sanitizer builds upload is still a proof's names and sizes.
    ASSERT_EQ(names.size(), std::size(testing::WebProofFiles));
    for (const auto& file : testing::WebProofFiles) {
        const auto size = std::filesystem::file_size(local + file.Name);
        EXPECT_TRUE(size > file.Size / 2 && size < file.Size * 2) << file.Name << " has " << size << " bytes";
    }
#endif
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
