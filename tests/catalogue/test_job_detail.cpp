#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "tests/catalogue/CatalogueFixture.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

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
    LoadJobDetail(Catalogue, 42, job);
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
    EXPECT_EQ(job.Secret, "");
    EXPECT_EQ(JobOutputFolder(Catalogue, 42), ProgramFolder() + "output/20080314092653120/");

    LoadJobDetail(Catalogue, 43, job);
    EXPECT_NE(job.ID, 0);
    EXPECT_EQ(job.Name, "Untitled");
    EXPECT_EQ(job.Status, "unknown");
    EXPECT_EQ(job.UniqueID, "");
    EXPECT_EQ(JobOutputFolder(Catalogue, 43), "");

    LoadJobDetail(Catalogue, 44, job);
    EXPECT_EQ(job.ID, 0);
    EXPECT_EQ(job.Name, "");
    EXPECT_EQ(job.Status, "");
    EXPECT_EQ(job.Reference, 0);
    EXPECT_EQ(job.PageCount, 0);
    EXPECT_EQ(JobOutputFolder(Catalogue, 44), "");
}

// Only the 17 digits the folder scan makes may name a job's files: "..",
// "." or "/" once named the program folder, or every job's masters.
TEST(OutputLayout, OnlyAUniqueIDOf17DigitsNamesAPath)
{
    testing::TScratchProgramFolder folder;
    EXPECT_TRUE(IsUniqueID("20261210090000000"));
    EXPECT_EQ(JobFolderPath("20261210090000000"), folder.Path("output/20261210090000000/").string());
    EXPECT_EQ(JobWebAddress("http://proofs.example.com/", "20261210090000000", ""),
              "http://proofs.example.com/tavrin/20261210090000000/");
    for (const std::string id : {"", ".", "..", "../..", "/", "2026121009000000", "202612100900000000",
                                 "2026121009000000a", " 20261210090000000", "2026121009000000/"}) {
        EXPECT_FALSE(IsUniqueID(id)) << id;
        EXPECT_THROW(JobFolderPath(id), std::invalid_argument) << id;
        EXPECT_THROW(JobWebAddress("http://proofs.example.com/", id, ""), std::invalid_argument) << id;
        EXPECT_TRUE(RemoveUnfinishedOutput(id).empty()) << id;
    }
    try {
        JobFolderPath("..");
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "The job's unique id \"..\" is not 17 digits: no file or folder is named after it");
    }
}

// The secret makes a job's address unguessable: each job draws its own
// 128 bits, and only that exact form may name a folder or an address.
TEST(JobSecret, EveryJobDrawsItsOwnAndOnlyThatFormNamesTheRemoteFolder)
{
    std::set<std::string> drawn;
    for (int job = 0; job < 64; ++job) {
        const std::string secret = MakeJobSecret();
        EXPECT_TRUE(IsJobSecret(secret)) << secret;
        drawn.insert(secret);
    }
    EXPECT_EQ(drawn.size(), 64u);

    const std::string secret = "0123456789abcdef0123456789abcdef";
    EXPECT_EQ(RemoteJobFolderName("20261210090000000", secret), "20261210090000000-" + secret);
    EXPECT_EQ(JobWebAddress("https://proofs.example.com/", "20261210090000000", secret),
              "https://proofs.example.com/tavrin/20261210090000000-" + secret + "/");
    // A job catalogued before secrets keeps the folder its files are in.
    EXPECT_EQ(RemoteJobFolderName("20261210090000000", ""), "20261210090000000");
    for (const std::string damaged :
         {"0123456789ABCDEF0123456789ABCDEF", "0123456789abcdef0123456789abcde", "0123456789abcdef0123456789abcdef0",
          "../../0123456789abcdef0123456789a", "0123456789abcdef 123456789abcdef"}) {
        EXPECT_FALSE(IsJobSecret(damaged)) << damaged;
        EXPECT_THROW(RemoteJobFolderName("20261210090000000", damaged), std::invalid_argument) << damaged;
    }
    EXPECT_THROW(RemoteJobFolderName("..", secret), std::invalid_argument);
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
