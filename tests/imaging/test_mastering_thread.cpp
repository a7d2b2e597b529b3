#include "catalogue/FolderScan.h"
#include "catalogue/JobDetailRecord.h"
#include "catalogue/OutputLayout.h"
#include "imaging/ColorTableGenerator.h"
#include "imaging/MasterImagePath.h"
#include "imaging/MasteringThread.h"
#include "pagebuffer/PGBObject.h"
#include "platform/MessageQueue.h"
#include "shell/SettingsRecord.h"
#include "shell/StationLog.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/imaging/JobFixture.h"
#include "tests/imaging/MasterFiles.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>

namespace tavrin::testing {
namespace {

bool Ink(const TBitmap& bitmap, int x, int y)
{
    if (y >= bitmap.Height)
        return false;
    return (bitmap.Bits[std::size_t(y) * bitmap.RowBytes() + std::size_t(x) / 8] >> (7 - x % 8)) & 1;
}

class MasteringTask : public JobFixture {
protected:
    std::vector<TSeen> RunTask(std::uint32_t reference)
    {
        return RunTaskThread([&](TMessageTarget& target) {
            return new TMasteringThread(target, InputFolder, reference, "", "");
        });
    }

    // The plate files of a page in PlateList order.
    static std::vector<std::string> PagePlates(int page)
    {
        return Column("select * from PlateList where PlateListPageNumber = " + std::to_string(page), "PlateListSource");
    }
};

TEST_F(MasteringTask, PagesOneTwoAndFourGiveMastersForPagesOneAndTwo)
{
    for (int page : {1, 2, 4})
        WritePlate("p" + std::to_string(page) + ".pgb", page, "BLACK", RandomBitmap(40, 130, page));
    Scan();
    ASSERT_FALSE(std::filesystem::exists(OutputFolder()));

    const auto seen = RunTask(5);

    // Three bands of 64 lines per page; the last band reports 2 / 3, not 100.
    std::vector<TSeen> expected = {{WM_TOTAL_PROGRESS, -1, "Creating master tiff image(s)..."}};
    for (int page = 0; page < 2; ++page) {
        expected.push_back({WM_TOTAL_PROGRESS, -1, "Source Profile: Default"});
        expected.push_back({WM_TOTAL_PROGRESS, -1, "Destination Profile: Default"});
        for (int position : {0, 33, 67})
            expected.push_back({WM_TOTAL_PROGRESS, position, ""});
    }
    expected.push_back({WM_TOTAL_PROGRESS, 100, "Finished creating master image"});
    expected.push_back({WM_MASTER_DONE, 5, "done"});
    EXPECT_EQ(seen, expected);

    const std::string id = UniqueID(5);
    EXPECT_TRUE(std::filesystem::exists(MasterImagePath(id, 1)));
    EXPECT_TRUE(std::filesystem::exists(MasterImagePath(id, 2)));
    EXPECT_FALSE(std::filesystem::exists(MasterImagePath(id, 4)));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(OutputFolder()), {}), 2);
}

TEST_F(MasteringTask, PlatesAreChosenByColourNameAndOnlyTheFirstFourSpotsRender)
{
    const int width = 40, height = 130;
    unsigned seed = 1;
    WritePlate("cyan.pgb", 1, "Cyan", RandomBitmap(width, height, seed++));
    WritePlate("black-a.pgb", 1, "BLACK", RandomBitmap(width, height, seed++));
    // The catalogue keeps one row per colour name as written, so the second black differs in case.
    WritePlate("black-b.pgb", 1, "Black", RandomBitmap(width, height, seed++));
    // Spot 1 has no colour values; spot 2 ends after its first band.
    WritePlate("s1.pgb", 1, "S1", RandomBitmap(width, height, seed++), {});
    WritePlate("s2.pgb", 1, "S2", RandomBitmap(width, 64, seed++), {32767, 0, 0, 0},
               {{"/ImageHeight", std::to_string(height)}});
    WritePlate("s3.pgb", 1, "S3", RandomBitmap(width, height, seed++), {0, 32767, 0, 0});
    WritePlate("s4.pgb", 1, "S4", RandomBitmap(width, height, seed++), {0, 0, 32767, 0});
    WritePlate("s5.pgb", 1, "S5", RandomBitmap(width, height, seed++), {0, 0, 0, 32767});
    Scan();
    RunTask(5);

    // 1. The planes by PlateList order: the first plate of a process colour, the first four others.
    std::array<const TBitmap*, 8> planes{};
    std::vector<std::string> spots;
    for (const std::string& name : PagePlates(1)) {
        const TPGBObject plate(InputFolder + name);
        const char* process[] = {"CYAN", "MAGENTA", "YELLOW", "BLACK"};
        std::string upper = plate.ColorName;
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        const auto found = std::find(std::begin(process), std::end(process), upper);
        if (found != std::end(process)) {
            if (!planes[std::size_t(found - process)])
                planes[std::size_t(found - process)] = &Bitmaps[name];
        } else if (spots.size() < 4) {
            planes[4 + spots.size()] = &Bitmaps[name];
            spots.push_back(name);
        } else {
            spots.push_back(name);
        }
    }
    ASSERT_EQ(spots.size(), 5u);
    ASSERT_EQ(PagePlates(1).size(), 8u);

    // 2. Every pixel: set bits are ink (the plates are negated), an absent plate is paper.
    const TMasterContents master = ReadMaster(MasterImagePath(UniqueID(5), 1));
    ASSERT_TRUE(master.Opened);
    ASSERT_EQ(master.Width, unsigned(width));
    ASSERT_EQ(master.Height, unsigned(height));
    static const int indexBit[8] = {3, 2, 1, 0, 4, 5, 6, 7};
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned index = 0;
            for (int k = 0; k < 8; ++k)
                index |= unsigned(!planes[k] || !Ink(*planes[k], x, y)) << indexBit[k];
            wrong += master.At(x, y) != index;
        }
    EXPECT_EQ(wrong, 0);

    // 3. The colour map of the first four spots; missing colour values read 0.
    TColorTableGenerator expected("", "");
    for (std::size_t i = 0; i < 4; ++i) {
        const TPGBObject plate(InputFolder + spots[i]);
        std::uint16_t v[4] = {};
        for (std::size_t j = 0; j < std::min<std::size_t>(4, plate.ColorValues.size()); ++j)
            v[j] = plate.ColorValues[j];
        expected.AddSpotColor({plate.ColorName, ColorValueToByte(v[0]), ColorValueToByte(v[1]), ColorValueToByte(v[2]),
                               ColorValueToByte(v[3])});
    }
    ASSERT_TRUE(expected.BuildTable());
    for (std::size_t i = 0; i < 256; ++i)
        ASSERT_EQ(master.ColorMap[0][i], expected.ColorTable()[i].R) << i;
}

TEST_F(MasteringTask, FailuresAreLoggedAndTheTaskStillCompletes)
{
    EXPECT_EQ(RunTask(99), (std::vector<TSeen>{{WM_TOTAL_PROGRESS, -1, "Invalid Job for reference 99"},
                                               {WM_MASTER_DONE, 99, "done"}}));

    WritePlate("gone.pgb", 1, "BLACK", RandomBitmap(8, 8, 1));
    Scan();
    std::filesystem::remove(InputFolder + "gone.pgb");
    const auto seen = RunTask(5);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].Text, "Creating master tiff image(s)...");
    EXPECT_EQ(seen[1].Text.rfind("Task for job 5 failed: ", 0), 0u) << seen[1].Text;
    EXPECT_NE(seen[1].Text.find("gone.pgb"), std::string::npos) << seen[1].Text;
    EXPECT_EQ(seen[2], (TSeen{WM_MASTER_DONE, 5, "done"}));
    EXPECT_FALSE(std::filesystem::exists(MasterImagePath(UniqueID(5), 1)));
}

TEST(MasterImagePath, NamesThePageWithAtLeastFourDigits)
{
    TScratchProgramFolder folder;
    EXPECT_EQ(MasterImagePath("20261210090000000", 1), OutputFolder() + "20261210090000000-0001.tif");
    EXPECT_EQ(MasterImagePath("ABC", 10000), OutputFolder() + "ABC-10000.tif");
}

}  // namespace
}  // namespace tavrin::testing
