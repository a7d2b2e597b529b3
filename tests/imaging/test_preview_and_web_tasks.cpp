#include "base/catalogue/OutputLayout.h"
#include "engines/imaging/MasterImagePath.h"
#include "engines/imaging/PreviewBitmap.h"
#include "tasks/imaging/MasteringThread.h"
#include "tasks/imaging/PreviewThread.h"
#include "tasks/imaging/TilingThread.h"
#include "tests/imaging/JobFixture.h"
#include "tests/imaging/MasterFiles.h"
#include "tests/support/TaskContexts.h"

#include <gd.h>
#include <tiffio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

namespace tavrin::testing {
namespace {

std::vector<TSeen> OnlyNumber(const std::vector<TSeen>& seen, unsigned number)
{
    std::vector<TSeen> kept;
    std::copy_if(seen.begin(), seen.end(), std::back_inserter(kept),
                 [&](const TSeen& message) { return message.Number == number; });
    return kept;
}

std::string ReadFileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> FolderNames(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A job of the given pages, 600 x 400 pixels at 300 dpi, mastered.
class ProofTasks : public JobFixture {
protected:
    void SetUp() override
    {
        JobFixture::SetUp();
        Folder.CopyStationFile("tavrin.js");
    }

    void MasterJob(int pages)
    {
        for (int page = 1; page <= pages; ++page)
            WritePlate("p" + std::to_string(page) + ".pgb", page, "BLACK", RandomBitmap(600, 400, page));
        Scan();
        RunTaskThread([&](TMessageTarget& target) {
            return new TMasteringThread(target, MasteringContext(Catalogue, 5, InputFolder));
        });
        JobFolder = OutputFolder() + UniqueID(5) + "/";
    }

    std::vector<TSeen> RunPreview(std::uint32_t reference)
    {
        return RunTaskThread(
            [&](TMessageTarget& target) { return new TPreviewThread(target, TaskContext(reference)); });
    }

    std::vector<TSeen> RunWeb(std::uint32_t reference)
    {
        return RunTaskThread([&](TMessageTarget& target) { return new TTilingThread(target, TaskContext(reference)); });
    }

    std::string JobFolder;
};

TEST_F(ProofTasks, PreviewWritesAnOverviewPerPageAndSharesTheBarOutByPage)
{
    MasterJob(2);

    const std::vector<TSeen> expected = {{WM_TOTAL_PROGRESS, -1, "Creating preview..."},
                                         {WM_TASK_PROGRESS, 50, ""},
                                         {WM_TASK_PROGRESS, 100, ""},
                                         {WM_TOTAL_PROGRESS, 50, "Created preview for page 1"},
                                         {WM_TASK_PROGRESS, 50, ""},
                                         {WM_TASK_PROGRESS, 100, ""},
                                         {WM_TOTAL_PROGRESS, 100, "Created preview for page 2"},
                                         {WM_PREVIEW_DONE, 5, "done"}};
    EXPECT_EQ(RunPreview(5), expected);
    EXPECT_EQ(PagesTold, (std::vector<int>{1, 2}));
    for (int page : {1, 2}) {
        const TPreviewBitmap overview = LoadPreviewBitmap(JobFolder + "overview" + PageNumberText(page) + ".png");
        EXPECT_EQ(overview.Width, 288u);
        EXPECT_EQ(overview.Height, 192u);
    }
    EXPECT_EQ(FolderNames(JobFolder), (std::set<std::string>{"overview-0001.png", "overview-0002.png"}));
}

TEST_F(ProofTasks, WebWritesFiveTileDatabasesPerPageThenThePages)
{
    MasterJob(2);

    const auto seen = RunWeb(5);
    EXPECT_EQ(PagesTold, (std::vector<int>{1, 2}));

    std::vector<TSeen> expected = {{WM_TOTAL_PROGRESS, -1, "Creating web site..."}};
    for (int page : {1, 2})
        for (int level = 0; level < 5; ++level)
            expected.push_back(
                {WM_TOTAL_PROGRESS, std::vector<int>{33, 50, 67, 83, 100}[std::size_t(level)],
                 "Finished creating page " + std::to_string(page) + " zoom level " + std::to_string(level)});
    expected.push_back({WM_TOTAL_PROGRESS, 100, ""});
    EXPECT_EQ(OnlyNumber(seen, WM_TOTAL_PROGRESS), expected);
    EXPECT_EQ(seen.back(), (TSeen{WM_WEB_DONE, 5, "done"}));
    // All levels of a page are cut in one pass: its bar runs once from 0 to 100.
    const auto task = OnlyNumber(seen, WM_TASK_PROGRESS);
    EXPECT_EQ(std::count(task.begin(), task.end(), TSeen{WM_TASK_PROGRESS, 0, ""}), 2);
    EXPECT_EQ(std::count(task.begin(), task.end(), TSeen{WM_TASK_PROGRESS, 100, ""}), 2);

    std::set<std::string> files = {"index.html", "print.html", "inks.js", "proof.js", "rounds.js", "due.js"};
    for (int page : {1, 2})
        for (int level = 0; level < 5; ++level)
            files.insert(TTilingThread::TileDatabaseName(level, page));
    EXPECT_EQ(FolderNames(JobFolder), files);
    // No due date given: the viewer is told so, and its header shows none.
    std::ifstream due(JobFolder + "due.js", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(due), {}), "var proofdue=null;\r\n");
    EXPECT_EQ(TTilingThread::TileDatabaseName(4, 12), "tile4-0012.tdb");
}

// A palette master whose tags claim width x height pixels and whose one strip holds a few bytes.
void WriteClaimingMaster(const std::string& path, std::uint32_t width, std::uint32_t height)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
    std::vector<std::uint16_t> map(256, 0);
    TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    std::uint8_t stream[] = {0x80, 0x00, 0x20, 0x10};
    TIFFWriteRawStrip(tiff, 0, stream, sizeof stream);
    TIFFClose(tiff);
}

TEST_F(ProofTasks, AMasterThatCannotBeReadFailsWebAndLeavesNoTilesOfItsPageAndNoPages)
{
    struct TCase {
        const char* Name;
        std::function<void(const std::string& master)> Damage;
        std::function<std::string(const std::string& master)> Reason;  // the start of the failure text
    };
    const TCase cases[] = {
        {"garbage", [](const std::string& master) { WriteFileBytes(master, std::string(4096, 'x')); },
         [](const std::string& master) { return "Error opening " + master + ": "; }},
        {"claims 200000 x 200000 pixels",
         [](const std::string& master) { WriteClaimingMaster(master, 200000, 200000); },
         [](const std::string& master) {
             return "Master " + master +
                    " is not readable: it claims 200000 x 200000 pixels but its strips hold 4 bytes";
         }},
        {"a spoilt strip", [](const std::string& master) { SpoilStrip(master, 1); },
         [](const std::string& master) {
             return "Could not read strip 1 of " + master + ": Using code not yet in table";
         }},
    };
    MasterJob(2);
    ASSERT_EQ(RunWeb(5).back(), (TSeen{WM_WEB_DONE, 5, "done"}));
    const std::string master = MasterImagePath(UniqueID(5), 2);
    const std::string good = ReadFileText(master);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        // Strips of 288 lines: the 400-line page has two.
        WriteFileBytes(master, good);
        c.Damage(master);
        const auto seen = RunWeb(5);
        const std::string reason = "failed: " + c.Reason(master);
        EXPECT_EQ(seen.back().Text.substr(0, reason.size()), reason) << seen.back().Text;
        std::set<std::string> files;
        for (int level = 0; level < 5; ++level)
            files.insert(TTilingThread::TileDatabaseName(level, 1));
        EXPECT_EQ(FolderNames(JobFolder), files) << "page 1 is whole; page 2 and the pages are gone";
        // Preview fails alike and leaves page 2 without an overview.
        const auto preview = RunPreview(5);
        EXPECT_EQ(preview.back().Text.substr(0, reason.size()), reason) << preview.back().Text;
        EXPECT_TRUE(std::filesystem::exists(JobFolder + OverviewName(1)));
        EXPECT_FALSE(std::filesystem::exists(JobFolder + OverviewName(2)));
        std::filesystem::remove(JobFolder + OverviewName(1));
    }
}

TEST_F(ProofTasks, MissingJobsMastersAndLevelsFailTheTasks)
{
    // 1. No such job.
    EXPECT_EQ(RunPreview(99), (std::vector<TSeen>{{WM_PREVIEW_DONE, 99, "failed: Invalid Job for reference 99"}}));
    EXPECT_EQ(RunWeb(99), (std::vector<TSeen>{{WM_WEB_DONE, 99, "failed: Invalid Job for reference 99"}}));

    // 2. The master of page 2 of 3 is missing: page 1 is done, page 2 named, nothing after it.
    MasterJob(3);
    const std::string missing = MasterImagePath(UniqueID(5), 2);
    std::filesystem::remove(missing);
    const auto preview = RunPreview(5);
    ASSERT_GE(preview.size(), 2u);
    EXPECT_EQ(preview[preview.size() - 2], (TSeen{WM_TOTAL_PROGRESS, 33, "Created preview for page 1"}));
    EXPECT_EQ(preview.back(), (TSeen{WM_PREVIEW_DONE, 5, "failed: Page 2 has no master: " + missing}));
    EXPECT_EQ(FolderNames(JobFolder), (std::set<std::string>{"overview-0001.png"}));
    EXPECT_EQ(RunWeb(5).back(), (TSeen{WM_WEB_DONE, 5, "failed: Page 2 has no master: " + missing}));
    EXPECT_FALSE(std::filesystem::exists(JobFolder + "index.html"));
    EXPECT_FALSE(std::filesystem::exists(JobFolder + TTilingThread::TileDatabaseName(0, 2)));

    // 3. A level that cannot be written fails the task: the levels before it go too, and no pages are written.
    MasterJob(1);
    std::filesystem::remove_all(JobFolder);
    std::filesystem::create_directories(JobFolder + "tile2-0001.tdb.part/in-the-way");
    const auto seen = RunWeb(5);
    EXPECT_EQ(PagesTold, std::vector<int>{1});
    EXPECT_EQ(OnlyNumber(seen, WM_TOTAL_PROGRESS),
              (std::vector<TSeen>{{WM_TOTAL_PROGRESS, -1, "Creating web site..."},
                                  {WM_TOTAL_PROGRESS, 33, "Finished creating page 1 zoom level 0"},
                                  {WM_TOTAL_PROGRESS, 50, "Finished creating page 1 zoom level 1"}}));
    EXPECT_EQ(seen.back(),
              (TSeen{WM_WEB_DONE, 5,
                     "failed: Could not create tile database " + JobFolder + "tile2-0001.tdb.part: Is a directory"}));
    EXPECT_EQ(FolderNames(JobFolder), (std::set<std::string>{"tile2-0001.tdb.part"}));
}

TEST_F(ProofTasks, ARunRemovesWhatAKilledRunLeftAndTheStalePages)
{
    MasterJob(1);
    std::filesystem::create_directories(JobFolder);
    const std::vector<std::string> leftovers = {JobFolder + "tile2-0001.tdb.part", JobFolder + "index.html.part",
                                                JobFolder + "overview-0001.png.part",
                                                UnfinishedName(MasterImagePath(UniqueID(5), 1))};
    for (const auto& run : {std::function<std::vector<TSeen>()>([&] { return RunWeb(5); }),
                            std::function<std::vector<TSeen>()>([&] { return RunPreview(5); })}) {
        for (const std::string& file : leftovers)
            WriteFileBytes(file, "left");
        ASSERT_EQ(run().back().Text, "done");
        for (const std::string& file : leftovers)
            EXPECT_FALSE(std::filesystem::exists(file)) << file;
    }
    // A failed Web run leaves no proof pages of an earlier one.
    ASSERT_TRUE(std::filesystem::exists(JobFolder + "index.html"));
    ASSERT_TRUE(std::filesystem::exists(JobFolder + "inks.js"));
    std::filesystem::remove(MasterImagePath(UniqueID(5), 1));
    EXPECT_EQ(RunWeb(5).back().Text.rfind("failed: Page 1 has no master", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(JobFolder + "index.html"));
    EXPECT_FALSE(std::filesystem::exists(JobFolder + "print.html"));
    EXPECT_FALSE(std::filesystem::exists(JobFolder + "inks.js"));
}

void WritePng(const std::string& path, gdImagePtr image)
{
    int size = 0;
    void* png = gdImagePngPtr(image, &size);
    std::ofstream(path, std::ios::binary).write(static_cast<const char*>(png), size);
    gdFree(png);
    gdImageDestroy(image);
}

TEST(PreviewBitmap, HoldsRedInTheLowByteForTrueColourAndPalettePictures)
{
    TScratchProgramFolder folder;
    gdImagePtr trueColor = gdImageCreateTrueColor(3, 2);
    gdImageSetPixel(trueColor, 0, 0, gdTrueColor(255, 0, 0));
    gdImageSetPixel(trueColor, 1, 0, gdTrueColor(0, 255, 0));
    gdImageSetPixel(trueColor, 2, 1, gdTrueColor(0, 0, 255));
    gdImageSetPixel(trueColor, 1, 1, gdTrueColor(0x12, 0x34, 0x56));
    WritePng(folder.Path("true.png").string(), trueColor);
    gdImagePtr palette = gdImageCreate(2, 1);
    gdImageColorAllocate(palette, 255, 0, 0);
    gdImageSetPixel(palette, 1, 0, gdImageColorAllocate(palette, 1, 2, 3));
    WritePng(folder.Path("palette.png").string(), palette);

    const TPreviewBitmap bitmap = LoadPreviewBitmap(folder.Path("true.png").string());
    ASSERT_EQ(bitmap.Width, 3u);
    ASSERT_EQ(bitmap.Height, 2u);
    EXPECT_EQ(bitmap.ColorValue(0, 0), 255u);
    EXPECT_EQ(bitmap.ColorValue(1, 0), 0x00FF00u);
    EXPECT_EQ(bitmap.ColorValue(2, 1), 0xFF0000u);
    EXPECT_EQ(bitmap.ColorValue(1, 1), 0x563412u);
    EXPECT_EQ(bitmap.ColorValue(0, 1), 0u);
    const TPreviewBitmap fromPalette = LoadPreviewBitmap(folder.Path("palette.png").string());
    ASSERT_EQ(fromPalette.Width, 2u);
    EXPECT_EQ(fromPalette.ColorValue(0, 0), 255u);
    EXPECT_EQ(fromPalette.ColorValue(1, 0), 0x030201u);

    // Missing, empty and broken files raise, naming the file and the reason.
    folder.Write("empty.png", "");
    folder.Write("broken.png", "\x89PNG\r\n\x1a\nnot really");
    const std::pair<const char*, const char*> cases[] = {
        {"missing.png", "No such file or directory"},
        {"empty.png", "the file is empty"},
        {"broken.png", "not a PNG picture"},
    };
    for (const auto& [name, reason] : cases) {
        const std::string path = folder.Path(name).string();
        try {
            LoadPreviewBitmap(path);
            ADD_FAILURE() << name << " was read";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(error.what(), "Cannot read " + path + ": " + reason);
        }
    }
}

}  // namespace
}  // namespace tavrin::testing
