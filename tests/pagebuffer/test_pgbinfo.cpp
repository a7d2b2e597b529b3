#include "tests/pagebuffer/PageBufferFiles.h"
#include "tests/support/CliRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nettle/sha2.h>

namespace tavrin {
namespace {

using ::testing::HasSubstr;
using testing::RunProgram;

std::string Sha256Hex(const std::string& bytes)
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    char text[2 * SHA256_DIGEST_SIZE + 1];
    for (int i = 0; i < SHA256_DIGEST_SIZE; ++i)
        std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

class PGBInfo : public testing::PageBufferFiles {
protected:
    // A plate of 64 x 6 pixels in bands of 2 lines of 8 bytes: band 0 raw,
    // band 1 blank, band 2 compressed.
    void SetUp() override
    {
        PageBufferFiles::SetUp();
        Bitmap = {64, 6, std::vector<std::uint8_t>(48)};
        for (std::size_t i = 0; i < Bitmap.Bits.size(); ++i)
            Bitmap.Bits[i] = i < 16 ? static_cast<std::uint8_t>(i * 37 + 1) : i < 32 ? 0 : 0xff;
        TPlateOptions options;
        options.BandHeight = 2;
        options.JobNumber = 12;
        options.JobName = "12.Brochure (a).ps";
        Path = Write("plate.pgb", PlateLayout(Bitmap, options));
    }

    std::string Quoted() const { return "'" + Path + "'"; }

    TBitmap Bitmap;
    std::string Path;
};

TEST_F(PGBInfo, HeaderFieldsTitleAndTables)
{
    const auto result = RunProgram("pgbinfo", Quoted());
    EXPECT_EQ(result.ExitStatus, 0);
    for (const char* line : {"PageHeaderVersion=20\n", "BytesInBand=16\n", "ImageNegate=True\n", "JobNumber=12\n",
                             "JobName=12.Brochure (a).ps\n", "ColorValues=0,0,0,65535\n", "XResFrac=0\n",
                             "RleScreens=\n", "JobTitle=Brochure (a).ps\n", "BandSizes="})
        EXPECT_THAT(result.Output, HasSubstr(line));
    EXPECT_THAT(result.Output, ::testing::MatchesRegex(".*\nBandOffsets=[0-9]+,0,[0-9]+\nBandSizes=[0-9]+,0,[0-9]+\n"));
}

TEST_F(PGBInfo, TextsAreShownWithTheirControlsEscaped)
{
    TPlateOptions options;
    options.JobName = "12.Ev\x1b[31mil\xe2\x80\xae.ps";
    options.ColorName = "Bl\x1b]0;owned\x07"
                        "ack";
    const std::string path = Write("hostile.pgb", PlateLayout(Bitmap, options));
    const auto result = RunProgram("pgbinfo", "'" + path + "'");
    EXPECT_EQ(result.ExitStatus, 0);
    for (const char* line : {"\nJobName=12.Ev\\x1b[31mil\\u202e.ps\n", "\nColorName=Bl\\x1b]0;owned\\x07ack\n",
                             "\nJobTitle=Ev\\x1b[31mil\\u202e.ps\n"})
        EXPECT_THAT(result.Output, HasSubstr(line));
    EXPECT_EQ(result.Output.find_first_of("\x1b\x07"), std::string::npos);
}

TEST_F(PGBInfo, ReadsBandsInTheOrderGiven)
{
    const auto band0 = RunProgram("pgbinfo", "--dump 0 " + Quoted());
    const auto band2 = RunProgram("pgbinfo", "--dump 2 " + Quoted());
    ASSERT_EQ(band0.ExitStatus, 0);
    ASSERT_EQ(band2.ExitStatus, 0);
    EXPECT_EQ(band0.Output.size(), 16u);
    const auto result = RunProgram("pgbinfo", "--read 0,2,1,2,7 " + Quoted());
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(result.Output, "band 0: 16 bytes " + Sha256Hex(band0.Output) +
                                 "\n"
                                 "band 2: null\n"
                                 "band 1: 16 bytes " +
                                 Sha256Hex(std::string(16, '\0')) + "\nband 2: 16 bytes " + Sha256Hex(band2.Output) +
                                 "\nband 7: null\n");
}

TEST_F(PGBInfo, PlateAsPBM)
{
    const auto result = RunProgram("pgbinfo", "--pbm " + Quoted());
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(result.Output, "P4\n64 6\n" + std::string(Bitmap.Bits.begin(), Bitmap.Bits.end()));
}

TEST_F(PGBInfo, FailuresAndUsage)
{
    const std::string missing = "'" + (Folder / "missing.pgb").string() + "'";
    struct TCase {
        std::string Arguments;
        int ExitStatus;
        std::string Errors;
    };
    const TCase cases[] = {
        {missing, 1, "missing.pgb\": No such file or directory"},
        {"--pbm " + missing, 1, "Cannot open file"},
        {"--dump 9 " + Quoted(), 1, "band 9: no band 9"},
        {"", 2, "Usage: pgbinfo"},
        {"--read x " + Quoted(), 2, "Usage: pgbinfo"},
        {"--dump 1,2 " + Quoted(), 2, "Usage: pgbinfo"},
        {"--frob " + Quoted(), 2, "Usage: pgbinfo"},
    };
    for (const TCase& c : cases) {
        const auto result = RunProgram("pgbinfo", c.Arguments);
        EXPECT_EQ(result.ExitStatus, c.ExitStatus) << c.Arguments;
        EXPECT_THAT(result.Errors, HasSubstr(c.Errors)) << c.Arguments;
    }
}

}  // namespace
}  // namespace tavrin
