#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace tavrin {
namespace {

using TreeCommand = testing::ScratchStation;

// The text with every "[" + 17 digits + "]" (a unique id) written as "[ID]".
std::string WithoutUniqueIDs(std::string text)
{
    for (std::size_t at = text.find('['); at != std::string::npos; at = text.find('[', at + 1)) {
        const std::size_t end = at + 18;
        if (end < text.size() && text[end] == ']' &&
            std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                        text.begin() + static_cast<std::ptrdiff_t>(end),
                        [](unsigned char c) { return std::isdigit(c); }))
            text.replace(at, 19, "[ID]");
    }
    return text;
}

TEST_F(TreeCommand, PrintsTheJobsOfThePageBufferFolderWithTheirPlates)
{
    CopyFromStation("tavrin.dbi");
    const auto pageBuffers = Folder.Path("pgb");
    std::filesystem::create_directories(pageBuffers);
    Folder.Write("tavrin.ini", "[Main]\nInputFolder=" + pageBuffers.string() + "\n");
    const struct {
        int Job;
        int Page;
        const char* Color;
    } plates[] = {{30, 2, "BLACK"}, {30, 1, "PANTONE 185 C"}, {30, 1, "CYAN"}, {9, 1, "BLACK"}};
    for (const auto& plate : plates) {
        TPlateOptions options;
        options.JobNumber = plate.Job;
        options.PageNumber = plate.Page;
        options.ColorName = plate.Color;
        options.ColorValues = {0, 32767, 24000, 0};
        options.JobName = std::to_string(plate.Job) + ".Leaflet (3)";
        options.Resolution = 1200;
        const TBitmap blank{32, 2, std::vector<std::uint8_t>(8, 0)};
        WriteFileBytes(
            (pageBuffers / (std::to_string(plate.Job) + "-" + std::to_string(plate.Page) + plate.Color + ".pgb"))
                .string(),
            PageBufferBytes(PlateLayout(blank, options)));
    }

    const auto result = testing::RunProgram("tavrin-cli", "tree");
    ASSERT_EQ(result.ExitStatus, 0) << result.Errors;
    // The unique ids are time stamps; everything else is fixed.
    const std::string shown = WithoutUniqueIDs(result.Output);
    EXPECT_EQ(shown, "[0] 9) Leaflet (1200 x 1200) [ID]\n"
                     "    [5] 1) BLACK\n"
                     "[0] 30) Leaflet (1200 x 1200) [ID]\n"
                     "    [2] 1) CYAN\n"
                     "    [7] 1) PANTONE 185 C\n"
                     "    [5] 2) BLACK\n");

    EXPECT_EQ(testing::RunProgram("tavrin-cli", "tree extra").ExitStatus, 2);
}

}  // namespace
}  // namespace tavrin
