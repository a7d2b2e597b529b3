#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace tavrin {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace fs = std::filesystem;

constexpr unsigned NobodyUser = 65534;
constexpr unsigned NobodyGroup = 65534;

// Every file below the folder with its bytes and its time of change.
std::map<std::string, std::pair<std::string, fs::file_time_type>> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        std::ostringstream bytes;
        if (entry.is_regular_file())
            bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        files[entry.path().string()] = {bytes.str(), entry.last_write_time()};
    }
    return files;
}

// Job 7 (mastered, in the post queue) and job 8 (queued), and one contact.
class ReadingCommands : public testing::ScratchStation {
protected:
    void SetUp() override
    {
        ScratchStation::SetUp();
        CopyFromStation("tavrin.dbi");
        const fs::path pageBuffers = Folder.Path("pgb");
        fs::create_directories(pageBuffers);
        Folder.Write("tavrin.ini", "[Main]\nInputFolder=" + pageBuffers.string() + "\n");
        for (const int job : {7, 8}) {
            TPlateOptions options;
            options.JobNumber = job;
            options.JobName = std::to_string(job) + ".Flyer.ps";
            options.Resolution = 300;
            TBitmap plate{32, 4, std::vector<std::uint8_t>(16, 0)};
            plate.Bits[0] = 0xF0;
            WriteFileBytes((pageBuffers / (std::to_string(job) + "-1-Black.pgb")).string(),
                           PageBufferBytes(PlateLayout(plate, options)));
        }
    }

    // The program folder and everything in it made read-only, as a share
    // mounted so would be. Root ignores file modes: the commands then run as
    // nobody, who owns the files but may not write them either.
    void MakeReadOnly()
    {
        RunAsNobody = ::geteuid() == 0;
        constexpr fs::perms anyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
        std::vector<fs::path> paths{Folder.Path("")};
        for (const auto& entry : fs::recursive_directory_iterator(Folder.Path("")))
            paths.push_back(entry.path());
        for (const fs::path& path : paths) {
            if (RunAsNobody) {
                ASSERT_EQ(::lchown(path.c_str(), NobodyUser, NobodyGroup), 0) << path;
            }
            fs::permissions(path, anyWrite, fs::perm_options::remove);
        }
    }

    void TearDown() override
    {
        // Writable again, so that the scratch folder can go.
        fs::permissions(Folder.Path(""), fs::perms::owner_write, fs::perm_options::add);
        for (const auto& entry : fs::recursive_directory_iterator(Folder.Path("")))
            if (entry.is_directory())
                fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
        ScratchStation::TearDown();
    }

    testing::TCliResult Read(const std::string& arguments) const
    {
        return RunAsNobody ? testing::RunProgramAsUser("tavrin-cli", arguments, NobodyUser, NobodyGroup)
                           : testing::RunProgram("tavrin-cli", arguments);
    }

    bool RunAsNobody = false;
};

TEST_F(ReadingCommands, ListCommandsWorkInAReadOnlyProgramFolderAndChangeNothing)
{
    const auto made =
        testing::RunProgram("tavrin-cli", "tree then queue add 7 then queue tasks 7 Master then start then queue add 8 "
                                          "then contacts save Ann ann@example.com");
    ASSERT_EQ(made.ExitStatus, 0) << made.Output << made.Errors;
    std::map<std::string, std::string> shown;
    for (const char* command : {"queue list", "postqueue list", "coverage 7", "contacts list"}) {
        const auto result = testing::RunProgram("tavrin-cli", command);
        ASSERT_EQ(result.ExitStatus, 0) << command << ": " << result.Errors;
        shown[command] = result.Output;
    }
    ASSERT_THAT(shown["queue list"], StartsWith("8\t[ ] Flyer.ps\tnew\t"));
    ASSERT_THAT(shown["postqueue list"], StartsWith("7\tFlyer.ps\tcomplete\tMaster\t"));
    ASSERT_EQ(shown["coverage 7"], "page 1 BLACK 3.13 %\n");
    ASSERT_THAT(shown["contacts list"], HasSubstr("\tAnn\tann@example.com\n"));

    MakeReadOnly();
    const auto before = Snapshot(Folder.Path(""));
    for (const auto& [command, output] : shown) {
        const auto result = Read(command);
        EXPECT_EQ(result.ExitStatus, 0) << command << ": " << result.Errors;
        EXPECT_EQ(result.Output, output) << command;
        EXPECT_EQ(result.Errors, "") << command;
    }
    EXPECT_TRUE(Snapshot(Folder.Path("")) == before) << "a reading command changed the program folder";
}

// Making or updating the catalogue is a change: a reading command says what is missing instead.
TEST_F(ReadingCommands, ACatalogueThatIsMissingOrOlderIsToldNotMade)
{
    auto result = testing::RunProgram("tavrin-cli", "queue list");
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Errors, "There is no catalogue file " + Folder.Path("tavrin.mdb").string() +
                                 " yet: the station makes it when it starts (tavrin-cli startup)\n");
    EXPECT_FALSE(fs::exists(Folder.Path("tavrin.mdb")));

    // A later version's definition file names a column this catalogue lacks.
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
    std::ofstream(Folder.Path("tavrin.dbi"), std::ios::app)
        << "JobList, JobListShelf, adVarWChar, 50, 0, 1, 0, 0, , 0\n";
    const auto catalogue = Snapshot(Folder.Path("tavrin.mdb").parent_path()).at(Folder.Path("tavrin.mdb").string());
    result = testing::RunProgram("tavrin-cli", "postqueue list");
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_THAT(result.Errors, HasSubstr(" has no column JobList.JobListShelf yet: the station brings it up to date"));
    EXPECT_TRUE(Snapshot(Folder.Path("")).at(Folder.Path("tavrin.mdb").string()) == catalogue);
    // A changing command brings it up to date, and then reading works.
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
    EXPECT_EQ(testing::RunProgram("tavrin-cli", "postqueue list").ExitStatus, 0);
}

}  // namespace
}  // namespace tavrin
