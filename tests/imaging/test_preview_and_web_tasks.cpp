#include "catalogue/OutputLayout.h"
#include "imaging/MasterImagePath.h"
#include "imaging/MasteringThread.h"
#include "imaging/PreviewBitmap.h"
#include "imaging/PreviewThread.h"
#include "imaging/TilingThread.h"
#include "tests/imaging/JobFixture.h"

#include <gd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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
        RunTaskThread([&](TMessageTarget& target) { return new TMasteringThread(target, InputFolder, 5, "", ""); });
        JobFolder = OutputFolder() + UniqueID(5) + "/";
    }

    std::vector<TSeen> RunPreview(std::uint32_t reference)
    {
        return RunTaskThread([&](TMessageTarget& target) { return new TPreviewThread(target, reference); });
    }

    std::vector<TSeen> RunWeb(std::uint32_t reference)
    {
        return RunTaskThread([&](TMessageTarget& target) { return new TTilingThread(target, reference); });
    }

    std::string JobFolder;
};

TEST_F(ProofTasks, PreviewWritesAnOverviewPerPageAndSharesTheBarOutByPage)
{
    MasterJob(2);

    // The page count the job tree records; a stale or missing one keeps the bar full.
    const struct {
        int PageCount;
        int First, Second;
    } cases[] = {{2, 50, 100}, {1, 100, 100}, {0, 100, 100}};
    for (const auto& c : cases) {
        Run("update JobList set JobListPageCount = " + std::to_string(c.PageCount));
        const std::vector<TSeen> expected = {{WM_TOTAL_PROGRESS, -1, "Creating preview..."},
                                             {WM_TASK_PROGRESS, 50, ""},
                                             {WM_TASK_PROGRESS, 100, ""},
                                             {WM_TOTAL_PROGRESS, c.First, "Created preview for page 1"},
                                             {WM_TASK_PROGRESS, 50, ""},
                                             {WM_TASK_PROGRESS, 100, ""},
                                             {WM_TOTAL_PROGRESS, c.Second, "Created preview for page 2"},
                                             {WM_PREVIEW_DONE, 5, "done"}};
        EXPECT_EQ(RunPreview(5), expected) << "page count " << c.PageCount;
    }
    for (int page : {1, 2}) {
        const TPreviewBitmap overview = LoadPreviewBitmap(JobFolder + "overview" + PageNumberText(page) + ".png");
        EXPECT_EQ(overview.Width, 288u);
        EXPECT_EQ(overview.Height, 192u);
    }
}

TEST_F(ProofTasks, WebWritesFiveTileDatabasesPerPageWithAMasterThenThePages)
{
    MasterJob(3);
    // Page 3 lost its master: the pyramid ends with page 2.
    std::filesystem::remove(MasterImagePath(UniqueID(5), 3));

    const auto seen = RunWeb(5);

    std::vector<TSeen> expected = {{WM_TOTAL_PROGRESS, -1, "Creating web site..."}};
    for (int page : {1, 2})
        for (int level = 0; level < 5; ++level)
            expected.push_back({WM_TOTAL_PROGRESS, std::vector<int>{33, 50, 67, 83, 100}[std::size_t(level)],
                                "Finished creating page " + std::to_string(page) + " zoom level " +
                                    std::to_string(level)});
    expected.push_back({WM_TOTAL_PROGRESS, 100, ""});
    EXPECT_EQ(OnlyNumber(seen, WM_TOTAL_PROGRESS), expected);
    EXPECT_EQ(seen.back(), (TSeen{WM_WEB_DONE, 5, "done"}));
    // Every level's bar runs from 0 to 100.
    const auto task = OnlyNumber(seen, WM_TASK_PROGRESS);
    EXPECT_EQ(std::count(task.begin(), task.end(), TSeen{WM_TASK_PROGRESS, 0, ""}), 10);
    EXPECT_EQ(std::count(task.begin(), task.end(), TSeen{WM_TASK_PROGRESS, 100, ""}), 10);

    std::set<std::string> files = {"index.html", "print.html"};
    for (int page : {1, 2})
        for (int level = 0; level < 5; ++level)
            files.insert(TTilingThread::TileDatabaseName(level, page));
    EXPECT_EQ(FolderNames(JobFolder), files);
    EXPECT_EQ(TTilingThread::TileDatabaseName(4, 12), "tile4-0012.tdb");
}

TEST_F(ProofTasks, FailuresAreLoggedAndBothTasksStillComplete)
{
    // 1. No such job.
    EXPECT_EQ(RunPreview(99), (std::vector<TSeen>{{WM_TOTAL_PROGRESS, -1, "Invalid Job for reference 99"},
                                                  {WM_PREVIEW_DONE, 99, "done"}}));
    EXPECT_EQ(RunWeb(99), (std::vector<TSeen>{{WM_TOTAL_PROGRESS, -1, "Invalid Job for reference 99"},
                                              {WM_WEB_DONE, 99, "done"}}));

    // 2. A level whose tile database cannot be created is logged; the others and the pages follow.
    MasterJob(1);
    std::filesystem::create_directories(JobFolder + "tile2-0001.tdb");
    const auto seen = OnlyNumber(RunWeb(5), WM_TOTAL_PROGRESS);
    ASSERT_EQ(seen.size(), 8u);
    EXPECT_EQ(seen[3].Text.rfind("Could not create " + JobFolder + "tile2-0001.tdb: ", 0), 0u) << seen[3].Text;
    EXPECT_EQ(seen[4], (TSeen{WM_TOTAL_PROGRESS, 67, "Finished creating page 1 zoom level 2"}));
    EXPECT_TRUE(std::filesystem::exists(JobFolder + "tile3-0001.tdb"));
    EXPECT_TRUE(std::filesystem::exists(JobFolder + "index.html"));

    // 3. Without masters there are no tiles and no overviews, but still the pages.
    std::filesystem::remove_all(JobFolder);
    std::filesystem::remove(MasterImagePath(UniqueID(5), 1));
    EXPECT_EQ(OnlyNumber(RunWeb(5), WM_TOTAL_PROGRESS),
              (std::vector<TSeen>{{WM_TOTAL_PROGRESS, -1, "Creating web site..."}, {WM_TOTAL_PROGRESS, 100, ""}}));
    EXPECT_EQ(FolderNames(JobFolder), (std::set<std::string>{"index.html", "print.html"}));
    EXPECT_EQ(RunPreview(5), (std::vector<TSeen>{{WM_TOTAL_PROGRESS, -1, "Creating preview..."},
                                                 {WM_PREVIEW_DONE, 5, "done"}}));
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

    // Missing, empty and broken files give an empty picture.
    folder.Write("empty.png", "");
    folder.Write("broken.png", "\x89PNG\r\n\x1a\nnot really");
    for (const char* name : {"missing.png", "empty.png", "broken.png"})
        EXPECT_TRUE(LoadPreviewBitmap(folder.Path(name).string()).Empty()) << name;
}

}  // namespace
}  // namespace tavrin::testing
