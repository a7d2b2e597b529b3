#include "base/catalogue/CatalogueConnection.h"
#include "base/catalogue/JobSecret.h"
#include "base/catalogue/ProofAnswers.h"
#include "base/catalogue/RecordSet.h"
#include "base/platform/StationLock.h"
#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gmock/gmock.h>

namespace tavrin {
namespace {

// Job 7 of two pages of 45 x 70 pixels, each plate a pattern whose inked
// pixels the test counts itself.
class CoverageCommand : public testing::ScratchStation {
protected:
    void SetUp() override
    {
        ScratchStation::SetUp();
        CopyFromStation("tavrin.dbi");
        PageBuffers = Folder.Path("pgb").string() + "/";
        std::filesystem::create_directories(PageBuffers);
        Folder.Write("tavrin.ini", "[Main]\nInputFolder=" + PageBuffers + "\n");
    }

    // Writes the plate and returns its line of the command's output: the
    // percentage of its set pixels (the plates are negated), two decimals.
    std::string WritePlate(int page, const std::string& color, const std::function<bool(int x, int y)>& inked)
    {
        constexpr int width = 45, height = 70;
        TBitmap bitmap{width, height, {}};
        bitmap.Bits.assign(bitmap.RowBytes() * height, 0);
        long count = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (inked(x, y)) {
                    bitmap.Bits[std::size_t(y) * bitmap.RowBytes() + std::size_t(x) / 8] |=
                        std::uint8_t(0x80 >> (x % 8));
                    ++count;
                }
        TPlateOptions options;
        options.JobNumber = 7;
        options.PageNumber = page;
        options.ColorName = color;
        options.JobName = "7.Flyer.ps";
        options.Resolution = 300;
        WriteFileBytes(PageBuffers + std::to_string(page) + color + ".pgb",
                       PageBufferBytes(PlateLayout(bitmap, options)));
        const long hundredths = std::lround(double(count) * 10000 / (width * height));
        char line[64];
        std::snprintf(line, sizeof line, " %ld.%02ld %%", hundredths / 100, hundredths % 100);
        return "page " + std::to_string(page) + " " + color + line + "\n";
    }

    std::string PageBuffers;
};

TEST_F(CoverageCommand, PrintsOneLinePerPageAndInkAndReadsOnly)
{
    // Written out of order: the lines come in page order, then plate order.
    const std::string black2 = WritePlate(2, "BLACK", [](int x, int y) { return (x + y) % 2 == 0 && y < 7; });
    const std::string black1 = WritePlate(1, "Black", [](int x, int y) { return (x + y) % 2 == 0; });
    const std::string spot = WritePlate(1, "PANTONE 185 C", [](int x, int) { return x < 3; });
    const std::string cyan = WritePlate(1, "Cyan", [](int x, int y) { return x * y % 7 == 1; });
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
    const auto master = testing::RunProgram("tavrin-cli", "task master 7");
    ASSERT_EQ(master.ExitStatus, 0) << master.Output;

    {
        // Another process holds the station: reading the figures needs no lock.
        const TStationLock held(Folder.Path("tavrin.lock").string());
        ASSERT_TRUE(held.Held());
        const auto coverage = testing::RunProgram("tavrin-cli", "coverage 7");
        EXPECT_EQ(coverage.ExitStatus, 0) << coverage.Errors;
        EXPECT_EQ(coverage.Output, cyan + black1 + spot + black2);
        EXPECT_EQ(coverage.Errors, "");
    }
}

TEST_F(CoverageCommand, AJobWithoutFiguresOrNotCataloguedFailsWithAReason)
{
    WritePlate(1, "BLACK", [](int x, int) { return x < 5; });
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
    struct TCase {
        const char* Arguments;
        int ExitStatus;
        const char* Reason;
    };
    const TCase cases[] = {
        {"coverage 7", 1, "tavrin-cli: job 7 has no ink coverage figures"},
        {"coverage 8", 1, "tavrin-cli: no job 8 in the catalogue"},
        {"coverage", 2, "Usage: tavrin-cli coverage REF"},
        {"coverage 7 8", 2, "Usage: tavrin-cli coverage REF"},
        {"coverage seven", 2, "tavrin-cli: \"seven\" is not a job reference"},
    };
    for (const TCase& c : cases) {
        const auto result = testing::RunProgram("tavrin-cli", c.Arguments);
        EXPECT_EQ(result.ExitStatus, c.ExitStatus) << c.Arguments;
        EXPECT_EQ(result.Errors.rfind(c.Reason, 0), 0u) << c.Arguments << ": " << result.Errors;
        EXPECT_EQ(result.Output, "") << c.Arguments;
    }
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

// verify: the page buffers now against the digests of the proof.
TEST_F(CoverageCommand, VerifyNamesThePagesAndPlatesThatChangedSinceTheProof)
{
    WritePlate(1, "Cyan", [](int x, int) { return x < 5; });
    WritePlate(1, "Black", [](int, int y) { return y < 5; });
    WritePlate(2, "Black", [](int x, int y) { return x == y; });
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
    const auto unproofed = testing::RunProgram("tavrin-cli", "verify 7");
    EXPECT_EQ(unproofed.ExitStatus, 1);
    EXPECT_NE(unproofed.Errors.find("has no proof fingerprint"), std::string::npos) << unproofed.Errors;
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "task master 7").ExitStatus, 0);

    const auto same = testing::RunProgram("tavrin-cli", "verify 7");
    EXPECT_EQ(same.ExitStatus, 0) << same.Errors;
    ASSERT_EQ(same.Output.rfind("fingerprint ", 0), 0u) << same.Output;
    const std::string fingerprint = same.Output.substr(0, same.Output.find('\n') + 1);
    EXPECT_EQ(fingerprint.size(), std::string("fingerprint \n").size() + 64);
    EXPECT_EQ(same.Output, fingerprint + "page 1 same\npage 2 same\n");

    // Black of page 1 redrawn, page 2 given a spot plate: both pages named, with their plates.
    WritePlate(1, "Black", [](int, int y) { return y < 6; });
    WritePlate(2, "PANTONE 300 C", [](int x, int) { return x < 2; });
    const auto changed = testing::RunProgram("tavrin-cli", "verify 7");
    EXPECT_EQ(changed.ExitStatus, 1);
    EXPECT_EQ(changed.Output, fingerprint + "page 1 changed: Black (differs)\npage 2 changed: PANTONE 300 C (new)\n");
    EXPECT_EQ(changed.Errors, "tavrin-cli: job 7's page buffers are not the plates its proof was made from (the pages "
                              "above say how)\n");

    // A plate removed from the folder is missing; a job that is not there is a failure with a reason.
    std::filesystem::remove(PageBuffers + "1Cyan.pgb");
    const auto missing = testing::RunProgram("tavrin-cli", "verify 7");
    EXPECT_EQ(missing.ExitStatus, 1);
    EXPECT_NE(missing.Output.find("page 1 changed: Cyan (missing), Black (differs)\n"), std::string::npos)
        << missing.Output;
    const auto unknown = testing::RunProgram("tavrin-cli", "verify 99");
    EXPECT_EQ(unknown.ExitStatus, 1);
    EXPECT_NE(unknown.Errors.find("no job 99"), std::string::npos) << unknown.Errors;
}

// Job 7 mastered and in the post queue; its customer approves by mail.
class ReadyForPlates : public CoverageCommand {
protected:
    void SetUp() override
    {
        CoverageCommand::SetUp();
        WritePlate(1, "Cyan", [](int x, int) { return x < 5; });
        WritePlate(1, "Black", [](int, int y) { return y < 5; });
        WritePlate(2, "Black", [](int x, int y) { return x == y; });
        ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
        ASSERT_EQ(testing::RunProgram("tavrin-cli", "task master 7").ExitStatus, 0);
        TCatalogueConnection catalogue;
        OpenCatalogueConnection(catalogue, CatalogueFilePath());
        const std::string job = "select * from JobList where JobListReference = 7";
        WebFolder = RemoteJobFolderName(FirstFieldValue(catalogue, job, "JobListUniqueID"),
                                        FirstFieldValue(catalogue, job, "JobListSecret"));
        TRecordSet rows;
        OpenQuery(catalogue, rows,
                  "insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (7, "
                  "\"Master, Preview, Web, Transfer\")");
        catalogue.Close();
        const auto verified = testing::RunProgram("tavrin-cli", "verify 7");
        ASSERT_EQ(verified.ExitStatus, 0) << verified.Output << verified.Errors;
        Fingerprint = verified.Output.substr(std::string("fingerprint ").size(), 64);
    }

    void Approve(int page) const
    {
        TProofAnswer answer;
        answer.Job = WebFolder;
        answer.Page = page;
        answer.Decision = "approve";
        answer.Name = "Zoe Lang";
        answer.Email = "zoe@example.com";
        answer.Fingerprint = Fingerprint;
        answer.Time = "2026-12-10T09:3" + std::to_string(page) + ":00Z";
        Folder.Write("answer.eml",
                     "-----BEGIN TAVRIN ANSWER-----\r\n" + AnswerJson(answer) + "\r\n-----END TAVRIN ANSWER-----\r\n");
        const auto pasted = testing::RunProgram("tavrin-cli", "replies mail " + Folder.Path("answer.eml").string());
        ASSERT_EQ(pasted.ExitStatus, 0) << pasted.Errors;
    }

    // The answer status word of job 7 as postqueue list prints it last.
    static std::string Status()
    {
        const auto listed = testing::RunProgram("tavrin-cli", "postqueue list");
        EXPECT_EQ(listed.ExitStatus, 0) << listed.Errors;
        const std::string row = listed.Output.substr(0, listed.Output.find('\n'));
        return row.substr(row.rfind('\t') + 1);
    }

    // A plate rewritten in place: its size kept, its content and time not.
    void Rewrite(const std::string& name, const std::string& bytes) const
    {
        const std::string path = PageBuffers + name;
        const auto before = std::filesystem::last_write_time(path);
        WriteFileBytes(path, bytes);
        std::filesystem::last_write_time(path, before + std::chrono::seconds(2));
    }

    std::string WebFolder;
    std::string Fingerprint;
};

TEST_F(ReadyForPlates, OnlyWhileEveryPageIsApprovedAndThePlatesAreTheVerifiedOnes)
{
    EXPECT_EQ(Status(), "Waiting");
    Approve(1);
    EXPECT_EQ(Status(), "Waiting") << "page 2 still waits";
    Approve(2);
    EXPECT_EQ(Status(), "Ready for plates");
    const auto full = testing::RunProgram("tavrin-cli", "postqueue list");
    EXPECT_EQ(full.Output, "7\tFlyer.ps\tcomplete\tMaster, Preview, Web, Transfer\t-\tReady for plates\n");

    // Same size, other bytes, a later time: no longer what was checked; a new check says how.
    const std::string original = Folder.Read("pgb/1Black.pgb");
    std::string changed = original;
    changed.back() = static_cast<char>(changed.back() ^ 0x01);
    Rewrite("1Black.pgb", changed);
    EXPECT_EQ(Status(), "Approved");
    const auto differs = testing::RunProgram("tavrin-cli", "verify 7");
    EXPECT_THAT(differs.Output, ::testing::HasSubstr("page 1 changed: Black (differs)\n"));
    EXPECT_EQ(Status(), "Approved") << "a check that found a change keeps the job back";

    // The plate put back and checked again: ready once more.
    Rewrite("1Black.pgb", original);
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "verify 7").ExitStatus, 0);
    EXPECT_EQ(Status(), "Ready for plates");

    // A new plate of the job, once the folder scan has it, was never checked.
    WritePlate(2, "Cyan", [](int x, int) { return x < 3; });
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
    EXPECT_EQ(Status(), "Approved");
    std::filesystem::remove(PageBuffers + "2Cyan.pgb");
    const auto again = testing::RunProgram("tavrin-cli", "verify 7");
    ASSERT_EQ(again.ExitStatus, 0) << again.Output << again.Errors;
    EXPECT_EQ(Status(), "Ready for plates");

    // A plate removed, before any scan notices: back at once.
    std::filesystem::remove(PageBuffers + "2Black.pgb");
    EXPECT_EQ(Status(), "Approved");
}

}  // namespace
}  // namespace tavrin
