#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/ProofAnswers.h"
#include "base/catalogue/ProofFingerprint.h"
#include "base/catalogue/ProofRounds.h"
#include "base/catalogue/RoundChanges.h"
#include "engines/imaging/ChangeMap.h"
#include "engines/imaging/MasterImagePath.h"
#include "engines/imaging/RoundCompare.h"
#include "tasks/imaging/MasteringThread.h"
#include "tasks/imaging/TilingThread.h"
#include "tests/imaging/JobFixture.h"
#include "tests/imaging/MasterFiles.h"
#include "tests/imaging/ReferenceCopies.h"
#include "tests/support/TaskContexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace tavrin::testing {
namespace {

constexpr int Width = 600, Height = 700;
// The rectangle of round 2's page 2 whose black is flipped: it crosses a
// tile column (288) and, the grid being anchored at the bottom, a tile row
// (412) of the full-resolution level.
constexpr int Left = 280, Top = 400, Right = 299, Bottom = 420;

const std::vector<int> Cyan = {32767, 0, 0, 0};
const std::vector<int> Black = {0, 0, 0, 32767};
const std::vector<int> Orange = {0, 16000, 32767, 0};

TBitmap Flipped(TBitmap bitmap)
{
    for (int y = Top; y <= Bottom; ++y)
        for (int x = Left; x <= Right; ++x)
            bitmap.Bits[std::size_t(y) * bitmap.RowBytes() + std::size_t(x) / 8] ^= std::uint8_t(0x80 >> (x % 8));
    return bitmap;
}

// Names in the job folder that start with the prefix.
std::set<std::string> FilesStarting(const std::string& folder, const std::string& prefix)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind(prefix, 0) == 0)
            names.insert(entry.path().filename().string());
    return names;
}

// The set pixels of a level's change map over the whole level (tile x T +
// pixel, rows from the top), each tile checked to be the designed PNG.
std::set<std::pair<int, int>> MarkedPixels(const TTileFile& map)
{
    std::set<std::pair<int, int>> marked;
    for (const auto& [position, png] : map.Tiles) {
        const auto chunks = PngChunks(png);
        EXPECT_EQ(chunks.size(), 5u);
        EXPECT_EQ(chunks[0].first, "IHDR");
        EXPECT_EQ(chunks[0].second.substr(8), std::string("\x01\x03\x00\x00\x00", 5)) << "1 bit, palette";
        EXPECT_EQ(chunks[1], (std::pair<std::string, std::string>{"PLTE", std::string("\0\0\0\xFF\0\xFF", 6)}));
        EXPECT_EQ(chunks[2], (std::pair<std::string, std::string>{"tRNS", std::string(1, '\0')}));
        const TImage tile = map.Tile(position.first, position.second);
        if (!tile) {
            ADD_FAILURE() << "tile " << position.first << "," << position.second << " is no PNG";
            continue;
        }
        const int gridRow = int(map.Rows - 1 - position.second);
        bool any = false;
        for (int y = 0; y < int(TileSide); ++y)
            for (int x = 0; x < int(TileSide); ++x)
                if (gdImageGetPixel(tile.get(), x, y) == 1) {
                    marked.insert({int(position.first) * int(TileSide) + x, gridRow * int(TileSide) + y});
                    any = true;
                }
        EXPECT_TRUE(any) << "a tile without a change is not written";
    }
    return marked;
}

// The pixels of a level whose proof differs between two rounds' tile databases.
std::set<std::pair<int, int>> DifferingPixels(const TTileFile& before, const TTileFile& after)
{
    std::set<std::pair<int, int>> differing;
    for (std::uint32_t row = 0; row < after.Rows; ++row)
        for (std::uint32_t column = 0; column < after.Columns; ++column) {
            const TImage a = before.Tile(column, row), b = after.Tile(column, row);
            for (int y = 0; y < int(TileSide); ++y)
                for (int x = 0; x < int(TileSide); ++x)
                    if (PixelColor(a.get(), x, y) != PixelColor(b.get(), x, y))
                        differing.insert(
                            {int(column) * int(TileSide) + x, int(after.Rows - 1 - row) * int(TileSide) + y});
        }
    return differing;
}

// Round 1 (job 101): two pages of cyan and black. Round 2 (job 105): page 1
// the same, page 2 with a rectangle of black flipped and an orange spot
// plate added, and a page 3. Round 1's page 1 is approved.
class RoundWeb : public JobFixture {
protected:
    void SetUp() override
    {
        JobFixture::SetUp();
        Folder.CopyStationFile("tavrin.js");
        for (int page = 1; page <= 2; ++page) {
            for (const int job : {101, 105}) {
                WriteRoundPlate(job, page, "CYAN", RandomBitmap(Width, Height, 10 + page), Cyan);
                const TBitmap black = RandomBitmap(Width, Height, 20 + page);
                WriteRoundPlate(job, page, "BLACK", job == 105 && page == 2 ? Flipped(black) : black, Black);
            }
        }
        // Not inked, so that round 2's page shows the same colours where its
        // black is the same.
        WriteRoundPlate(105, 2, "PANTONE 151 C",
                        TBitmap{Width, Height, std::vector<std::uint8_t>(std::size_t(Width + 7) / 8 * Height)}, Orange);
        WriteRoundPlate(105, 3, "BLACK", RandomBitmap(Width, Height, 33), Black);
        Scan();
        for (const std::uint32_t job : {101u, 105u})
            ASSERT_EQ(RunTaskThread([&](TMessageTarget& target) {
                          return new TMasteringThread(target, MasteringContext(Catalogue, job, InputFolder));
                      })
                          .back()
                          .Text,
                      "done");
        LinkProofRound(Catalogue, 105, 101);
        TProofAnswer approval;
        approval.Job = "folder";
        approval.Page = 1;
        approval.Decision = "approve";
        approval.Name = "Zoe Lang";
        approval.Time = "2026-12-10T09:31:00Z";
        approval.Source = "web";
        approval.Fingerprint = LoadJobFingerprint(Catalogue, 101);
        AddProofAnswers(Catalogue, 101, {approval});
        FirstFolder = OutputFolder() + UniqueID(101) + "/";
        SecondFolder = OutputFolder() + UniqueID(105) + "/";
    }

    void WriteRoundPlate(int job, int page, const std::string& color, const TBitmap& bitmap, std::vector<int> values)
    {
        TPlateOptions options;
        options.JobNumber = job;
        options.PageNumber = page;
        options.ColorName = color;
        options.ColorValues = std::move(values);
        options.JobName = std::to_string(job) + ".proof-job.ps";
        options.Resolution = 300;
        WriteFileBytes(InputFolder + std::to_string(job) + "-" + std::to_string(page) + "-" + color + ".pgb",
                       PageBufferBytes(PlateLayout(bitmap, options)));
    }

    std::vector<TSeen> RunWeb(std::uint32_t reference)
    {
        return RunTaskThread([&](TMessageTarget& target) { return new TTilingThread(target, TaskContext(reference)); });
    }

    // The log lines of the run, without the tiling's.
    static std::vector<std::string> RoundLines(const std::vector<TSeen>& seen)
    {
        std::vector<std::string> lines;
        for (const TSeen& message : seen)
            if (message.Number == WM_TOTAL_PROGRESS && !message.Text.empty() &&
                message.Text.rfind("Finished creating", 0) != 0 && message.Text != "Creating web site...")
                lines.push_back(message.Text);
        return lines;
    }

    std::string EarlierDirectory()
    {
        TJobDetailRecord job;
        LoadJobDetail(Catalogue, 101, job);
        return RemoteJobFolderName(job.UniqueID, job.Secret) + "/";
    }

    std::string FirstFolder;
    std::string SecondFolder;
};

TEST_F(RoundWeb, ALaterRoundStoresItsCompareWritesItsRoundDataAndMapsExactlyTheChangedPixels)
{
    // A first proof says only its round.
    ASSERT_EQ(RunWeb(101).back().Text, "done");
    EXPECT_EQ(FileText(FirstFolder + "rounds.js"), "var proofround={\"round\":1};\r\n");
    EXPECT_TRUE(FilesStarting(FirstFolder, "change").empty());

    const auto seen = RunWeb(105);
    ASSERT_EQ(seen.back().Text, "done");
    EXPECT_EQ(RoundLines(seen), (std::vector<std::string>{
                                    "Comparing with round 1 (job 101)...",
                                    "page 1 same",
                                    "page 2 changed: BLACK 420 px, PANTONE 151 C (new); area 280,400 to 299,420",
                                    "page 3 new",
                                }));
    // The task bar runs while a page is compared.
    EXPECT_NE(std::find(seen.begin(), seen.end(), TSeen{WM_TASK_PROGRESS, 100, ""}), seen.end());

    const auto stored = LoadRoundChanges(Catalogue, 105);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->EarlierReference, 101u);
    ASSERT_EQ(stored->Pages.size(), 3u);
    EXPECT_EQ(ComparisonLine(stored->Pages[1]),
              "page 2 changed: BLACK 420 px, PANTONE 151 C (new); area 280,400 to 299,420");

    EXPECT_EQ(FileText(SecondFolder + "rounds.js"),
              "var proofround={\"round\":2,\"jobname\":\"proof-job.ps\",\"earlier\":{\"round\":1,\"directory\":\"" +
                  EarlierDirectory() +
                  "\"},\"pages\":["
                  "{\"page\":1,\"state\":\"same\",\"carried\":{\"round\":1,\"decision\":\"approve\","
                  "\"name\":\"Zoe Lang\",\"time\":\"2026-12-10T09:31:00Z\"}},"
                  "{\"page\":2,\"state\":\"changed\",\"plates\":[{\"name\":\"BLACK\",\"change\":\"changed\","
                  "\"pixels\":420},{\"name\":\"PANTONE 151 C\",\"change\":\"new\",\"pixels\":null}],"
                  "\"area\":[280,400,299,420],\"map\":true},"
                  "{\"page\":3,\"state\":\"new\"}]};\r\n");

    std::set<std::string> maps;
    for (int level = 0; level < TTilingThread::LevelCount; ++level)
        maps.insert(ChangeMapDatabaseName(level, 2));
    EXPECT_EQ(FilesStarting(SecondFolder, "change"), maps);
    EXPECT_EQ(ChangeMapDatabaseName(4, 2), "change4-0002.tdb");

    for (int level = 0; level < TTilingThread::LevelCount; ++level) {
        SCOPED_TRACE("level " + std::to_string(level));
        const TTileFile map = TTileFile::Read(SecondFolder + ChangeMapDatabaseName(level, 2));
        const TTileFile tiles = TTileFile::Read(SecondFolder + TTilingThread::TileDatabaseName(level, 2));
        ASSERT_TRUE(map.Valid);
        EXPECT_EQ(map.Columns, tiles.Columns);
        EXPECT_EQ(map.Rows, tiles.Rows);
        const auto marked = MarkedPixels(map);
        if (level == 4) {
            // The grid is anchored at the page's bottom-left corner: the top tile row overhangs.
            const TTileGrid grid = TTileGrid::For(Width, Height, TileSide, 1.0);
            std::set<std::pair<int, int>> expected;
            for (int y = Top; y <= Bottom; ++y)
                for (int x = Left; x <= Right; ++x)
                    expected.insert({x, y + grid.ODY});
            EXPECT_EQ(marked, expected);
        }
        // Every proof pixel that shows the change is marked; nothing is
        // marked beyond the pixels that take the rectangle in.
        const auto differing =
            DifferingPixels(TTileFile::Read(FirstFolder + TTilingThread::TileDatabaseName(level, 2)), tiles);
        EXPECT_FALSE(differing.empty());
        for (const auto& pixel : differing)
            EXPECT_TRUE(marked.count(pixel)) << pixel.first << "," << pixel.second;
        const auto [minX, maxX] = std::minmax_element(differing.begin(), differing.end());
        int top = Height, bottom = 0;
        for (const auto& pixel : differing) {
            top = std::min(top, pixel.second);
            bottom = std::max(bottom, pixel.second);
        }
        for (const auto& pixel : marked)
            EXPECT_TRUE(pixel.first >= minX->first - 1 && pixel.first <= maxX->first + 1 && pixel.second >= top - 1 &&
                        pixel.second <= bottom + 1)
                << pixel.first << "," << pixel.second;
    }
}

TEST_F(RoundWeb, ARunAfterTheEarlierMasterIsGoneComparesByDigestsAndLeavesNoMapOfThatPage)
{
    ASSERT_EQ(RunWeb(105).back().Text, "done");
    ASSERT_TRUE(std::filesystem::exists(SecondFolder + ChangeMapDatabaseName(4, 2)));
    std::filesystem::remove(MasterImagePath(UniqueID(101), 2));

    const auto seen = RunWeb(105);
    ASSERT_EQ(seen.back().Text, "done");
    EXPECT_EQ(RoundLines(seen), (std::vector<std::string>{
                                    "Comparing with round 1 (job 101)...",
                                    "page 1 same",
                                    "page 2 changed: BLACK, PANTONE 151 C (new); area unknown; by plate digests",
                                    "page 3 new",
                                }));
    EXPECT_TRUE(FilesStarting(SecondFolder, "change").empty()) << "the first run's map is gone";
    const std::string rounds = FileText(SecondFolder + "rounds.js");
    EXPECT_NE(rounds.find("{\"page\":2,\"state\":\"changed\",\"plates\":[{\"name\":\"BLACK\",\"change\":"
                          "\"changed\",\"pixels\":null},{\"name\":\"PANTONE 151 C\",\"change\":\"new\","
                          "\"pixels\":null}],\"bydigests\":true},"),
              std::string::npos)
        << rounds;
    // The unchanged page keeps its approval.
    EXPECT_NE(rounds.find("{\"page\":1,\"state\":\"same\",\"carried\":"), std::string::npos) << rounds;
    EXPECT_TRUE(LoadRoundChanges(Catalogue, 105)->Pages[1].ByDigests);
}

TEST_F(RoundWeb, ARoundThatCannotBeComparedIsBuiltWithItsNumberAndTheLogSaysWhy)
{
    struct TCase {
        const char* Name;
        const char* Damage;  // a statement on the catalogue
        const char* Line;
        bool EarlierListed;
    };
    // One after the other: the first run after a good one must also take its compare and map away.
    const TCase cases[] = {
        {"earlier round mastered before digests were kept",
         "delete from PlateDigestList where PlateDigestListJobReference = 101",
         "Not comparing with round 1 (job 101): Page 1 of job 101 has no plate digests: they are recorded when the "
         "job is mastered",
         true},
        {"earlier job no longer catalogued", "delete from JobList where JobListReference = 101",
         "Not comparing with round 1 (job 101): There is no job 101 in the catalogue", false},
    };
    const std::string earlier = "\"earlier\":{\"round\":1,\"directory\":\"" + EarlierDirectory() + "\"},";
    ASSERT_EQ(RunWeb(105).back().Text, "done");
    ASSERT_TRUE(LoadRoundChanges(Catalogue, 105));
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Run(c.Damage);
        const auto seen = RunWeb(105);
        ASSERT_EQ(seen.back().Text, "done");
        EXPECT_EQ(RoundLines(seen), std::vector<std::string>{c.Line});
        EXPECT_EQ(FileText(SecondFolder + "rounds.js"), "var proofround={\"round\":2,\"jobname\":\"proof-job.ps\"," +
                                                            (c.EarlierListed ? earlier : "") + "\"pages\":null};\r\n");
        EXPECT_TRUE(FilesStarting(SecondFolder, "change").empty());
        EXPECT_TRUE(std::filesystem::exists(SecondFolder + "index.html"));
        // No compare is kept, so no answer is carried.
        EXPECT_FALSE(LoadRoundChanges(Catalogue, 105));
    }
}

TEST_F(RoundWeb, AMasterThatCannotBeReadFailsTheTaskAndLeavesNoChangeMap)
{
    ASSERT_EQ(RunWeb(105).back().Text, "done");
    // Strips of 288 lines: the last one of the earlier page 2 is read after
    // the changed rows have gone into the map.
    const std::string master = MasterImagePath(UniqueID(101), 2);
    SpoilStrip(master, 2);

    const auto seen = RunWeb(105);
    const std::string reason = "failed: Cannot read strip 2 of " + master;
    EXPECT_EQ(seen.back().Text.substr(0, reason.size()), reason) << seen.back().Text;
    EXPECT_TRUE(FilesStarting(SecondFolder, "change").empty());
    EXPECT_FALSE(std::filesystem::exists(SecondFolder + "rounds.js"));
    EXPECT_FALSE(std::filesystem::exists(SecondFolder + "index.html"));
}

// Removing a proof's pages removes the change maps by their names, and
// nothing else of the job folder.
TEST(ChangeMapNames, OnlyTheMapsNamesAreTakenForMaps)
{
    for (const char* name : {"change0-0001.tdb", "change4-0002.tdb", "change3-12345.tdb"})
        EXPECT_TRUE(IsChangeMapDatabaseName(name)) << name;
    for (const char* name : {"tile4-0002.tdb", "change4-002.tdb", "change40002.tdb", "change4-0002.tdb.part",
                             "change-0002.tdb", "changex-0002.tdb", "change4-00a2.tdb", "change4-0002.TDB", ""})
        EXPECT_FALSE(IsChangeMapDatabaseName(name)) << name;
}

}  // namespace
}  // namespace tavrin::testing
