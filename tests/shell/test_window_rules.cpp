#include "base/catalogue/OutputLayout.h"
#include "base/settings/SettingsFile.h"
#include "base/settings/SharedSettings.h"
#include "station/ConfigurationRules.h"
#include "station/JobPreview.h"
#include "tests/catalogue/CatalogueFixture.h"

#include <filesystem>
#include <fstream>

namespace tavrin::testing {
namespace {

TEST(ConfigurationRules, ProfilesAreBrowsedFromTheFieldsFolderOrTheSystemFolder)
{
    EXPECT_EQ(ProfileBrowseFolder(""), "/usr/share/color/icc");
    EXPECT_EQ(ProfileBrowseFolder("/srv/profiles/press.icc"), "/srv/profiles");
}

TEST(ConfigurationRules, CancelKeepsOnlyTheApprovalTextAndOkSavesWithTheHintsTick)
{
    TScratchProgramFolder folder;
    TSharedSettings station;
    TSettingsRecord stored;
    stored.WebRoot = "http://stored.example.com/";
    SaveSettings(stored);

    TSettingsRecord edited = stored;
    edited.WebRoot = "http://edited.example.com/";
    edited.ApprovalText = "terms.html";
    KeepConfiguration(station, edited, false, true);
    TSettingsRecord loaded;
    LoadSettings(loaded);
    EXPECT_EQ(loaded.WebRoot, "http://stored.example.com/");
    EXPECT_FALSE(loaded.ShowHint);
    EXPECT_EQ(station.Copy().ApprovalText, "terms.html");

    KeepConfiguration(station, edited, true, true);
    LoadSettings(loaded);
    EXPECT_EQ(loaded.WebRoot, "http://edited.example.com/");
    EXPECT_TRUE(loaded.ShowHint);
    EXPECT_EQ(folder.Read("tavrin.ini").find("terms.html"), std::string::npos);
}

class JobPreview : public CatalogueFixture {
protected:
    void SetUp() override
    {
        CatalogueFixture::SetUp();
        Run("insert into JobList (JobListName, JobListReference, JobListUniqueID, JobListPageCount) values "
            "(\"Brochure\", 12, \"20261210090000000\", 3)");
        Run("insert into JobList (JobListName, JobListReference, JobListPageCount) values (\"New\", 7, 2)");
        const std::string web = OutputFolder() + "20261210090000000/";
        std::filesystem::create_directories(web);
        for (const char* name : {"overview-0001.png", "overview-0003.png"})
            std::ofstream(web + name) << "png";
    }
};

TEST_F(JobPreview, ThePageListIsRebuiltOnlyForAnotherJobAndMissingPicturesAreNotAvailable)
{
    TJobPreview preview(Catalogue);
    ASSERT_TRUE(preview.BeginDraw(12));
    EXPECT_EQ(preview.PageCount(), 3);
    const std::string web = OutputFolder() + "20261210090000000/";
    EXPECT_EQ(preview.OverviewFile("1"), web + "overview-0001.png");
    EXPECT_FALSE(preview.BeginDraw(12));
    EXPECT_EQ(preview.OverviewFile("3"), web + "overview-0003.png");
    EXPECT_EQ(preview.OverviewFile("2"), "");
    // A text that is not a number stands for page 1.
    EXPECT_EQ(preview.OverviewFile("two"), web + "overview-0001.png");

    // A job without a unique id has nothing to show, and still counts as drawn.
    ASSERT_TRUE(preview.BeginDraw(7));
    EXPECT_EQ(preview.PageCount(), 2);
    EXPECT_EQ(preview.OverviewFile("1"), "");
    EXPECT_FALSE(preview.BeginDraw(7));
    EXPECT_TRUE(preview.BeginDraw(12));
}

}  // namespace
}  // namespace tavrin::testing
