#include "catalogue/JobDetailRecord.h"
#include "catalogue/OutputLayout.h"
#include "tests/catalogue/CatalogueFixture.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

using JobDetail = testing::CatalogueFixture;

TEST_F(JobDetail, LoadsTheRowWithItsDefaultsAndNothingForAMissingJob)
{
    Run("insert into JobList (JobListName, JobListCustomerID, JobListStatus, JobListReference, JobListXResolution, "
        "JobListYResolution, JobListImageNegate, JobListMarginNegate, JobListImageWidth, JobListImageHeight, "
        "JobListUniqueID, JobListDataWidth,JobListPageCount) values (\"Brochure\", 0, \"new\", 42, 2400, 1200, 1, "
        "0, 9600, 4800, \"20080314092653120\", 9728, \"1\")");
    Run("insert into JobList (JobListReference) values (43)");

    TJobDetailRecord job;
    LoadJobDetail(42, job);
    EXPECT_NE(job.ID, 0);
    EXPECT_EQ(job.Name, "Brochure");
    EXPECT_EQ(job.Status, "new");
    EXPECT_EQ(job.Reference, 42);
    EXPECT_EQ(job.XResolution, 2400);
    EXPECT_EQ(job.YResolution, 1200);
    EXPECT_EQ(job.ImageNegate, 1);
    EXPECT_EQ(job.MarginNegate, 0);
    EXPECT_EQ(job.UniqueID, "20080314092653120");
    EXPECT_EQ(job.ImageWidth, 9600);
    EXPECT_EQ(job.ImageHeight, 4800);
    EXPECT_EQ(job.PageCount, 1);
    EXPECT_EQ(job.DataWidth, 9728);
    EXPECT_EQ(JobOutputFolder(42), ProgramFolder() + "output/20080314092653120/");

    LoadJobDetail(43, job);
    EXPECT_NE(job.ID, 0);
    EXPECT_EQ(job.Name, "Untitled");
    EXPECT_EQ(job.Status, "unknown");
    EXPECT_EQ(job.UniqueID, "");
    EXPECT_EQ(JobOutputFolder(43), "");

    LoadJobDetail(44, job);
    EXPECT_EQ(job.ID, 0);
    EXPECT_EQ(job.Name, "");
    EXPECT_EQ(job.Status, "");
    EXPECT_EQ(job.Reference, 0);
    EXPECT_EQ(job.PageCount, 0);
    EXPECT_EQ(JobOutputFolder(44), "");
}

TEST(OutputLayout, PathsAndPageNumbers)
{
    testing::TScratchProgramFolder folder;
    EXPECT_EQ(ProgramFolder(), folder.Path("").string());
    EXPECT_EQ(OutputFolder(), folder.Path("output/").string());

    const std::pair<int, const char*> pages[] = {{1, "-0001"}, {12, "-0012"}, {9999, "-9999"}, {12345, "-12345"}};
    for (const auto& [page, text] : pages) {
        EXPECT_EQ(PageNumberText(page), text);
        EXPECT_EQ(OverviewName(page), std::string("overview") + text + ".png");
    }

    struct TCase {
        const char* Text;
        const char* Trailing;
        const char* SingleTrailing;
        const char* Without;
    };
    const TCase cases[] = {
        {"", "", "/", ""},
        {"/srv/out", "/srv/out/", "/srv/out/", "/srv/out"},
        {"/srv/out/", "/srv/out/", "/srv/out/", "/srv/out"},
        {"/srv/out///", "/srv/out///", "/srv/out/", "/srv/out"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(WithTrailingBackslash(c.Text), c.Trailing) << c.Text;
        EXPECT_EQ(WithSingleTrailingBackslash(c.Text), c.SingleTrailing) << c.Text;
        EXPECT_EQ(WithoutTrailingBackslash(c.Text), c.Without) << c.Text;
        EXPECT_EQ(WithSingleTrailingSlash(c.Text), c.SingleTrailing) << c.Text;
        EXPECT_EQ(WithoutTrailingSlash(c.Text), c.Without) << c.Text;
    }
}

}  // namespace
}  // namespace tavrin
