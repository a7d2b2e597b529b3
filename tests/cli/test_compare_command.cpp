#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

namespace tavrin {
namespace {

using TPixels = std::function<bool(int x, int y)>;

// Two proof rounds of one job, ripped as two jobs, mastered by the station.
class CompareCommand : public testing::ScratchStation {
protected:
    void SetUp() override
    {
        ScratchStation::SetUp();
        CopyFromStation("tavrin.dbi");
        PageBuffers = Folder.Path("pgb").string() + "/";
        std::filesystem::create_directories(PageBuffers);
        Folder.Write("tavrin.ini", "[Main]\nInputFolder=" + PageBuffers + "\n");
    }

    void WritePlate(int job, int page, const std::string& color, const TPixels& inked, int width = 45, int height = 70,
                    int resolution = 300)
    {
        TBitmap bitmap{width, height, {}};
        bitmap.Bits.assign(bitmap.RowBytes() * height, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (inked(x, y))
                    bitmap.Bits[std::size_t(y) * bitmap.RowBytes() + std::size_t(x) / 8] |=
                        std::uint8_t(0x80 >> (x % 8));
        TPlateOptions options;
        options.JobNumber = job;
        options.PageNumber = page;
        options.ColorName = color;
        options.JobName = std::to_string(job) + ".proof-job.ps";
        options.Resolution = resolution;
        WriteFileBytes(PageBuffers + std::to_string(job) + "-" + std::to_string(page) + "-" + color + ".pgb",
                       PageBufferBytes(PlateLayout(bitmap, options)));
    }

    // Scans the folder and masters the job; returns the masters it made.
    std::set<std::string> Master(int job)
    {
        const std::set<std::string> before = Masters();
        EXPECT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
        const auto master = testing::RunProgram("tavrin-cli", "task master " + std::to_string(job));
        EXPECT_EQ(master.ExitStatus, 0) << master.Output << master.Errors;
        std::set<std::string> made;
        for (const std::string& path : Masters())
            if (!before.count(path))
                made.insert(path);
        return made;
    }

    std::set<std::string> Masters() const
    {
        std::set<std::string> paths;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(Folder.Path("output"), error))
            if (entry.path().extension() == ".tif")
                paths.insert(entry.path().string());
        return paths;
    }

    std::string PageBuffers;
};

bool Checker(int x, int y)
{
    return (x / 3 + y / 2) % 2 == 0;
}

bool Diagonal(int x, int y)
{
    return (x + 2 * y) % 7 == 0;
}

bool InBlackChange(int x, int y)
{
    return x >= 20 && x <= 29 && y >= 30 && y <= 36;
}

bool InCyanChange(int x, int y)
{
    return (x == 21 && y == 31) || (x == 22 && y == 33) || (x == 25 && y == 35);
}

TEST_F(CompareCommand, NamesEveryPageAndPlateThatDiffersWithItsPixelsAndArea)
{
    // Round 1: three pages.
    WritePlate(101, 1, "CYAN", Diagonal);
    WritePlate(101, 1, "BLACK", Checker);
    WritePlate(101, 2, "CYAN", Diagonal);
    WritePlate(101, 2, "BLACK", Checker);
    WritePlate(101, 3, "BLACK", Checker);
    WritePlate(101, 3, "VARNISH", [](int x, int) { return x < 9; });
    const std::set<std::string> round1 = Master(101);
    ASSERT_EQ(round1.size(), 3u);
    // Round 2, ripped anew: page 1 the same pixels under new headers, a
    // rectangle of page 2's black and three pixels of its cyan flipped, a
    // spot plate before page 3's varnish (which moves to the next spot bit),
    // and a fourth page.
    WritePlate(105, 1, "CYAN", Diagonal);
    WritePlate(105, 1, "BLACK", Checker);
    WritePlate(105, 2, "CYAN", [](int x, int y) { return Diagonal(x, y) != InCyanChange(x, y); });
    WritePlate(105, 2, "BLACK", [](int x, int y) { return Checker(x, y) != InBlackChange(x, y); });
    WritePlate(105, 3, "BLACK", Checker);
    WritePlate(105, 3, "SPOT ORANGE", [](int x, int y) { return x == y; });
    WritePlate(105, 3, "VARNISH", [](int x, int) { return x < 9; });
    WritePlate(105, 4, "BLACK", Diagonal);
    ASSERT_EQ(Master(105).size(), 4u);

    const auto forward = testing::RunProgram("tavrin-cli", "compare 101 105");
    EXPECT_EQ(forward.Output, "page 1 same\n"
                              "page 2 changed: BLACK 70 px, CYAN 3 px; area 20,30 to 29,36\n"
                              "page 3 changed: SPOT ORANGE (new)\n"
                              "page 4 new\n");
    EXPECT_EQ(forward.ExitStatus, 1);
    EXPECT_EQ(forward.Errors, "");

    const auto backward = testing::RunProgram("tavrin-cli", "compare 105 101");
    EXPECT_EQ(backward.Output, "page 1 same\n"
                               "page 2 changed: BLACK 70 px, CYAN 3 px; area 20,30 to 29,36\n"
                               "page 3 changed: SPOT ORANGE (gone)\n"
                               "page 4 removed\n");
    EXPECT_EQ(backward.ExitStatus, 1);

    const auto itself = testing::RunProgram("tavrin-cli", "compare 105 105");
    EXPECT_EQ(itself.Output, "page 1 same\npage 2 same\npage 3 same\npage 4 same\n");
    EXPECT_EQ(itself.ExitStatus, 0) << itself.Errors;

    // The earlier round's masters deleted: the digests recorded at mastering
    // still tell which plates changed, though not where.
    for (const std::string& path : round1)
        std::filesystem::remove(path);
    const auto byDigests = testing::RunProgram("tavrin-cli", "compare 101 105");
    EXPECT_EQ(byDigests.Output, "page 1 same; by plate digests\n"
                                "page 2 changed: BLACK, CYAN; area unknown; by plate digests\n"
                                "page 3 changed: SPOT ORANGE (new); by plate digests\n"
                                "page 4 new\n");
    EXPECT_EQ(byDigests.ExitStatus, 1);
}

TEST_F(CompareCommand, APageOfAnotherSizeOrResolutionIsChangedAsAWhole)
{
    WritePlate(201, 1, "BLACK", Checker);
    WritePlate(202, 1, "BLACK", Checker, 46, 70);
    WritePlate(203, 1, "BLACK", Checker, 45, 70, 600);
    Master(201);
    Master(202);
    Master(203);
    struct TCase {
        const char* Arguments;
        const char* Output;
    };
    const TCase cases[] = {
        {"compare 201 202", "page 1 changed: size 45x70 to 46x70\n"},
        {"compare 201 203", "page 1 changed: resolution 300x300 to 600x600 dpi\n"},
        {"compare 202 203", "page 1 changed: size 46x70 to 45x70, resolution 300x300 to 600x600 dpi\n"},
    };
    for (const TCase& c : cases) {
        const auto result = testing::RunProgram("tavrin-cli", c.Arguments);
        EXPECT_EQ(result.Output, c.Output) << c.Arguments;
        EXPECT_EQ(result.ExitStatus, 1) << c.Arguments;
    }
}

TEST_F(CompareCommand, AJobThatCannotBeComparedOrAWrongCallFailsWithTheReason)
{
    WritePlate(301, 1, "BLACK", Checker);
    WritePlate(302, 1, "BLACK", Checker);
    Master(301);
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
    struct TCase {
        const char* Arguments;
        int ExitStatus;
        const char* Reason;
    };
    const TCase cases[] = {
        {"compare 301 302", 1,
         "tavrin-cli: cannot compare job 301 with job 302: Page 1 of job 302 has no plate digests"},
        {"compare 309 301", 1, "tavrin-cli: cannot compare job 309 with job 301: There is no job 309"},
        {"compare 301", 2, "Usage: tavrin-cli compare OLD NEW"},
        {"compare 301 302 303", 2, "Usage: tavrin-cli compare OLD NEW"},
        {"compare 301 two", 2, "tavrin-cli: \"two\" is not a job reference"},
    };
    for (const TCase& c : cases) {
        const auto result = testing::RunProgram("tavrin-cli", c.Arguments);
        EXPECT_EQ(result.ExitStatus, c.ExitStatus) << c.Arguments;
        EXPECT_EQ(result.Errors.rfind(c.Reason, 0), 0u) << c.Arguments << ": " << result.Errors;
        EXPECT_EQ(result.Output, "") << c.Arguments;
    }
}

}  // namespace
}  // namespace tavrin
