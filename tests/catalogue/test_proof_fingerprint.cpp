#include "base/catalogue/ProofFingerprint.h"
#include "base/text/SHA256Digest.h"
#include "tests/catalogue/CatalogueFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace tavrin {
namespace {

using ::testing::HasSubstr;

// Digests of "abc" and of nothing (FIPS 180-2 and the empty input).
const std::string DigestOfABC = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string DigestOfNothing = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(SHA256DigestTest, TextsAndFilesGiveTheStandardDigests)
{
    EXPECT_EQ(TextSHA256("abc"), DigestOfABC);
    EXPECT_EQ(TextSHA256(""), DigestOfNothing);

    testing::TScratchProgramFolder folder;
    // A million "a" spans many of the reader's pieces (FIPS 180-2's third example).
    folder.Write("million.pgb", std::string(1000000, 'a'));
    EXPECT_EQ(FileSHA256(folder.Path("million.pgb")),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    folder.Write("empty.pgb", "");
    EXPECT_EQ(FileSHA256(folder.Path("empty.pgb")), DigestOfNothing);
    try {
        FileSHA256(folder.Path("missing.pgb"));
        FAIL() << "a missing file has no digest";
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(), HasSubstr("missing.pgb"));
    }
}

TEST(SHA256DigestTest, AStreamGivesTheDigestOfItsPiecesAndThenStartsAgain)
{
    TSHA256Stream stream;
    stream.Update("a");
    const std::string bc = "bc";
    stream.Update(reinterpret_cast<const std::uint8_t*>(bc.data()), bc.size());
    EXPECT_EQ(stream.HexDigest(), DigestOfABC);
    EXPECT_EQ(stream.HexDigest(), DigestOfNothing);
}

// Expected values computed apart from this code (Python's hashlib over the
// texts the definitions describe).
TEST(ProofFingerprintTest, PageAndJobFingerprintsFollowTheirDefinition)
{
    const std::vector<TPlateFingerprint> page1 = {{1, "Cyan", "a.pgb", DigestOfABC},
                                                  {1, "PANTONE 185 C", "b.pgb", DigestOfNothing}};
    const std::vector<TPlateFingerprint> page2 = {{2, "Black", "c.pgb", DigestOfNothing}};
    const std::string first = PageFingerprint(page1);
    const std::string second = PageFingerprint(page2);
    EXPECT_EQ(first, "685a11e999f3298bcd320d85b1895100061c769a4d1c16bddebe0cfe130dcf38");
    EXPECT_EQ(second, "76ef0524a82b13f661927b63bbd8a3e9bb895c5c00a35e1783ebcb91bdf641f3");
    EXPECT_EQ(JobFingerprint({first, second}), "2432e9d78a66f3d73d50f06cabb9eab6d7d9b9a81d500598c4e329a06089b874");
    // Plate order is part of what was approved.
    EXPECT_NE(PageFingerprint({page1[1], page1[0]}), first);
}

class ProofFingerprintStoreTest : public testing::CatalogueFixture {};

TEST_F(ProofFingerprintStoreTest, TheJobHasAFingerprintOnlyWhenEveryPageHasOne)
{
    Run("insert into JobList (JobListReference, JobListPageCount) values (7, 2)");
    EXPECT_EQ(LoadJobFingerprint(Catalogue, 7), "");

    ReplacePageFingerprints(Catalogue, 7, 1,
                            {{1, "Cyan", "a.pgb", DigestOfABC}, {1, "PANTONE 185 C", "b.pgb", DigestOfNothing}});
    EXPECT_EQ(LoadJobFingerprint(Catalogue, 7), "") << "page 2 was never fingerprinted";

    ReplacePageFingerprints(Catalogue, 7, 2, {{2, "Black", "c.pgb", DigestOfABC}});
    ReplacePageFingerprints(Catalogue, 7, 2, {{2, "Black", "c.pgb", DigestOfNothing}});  // mastered again: replaces
    ReplacePageFingerprints(Catalogue, 7, 3, {{3, "Black", "d.pgb", DigestOfABC}});      // a page the job no longer has
    const TProofFingerprint proof = LoadProofFingerprint(Catalogue, 7, 2);
    ASSERT_EQ(proof.Pages.size(), 2u);
    EXPECT_EQ(proof.Pages[0].Plates.size(), 2u);
    EXPECT_EQ(proof.Pages[0].Plates[1].Source, "b.pgb");
    EXPECT_EQ(proof.Pages[1].Fingerprint, "76ef0524a82b13f661927b63bbd8a3e9bb895c5c00a35e1783ebcb91bdf641f3");
    EXPECT_EQ(proof.Job, "2432e9d78a66f3d73d50f06cabb9eab6d7d9b9a81d500598c4e329a06089b874");
    EXPECT_EQ(LoadJobFingerprint(Catalogue, 7), proof.Job);

    RemoveFingerprintsBeyondPages(Catalogue, 7, 2);
    EXPECT_EQ(LoadPlateFingerprints(Catalogue, 7).size(), 3u);
    RemovePageFingerprints(Catalogue, 7, 2);
    EXPECT_EQ(LoadJobFingerprint(Catalogue, 7), "");
    RemoveJobFingerprints(Catalogue, 7);
    EXPECT_TRUE(LoadPlateFingerprints(Catalogue, 7).empty());
    EXPECT_EQ(LoadJobFingerprint(Catalogue, 99), "") << "no such job";
}

TEST_F(ProofFingerprintStoreTest, ARowThatIsNotADigestVouchesForNothing)
{
    Run("insert into JobList (JobListReference, JobListPageCount) values (8, 1)");
    ReplacePageFingerprints(Catalogue, 8, 1, {{1, "Cyan", "a.pgb", DigestOfABC}});
    Run("insert into FingerprintList (FingerprintListJobReference, FingerprintListPageNumber, "
        "FingerprintListPlateColor, FingerprintListSHA256) values (8, 1, 'Black', 'not a digest')");
    EXPECT_EQ(LoadPlateFingerprints(Catalogue, 8).size(), 2u);
    const TProofFingerprint proof = LoadProofFingerprint(Catalogue, 8, 1);
    EXPECT_TRUE(proof.Pages.empty()) << "the page's black plate is unknown";
    EXPECT_EQ(proof.Job, "");
}

}  // namespace
}  // namespace tavrin
