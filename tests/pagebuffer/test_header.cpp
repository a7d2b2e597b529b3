#include "base/pagebuffer/PGBObject.h"
#include "tests/pagebuffer/PageBufferFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavrin {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class PGBHeader : public testing::PageBufferFiles {
protected:
    // Reads a file whose header holds the given lines and no bands.
    TPGBObject Read(std::vector<std::string> lines, const std::string& lineEnd = "\n")
    {
        TPageBufferLayout layout;
        layout.HeaderLines = std::move(lines);
        layout.LineEnd = lineEnd;
        return TPGBObject(Write("header.pgb", layout));
    }

    // The error text of constructing on the given file bytes.
    std::string ErrorOf(const std::string& bytes)
    {
        try {
            TPGBObject pgb(Write("bad.pgb", bytes));
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        return "(no error)";
    }
};

TEST_F(PGBHeader, TablesStartRightAfterTheLineEndOfPgbimage)
{
    for (const std::string lineEnd : {"\n", "\r", "\r\n"}) {
        for (const int version : {19, 20}) {
            TPageBufferLayout layout = Layout(4, 8, {{7, 255}, {}, {1, 2, 3, 4, 5, 6, 7, 8}});
            layout.HeaderLines[0] = "/PageHeaderVersion " + std::to_string(version);
            layout.LineEnd = lineEnd;
            layout.TableVersion = version;
            const std::string bytes = PageBufferBytes(layout);
            const TPGBObject pgb(Write("tables.pgb", bytes));
            // The data follow tables of 8 (version 19) or 12 (version 20) bytes per band.
            const std::size_t dataStart = bytes.size() - 10;
            const std::size_t tableStart = dataStart - (version >= 20 ? 12 : 8) * 3;
            EXPECT_EQ(bytes.substr(tableStart - 8 - lineEnd.size(), 8), "pgbimage");
            EXPECT_THAT(pgb.BandSizes, ElementsAre(2, 0, 8)) << version << " " << lineEnd.size();
            EXPECT_THAT(pgb.BandOffsets, ElementsAre(dataStart, 0, dataStart + 2)) << version << " " << lineEnd.size();
        }
    }
}

TEST_F(PGBHeader, ListsOnFollowingLinesAndSingleItems)
{
    const TPGBObject listed = Read({"/ColorValues", "[", " 100 ", "200", "65537", "-1", "]", "/ColorName (CYAN)"});
    EXPECT_THAT(listed.ColorValues, ElementsAre(100, 200, 1, 65535));
    EXPECT_EQ(listed.ColorName, "CYAN");

    const TPGBObject inline_ = Read({"/ColorValues [100 200 300 400]", "/ColorBits [1 2]"});
    EXPECT_THAT(inline_.ColorValues, ElementsAre(0));
    EXPECT_THAT(inline_.ColorBits, ElementsAre(0));

    // A key without value swallows the next line when it is not "[".
    const TPGBObject swallowed = Read({"/DeviceName", "/JobNumber 12", "/PageNumber 3"});
    EXPECT_EQ(swallowed.JobNumber, 0);
    EXPECT_EQ(swallowed.PageNumber, 3);
    EXPECT_EQ(swallowed.DeviceName, "");

    // Unknown keys are ignored with their lists; texts in lists are unescaped.
    const TPGBObject unknown = Read({"/Unknown", "[", "/JobNumber 5", "]", "/GroupColorants", "[", "(A\\)B)", "C", "]",
                                     "", "\t/PaperType\tplain  ", "/jobnumber 9"});
    EXPECT_EQ(unknown.JobNumber, 0);
    EXPECT_THAT(unknown.GroupColorants, ElementsAre("A)B", "C"));
    EXPECT_THAT(unknown.PaperType, ElementsAre("plain"));
}

TEST_F(PGBHeader, ValueForms)
{
    const TPGBObject pgb =
        Read({"/JobNumber 12", "/JobNumber 34", "/PageNumber +7", "/BandHeight abc", "/MaxBand 99999999999",
              "/TrimStart -5", "/XResFrac 1.5", "/YResFrac -2e3", "/JobName (12.Brochure \\(final\\) a\\\\b.ps)",
              "/Colorants", "[", "x", "]", "/ImageNegate TRUE", "/MarginNegate 1", "/Locked false", "/RunLength 0"});
    EXPECT_EQ(pgb.JobNumber, 34);
    EXPECT_EQ(pgb.PageNumber, 7);
    EXPECT_EQ(pgb.BandHeight, 0);
    EXPECT_EQ(pgb.MaxBand, 0);
    EXPECT_EQ(pgb.TrimStart, -5);
    EXPECT_EQ(pgb.XResFrac, 1.5);
    EXPECT_EQ(pgb.YResFrac, -2000);
    EXPECT_EQ(pgb.JobName, "12.Brochure (final) a\\b.ps");
    EXPECT_TRUE(pgb.ImageNegate);
    EXPECT_TRUE(pgb.MarginNegate);
    EXPECT_FALSE(pgb.Locked);
    EXPECT_FALSE(pgb.RunLength);
    EXPECT_TRUE(pgb.BandOffsets.empty());
}

TEST_F(PGBHeader, MalformedBooleansAndRealsMakeTheFileUnreadable)
{
    struct TCase {
        std::string Line;
        std::string Message;
    };
    const TCase cases[] = {
        {"/ImageNegate yes", "'yes' is not a valid boolean value"},
        {"/CutAfterPage 1x", "'1x' is not a valid boolean value"},
        {"/XResFrac abc", "'abc' is not a valid floating point value"},
        {"/YResFrac inf", "'inf' is not a valid floating point value"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ErrorOf(c.Line + "\npgbimage\n"), c.Message) << c.Line;
}

TEST_F(PGBHeader, BrokenFilesFailConstructionNamingTheFile)
{
    const std::string path = (Folder / "bad.pgb").string();
    struct TCase {
        std::string Bytes;
        std::string Message;
    };
    const TCase cases[] = {
        {"", "The page buffer file \"" + path + "\" ends before its \"pgbimage\" line"},
        {"/JobNumber 1\npgbimag", "ends before its \"pgbimage\" line"},
        {"/JobNumber\n", "ends before its \"pgbimage\" line"},
        {"/ColorValues\n[\n1\n2\npgbimage\n", "ends inside a bracketed list"},
        {"/PageHeaderVersion 20\n/MaxBand 3\npgbimage\n" + std::string(35, '\0'),
         "The band tables of 3 bands do not fit"},
        {"/MaxBand 200000\npgbimage\n" + std::string(100, '\0'), "do not fit in the page buffer file \"" + path},
        {"/PageHeaderVersion 19\n/MaxBand 3\npgbimage\n" + std::string(23, '\0'), "do not fit"},
        {std::string(3 << 20, 'x'), "Header line longer than"},
    };
    for (const TCase& c : cases)
        EXPECT_THAT(ErrorOf(c.Bytes), HasSubstr(c.Message)) << c.Bytes.substr(0, 40);

    EXPECT_THAT(ErrorOf("/PageHeaderVersion 19\n/MaxBand 3\npgbimage\r\n" + std::string(24, '\0')), "(no error)");
    try {
        TPGBObject missing((Folder / "missing.pgb").string());
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(), HasSubstr("missing.pgb\": No such file or directory"));
    }
}

// A text that a line break split would swallow the key after it: the file
// is refused instead, while texts whose last ")" closes them are read.
TEST_F(PGBHeader, ATextValueSplitByALineBreakMakesTheFileUnreadable)
{
    for (const std::string broken : {"/JobName (712.Bro\nchure.ps)\n/ColorType 1", "/JobName (712.Bro\rchure.ps)",
                                     "/ColorName (Gold\\)", "/JobNameUTF8 (a"})
        EXPECT_THAT(ErrorOf(broken + "\npgbimage\n"),
                    HasSubstr("has a line break inside its " + broken.substr(0, broken.find(' ')) + " text"))
            << broken;
    // Written without parentheses: the rest of the name is a line that is no key.
    for (const std::string broken : {"/JobName 712.Bro\nchure.ps\n/ColorType 1", "/JobName 712.Bro\nchure.ps"})
        EXPECT_THAT(ErrorOf(broken + "\npgbimage\n"),
                    HasSubstr("has a line break inside a value: its line \"chure.ps\""))
            << broken;
    // A line before the first key, and a key alone before another, lose the next line as ever.
    EXPECT_EQ(Read({"PGB", "/JobNumber 4", "/PageNumber 2"}).JobNumber, 0);
    const TPGBObject keyAlone = Read({"/DeviceName", "/JobNumber 4", "/PageNumber 2"});
    EXPECT_EQ(keyAlone.JobNumber, 0);
    EXPECT_EQ(keyAlone.PageNumber, 2);
    struct TCase {
        std::string Line;
        std::string Name;
    };
    const TCase whole[] = {
        {"/JobName (7.Cover (2))", "7.Cover (2)"},
        {"/JobName (a\\\\)", "a\\"},
        {"/JobName 7.Plain ps", "7.Plain ps"},
        {"/JobName ()", ""},
    };
    for (const TCase& c : whole)
        EXPECT_EQ(Read({c.Line}).JobName, c.Name) << c.Line;
}

// A header of a few bytes may claim a plate of any size; what no plate has is
// refused before anything is allocated for it, naming the key and value.
TEST_F(PGBHeader, ImpossibleGeometryIsRefusedNamingTheKeyAndValue)
{
    const std::string plate = "/ImageWidth 4800\n/ImageHeight 6400\n/BytesInLine 600\n/BandHeight 64\n";
    const std::pair<std::string, std::string> cases[] = {
        {"/ImageWidth 1000000\n/ImageHeight 1000000\n", "has ImageWidth 1000000: more than the 524288 pixels"},
        {"/ImageHeight -700\n", "has ImageHeight -700: a size cannot be negative"},
        {"/DataWidth 600000\n", "has DataWidth 600000"},
        {"/ImageWidth 4800\n/BytesInLine 599\n",
         "has BytesInLine 599: a line of that many bytes cannot hold ImageWidth 4800"},
        {"/BytesInLine 600\n/BandHeight 30000000\n", "has BandHeight 30000000: more than the 524288"},
        {"/BytesInLine 65536\n/BandHeight 8192\n", "has BandHeight 8192: bands of 65536-byte lines would be larger"},
        {plate + "/BytesInBand 2000000000\n", "has BytesInBand 2000000000: more than the 268435456 bytes"},
        {plate + "/BytesInBand 38401\n", "has BytesInBand 38401: more than BandHeight 64 lines of 600 bytes"},
        {plate + "/MaxBand 101\n", "has MaxBand 101: more bands of BandHeight 64 than ImageHeight 6400 needs"},
        {"/MaxBand 100000000\n", "has MaxBand 100000000: more bands than the 524288 lines"},
    };
    for (const auto& [header, message] : cases)
        EXPECT_THAT(ErrorOf(header + "pgbimage\n" + std::string(64, '\0')), HasSubstr(message)) << header;
    // The geometry of a real plate, band tables and all, passes; so does a
    // large-format plate 1.6 m wide and 5 m long at 2400 dpi.
    EXPECT_EQ(
        ErrorOf(plate + "/BytesInBand 38400\n/MaxBand 100\n/PageHeaderVersion 19\npgbimage\n" + std::string(800, '\0')),
        "(no error)");
    EXPECT_EQ(ErrorOf("/ImageWidth 151181\n/ImageHeight 472441\n/BytesInLine 18900\n/BandHeight 64\n"
                      "/BytesInBand 1209600\n/MaxBand 7382\n/PageHeaderVersion 19\npgbimage\n" +
                      std::string(7382 * 8, '\0')),
              "(no error)");
}

TEST_F(PGBHeader, NoBandsWithoutPositiveMaxBand)
{
    for (const std::string maxBand : {"0", "-4"}) {
        TPGBObject pgb = Read({"/MaxBand " + maxBand, "/BytesInBand 8", "/Compressed -1"});
        EXPECT_TRUE(pgb.BandSizes.empty());
        EXPECT_EQ(pgb.ReadBand(0), nullptr);
    }
}

TEST_F(PGBHeader, JobTitle)
{
    const std::pair<std::string, std::string> cases[] = {
        {"123.Brochure.ps", "Brochure.ps"},
        {"7.Cover (2)", "Cover"},
        {"Cover (a) (b)", "Cover (a)"},
        {"", ""},
        {"12345", ""},
        {"12..ps", ".ps"},
        {"9. Spaced name ", "Spaced name"},
        {"4.Name)", "Name)"},
        {"4.(x)", ""},
    };
    for (const auto& [name, title] : cases) {
        TPGBObject pgb = Read({});
        pgb.JobName = name;
        EXPECT_EQ(pgb.GetJobTitle(), title) << name;
    }
}

}  // namespace
}  // namespace tavrin
