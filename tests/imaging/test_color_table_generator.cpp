#include "engines/imaging/BuiltinProfile.h"
#include "engines/imaging/ColorTableGenerator.h"

#include <lcms2.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tavrin {

// Shows an entry in failure messages as (R,G,B).
void PrintTo(const TColorTableEntry& entry, std::ostream* out)
{
    *out << "(" << int(entry.R) << "," << int(entry.G) << "," << int(entry.B) << ")";
}

namespace {

namespace fs = std::filesystem;

// Profiles from Debian's colour packages (icc-profiles-free, ghostscript).
const std::string RGBProfile = "/usr/share/color/icc/sRGB.icc";
const std::string CMYKProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
const std::string MissingProfile = "/nonexistent/profile.icc";

using TCMYK = std::array<std::uint8_t, 4>;

// What a build raised; empty when it succeeded.
std::string BuildError(TColorTableGenerator& generator)
{
    try {
        generator.BuildTable();
        return "";
    } catch (const EColorProfileError& error) {
        return error.what();
    }
}

TSpotColor Spot(const std::string& name, std::uint8_t c, std::uint8_t m, std::uint8_t y, std::uint8_t k)
{
    return TSpotColor{name, c, m, y, k};
}

// The built-in CMYK profile to sRGB, set up here without the generator, to
// check its entries one CMYK value at a time.
class TReferenceTransform {
public:
    TReferenceTransform()
    {
        cmsHPROFILE source = cmsOpenProfileFromMem(BuiltinCMYKProfileBytes, BuiltinCMYKProfileSize);
        cmsHPROFILE destination = cmsCreate_sRGBProfile();
        Transform = cmsCreateTransform(source, TYPE_CMYK_8, destination, TYPE_RGB_8, INTENT_PERCEPTUAL,
                                       cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_HIGHRESPRECALC);
        cmsCloseProfile(source);
        cmsCloseProfile(destination);
    }
    ~TReferenceTransform() { cmsDeleteTransform(Transform); }

    TColorTableEntry operator()(TCMYK cmyk) const
    {
        TColorTableEntry rgb;
        cmsDoTransform(Transform, cmyk.data(), &rgb, 1);
        return rgb;
    }

private:
    cmsHTRANSFORM Transform = nullptr;
};

TEST(ColorTableGenerator, StartsEmptyAndKeepsBothPaths)
{
    const TColorTableGenerator generator("in.icc", "out.icc");
    EXPECT_EQ(generator.InputProfile(), "in.icc");
    EXPECT_EQ(generator.OutputProfile(), "out.icc");
    EXPECT_TRUE(generator.SpotColors().empty());
    for (const auto& entry : generator.ColorTable())
        ASSERT_EQ(entry, TColorTableEntry{});
}

TEST(ColorTableGenerator, EachEntryIsTheTransformOfItsInks)
{
    const struct {
        const char* Name;
        std::vector<TSpotColor> Spots;
        unsigned Index;
        TCMYK CMYK;
    } cases[] = {
        {"paper", {}, 255, {0, 0, 0, 0}},
        {"all process inks", {}, 0, {255, 255, 255, 255}},
        {"cyan", {}, 247, {255, 0, 0, 0}},
        {"black", {}, 254, {0, 0, 0, 255}},
        {"spot 0 alone", {Spot("Rubine", 0, 200, 20, 0)}, 239, {0, 200, 20, 0}},
        {"spot 0 and black", {Spot("Rubine", 0, 200, 20, 0)}, 238, {0, 200, 20, 255}},
        {"spot 0 and cyan", {Spot("Rubine", 0, 200, 20, 0)}, 231, {255, 200, 20, 0}},
        {"spots or'd, not maxed", {Spot("A", 0, 128, 0, 0), Spot("B", 0, 64, 0, 0)}, 207, {0, 192, 0, 0}},
        {"spots or'd, not summed", {Spot("A", 0, 192, 0, 0), Spot("B", 0, 128, 0, 0)}, 207, {0, 192, 0, 0}},
        {"spot 1 alone", {Spot("A", 0, 128, 0, 0), Spot("B", 0, 64, 0, 0)}, 223, {0, 64, 0, 0}},
        {"four spots, each on its bit",
         {Spot("A", 0x10, 0, 0, 0), Spot("B", 0x20, 0x01, 0, 0), Spot("C", 0, 0, 0x40, 0), Spot("D", 0, 0, 0, 0x80)},
         0x0F,
         {0x30, 0x01, 0x40, 0x80}},
        {"spot 3 alone",
         {Spot("A", 0x10, 0, 0, 0), Spot("B", 0x20, 0x01, 0, 0), Spot("C", 0, 0, 0x40, 0), Spot("D", 0, 0, 0, 0x80)},
         0x7F,
         {0, 0, 0, 0x80}},
        {"an inked process plate beats its spot", {Spot("A", 0, 100, 0, 0)}, 0xEB, {0, 255, 0, 0}},
        {"a spot beyond the list adds nothing", {Spot("A", 0, 100, 0, 0)}, 0xDF, {0, 0, 0, 0}},
    };
    const TReferenceTransform reference;
    for (const auto& c : cases) {
        TColorTableGenerator generator("", "");
        for (const auto& spot : c.Spots)
            ASSERT_TRUE(generator.AddSpotColor(spot));
        ASSERT_EQ(BuildError(generator), "") << c.Name;
        EXPECT_EQ(generator.ColorTable()[c.Index], reference(c.CMYK)) << c.Name;
    }
}

TEST(ColorTableGenerator, WithoutSpotsOnlyTheProcessBitsCount)
{
    TColorTableGenerator generator("", "");
    ASSERT_EQ(BuildError(generator), "");
    const auto& table = generator.ColorTable();
    for (unsigned index = 0; index < 256; ++index)
        ASSERT_EQ(table[index], table[index | 0xF0]) << index;
    // The built-in profile gives a light paper and a dark solid.
    EXPECT_GT(table[255].R + table[255].G + table[255].B, 3 * 200);
    EXPECT_LT(table[0].R + table[0].G + table[0].B, 3 * 60);

    // A spot with no ink changes nothing.
    TColorTableGenerator blank("", "");
    ASSERT_TRUE(blank.AddSpotColor(Spot("Varnish", 0, 0, 0, 0)));
    ASSERT_EQ(BuildError(blank), "");
    EXPECT_EQ(blank.ColorTable(), table);
}

TEST(ColorTableGenerator, HoldsFourSpotsAndRefusesTheFifth)
{
    TColorTableGenerator generator("", "");
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(generator.AddSpotColor(Spot("Spot " + std::to_string(k), 0, 0, 0, 10)));
    EXPECT_FALSE(generator.AddSpotColor(Spot("Fifth", 255, 0, 0, 0)));
    ASSERT_EQ(generator.SpotColors().size(), 4u);
    EXPECT_EQ(generator.SpotColors().back().Name, "Spot 3");

    // Index 0 carries every spot bit; the refused spot's cyan is not in it.
    ASSERT_EQ(BuildError(generator), "");
    EXPECT_EQ(generator.ColorTable()[0x0F], TReferenceTransform()({0, 0, 0, 10}));
}

// A scratch folder of the test's own.
class ColorTableGeneratorFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        Folder = fs::temp_directory_path() / ("tavrin-imaging-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(Folder);
    }
    void TearDown() override { fs::remove_all(Folder); }

    // A well-formed CMYK profile without any table: it opens, but nothing
    // can convert through it.
    std::string TablelessCMYKProfile()
    {
        const auto path = (Folder / "tableless.icc").string();
        cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
        cmsSetProfileVersion(profile, 2.1);
        cmsSetDeviceClass(profile, cmsSigOutputClass);
        cmsSetColorSpace(profile, cmsSigCmykData);
        cmsSetPCS(profile, cmsSigLabData);
        EXPECT_TRUE(cmsSaveProfileToFile(profile, path.c_str()));
        cmsCloseProfile(profile);
        return path;
    }

    fs::path Folder;
};

TEST_F(ColorTableGeneratorFiles, ChecksInOrderAndLeavesTheTableZero)
{
    const struct {
        std::string Input;
        std::string Output;
        std::string Message;
    } cases[] = {
        // Each message about a profile file names the file.
        {MissingProfile, MissingProfile,
         "Could not create destination color space: the profile " + MissingProfile + " cannot be opened"},
        {"", MissingProfile,
         "Could not create destination color space: the profile " + MissingProfile + " cannot be opened"},
        {MissingProfile, RGBProfile,
         "Could not create source color space: the profile " + MissingProfile + " cannot be opened"},
        {MissingProfile, "",
         "Could not create source color space: the profile " + MissingProfile + " cannot be opened"},
        {RGBProfile, CMYKProfile, "Incorrect output colorspace: " + CMYKProfile + " is not an RGB profile"},
        {"", CMYKProfile, "Incorrect output colorspace: " + CMYKProfile + " is not an RGB profile"},
        {RGBProfile, RGBProfile, "Incorrect input color space: " + RGBProfile + " is not a CMYK profile"},
        {RGBProfile, "", "Incorrect input color space: " + RGBProfile + " is not a CMYK profile"},
        {TablelessCMYKProfile(), "", "could not create a colorspace transform"},
    };
    for (const auto& c : cases) {
        TColorTableGenerator generator(c.Input, c.Output);
        EXPECT_EQ(BuildError(generator), c.Message) << c.Input << " to " << c.Output;
        EXPECT_EQ(generator.ColorTable(), TColorTable{}) << c.Input << " to " << c.Output;
    }
}

TEST_F(ColorTableGeneratorFiles, AcceptsProfileFilesOnEitherSide)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", RGBProfile}, {CMYKProfile, ""}, {CMYKProfile, RGBProfile}};
    for (const auto& [input, output] : cases) {
        TColorTableGenerator generator(input, output);
        EXPECT_EQ(BuildError(generator), "") << input << " to " << output;
        EXPECT_NE(generator.ColorTable()[255], generator.ColorTable()[0]);
    }
}

TEST_F(ColorTableGeneratorFiles, AFailedBuildLeavesTheTableAsItWas)
{
    const auto destination = Folder / "destination.icc";
    fs::copy_file(RGBProfile, destination);
    TColorTableGenerator generator("", destination.string());
    ASSERT_TRUE(generator.AddSpotColor(Spot("Orange", 0, 120, 255, 0)));
    ASSERT_EQ(BuildError(generator), "");
    const TColorTable built = generator.ColorTable();

    fs::remove(destination);
    EXPECT_EQ(BuildError(generator),
              "Could not create destination color space: the profile " + destination.string() + " cannot be opened");
    EXPECT_EQ(generator.ColorTable(), built);

    // A later success rebuilds the same table.
    fs::copy_file(RGBProfile, destination);
    ASSERT_EQ(BuildError(generator), "");
    EXPECT_EQ(generator.ColorTable(), built);

    generator.Clear();
    EXPECT_TRUE(generator.SpotColors().empty());
    EXPECT_EQ(generator.ColorTable(), TColorTable{});
    EXPECT_EQ(generator.OutputProfile(), destination.string());
}

// What one thread builds with the given profiles and spots.
TColorTable BuildOnce(const std::string& input, const std::string& output, const std::vector<TSpotColor>& spots)
{
    TColorTableGenerator generator(input, output);
    for (const auto& spot : spots)
        generator.AddSpotColor(spot);
    EXPECT_EQ(BuildError(generator), "");
    return generator.ColorTable();
}

TEST(ColorTableGeneratorThreads, BuildAtOnceAsTheyWouldOneAfterTheOther)
{
    const std::vector<TSpotColor> spots = {Spot("Green", 200, 0, 230, 0), Spot("Gold", 0, 60, 230, 40)};
    const TColorTable builtinAlone = BuildOnce("", "", spots);
    const TColorTable filesAlone = BuildOnce(CMYKProfile, RGBProfile, {});
    ASSERT_NE(builtinAlone, TColorTable{});
    ASSERT_NE(filesAlone, TColorTable{});

    // Failing builds run beside them too: their errors must stay their own.
    constexpr int Rounds = 4;
    std::vector<TColorTable> builtinTogether(Rounds), filesTogether(Rounds);
    std::string failure;
    std::thread first([&] {
        for (int round = 0; round < Rounds; ++round)
            builtinTogether[round] = BuildOnce("", "", spots);
    });
    std::thread second([&] {
        for (int round = 0; round < Rounds; ++round) {
            filesTogether[round] = BuildOnce(CMYKProfile, RGBProfile, {});
            TColorTableGenerator failing(MissingProfile, RGBProfile);
            const std::string error = BuildError(failing);
            if (error != "Could not create source color space: the profile " + MissingProfile + " cannot be opened")
                failure = error;
        }
    });
    first.join();
    second.join();

    for (int round = 0; round < Rounds; ++round) {
        EXPECT_EQ(builtinTogether[round], builtinAlone) << round;
        EXPECT_EQ(filesTogether[round], filesAlone) << round;
    }
    EXPECT_EQ(failure, "");
}

}  // namespace
}  // namespace tavrin
