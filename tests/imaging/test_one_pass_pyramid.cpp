#include "engines/imaging/LevelFeed.h"
#include "engines/imaging/LevelPass.h"
#include "engines/imaging/MasterLayout.h"
#include "engines/imaging/ProofImage.h"
#include "engines/imaging/PyramidCutter.h"
#include "engines/imaging/SharedStrips.h"
#include "engines/imaging/StripReader.h"
#include "engines/imaging/TileCutter.h"
#include "engines/imaging/TileDB.h"
#include "tests/imaging/MasterFiles.h"
#include "tests/imaging/ReferenceCopies.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

namespace tavrin::testing {
namespace {

class OnePassPyramid : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return Folder.Path(name).string(); }
    TScratchProgramFolder Folder;
};

std::string ErrorText(const std::exception_ptr& error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& raised) {
        return raised.what();
    }
    return "";
}

TEST_F(OnePassPyramid, EveryLevelAndTheOverviewEqualTheirOwnPasses)
{
    // Strips of 32 rows: far more strips than a pass may run ahead; paper
    // at the top gives tiles that repeat.
    TMasterContents master = PageLikeMaster(1500, 2100, 5);
    std::fill(master.Pixels.begin(), master.Pixels.begin() + 1500 * 500, 255);
    const std::string path = Path("master.tif");
    ASSERT_TRUE(WriteMasterFile(path, master, 600, 32, true));
    const std::vector<double> factors = {288.0 * 2 / 2100, 96.0 / 600, 192.0 / 600, 384.0 / 600, 1.0};
    auto image = TProofImage::CreateForRead(path);
    for (std::size_t z = 0; z < factors.size(); ++z)
        CutTiles(image->Tiff(), Path("alone" + std::to_string(z) + ".tdb"), 288, factors[z], nullptr, 0);
    image->MakePreview(Path("alone.png"), 288.0 / 2100);

    for (unsigned workers : {0u, 1u, 3u}) {
        SCOPED_TRACE(workers);
        TPyramidOrder order;
        for (std::size_t z = 0; z < factors.size(); ++z)
            order.Levels.push_back({Path("tile" + std::to_string(z) + ".tdb"), factors[z]});
        order.OverviewFile = Path("overview.png");
        order.OverviewFactor = 288.0 / 2100;
        std::vector<int> progress;
        const auto errors = CutPyramid(
            image->Tiff(), order, [&](int p) { progress.push_back(p); }, workers);
        ASSERT_EQ(errors.size(), 6u);
        for (std::size_t z = 0; z < factors.size(); ++z) {
            EXPECT_EQ(ErrorText(errors[z]), "");
            EXPECT_TRUE(FileText(Path("tile" + std::to_string(z) + ".tdb")) ==
                        FileText(Path("alone" + std::to_string(z) + ".tdb")))
                << "level " << z;
        }
        EXPECT_EQ(ErrorText(errors[5]), "");
        EXPECT_TRUE(FileText(Path("overview.png")) == FileText(Path("alone.png")));
        // One bar for all levels: from 0, rising, to 100.
        ASSERT_GE(progress.size(), 3u);
        EXPECT_EQ(progress.front(), 0);
        EXPECT_EQ(progress.back(), 100);
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    }
}

TEST_F(OnePassPyramid, AnOutputThatFailsLeavesNothingAndTheOthersAreWritten)
{
    const TMasterContents master = PageLikeMaster(700, 500, 4);
    const std::string path = Path("master.tif");
    ASSERT_TRUE(WriteMasterFile(path, master, 600, 64, true));
    auto image = TProofImage::CreateForRead(path);
    // A level whose database cannot be created, and an unusable factor.
    TPyramidOrder order;
    order.Levels = {{Path("a.tdb"), 0.5}, {Path("no/such/folder/b.tdb"), 1.0}, {Path("c.tdb"), 0.0}};
    order.OverviewFile = Path("overview.png");
    order.OverviewFactor = 0.4;
    auto errors = CutPyramid(image->Tiff(), order, nullptr, 1);
    EXPECT_EQ(ErrorText(errors[0]), "");
    EXPECT_NE(ErrorText(errors[1]).find("no/such/folder/b.tdb.part"), std::string::npos) << ErrorText(errors[1]);
    EXPECT_EQ(ErrorText(errors[2]), "");
    EXPECT_EQ(ErrorText(errors[3]), "");
    EXPECT_TRUE(std::filesystem::exists(Path("a.tdb")));
    EXPECT_FALSE(std::filesystem::exists(Path("c.tdb")));
    EXPECT_TRUE(std::filesystem::exists(Path("overview.png")));

    // A strip that cannot be read fails every output, each with the reason.
    SpoilStrip(path, 3);
    image = TProofImage::CreateForRead(path);
    order.Levels = {{Path("d.tdb"), 0.5}, {Path("e.tdb"), 1.0}};
    order.OverviewFile = Path("damaged.png");
    errors = CutPyramid(image->Tiff(), order, nullptr, 1);
    const std::string expected = "Could not read strip 3 of " + path + ": ";
    for (const auto& error : errors)
        EXPECT_EQ(ErrorText(error).substr(0, expected.size()), expected) << ErrorText(error);
    for (const char* name : {"d.tdb", "d.tdb.part", "e.tdb", "e.tdb.part", "damaged.png", "damaged.png.part"})
        EXPECT_FALSE(std::filesystem::exists(Path(name))) << name;
}

TEST_F(OnePassPyramid, LevelsMadeFromAFinerLevelsSumsEqualTheirOwnPasses)
{
    // Tiles of 16 pixels at the zoom factors of a 2400 dpi page (source
    // tiles of 100, 200 and 400 pixels: the two coarser levels are made from
    // the finest's sums), beside a level that does not nest and the full
    // resolution; a page whose top row and last column are partial tiles.
    const TMasterContents master = PageLikeMaster(1030, 1410, 9);
    const std::string path = Path("master.tif");
    ASSERT_TRUE(WriteMasterFile(path, master, 2400, 32, true));
    const std::vector<double> factors = {16.0 / 1410, 0.04, 0.08, 0.16, 1.0};
    auto image = TProofImage::CreateForRead(path);
    for (std::size_t z = 0; z < factors.size(); ++z)
        CutTiles(image->Tiff(), Path("alone" + std::to_string(z) + ".tdb"), 16, factors[z], nullptr, 0);
    for (unsigned workers : {0u, 1u, 3u}) {
        SCOPED_TRACE(workers);
        TPyramidOrder order;
        order.TileSize = 16;
        for (std::size_t z = 0; z < factors.size(); ++z)
            order.Levels.push_back({Path("tile" + std::to_string(z) + ".tdb"), factors[z]});
        const auto errors = CutPyramid(image->Tiff(), order, nullptr, workers);
        for (std::size_t z = 0; z < factors.size(); ++z) {
            EXPECT_EQ(ErrorText(errors[z]), "") << "level " << z;
            EXPECT_TRUE(FileText(Path("tile" + std::to_string(z) + ".tdb")) ==
                        FileText(Path("alone" + std::to_string(z) + ".tdb")))
                << "level " << z;
        }
    }

    // A strip that cannot be read ends the finer level and every level fed
    // by it with the reason, instead of leaving them waiting.
    SpoilStrip(path, 20);
    image = TProofImage::CreateForRead(path);
    TPyramidOrder order;
    order.TileSize = 16;
    order.Levels = {{Path("d.tdb"), 0.04}, {Path("e.tdb"), 0.08}, {Path("f.tdb"), 0.16}};
    const std::string expected = "Could not read strip 20 of " + path + ": ";
    for (const auto& error : CutPyramid(image->Tiff(), order, nullptr, 1))
        EXPECT_EQ(ErrorText(error).substr(0, expected.size()), expected) << ErrorText(error);
    for (const char* name : {"d.tdb", "e.tdb", "f.tdb"})
        EXPECT_FALSE(std::filesystem::exists(Path(name))) << name;
}

// The first Count strips of a decode.
class TFirstStrips : public TStripSource {
public:
    TFirstStrips(TStripSource& decoded, std::uint32_t count) : Decoded(decoded), Left(count) {}
    std::shared_ptr<const TMasterStrip> Next() override { return Left-- > 0 ? Decoded.Next() : nullptr; }

private:
    TStripSource& Decoded;
    std::uint32_t Left;
};

TEST_F(OnePassPyramid, ACoarserLevelAveragesWhatAFinerLevelThatStoppedEarlyDidNotGive)
{
    // Strips of 100 rows, one per grid row of the finer level (factor 0.16
    // of 16-pixel tiles); it reads only five strips, then stops, and the
    // coarser level (0.08) runs after it with the rows it gave.
    const TMasterContents master = PageLikeMaster(1030, 1400, 12);
    const std::string path = Path("master.tif");
    ASSERT_TRUE(WriteMasterFile(path, master, 2400, 100, true));
    auto image = TProofImage::CreateForRead(path);
    CutTiles(image->Tiff(), Path("alone.tdb"), 16, 0.08, nullptr, 0);
    const TMasterLayout layout = TMasterLayout::Read(image->Tiff());
    const TTileGrid finer = TTileGrid::For(1030, 1400, 16, 0.16), coarser = TTileGrid::For(1030, 1400, 16, 0.08);
    auto feed = TLevelFeed::For(finer, coarser);
    ASSERT_TRUE(feed);
    {
        TTileDB scrap(Path("finer.tdb"), finer.Columns, finer.Rows);
        TLevelPass giver(layout, finer, 0.16, scrap, nullptr, 1);
        ASSERT_TRUE(giver.Feed({&*feed}));
        TStripReader reader(image->Tiff(), layout, 0, layout.StripCount - 1, 0);
        TFirstStrips firstFive(reader, 5);
        giver.Run(firstFive);
    }
    TTileDB database(Path("fed.tdb"), coarser.Columns, coarser.Rows);
    TLevelPass taker(layout, coarser, 0.08, database, nullptr, 1);
    taker.FedBy(*feed);
    TStripReader reader(image->Tiff(), layout, 0, layout.StripCount - 1, 0);
    taker.Run(reader);
    database.Close();
    EXPECT_TRUE(FileText(Path("fed.tdb")) == FileText(Path("alone.tdb")));
}

TEST(LevelFeed, NestsOnlyLevelsWhoseInnerTilesCoverWholeMultiplesOfTheFinerOnes)
{
    // The 2400 dpi A4 and A3 pages: the 96 and 192 dpi levels from the 384 dpi level.
    for (const auto& [width, height] : {std::pair{19833u, 28067u}, std::pair{28067u, 39700u}}) {
        const TTileGrid finer = TTileGrid::For(width, height, 288, 384.0 / 2400);
        for (const auto& [factor, multiple] : {std::pair{192.0 / 2400, 2u}, std::pair{96.0 / 2400, 4u}}) {
            const auto feed = TLevelFeed::For(finer, TTileGrid::For(width, height, 288, factor));
            ASSERT_TRUE(feed) << width << " " << factor;
            EXPECT_EQ(feed->Multiple(), multiple);
        }
        // The whole-page level's tiles are no whole multiple; nor do tiles of another size nest.
        EXPECT_FALSE(TLevelFeed::For(finer, TTileGrid::For(width, height, 288, 576.0 / height)));
        EXPECT_FALSE(TLevelFeed::For(finer, TTileGrid::For(width, height, 144, 192.0 / 2400)));
    }
}

TEST(LevelFeed, HandsOutEachCompletedRowOnceAndNothingAfterItCloses)
{
    // Two grids of 4-pixel tiles, the coarser covering 2 x 2 finer pixels.
    const TTileGrid finer = TTileGrid::For(64, 64, 4, 0.5), coarser = TTileGrid::For(64, 64, 4, 0.25);
    auto feed = TLevelFeed::For(finer, coarser);
    ASSERT_TRUE(feed);
    ASSERT_EQ(feed->Multiple(), 2u);
    ASSERT_TRUE(feed->Inner(4));
    const std::uint32_t columns = feed->Columns();
    // Coarser row 4 is finer rows 8 and 9: weights 1 and 3, colours to give 50 and 60.
    const std::vector<TExactSums> upper(columns, TExactSums{50, 0, 0, 1}), lower(columns, TExactSums{190, 3, 0, 3});
    feed->Prepare(8, 10);
    feed->Add(8, 0, columns, upper.data());
    feed->Add(9, 0, columns, lower.data());
    feed->Complete(10);
    std::vector<int> pixels;
    ASSERT_TRUE(feed->Take(4, pixels));
    ASSERT_EQ(pixels.size(), feed->InnerColumns());
    // (2 x 50 + 2 x 190) / (2 x 1 + 2 x 3) = 60; green 6 / 8 floors to 0.
    EXPECT_EQ(pixels.front(), 60 << 16);
    feed->Close();
    EXPECT_FALSE(feed->Take(5, pixels));
}

// Strips 0 .. Count - 1 with nothing in them, counting those handed out.
class TCountingStrips : public TStripSource {
public:
    static constexpr std::uint32_t Count = 40;
    std::shared_ptr<const TMasterStrip> Next() override
    {
        if (Given == Count)
            return nullptr;
        auto strip = std::make_shared<TMasterStrip>();
        strip->Number = Given++;
        return strip;
    }
    std::atomic<std::uint32_t> Given = 0;
};

TEST(SharedStrips, APassRunsNoFurtherAheadThanTheLeadAndEveryPassSeesEveryStrip)
{
    TCountingStrips decoded;
    TSharedStrips shared(decoded, 2);
    std::vector<std::uint32_t> fast;
    std::thread ahead([&] {
        while (auto strip = shared.Pass(0).Next())
            fast.push_back(strip->Number);
        shared.Leave(0);
    });
    // The slow pass reads half the strips: the decode never gets more than
    // the lead beyond it, however far the fast pass wants to go.
    std::vector<std::uint32_t> slow;
    for (std::uint32_t read = 0; read < TCountingStrips::Count / 2; ++read) {
        std::this_thread::yield();
        EXPECT_LE(decoded.Given.load(), read + TSharedStrips::Lead);
        slow.push_back(shared.Pass(1).Next()->Number);
    }
    // Once the slow pass leaves, the fast one reads to the end.
    shared.Leave(1);
    ahead.join();
    std::vector<std::uint32_t> all(TCountingStrips::Count);
    for (std::uint32_t i = 0; i < all.size(); ++i)
        all[i] = i;
    EXPECT_EQ(fast, all);
    EXPECT_EQ(slow, std::vector<std::uint32_t>(all.begin(), all.begin() + TCountingStrips::Count / 2));
}

}  // namespace
}  // namespace tavrin::testing
