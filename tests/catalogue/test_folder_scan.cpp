#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "base/settings/SettingsRecord.h"
#include "base/tasking/StationLog.h"
#include "engines/imaging/ColorTableGenerator.h"
#include "tasks/catalogue/FolderScan.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

namespace tavrin::testing {
namespace {

struct TPlate {
    int Job = 12;
    int Page = 1;
    std::string Color = "CYAN";
    std::vector<int> ColorValues = {32767, 0, 0, 0};
    int ColorType = 1;
    std::string JobName = "12.Brochure.ps";
};

class FolderScan : public CatalogueFixture {
protected:
    void SetUp() override
    {
        CatalogueFixture::SetUp();
        Settings.InputFolder = Folder.Path("pagebuffers").string();
        std::filesystem::create_directories(Settings.InputFolder);
    }

    std::filesystem::path PageBufferPath(const std::string& name) const
    {
        return std::filesystem::path(Settings.InputFolder) / name;
    }

    void WritePlate(const std::string& name, const TPlate& plate) const
    {
        TBitmap bitmap{32, 4, std::vector<std::uint8_t>(16, 0)};
        TPlateOptions options;
        options.JobNumber = plate.Job;
        options.PageNumber = plate.Page;
        options.ColorName = plate.Color;
        options.ColorValues = plate.ColorValues;
        options.JobName = plate.JobName;
        options.Overrides = {{"/ColorType", std::to_string(plate.ColorType)}};
        WriteFileBytes(PageBufferPath(name).string(), PageBufferBytes(PlateLayout(bitmap, options)));
    }

    void Scan() { ScanPageBufferFolder(Catalogue, Settings, Log); }

    std::vector<std::string> Texts(const TJobTreeNode& job) const
    {
        std::vector<std::string> texts;
        for (const TJobTreeNode& plate : job.Children)
            texts.push_back(plate.Text);
        return texts;
    }

    TSettingsRecord Settings;
    TStationLog Log{[] { return TLocalTime{2026, 12, 10, 9, 0, 0, 0}; }};
    TJobTree Tree;
};

TEST_F(FolderScan, EightPlatesOfJob12GiveOneJobWithItsPlatesInOrderAndAPageCount)
{
    // Written out of order: the tree sorts, the catalogue keeps one row per plate.
    const char* colors[] = {"BLACK", "YELLOW", "CYAN", "MAGENTA"};
    for (int page : {2, 1})
        for (const char* color : colors)
            WritePlate(std::string("p") + std::to_string(page) + color + ".pgb", {12, page, color});

    BuildJobTree(Catalogue, Tree, Settings, Log);

    const auto uniqueIDs = Column("select * from JobList", "JobListUniqueID");
    ASSERT_EQ(uniqueIDs.size(), 1u);
    EXPECT_EQ(uniqueIDs[0].size(), 17u);
    EXPECT_EQ(Column("select * from PlateList", "PlateListSource").size(), 8u);
    ASSERT_EQ(Tree.Jobs.size(), 1u);
    const TJobTreeNode& job = Tree.Jobs[0];
    EXPECT_EQ(job.Text, "12) Brochure.ps (2400 x 2400) [" + uniqueIDs[0] + "]");
    EXPECT_EQ(job.ImageIndex, JobCollapsedImage);
    EXPECT_EQ(job.Data.PageCount, 2);
    EXPECT_EQ(Texts(job), (std::vector<std::string>{"1) CYAN", "1) MAGENTA", "1) YELLOW", "1) BLACK", "2) CYAN",
                                                    "2) MAGENTA", "2) YELLOW", "2) BLACK"}));
    std::vector<int> images;
    for (const TJobTreeNode& plate : job.Children)
        images.push_back(plate.ImageIndex);
    EXPECT_EQ(images, (std::vector<int>{2, 3, 4, 5, 2, 3, 4, 5}));
    EXPECT_EQ(Column("select * from JobList", "JobListPageCount"), std::vector<std::string>{"2"});
    EXPECT_TRUE(Tree.Swatches.empty());
}

TEST_F(FolderScan, SpotColoursSortAfterBlackAndGetSwatchesOfTheirColour)
{
    WritePlate("k.pgb", {3, 1, "BLACK", {0, 0, 0, 32767}});
    WritePlate("o.pgb", {3, 1, "Orange", {0, 16384, 32767, 0}});
    WritePlate("g.pgb", {3, 1, "Green", {32767, 0, 32767, 0}});
    WritePlate("v.pgb", {3, 1, "Varnish", {0, 0, 0, 0}});

    BuildJobTree(Catalogue, Tree, Settings, Log);

    ASSERT_EQ(Tree.Jobs.size(), 1u);
    EXPECT_EQ(Texts(Tree.Jobs[0]), (std::vector<std::string>{"1) BLACK", "1) Green", "1) Orange", "1) Varnish"}));
    // A spot without colour values keeps the plain spot image.
    EXPECT_EQ(Tree.Jobs[0].Children[3].ImageIndex, OtherPlateImage);
    ASSERT_EQ(Tree.Swatches.size(), 2u);
    for (int child : {1, 2}) {
        const TJobTreeNode& plate = Tree.Jobs[0].Children[child];
        ASSERT_GE(plate.ImageIndex, FixedImageCount);
        const std::string packed =
            Column("select * from PlateList where PlateListPlateColor = " + QuoteText(plate.Data.Name),
                   "PlateListPlateColorValue")[0];
        const auto value = static_cast<std::uint32_t>(std::stol(packed));
        TColorTableGenerator generator("", "");
        generator.AddSpotColor({plate.Data.Name, static_cast<std::uint8_t>(value >> 24),
                                static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
                                static_cast<std::uint8_t>(value)});
        ASSERT_NO_THROW(generator.BuildTable());
        const TColorTableEntry expected = generator.ColorTable()[239];
        const auto shown = Tree.Swatches[static_cast<std::size_t>(plate.ImageIndex - FixedImageCount)].Pixel(6, 6);
        EXPECT_EQ(shown, (std::array<std::uint8_t, 3>{expected.R, expected.G, expected.B})) << plate.Data.Name;
    }
}

TEST_F(FolderScan, PruningSparesQueuedAndProcessedJobsAndOnlyAnEmptyFolderEmptiesEverything)
{
    WritePlate("a.pgb", {1, 1, "CYAN"});
    WritePlate("b.pgb", {2, 1, "CYAN"});
    WritePlate("c.pgb", {3, 1, "CYAN"});
    Scan();
    ASSERT_EQ(Column("select * from JobList", "JobListReference").size(), 3u);
    // Each job has ink figures of its one plate: they go with the job's rows.
    for (const char* reference : {"1", "2", "3"})
        Run(std::string("insert into CoverageList (CoverageListJobReference, CoverageListPageNumber, "
                        "CoverageListPlateColor) values (") +
            reference + ", 1, \"CYAN\")");
    // And the digests of its rows, which outlive the masters but not the job.
    for (const char* reference : {"1", "2", "3"})
        Run(std::string(
                "insert into PlateDigestList (PlateDigestListJobReference, PlateDigestListPageNumber) values (") +
            reference + ", 1)");

    // Job 1 is queued, job 2 processed; all files vanish but job 3's.
    Run("insert into QueueList (QueueListJobReference, QueueListTasks) values (1, \"Master\")");
    Run("insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (2, \"Master\")");
    std::filesystem::remove(PageBufferPath("a.pgb"));
    std::filesystem::remove(PageBufferPath("b.pgb"));
    std::filesystem::remove(PageBufferPath("c.pgb"));
    WritePlate("d.pgb", {4, 1, "CYAN"});
    Scan();
    auto references = Column("select * from JobList", "JobListReference");
    std::sort(references.begin(), references.end());
    EXPECT_EQ(references, (std::vector<std::string>{"1", "2", "4"}));
    EXPECT_EQ(Column("select * from PlateList", "PlateListJobReference").size(), 3u);
    EXPECT_EQ(Column("select * from CoverageList", "CoverageListJobReference"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(Column("select * from PlateDigestList", "PlateDigestListJobReference"),
              (std::vector<std::string>{"1", "2"}));
    Run("insert into PlateDigestList (PlateDigestListJobReference, PlateDigestListPageNumber) values (4, 1)");
    Run("insert into CoverageList (CoverageListJobReference, CoverageListPageNumber) values (4, 1)");

    // Nothing queued, no page buffers at all: the tables are empty.
    Run("delete * from QueueList");
    Run("delete * from PostQueueList");
    std::filesystem::remove(PageBufferPath("d.pgb"));
    Scan();
    EXPECT_TRUE(Column("select * from JobList", "JobListReference").empty());
    EXPECT_TRUE(Column("select * from PlateList", "PlateListJobReference").empty());
    EXPECT_TRUE(Column("select * from CoverageList", "CoverageListJobReference").empty());
    EXPECT_TRUE(Column("select * from PlateDigestList", "PlateDigestListJobReference").empty());
}

TEST_F(FolderScan, FoldersThatGiveNoReferenceDeleteNothing)
{
    WritePlate("a.pgb", {1, 1, "CYAN"});
    Scan();
    std::filesystem::remove(PageBufferPath("a.pgb"));

    // Only other colour types: names found, none catalogued.
    WritePlate("composite.pgb", {9, 1, "Composite", {}, 2});
    Scan();
    EXPECT_EQ(Column("select * from JobList", "JobListReference"), std::vector<std::string>{"1"});
    EXPECT_TRUE(Log.Lines().empty());

    // A folder that is missing (an unmounted share), or none configured at
    // all, cannot be listed: nothing is pruned, also while other jobs are
    // queued or processed, which alone would otherwise survive.
    WritePlate("a.pgb", {1, 1, "CYAN"});
    WritePlate("b.pgb", {2, 1, "CYAN"});
    Scan();
    Run("insert into QueueList (QueueListJobReference, QueueListTasks) values (2, \"Master\")");
    for (const std::string& folder : {Folder.Path("no-such-folder").string(), std::string()}) {
        Settings.InputFolder = folder;
        Scan();
        auto references = Column("select * from JobList", "JobListReference");
        std::sort(references.begin(), references.end());
        EXPECT_EQ(references, (std::vector<std::string>{"1", "2"}));
        EXPECT_EQ(Column("select * from PlateList", "PlateListJobReference").size(), 2u);
        ASSERT_FALSE(Log.Lines().empty());
        EXPECT_EQ(Log.Lines().back(),
                  "[2026:12:10:09:00:00:000]: Could not get the directory listing for the page buffer folder");
    }
}

TEST_F(FolderScan, AnUnreadablePageBufferIsLoggedAndSkippedAndPrunesNothing)
{
    WritePlate("old.pgb", {7, 1, "CYAN"});
    Scan();
    // The RIP is still writing job 7's file: its header is cut short.
    WriteFileBytes(PageBufferPath("old.pgb").string(), "/JobNumber 7\n/PageNumber 1\n");
    WritePlate("new.pgb", {8, 1, "CYAN"});

    BuildJobTree(Catalogue, Tree, Settings, Log);

    auto references = Column("select * from JobList", "JobListReference");
    std::sort(references.begin(), references.end());
    EXPECT_EQ(references, (std::vector<std::string>{"7", "8"}));
    ASSERT_EQ(Log.Lines().size(), 1u);
    EXPECT_NE(Log.Lines()[0].find("Could not read the page buffer old.pgb: "), std::string::npos) << Log.Lines()[0];
    EXPECT_EQ(Tree.Jobs.size(), 2u);
}

TEST_F(FolderScan, AFileTheScanCannotCatalogueCountsAgainstItsJobUntilItIsGone)
{
    WritePlate("12-1-Cyan.pgb", {12, 1, "CYAN"});
    WritePlate("12-1-Black.pgb", {12, 1, "BLACK"});
    // A second file of the black plate: the catalogue keeps one row per colour.
    WritePlate("12-1-Black2.pgb", {12, 1, "BLACK"});
    // Cut before its job number: the name tells the job and page.
    WritePlate("12-3-Yellow.pgb", {12, 3, "YELLOW"});
    std::filesystem::resize_file(PageBufferPath("12-3-Yellow.pgb"), 100);
    // Cut after its page number: the header tells them, whatever the name.
    WritePlate("being-written.pgb", {14, 2, "CYAN"});
    std::ifstream in(PageBufferPath("being-written.pgb"), std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::resize_file(PageBufferPath("being-written.pgb"), whole.find('\n', whole.find("/PageNumber")) + 1);
    // Names no job at all.
    WriteFileBytes(PageBufferPath("junk.pgb").string(), "/PageHeaderVersion 20\n");
    BuildJobTree(Catalogue, Tree, Settings, Log);

    const std::string faults = "select * from PlateFaultList order by PlateFaultListSource";
    EXPECT_EQ(Column(faults, "PlateFaultListSource"),
              (std::vector<std::string>{"12-1-Black2.pgb", "12-3-Yellow.pgb", "being-written.pgb"}));
    EXPECT_EQ(Column(faults, "PlateFaultListJobReference"), (std::vector<std::string>{"12", "12", "14"}));
    EXPECT_EQ(Column(faults, "PlateFaultListPageNumber"), (std::vector<std::string>{"1", "3", "2"}));
    EXPECT_EQ(Column("select * from PlateList where PlateListPlateColor = \"BLACK\"", "PlateListSource"),
              std::vector<std::string>{"12-1-Black.pgb"});

    std::string log;
    for (const std::string& line : Log.Lines())
        log += line + "\n";
    for (const std::string& text :
         {std::string("The page buffer 12-1-Black2.pgb is a second BLACK plate of page 1 of job 12 beside "
                      "12-1-Black.pgb: the job cannot be proofed while both are there"),
          std::string("Could not read the page buffer 12-3-Yellow.pgb: "),
          std::string(". Job 12 (page 3) cannot be proofed until it can be read"),
          std::string("Could not read the page buffer being-written.pgb: "),
          std::string(". Job 14 (page 2) cannot be proofed until it can be read"),
          std::string("Could not read the page buffer junk.pgb: "),
          std::string(". Neither its header nor its name tells its job")})
        EXPECT_NE(log.find(text), std::string::npos) << text << " in:\n" << log;

    // The tree lists the left-out files of job 12 under it.
    ASSERT_EQ(Tree.Jobs.size(), 1u);
    const std::vector<std::string> plates = Texts(Tree.Jobs[0]);
    ASSERT_EQ(plates.size(), 4u);
    EXPECT_EQ(plates[2].rfind("1) 12-1-Black2.pgb left out: it is a second BLACK plate of page 1 of job 12 beside "
                              "12-1-Black.pgb",
                              0),
              0u)
        << plates[2];
    EXPECT_EQ(plates[3].rfind("3) 12-3-Yellow.pgb left out: it could not be read: ", 0), 0u) << plates[3];

    // Once the files are whole or gone, the next scan forgets them.
    for (const char* name : {"12-1-Black2.pgb", "12-3-Yellow.pgb", "being-written.pgb", "junk.pgb"})
        std::filesystem::remove(PageBufferPath(name));
    Scan();
    EXPECT_EQ(Column(faults, "PlateFaultListSource"), std::vector<std::string>{});
}

TEST_F(FolderScan, NewJobsGetDistinctIncreasingTimeStampsAndRowsAreNeverUpdated)
{
    // Catalogued within the same few milliseconds, yet no two may share a stamp.
    for (int job = 21; job < 61; ++job)
        WritePlate("j" + std::to_string(job) + ".pgb", {job, 1, "BLACK"});
    Scan();
    std::vector<std::string> ids = Column("select * from JobList order by JobListID", "JobListUniqueID");
    ASSERT_EQ(ids.size(), 40u);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_TRUE(IsUniqueID(ids[i])) << ids[i];
        if (i > 0) {
            EXPECT_LT(ids[i - 1], ids[i]);
        }
    }
    // Each job draws a secret of its own.
    const auto secrets = Column("select * from JobList", "JobListSecret");
    ASSERT_EQ(secrets.size(), 40u);
    for (const std::string& secret : secrets)
        EXPECT_TRUE(IsJobSecret(secret)) << secret;
    EXPECT_EQ(std::set<std::string>(secrets.begin(), secrets.end()).size(), 40u);

    // A job catalogued with a later stamp (a clock set back since) is never
    // reached again: the next new job follows it.
    ExecuteStatement(Catalogue,
                     "update JobList set JobListUniqueID = \"20991231235959999\" where JobListReference = 60");
    WritePlate("j61.pgb", {61, 1, "BLACK"});
    Scan();
    EXPECT_EQ(Column("select * from JobList where JobListReference = 61", "JobListUniqueID"),
              std::vector<std::string>{"21000101000000000"});

    // A later file of job 21 with another title and source keeps the first row's values.
    const auto before = Column("select * from JobList where JobListReference = 21", "JobListUniqueID");
    const auto secretBefore = Column("select * from JobList where JobListReference = 21", "JobListSecret");
    std::filesystem::remove(PageBufferPath("j21.pgb"));
    WritePlate("renamed.pgb", {21, 1, "BLACK", {0, 0, 0, 32767}, 1, "21.Other title.ps"});
    Scan();
    EXPECT_EQ(Column("select * from JobList where JobListReference = 21", "JobListUniqueID"), before);
    EXPECT_EQ(Column("select * from JobList where JobListReference = 21", "JobListSecret"), secretBefore);
    EXPECT_EQ(Column("select * from JobList where JobListReference = 21", "JobListName"),
              std::vector<std::string>{"Brochure.ps"});
    EXPECT_EQ(Column("select * from PlateList where PlateListJobReference = 21", "PlateListSource"),
              std::vector<std::string>{"j21.pgb"});
}

TEST_F(FolderScan, AHostileJobNameIsStoredAndShownIntact)
{
    const std::string title = "O'Brien \"; delete * from JobList; -- ) select";
    WritePlate("hostile.pgb", {5, 1, "Spot \"X\"; drop table PlateList", {0, 32767, 0, 0}, 1, "5." + title});

    BuildJobTree(Catalogue, Tree, Settings, Log);

    EXPECT_EQ(Column("select * from JobList", "JobListName"), std::vector<std::string>{title});
    ASSERT_EQ(Tree.Jobs.size(), 1u);
    EXPECT_EQ(Tree.Jobs[0].Data.Name, title);
    EXPECT_EQ(Tree.Jobs[0].Text.substr(0, 3 + title.size()), "5) " + title);
    ASSERT_EQ(Tree.Jobs[0].Children.size(), 1u);
    EXPECT_EQ(Tree.Jobs[0].Children[0].Text, "1) Spot \"X\"; drop table PlateList");
}

}  // namespace
}  // namespace tavrin::testing
