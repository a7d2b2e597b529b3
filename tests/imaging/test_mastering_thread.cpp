#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"
#include "base/pagebuffer/PGBObject.h"
#include "base/platform/MessageQueue.h"
#include "base/settings/SettingsRecord.h"
#include "base/tasking/StationLog.h"
#include "engines/imaging/ColorTableGenerator.h"
#include "engines/imaging/MasterImagePath.h"
#include "tasks/catalogue/FolderScan.h"
#include "tasks/imaging/MasteringThread.h"
#include "tasks/imaging/TilingThread.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/imaging/JobFixture.h"
#include "tests/imaging/MasterFiles.h"
#include "tests/support/TaskContexts.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>

namespace tavrin::testing {
namespace {

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
            return new TMasteringThread(target, MasteringContext(Catalogue, reference, InputFolder));
        });
    }

    // The plate files of a page in PlateList order.
    std::vector<std::string> PagePlates(int page)
    {
        return Column("select * from PlateList where PlateListPageNumber = " + std::to_string(page), "PlateListSource");
    }
};

TEST_F(MasteringTask, EachPageUpToThePageCountGetsAMaster)
{
    for (int page : {1, 2})
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
    EXPECT_EQ(PagesTold, (std::vector<int>{1, 2}));

    const std::string id = UniqueID(5);
    EXPECT_TRUE(std::filesystem::exists(MasterImagePath(id, 1)));
    EXPECT_TRUE(std::filesystem::exists(MasterImagePath(id, 2)));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(OutputFolder()), {}), 2);
}

TEST_F(MasteringTask, PlatesAreChosenByColourNameAndFourSpotsRender)
{
    const int width = 40, height = 130;
    unsigned seed = 1;
    WritePlate("cyan.pgb", 1, "Cyan", RandomBitmap(width, height, seed++));
    WritePlate("black.pgb", 1, "BLACK", RandomBitmap(width, height, seed++));
    // Spot 1 has no colour values.
    WritePlate("s1.pgb", 1, "S1", RandomBitmap(width, height, seed++), {});
    WritePlate("s2.pgb", 1, "S2", RandomBitmap(width, height, seed++), {32767, 0, 0, 0});
    WritePlate("s3.pgb", 1, "S3", RandomBitmap(width, height, seed++), {0, 32767, 0, 0});
    WritePlate("s4.pgb", 1, "S4", RandomBitmap(width, height, seed++), {0, 0, 32767, 0});
    Scan();
    ASSERT_EQ(RunTask(5).back(), (TSeen{WM_MASTER_DONE, 5, "done"}));

    // 1. The planes by PlateList order: each process colour by name in any case, the others as spots.
    std::array<const TBitmap*, 8> planes{};
    std::vector<std::string> spots;
    for (const std::string& name : PagePlates(1)) {
        const TPGBObject plate(InputFolder + name);
        const char* process[] = {"CYAN", "MAGENTA", "YELLOW", "BLACK"};
        std::string upper = plate.ColorName;
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        const auto found = std::find(std::begin(process), std::end(process), upper);
        if (found != std::end(process)) {
            planes[std::size_t(found - process)] = &Bitmaps[name];
        } else {
            planes[4 + spots.size()] = &Bitmaps[name];
            spots.push_back(name);
        }
    }
    ASSERT_EQ(spots.size(), 4u);

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

    // 3. The colour map of the four spots; missing colour values read 0.
    TColorTableGenerator expected("", "");
    for (const std::string& spot : spots) {
        const TPGBObject plate(InputFolder + spot);
        std::uint16_t v[4] = {};
        for (std::size_t j = 0; j < std::min<std::size_t>(4, plate.ColorValues.size()); ++j)
            v[j] = plate.ColorValues[j];
        expected.AddSpotColor({plate.ColorName, ColorValueToByte(v[0]), ColorValueToByte(v[1]), ColorValueToByte(v[2]),
                               ColorValueToByte(v[3])});
    }
    ASSERT_NO_THROW(expected.BuildTable());
    for (std::size_t i = 0; i < 256; ++i)
        ASSERT_EQ(master.ColorMap[0][i], expected.ColorTable()[i].R) << i;
}

// The files a failed page must not keep, besides the master: everything made from it.
std::vector<std::string> PageProducts(const std::string& id, int page)
{
    const std::string folder = JobFolderPath(id);
    std::vector<std::string> files = {MasterImagePath(id, page), UnfinishedName(MasterImagePath(id, page)),
                                      folder + OverviewName(page)};
    for (int level = 0; level < TTilingThread::LevelCount; ++level)
        files.push_back(folder + TTilingThread::TileDatabaseName(level, page));
    return files;
}

void Touch(const std::string& path)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFileBytes(path, "old");
}

// Overwrites the 8-byte offset of the last band in the table of a version 20 plate.
void PointLastBandPastTheEnd(const std::string& path)
{
    const TPGBObject plate(path);
    std::string bytes = ReadFileBytes(path);
    const std::size_t tables = bytes.find("pgbimage\n") + 9;
    const std::uint64_t offset = bytes.size() + 16;
    for (int i = 0; i < 8; ++i)
        bytes[tables + std::size_t(plate.MaxBand - 1) * 8 + std::size_t(i)] = char((offset >> (8 * i)) & 0xFF);
    WriteFileBytes(path, bytes);
}

TEST_F(MasteringTask, ABandThatCannotBeReadFailsThePageAndLeavesNoMaster)
{
    struct TCase {
        const char* Name;
        std::function<void(TPageBufferLayout&)> Spoil;
        std::function<void(const std::string& path)> Damage;
        int Band;
        const char* Reason;
    };
    const auto halve = [](const std::string& path) {
        std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    };
    const TCase cases[] = {
        // Seen in the band table before anything is written.
        {"cut in half", {}, halve, -1, nullptr},
        {"invalid code",
         [](TPageBufferLayout& layout) {
             layout.Bands[3] = {7, 248, 255};
         },
         {},
         3,
         "invalid code"},
        {"stored bytes past the end", {}, PointLastBandPastTheEnd, 6, nullptr},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(InputFolder);
        std::filesystem::create_directories(InputFolder);
        Run("delete * from PlateList");
        // The black plate of page 1 is spoilt; cyan is whole. 400 lines: 7 bands.
        WritePlate("cyan.pgb", 1, "CYAN", RandomBitmap(600, 400, 1));
        WritePlate("black.pgb", 1, "BLACK", RandomBitmap(600, 400, 2), {0, 0, 0, 32767}, {}, c.Spoil);
        const std::string plate = InputFolder + "black.pgb";
        int band = c.Band;
        if (band < 0) {
            // The first band whose stored bytes the cut leaves incomplete.
            const TPGBObject whole(plate);
            const std::uint64_t half = std::filesystem::file_size(plate) / 2;
            for (band = 0; whole.BandOffsets[std::size_t(band)] + whole.BandSizes[std::size_t(band)] <= half;)
                ++band;
        }
        if (c.Damage)
            c.Damage(plate);
        Scan();

        const auto seen = RunTask(5);
        const std::string expected = c.Reason ? "failed: Page 1 of job 5: Cannot read band " + std::to_string(band) +
                                                    " of plate " + plate + ": " + c.Reason
                                              : "failed: Page 1 of job 5: the plate file black.pgb ends inside band " +
                                                    std::to_string(band) + " of its 7 bands: ";
        EXPECT_EQ(seen.back().Number, unsigned(WM_MASTER_DONE));
        EXPECT_EQ(seen.back().Text.rfind(expected, 0), 0u) << seen.back().Text;
        for (const std::string& file : PageProducts(UniqueID(5), 1))
            EXPECT_FALSE(std::filesystem::exists(file)) << file;
    }
}

// The offset just past the header line that begins with key.
std::size_t PastLine(const std::string& path, const std::string& key)
{
    const std::string bytes = ReadFileBytes(path);
    return bytes.find('\n', bytes.find("\n" + key + " ") + 1) + 1;
}

TEST_F(MasteringTask, APlateSetThatCannotMakeATrueProofFailsNamingThePageAndFileAndLeavesNoProof)
{
    const auto plate = [&](const std::string& name, int page, const std::string& color, int width = 40,
                           int height = 130, std::vector<std::pair<std::string, std::string>> overrides = {}) {
        WritePlate(name, page, color, RandomBitmap(width, height, unsigned(name.size())), {0, 0, 0, 32767},
                   std::move(overrides));
    };
    const auto cyanAndBlack = [&](std::vector<std::pair<std::string, std::string>> blackOverrides) {
        plate("cyan.pgb", 1, "CYAN");
        plate("black.pgb", 1, "BLACK", 40, 130, std::move(blackOverrides));
    };
    struct TCase {
        const char* Name;
        std::function<void()> Write;
        int Page;  // the page the failure names
        // What the task's lines must name, asked after the scan.
        std::function<std::vector<std::string>()> Named;
    };
    const TCase cases[] = {
        {"header cut at 100 bytes: the job and page from the file name",
         [&] {
             plate("5-1-Cyan.pgb", 1, "CYAN");
             plate("5-1-Black.pgb", 1, "BLACK");
             std::filesystem::resize_file(InputFolder + "5-1-Black.pgb", 100);
         },
         1, [] { return std::vector<std::string>{"5-1-Black.pgb"}; }},
        {"header cut after its page number: the job and page from the header",
         [&] {
             plate("cyan.pgb", 1, "CYAN");
             plate("black-being-written.pgb", 1, "BLACK");
             const std::string path = InputFolder + "black-being-written.pgb";
             std::filesystem::resize_file(path, PastLine(path, "/PageNumber") + 3);
         },
         1, [] { return std::vector<std::string>{"black-being-written.pgb"}; }},
        {"BandHeight 0",
         [&] {
             cyanAndBlack({{"/BandHeight", "0"}});
         },
         1,
         [] {
             return std::vector<std::string>{"black.pgb", "BandHeight 0"};
         }},
        {"bands that do not reach the foot of the page",
         [&] {
             plate("cyan.pgb", 1, "CYAN");
             WritePlate("black.pgb", 1, "BLACK", RandomBitmap(40, 130, 2), {0, 0, 0, 32767}, {{"/MaxBand", "1"}},
                        [](TPageBufferLayout& layout) { layout.Bands.resize(1); });
         },
         1,
         [] {
             return std::vector<std::string>{"black.pgb", "MaxBand 1"};
         }},
        {"bands shorter than their lines",
         [&] {
             // A plate that codes into few bytes: a band under half its size still decodes.
             TBitmap line{40, 130, std::vector<std::uint8_t>(5 * 130, 0)};
             for (int y = 0; y < 130; ++y)
                 line.Bits[std::size_t(y) * 5] = 0x80;
             plate("cyan.pgb", 1, "CYAN");
             WritePlate("black.pgb", 1, "BLACK", line, {0, 0, 0, 32767}, {{"/BytesInBand", "256"}});
         },
         1,
         [] {
             return std::vector<std::string>{"black.pgb", "BytesInBand 256"};
         }},
        {"four process colours and five spot colours",
         [&] {
             for (const char* color : {"CYAN", "MAGENTA", "YELLOW", "BLACK", "S1", "S2", "S3", "S4", "S5"})
                 plate(std::string(color) + ".pgb", 1, color);
         },
         1,
         [&] {
             // The fifth spot in PlateList order is the one a master has no room for.
             std::vector<std::string> spots;
             for (const std::string& name : PagePlates(1))
                 if (name[0] == 'S')
                     spots.push_back(name);
             return std::vector<std::string>{"do not fit: " + spots.at(4) + " (" +
                                             spots.at(4).substr(0, spots.at(4).size() - 4) + ")"};
         }},
        {"the same colour in two files",
         [&] {
             plate("5-1-Cyan.pgb", 1, "CYAN");
             plate("5-1-Black.pgb", 1, "BLACK");
             plate("5-1-Black2.pgb", 1, "BLACK");
         },
         1,
         [] {
             return std::vector<std::string>{"two BLACK plates", "5-1-Black.pgb", "5-1-Black2.pgb"};
         }},
        {"the same colour in another case",
         [&] {
             cyanAndBlack({});
             plate("black-again.pgb", 1, "Black");
         },
         1,
         [] {
             return std::vector<std::string>{"two BLACK plates", "black.pgb (BLACK)", "black-again.pgb (Black)"};
         }},
        {"plates of different sizes",
         [&] {
             plate("cyan.pgb", 1, "CYAN", 200, 150);
             plate("black.pgb", 1, "BLACK", 400, 300);
         },
         1,
         [] {
             return std::vector<std::string>{"cyan.pgb", "black.pgb", "200 x 150 pixels at 300 x 300 dpi",
                                             "400 x 300 pixels at 300 x 300 dpi"};
         }},
        {"plates of different resolutions",
         [&] {
             cyanAndBlack({{"/XResolution", "600"}, {"/YResolution", "600"}});
         },
         1,
         [] {
             return std::vector<std::string>{"black.pgb", "40 x 130 pixels at 600 x 600 dpi", "300 x 300 dpi"};
         }},
        {"a page whose plates agree but differ from the job's size",
         [&] {
             // The job is catalogued from page 1.
             cyanAndBlack({});
             Scan();
             plate("p2-cyan.pgb", 2, "CYAN", 80, 130);
             plate("p2-black.pgb", 2, "BLACK", 80, 130);
         },
         2,
         [] {
             return std::vector<std::string>{"(p2-", "80 x 130 pixels at 300 x 300 dpi",
                                             "40 x 130 pixels at 300 x 300 dpi"};
         }},
        {"a damaged plate of a page the catalogue does not have",
         [&] {
             cyanAndBlack({});
             plate("5-2-Black.pgb", 2, "BLACK");
             std::filesystem::resize_file(InputFolder + "5-2-Black.pgb", 100);
         },
         2, [] { return std::vector<std::string>{"5-2-Black.pgb"}; }},
        {"a job name with a line break",
         [&] {
             cyanAndBlack({{"/JobName", EscapedText("5.Leaf\nlet.ps")}});
         },
         1,
         [] {
             return std::vector<std::string>{"black.pgb", "line break"};
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(InputFolder);
        std::filesystem::create_directories(InputFolder);
        Run("delete * from JobList");
        Run("delete * from PlateList");
        c.Write();
        Scan();
        const std::vector<std::string> named = c.Named();
        // A proof of earlier plates that a later start could publish.
        const std::string id = UniqueID(5);
        ASSERT_FALSE(id.empty());
        Touch(MasterImagePath(id, 1));
        Touch(JobFolderPath(id) + OverviewName(1));
        Touch(JobFolderPath(id) + "index.html");

        const auto seen = RunTask(5);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back().Number, unsigned(WM_MASTER_DONE));
        const std::string failure = seen.back().Text;
        EXPECT_EQ(failure.rfind("failed: Page " + std::to_string(c.Page) + " of job 5", 0), 0u) << failure;
        std::string lines;
        for (const TSeen& line : seen)
            lines += line.Text + "\n";
        for (const std::string& text : named)
            EXPECT_NE(lines.find(text), std::string::npos) << text << " in:\n" << lines;
        for (int page : {1, 2})
            for (const std::string& file : PageProducts(id, page))
                EXPECT_FALSE(std::filesystem::exists(file)) << file;
        EXPECT_FALSE(std::filesystem::exists(JobFolderPath(id) + "index.html"));
    }
}

TEST_F(MasteringTask, APlateThatChangedSinceTheScanIsJudgedAsItIsNow)
{
    WritePlate("5-1-Cyan.pgb", 1, "CYAN", RandomBitmap(40, 130, 1));
    WritePlate("5-1-Black.pgb", 1, "BLACK", RandomBitmap(40, 130, 2));
    const std::string black = InputFolder + "5-1-Black.pgb";
    const std::string whole = ReadFileBytes(black);

    // Cut while the folder was scanned, whole now: the job list lacks it until the next scan.
    std::filesystem::resize_file(black, 100);
    Scan();
    WriteFileBytes(black, whole);
    auto seen = RunTask(5);
    EXPECT_EQ(seen.back().Text.rfind("failed: Page 1 of job 5: the plate file 5-1-Black.pgb was left out when the page "
                                     "buffer folder was last scanned (it could not be read: ",
                                     0),
              0u)
        << seen.back().Text;
    EXPECT_NE(seen.back().Text.find("refresh the job list before proofing the job"), std::string::npos);
    Scan();
    ASSERT_EQ(RunTask(5).back(), (TSeen{WM_MASTER_DONE, 5, "done"}));

    // Whole when scanned, cut now: named as it is.
    std::filesystem::resize_file(black, 100);
    seen = RunTask(5);
    EXPECT_EQ(seen.back().Text.rfind("failed: Page 1 of job 5: cannot read the plate file 5-1-Black.pgb: ", 0), 0u)
        << seen.back().Text;
    EXPECT_FALSE(std::filesystem::exists(MasterImagePath(UniqueID(5), 1)));
}

TEST_F(MasteringTask, AFailedRunLeavesTheJobWithoutTheFilesOfTheOldMasters)
{
    // No such job.
    EXPECT_EQ(RunTask(99), (std::vector<TSeen>{{WM_MASTER_DONE, 99, "failed: Invalid Job for reference 99"}}));

    // A plate removed after a successful run: its page loses the master and all made from it, the job its pages.
    for (int page : {1, 2})
        WritePlate("p" + std::to_string(page) + ".pgb", page, "BLACK", RandomBitmap(40, 130, page));
    Scan();
    ASSERT_EQ(RunTask(5).back(), (TSeen{WM_MASTER_DONE, 5, "done"}));
    const std::string id = UniqueID(5);
    for (int page : {1, 2})
        for (const std::string& file : PageProducts(id, page))
            if (file.find(".tif") == std::string::npos)
                Touch(file);
    Touch(JobFolderPath(id) + "index.html");
    Touch(JobFolderPath(id) + "print.html");
    const std::string figures = "select * from CoverageList order by CoverageListPageNumber";
    ASSERT_EQ(Column(figures, "CoverageListPageNumber"), (std::vector<std::string>{"1", "2"}));
    std::filesystem::remove(InputFolder + "p2.pgb");

    const auto seen = RunTask(5);
    EXPECT_EQ(seen.back(), (TSeen{WM_MASTER_DONE, 5,
                                  "failed: Page 2 of job 5: cannot read the plate file p2.pgb: Cannot open file \"" +
                                      InputFolder + "p2.pgb\": No such file or directory"}));
    // Page 1's master is whole, but a proof without page 2 is none: nothing stays for a later start to publish.
    for (int page : {1, 2})
        for (const std::string& file : PageProducts(id, page))
            EXPECT_FALSE(std::filesystem::exists(file)) << file;
    EXPECT_EQ(Column(figures, "CoverageListPageNumber"), std::vector<std::string>{});
    EXPECT_FALSE(std::filesystem::exists(JobFolderPath(id) + "index.html"));
    EXPECT_FALSE(std::filesystem::exists(JobFolderPath(id) + "print.html"));
}

TEST_F(MasteringTask, AJobWhosePagesSkipANumberIsIncompleteAndGetsNoMaster)
{
    for (int page : {1, 3})
        WritePlate("p" + std::to_string(page) + ".pgb", page, "BLACK", RandomBitmap(40, 130, page));
    Scan();
    ASSERT_EQ(Column("select * from JobList", "JobListPageCount"), std::vector<std::string>{"3"});
    // A master of page 2 from the time it had plates stands for nothing now.
    Touch(MasterImagePath(UniqueID(5), 2));

    EXPECT_EQ(RunTask(5), (std::vector<TSeen>{
                              {WM_TOTAL_PROGRESS, -1, "Creating master tiff image(s)..."},
                              {WM_MASTER_DONE, 5, "failed: Page 2 of job 5 has no plates (pages 1 to 3 expected)"}}));
    for (int page : {1, 2, 3})
        EXPECT_FALSE(std::filesystem::exists(MasterImagePath(UniqueID(5), page))) << page;
}

TEST_F(MasteringTask, ARunRemovesWhatAKilledRunLeft)
{
    WritePlate("p1.pgb", 1, "BLACK", RandomBitmap(40, 130, 1));
    Scan();
    const std::string id = UniqueID(5);
    const std::vector<std::string> leftovers = {UnfinishedName(MasterImagePath(id, 1)),
                                                UnfinishedName(MasterImagePath(id, 7)),
                                                JobFolderPath(id) + "tile2-0001.tdb.part"};
    for (const std::string& file : leftovers)
        Touch(file);
    ASSERT_EQ(RunTask(5).back(), (TSeen{WM_MASTER_DONE, 5, "done"}));
    for (const std::string& file : leftovers)
        EXPECT_FALSE(std::filesystem::exists(file)) << file;
    EXPECT_TRUE(std::filesystem::exists(MasterImagePath(id, 1)));
}

TEST(MasterImagePath, NamesThePageWithAtLeastFourDigits)
{
    TScratchProgramFolder folder;
    EXPECT_EQ(MasterImagePath("20261210090000000", 1), OutputFolder() + "20261210090000000-0001.tif");
    EXPECT_EQ(MasterImagePath("20261210090000000", 10000), OutputFolder() + "20261210090000000-10000.tif");
    // "." or ".." would name masters of every job, or files beside the output folder.
    for (const char* id : {"", ".", "..", "ABC"})
        EXPECT_THROW(MasterImagePath(id, 1), std::invalid_argument) << id;
}

}  // namespace
}  // namespace tavrin::testing
