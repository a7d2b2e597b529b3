#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <gmock/gmock.h>

#include <filesystem>

namespace tavrin {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// The bytes a terminal obeys rather than shows: C0 controls but tab and line
// feed (the output's own separators), DEL, and the C1 and bidirectional
// controls in UTF-8.
bool HoldsControls(const std::string& text)
{
    static const std::string bidirectional[] = {"\xe2\x80\x8e", "\xe2\x80\x8f", "\xe2\x80\xaa", "\xe2\x80\xab",
                                                "\xe2\x80\xac", "\xe2\x80\xad", "\xe2\x80\xae", "\xe2\x81\xa6",
                                                "\xe2\x81\xa7", "\xe2\x81\xa8", "\xe2\x81\xa9", "\xd8\x9c"};
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7f)
            return true;
        if (byte == 0xc2 && at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[at + 1]) <= 0x9f)
            return true;
    }
    for (const std::string& mark : bidirectional)
        if (text.find(mark) != std::string::npos)
            return true;
    return false;
}

// A station over a page buffer folder; the plates are blank.
class CliOutput : public testing::ScratchStation {
protected:
    void SetUp() override
    {
        ScratchStation::SetUp();
        CopyFromStation("tavrin.dbi");
        PageBuffers = Folder.Path("pgb");
        std::filesystem::create_directories(PageBuffers);
        Folder.Write("tavrin.ini", "[Main]\nInputFolder=" + PageBuffers.string() + "\n");
    }

    void WritePlate(int job, const std::string& jobName, const std::string& color, const std::string& file) const
    {
        TPlateOptions options;
        options.JobNumber = job;
        options.JobName = jobName;
        options.ColorName = color;
        options.Resolution = 300;
        const TBitmap blank{32, 2, std::vector<std::uint8_t>(8, 0)};
        WriteFileBytes((PageBuffers / file).string(), PageBufferBytes(PlateLayout(blank, options)));
    }

    std::filesystem::path PageBuffers;
};

// A RIP writes what the job's author typed; a file name is anyone's. None
// of it may recolour, retitle or rearrange the operator's terminal.
TEST_F(CliOutput, NamesFromPageBuffersAndFileNamesAreShownEscaped)
{
    WritePlate(7, "7.Ev\x1b[31mil\xe2\x80\xaeX\x07.ps", "CYAN", "7-1-Cyan.pgb");
    WritePlate(7, "7.Ev\x1b[31mil\xe2\x80\xaeX\x07.ps",
               "Bl\x1b]0;owned\x07"
               "ack\xc2\x9b",
               "7-1-Spot.pgb");
    // Not a page buffer: the scan logs its name.
    Folder.Write("pgb/x\x1b[2Jy\xff.pgb", "not a page buffer");

    const auto tree = testing::RunProgram("tavrin-cli", "tree");
    EXPECT_FALSE(HoldsControls(tree.Output + tree.Errors)) << tree.Output << tree.Errors;
    EXPECT_THAT(tree.Output, HasSubstr("7) Ev\\x1b[31mil\\u202eX\\x07.ps (300 x 300) ["));
    EXPECT_THAT(tree.Output, HasSubstr("    [2] 1) CYAN\n    [7] 1) Bl\\x1b]0;owned\\x07ack\\u009b\n"));
    EXPECT_THAT(tree.Output, HasSubstr("x\\x1b[2Jy\\xff.pgb"));

    const auto queue = testing::RunProgram("tavrin-cli", "queue add 7 then queue list");
    EXPECT_EQ(queue.ExitStatus, 0) << queue.Errors;
    EXPECT_FALSE(HoldsControls(queue.Output + queue.Errors)) << queue.Output;
    EXPECT_THAT(queue.Output, HasSubstr("7\t[ ] Ev\\x1b[31mil\\u202eX\\x07.ps\tnew\t"));
}

TEST_F(CliOutput, ATreeFromAFolderThatCouldNotBeListedIsShownButFails)
{
    WritePlate(7, "7.Flyer.ps", "BLACK", "7-1-Black.pgb");
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
    // An unmounted share: the catalogue keeps the job, and the tree says it is not the folder.
    std::filesystem::rename(PageBuffers, Folder.Path("elsewhere"));
    const auto tree = testing::RunProgram("tavrin-cli", "tree");
    EXPECT_EQ(tree.ExitStatus, 1);
    EXPECT_THAT(tree.Output, HasSubstr("Could not get the directory listing for the page buffer folder\n"));
    EXPECT_THAT(tree.Output, HasSubstr("[0] 7) Flyer.ps (300 x 300) ["));
    EXPECT_EQ(tree.Errors, "tavrin-cli: the page buffer folder " + PageBuffers.string() +
                               "/ could not be listed; the tree shows the jobs the catalogue already had\n");

    Folder.Write("tavrin.ini", "[Main]\n");
    const auto unset = testing::RunProgram("tavrin-cli", "tree");
    EXPECT_EQ(unset.ExitStatus, 1);
    EXPECT_THAT(unset.Errors, StartsWith("tavrin-cli: no page buffer folder is configured"));
}

// Exit status 1 promises a reason on standard error, not only somewhere in the log.
TEST_F(CliOutput, EveryFailedTaskSaysWhyOnStandardError)
{
    WritePlate(7, "7.Flyer.ps", "BLACK", "7-1-Black.pgb");
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
    const struct {
        const char* Arguments;
        const char* Reason;
    } cases[] = {
        {"task master 999", "tavrin-cli: Master for job 999 failed: "},
        {"task preview 999", "tavrin-cli: Preview for job 999 failed: "},
        {"task web 999", "tavrin-cli: Web files for job 999 failed: "},
        {"task transfer 999", "tavrin-cli: Transfer for job 999 failed: "},
        {"task notify 999", "tavrin-cli: Notification for job 999 failed: "},
        {"task delete 999", "tavrin-cli: Deletion from FTP server for job 999 failed: "},
        // Without a master there is nothing to preview.
        {"task preview 7", "tavrin-cli: Preview for job 7 failed: Page 1 has no master"},
    };
    for (const auto& c : cases) {
        const auto result = testing::RunProgram("tavrin-cli", c.Arguments);
        EXPECT_EQ(result.ExitStatus, 1) << c.Arguments;
        EXPECT_THAT(result.Errors, StartsWith(c.Reason)) << c.Arguments;
    }

    // A chain's failure, too: the plate is gone when Start runs.
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "queue add 7 then queue tasks 7 Master").ExitStatus, 0);
    std::filesystem::remove(PageBuffers / "7-1-Black.pgb");
    const auto start = testing::RunProgram("tavrin-cli", "start");
    EXPECT_EQ(start.ExitStatus, 1);
    EXPECT_THAT(start.Errors, HasSubstr("tavrin-cli: Master for job 7 failed: ")) << start.Errors;
}

}  // namespace
}  // namespace tavrin
