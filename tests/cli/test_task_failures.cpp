#include "base/pagebuffer/PGBObject.h"
#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <sys/mount.h>

namespace tavrin {
namespace {

// A station with job 7 of one page (a black plate of random ink), catalogued by the tree command.
class TaskFailureCommands : public testing::ScratchStation {
protected:
    void SetUp() override
    {
        ScratchStation::SetUp();
        CopyFromStation("tavrin.dbi");
        CopyFromStation("tavrin.js");
        PageBuffers = Folder.Path("pgb").string() + "/";
        std::filesystem::create_directories(PageBuffers);
        Folder.Write("tavrin.ini", "[Main]\nInputFolder=" + PageBuffers + "\n");
    }

    void WriteJob(int width, int height)
    {
        TBitmap bitmap{width, height, {}};
        bitmap.Bits.resize(bitmap.RowBytes() * std::size_t(height));
        std::mt19937 random(7);
        for (auto& byte : bitmap.Bits)
            byte = static_cast<std::uint8_t>(random());
        TPlateOptions options;
        options.JobNumber = 7;
        options.JobName = "7.Flyer.ps";
        options.Resolution = 300;
        WriteFileBytes(PageBuffers + "7-1-Black.pgb", PageBufferBytes(PlateLayout(bitmap, options)));
        ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
    }

    // The names of the files below the output folder, the job folder's with its name in front.
    std::vector<std::string> OutputFiles() const
    {
        std::vector<std::string> names;
        if (!std::filesystem::exists(Folder.Path("output")))
            return names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Folder.Path("output")))
            if (entry.is_regular_file())
                names.push_back(std::filesystem::relative(entry.path(), Folder.Path("output")).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string PageBuffers;
};

TEST_F(TaskFailureCommands, AFailedTaskExitsWithOneAndLogsWhatFailed)
{
    WriteJob(600, 400);
    const std::string plate = PageBuffers + "7-1-Black.pgb";
    const TPGBObject whole(plate);
    const std::uint64_t half = std::filesystem::file_size(plate) / 2;
    int band = 0;
    while (whole.BandOffsets[std::size_t(band)] + whole.BandSizes[std::size_t(band)] <= half)
        ++band;
    std::filesystem::resize_file(plate, half);

    const auto master = testing::RunProgram("tavrin-cli", "task master 7");
    EXPECT_EQ(master.ExitStatus, 1);
    EXPECT_NE(master.Output.find("Master for job 7 failed: Page 1 of job 7: the plate file 7-1-Black.pgb ends inside "
                                 "band " +
                                 std::to_string(band) + " of its "),
              std::string::npos)
        << master.Output;
    EXPECT_EQ(OutputFiles(), std::vector<std::string>{});

    // Without a master there is nothing to preview or cut.
    for (const char* task : {"preview", "web"}) {
        const auto result = testing::RunProgram("tavrin-cli", std::string("task ") + task + " 7");
        EXPECT_EQ(result.ExitStatus, 1) << task;
        EXPECT_NE(result.Output.find("failed: Page 1 has no master: "), std::string::npos) << result.Output;
    }
}

// A small file system over the program folder's output folder, for one run; always unmounted.
class TSmallDisk {
public:
    TSmallDisk(const std::filesystem::path& folder, std::uint64_t bytes) : Folder(folder)
    {
        std::filesystem::create_directories(folder);
        const std::string options = "size=" + std::to_string(bytes);
        Mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
        Error = Mounted ? "" : std::strerror(errno);
    }
    ~TSmallDisk()
    {
        if (Mounted)
            ::umount2(Folder.c_str(), MNT_DETACH);
    }
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;

    bool Mounted = false;
    std::string Error;

private:
    std::filesystem::path Folder;
};

TEST_F(TaskFailureCommands, AFullDiskFailsTheTaskWithTheSystemErrorAndLeavesNoPartialFile)
{
    // 1. The sizes of a whole run on the real disk.
    WriteJob(1200, 1200);
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "task master 7").ExitStatus, 0);
    const auto masters = OutputFiles();
    ASSERT_EQ(masters.size(), 1u);
    const std::uint64_t masterSize = std::filesystem::file_size(Folder.Path("output") / masters[0]);
    std::filesystem::remove_all(Folder.Path("output"));

    // 2. Room for less than the master: Master fails; no file at all is left.
    {
        TSmallDisk disk(Folder.Path("output"), masterSize / 2);
        testing::TCliResult result;
        std::string systemError = "No space left on device";
        if (disk.Mounted) {
            result = testing::RunProgram("tavrin-cli", "task master 7");
        } else {
            // No mounting here: a file size limit fails the write the same way.
            systemError = "File too large";
            result = testing::RunProgramWithFileSizeLimit("tavrin-cli", "task master 7", masterSize / 2);
        }
        EXPECT_EQ(result.ExitStatus, 1) << result.Output;
        EXPECT_NE(result.Output.find("Master for job 7 failed: Cannot write "), std::string::npos) << result.Output;
        EXPECT_NE(result.Output.find(systemError), std::string::npos) << result.Output;
        EXPECT_EQ(OutputFiles(), std::vector<std::string>{});
        if (!disk.Mounted)
            std::cout << "[ NOTE     ] no tmpfs (" << disk.Error << "): the file size limit stood in for a full disk\n";
    }
    std::filesystem::remove_all(Folder.Path("output"));

    // 3. Room for the master and little more: Web fails; the master stays whole, no tile database or page is left.
    TSmallDisk disk(Folder.Path("output"), masterSize + 64 * 1024);
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "task master 7").ExitStatus, 0);
    testing::TCliResult web;
    std::string systemError = "No space left on device";
    if (disk.Mounted) {
        web = testing::RunProgram("tavrin-cli", "task web 7");
    } else {
        systemError = "File too large";
        web = testing::RunProgramWithFileSizeLimit("tavrin-cli", "task web 7", 64 * 1024);
    }
    EXPECT_EQ(web.ExitStatus, 1) << web.Output;
    EXPECT_NE(web.Output.find("Web files for job 7 failed: "), std::string::npos) << web.Output;
    EXPECT_NE(web.Output.find(systemError), std::string::npos) << web.Output;
    EXPECT_EQ(OutputFiles(), masters);
}

// The catalogue's disk fills while the scan catalogues new jobs: the scan
// fails with what the system said, not with the engine's bookkeeping after it.
TEST_F(TaskFailureCommands, ACatalogueOnAFullDiskIsNamedWithTheSystemsReason)
{
    WriteJob(64, 64);
    TBitmap bitmap{64, 64, std::vector<std::uint8_t>(8 * 64, 0x5a)};
    for (int job = 100; job < 220; ++job) {
        TPlateOptions options;
        options.JobNumber = job;
        options.JobName = std::to_string(job) + ".A brochure with a long name to fill the catalogue's pages.ps";
        options.Resolution = 300;
        WriteFileBytes(PageBuffers + std::to_string(job) + "-1-Black.pgb",
                       PageBufferBytes(PlateLayout(bitmap, options)));
    }
    // The catalogue moves onto a small disk of its own; the program folder links to it.
    const std::uint64_t size = std::filesystem::file_size(Folder.Path("tavrin.mdb"));
    TSmallDisk disk(Folder.Path("disk"), size + 16 * 1024);
    if (!disk.Mounted)
        GTEST_SKIP() << "no tmpfs here (" << disk.Error << ")";
    std::filesystem::copy_file(Folder.Path("tavrin.mdb"), Folder.Path("disk") / "tavrin.mdb");
    std::filesystem::remove(Folder.Path("tavrin.mdb"));
    std::filesystem::create_symlink(Folder.Path("disk") / "tavrin.mdb", Folder.Path("tavrin.mdb"));

    const auto result = testing::RunProgram("tavrin-cli", "tree");
    const std::string said = result.Output + result.Errors;
    EXPECT_EQ(result.ExitStatus, 1) << said;
    EXPECT_EQ(said.find("no transaction to commit"), std::string::npos) << said;
    EXPECT_NE(said.find("disk is full"), std::string::npos) << said;
}

}  // namespace
}  // namespace tavrin
