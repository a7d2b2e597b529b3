#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tavrin {
namespace {

using ::testing::HasSubstr;

using WebRoundsCommand = testing::ScratchStation;

std::string FileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What a script does to show a customer round 2: link it to round 1 and run
// the Web task, every step a tavrin-cli command.
TEST_F(WebRoundsCommand, TheWebTaskOfALinkedRoundComparesItAndWritesItsRoundDataAndMaps)
{
    CopyFromStation("tavrin.dbi");
    CopyFromStation("tavrin.js");
    const std::filesystem::path pageBuffers = Folder.Path("pgb");
    std::filesystem::create_directories(pageBuffers);
    Folder.Write("tavrin.ini", "[Main]\nInputFolder=" + pageBuffers.string() + "\n");
    for (const int job : {101, 105}) {
        TPlateOptions options;
        options.JobNumber = job;
        options.JobName = std::to_string(job) + ".proof-job.ps";
        options.ColorName = "BLACK";
        options.Resolution = 300;
        // Round 2 inks one pixel more: row 1, column 3.
        TBitmap plate{32, 2, std::vector<std::uint8_t>(8, 0)};
        if (job == 105)
            plate.Bits[4] = 0x10;
        WriteFileBytes((pageBuffers / (std::to_string(job) + "-1-Black.pgb")).string(),
                       PageBufferBytes(PlateLayout(plate, options)));
    }

    const auto result = testing::RunProgram("tavrin-cli", "tree then task master 101 then task web 101 then task "
                                                          "master 105 then queue add 105 --round-of 101 then task "
                                                          "web 105");
    ASSERT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    EXPECT_THAT(result.Output, HasSubstr("]: Comparing with round 1 (job 101)...\n"));
    EXPECT_THAT(result.Output, HasSubstr("]: page 1 changed: BLACK 1 px; area 3,1 to 3,1\n"));

    std::filesystem::path later;
    for (const auto& entry : std::filesystem::directory_iterator(Folder.Path("output")))
        if (entry.is_directory() && std::filesystem::exists(entry.path() / "change4-0001.tdb"))
            later = entry.path();
    ASSERT_FALSE(later.empty()) << "no job folder holds a change map";
    EXPECT_THAT(FileText(later / "rounds.js"),
                HasSubstr(",\"pages\":[{\"page\":1,\"state\":\"changed\",\"plates\":[{\"name\":\"BLACK\",\"change\":"
                          "\"changed\",\"pixels\":1}],\"area\":[3,1,3,1],\"map\":true}]};\r\n"));
}

}  // namespace
}  // namespace tavrin
