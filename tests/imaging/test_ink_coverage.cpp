#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/ProofFingerprint.h"
#include "engines/imaging/MasterImagePath.h"
#include "engines/imaging/ProofImage.h"
#include "tasks/imaging/MasteringThread.h"
#include "tasks/imaging/TilingThread.h"
#include "tests/imaging/JobFixture.h"
#include "tests/imaging/MasterFiles.h"
#include "tests/support/TaskContexts.h"
#include "tests/support/TreePaths.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tavrin::testing {
namespace {

// ---- Counting while composing -------------------------------------------------------------

using TPlanes = std::array<std::vector<std::uint8_t>, 8>;

// Sets pixel x of line y: machine-order words, the leftmost pixel in the most significant bit.
void SetPixel(std::vector<std::uint8_t>& plane, std::size_t words, std::uint32_t x, std::uint32_t y)
{
    std::uint8_t* at = plane.data() + (std::size_t(y) * words + x / 32) * 4;
    std::uint32_t word;
    std::memcpy(&word, at, 4);
    word |= 0x80000000u >> (x % 32);
    std::memcpy(at, &word, 4);
}

// A single-pixel checkerboard of two plate combinations over the first
// `width` pixels: cyan, black and spot 0 where x + y is even, magenta and
// spot 1 where it is odd. Every bit past the width is set in every plane, as
// a RIP's padding may be: it must not count.
TPlanes CheckerboardPlanes(std::size_t lines, std::size_t words, std::uint32_t width)
{
    TPlanes planes;
    for (auto& plane : planes)
        plane.assign(lines * words * 4, 0);
    for (std::uint32_t y = 0; y < lines; ++y)
        for (std::uint32_t x = 0; x < words * 32; ++x) {
            const bool even = (x + y) % 2 == 0;
            for (std::size_t plane = 0; plane < 8; ++plane) {
                const bool cell = even ? (plane == 0 || plane == 3 || plane == 4) : (plane == 1 || plane == 5);
                if (x >= width || cell)
                    SetPixel(planes[plane], words, x, y);
            }
        }
    return planes;
}

// Pixels of the master whose index has each bit clear (the colour table's "inked"), by index bit.
std::array<std::uint64_t, 8> InkedInMaster(const TMasterContents& master)
{
    std::array<std::uint64_t, 8> inked{};
    for (const std::uint8_t index : master.Pixels)
        for (std::size_t bit = 0; bit < 8; ++bit)
            inked[bit] += ((index >> bit) & 1u) == 0;
    return inked;
}

TEST(InkCounts, AreThoseOfTheIndicesInTheMasterWritten)
{
    struct TCase {
        std::uint32_t Width, DataWidth, Height, LinesWritten;
        bool Mirror, Negate;
    };
    // Odd widths with padding in the last word; whole words; lines that no
    // band reached (a page without plates there: ink everywhere without
    // negation, paper with it).
    const TCase cases[] = {
        {37, 64, 9, 9, false, true},     {37, 64, 9, 9, true, false},   {32, 32, 4, 4, false, false},
        {70, 96, 130, 64, false, false}, {70, 96, 130, 64, true, true},
    };
    TScratchProgramFolder folder;
    for (const TCase& page : cases) {
        SCOPED_TRACE(std::to_string(page.Width) + "x" + std::to_string(page.Height) + " of " +
                     std::to_string(page.LinesWritten) + (page.Mirror ? " mirror" : "") +
                     (page.Negate ? " negate" : ""));
        const std::size_t words = (page.DataWidth + 31) / 32;
        const TPlanes planes = CheckerboardPlanes(page.LinesWritten, words, page.Width);
        TPlatePlanes pointers;
        for (std::size_t k = 0; k < 8; ++k)
            pointers[k] = planes[k].data();
        const std::string path = folder.Path("master.tif").string();
        auto image = TProofImage::CreateForWrite(path, page.Width, page.Height, page.DataWidth, 600, 600, page.Mirror,
                                                 page.Negate, "", "");
        image->WriteBand(0, page.LinesWritten, pointers);
        ASSERT_NO_THROW(image->Close());

        const TMasterContents master = ReadMaster(path);
        ASSERT_TRUE(master.Opened);
        EXPECT_EQ(image->PixelsWritten(), std::uint64_t(page.Width) * page.Height);
        EXPECT_EQ(image->InkedPixels(), InkedInMaster(master));
    }
}

// ---- The Master and Web tasks ---------------------------------------------------------------

bool Ink(const TBitmap& bitmap, int x, int y)
{
    if (y >= bitmap.Height)
        return false;
    return (bitmap.Bits[std::size_t(y) * bitmap.RowBytes() + std::size_t(x) / 8] >> (7 - x % 8)) & 1;
}

// A plate's pattern: a bitmap with the pixels set where the rule says so.
TBitmap Pattern(int width, int height, const std::function<bool(int x, int y)>& set)
{
    TBitmap bitmap{width, height, {}};
    bitmap.Bits.assign(bitmap.RowBytes() * std::size_t(height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (set(x, y))
                bitmap.Bits[std::size_t(y) * bitmap.RowBytes() + std::size_t(x) / 8] |= std::uint8_t(0x80 >> (x % 8));
    return bitmap;
}

bool Even(int x, int y)
{
    return (x + y) % 2 == 0;
}

// One plate as the figures should tell of it, counted here from its page buffer's bitmap.
struct TExpectedPlate {
    int Page;
    std::string Name;
    int Bit;
    std::uint64_t Inked;
    std::uint64_t Pixels;
};

// 45 x 131 pixels: an odd width, and three bands of 64 lines of which the last is short.
constexpr int Width = 45, Height = 131;

class InkCoverageTask : public JobFixture {
protected:
    // Job 5: page 1 with four process plates of different shares and two spot
    // plates (the second inked in its first band only); page 2 with other plates:
    // yellow, and a spot colour whose name needs escaping.
    void WriteJob(const std::vector<std::pair<std::string, std::string>>& overrides)
    {
        Overrides = overrides;
        Negated = std::find(overrides.begin(), overrides.end(),
                            std::pair<std::string, std::string>("/ImageNegate", "false")) == overrides.end();
        WriteJobPlate("c.pgb", 1, "Cyan", Pattern(Width, Height, Even));
        WriteJobPlate("m.pgb", 1, "Magenta", Pattern(Width, Height, [](int x, int y) { return !Even(x, y); }));
        WriteJobPlate("k.pgb", 1, "BLACK", Pattern(Width, Height, [](int x, int y) { return Even(x, y) && x < 20; }));
        WriteJobPlate("s1.pgb", 1, "PANTONE 185 C",
                      Pattern(Width, Height, [](int x, int y) { return !Even(x, y) && y < 50; }), {0, 30000, 25000, 0});
        WriteJobPlate("s2.pgb", 1, "PANTONE 300 C",
                      Pattern(Width, Height, [](int x, int y) { return !Even(x, y) && y < 64; }), {30000, 10000, 0, 0});
        WriteJobPlate("y.pgb", 2, "Yellow", Pattern(Width, Height, Even));
        WriteJobPlate("g.pgb", 2, SpotName, Pattern(Width, Height, [](int x, int y) { return !Even(x, y) && x >= 30; }),
                      {0, 8000, 30000, 3000});
        Scan();
    }

    void WriteJobPlate(const std::string& name, int page, const std::string& color, const TBitmap& bitmap,
                       std::vector<int> values = {0, 0, 0, 32767},
                       std::vector<std::pair<std::string, std::string>> extra = {})
    {
        extra.insert(extra.end(), Overrides.begin(), Overrides.end());
        WritePlate(name, page, color, bitmap, std::move(values), std::move(extra));
        PlateFiles[{page, color}] = name;
    }

    // The figures counted from the bitmaps: a plate is inked where its bit is
    // set on a negated page, clear on any other.
    std::vector<TExpectedPlate> ExpectedPlates()
    {
        std::vector<TExpectedPlate> plates;
        for (int page : {1, 2}) {
            const auto colors = Column("select * from PlateList where PlateListPageNumber = " + std::to_string(page),
                                       "PlateListPlateColor");
            std::vector<TExpectedPlate> pagePlates;
            int spots = 0;
            for (const std::string& color : colors) {
                static const std::map<std::string, int> process = {
                    {"Cyan", 3}, {"Magenta", 2}, {"Yellow", 1}, {"BLACK", 0}};
                const int bit = process.count(color) ? process.at(color) : 4 + spots++;
                const TBitmap& bitmap = Bitmaps[PlateFiles[{page, color}]];
                std::uint64_t inked = 0;
                for (int y = 0; y < Height; ++y)
                    for (int x = 0; x < Width; ++x)
                        inked += Ink(bitmap, x, y) == Negated;
                pagePlates.push_back({page, color, bit, inked, std::uint64_t(Width) * Height});
            }
            // Plate order: cyan, magenta, yellow, black, then the spots.
            const auto order = [](int bit) { return bit < 4 ? 3 - bit : bit; };
            std::sort(pagePlates.begin(), pagePlates.end(),
                      [&](const auto& a, const auto& b) { return order(a.Bit) < order(b.Bit); });
            plates.insert(plates.end(), pagePlates.begin(), pagePlates.end());
        }
        return plates;
    }

    static std::vector<std::string> Rows(const std::vector<TExpectedPlate>& plates)
    {
        std::vector<std::string> rows;
        for (const TExpectedPlate& plate : plates)
            rows.push_back(std::to_string(plate.Page) + "|" + plate.Name + "|" + std::to_string(plate.Bit) + "|" +
                           std::to_string(plate.Inked) + "|" + std::to_string(plate.Pixels));
        return rows;
    }

    // The catalogue's figures in the order they are read back.
    std::vector<std::string> StoredRows()
    {
        const std::string query = "select * from CoverageList order by CoverageListPageNumber, CoverageListID";
        std::vector<std::vector<std::string>> columns;
        for (const char* column : {"CoverageListPageNumber", "CoverageListPlateColor", "CoverageListIndexBit",
                                   "CoverageListInkedPixels", "CoverageListPagePixels"})
            columns.push_back(Column(query, column));
        std::vector<std::string> rows(columns[0].size());
        for (std::size_t row = 0; row < rows.size(); ++row)
            for (std::size_t column = 0; column < columns.size(); ++column)
                rows[row] += (column ? "|" : "") + columns[column][row];
        return rows;
    }

    std::string RunMaster()
    {
        return RunTaskThread([&](TMessageTarget& target) {
                   return new TMasteringThread(target, MasteringContext(Catalogue, 5, InputFolder));
               })
            .back()
            .Text;
    }

    std::string RunWeb()
    {
        return RunTaskThread([&](TMessageTarget& target) { return new TTilingThread(target, TaskContext(5)); })
            .back()
            .Text;
    }

    const std::string SpotName = "Gold <&> \"\xC3\x84\"";
    std::vector<std::pair<std::string, std::string>> Overrides;
    bool Negated = true;
    std::map<std::pair<int, std::string>, std::string> PlateFiles;
};

TEST_F(InkCoverageTask, TheMasterKeepsEachPlatesInkedPixelsAndARemasterReplacesThem)
{
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> jobs = {
        {"negated", {}},
        {"positive and mirrored", {{"/ImageNegate", "false"}, {"/MarginNegate", "true"}}},
    };
    for (const auto& [kind, overrides] : jobs) {
        SCOPED_TRACE(kind);
        std::filesystem::remove_all(InputFolder);
        std::filesystem::create_directories(InputFolder);
        for (const char* table : {"JobList", "PlateList", "CoverageList"})
            Run(std::string("delete * from ") + table);
        WriteJob(overrides);
        ASSERT_EQ(Column("select * from JobList", "JobListImageNegate"), std::vector<std::string>{Negated ? "1" : "0"});

        ASSERT_EQ(RunMaster(), "done");
        EXPECT_EQ(StoredRows(), Rows(ExpectedPlates()));

        // A new yellow plate and figures of a page the job no longer has: a
        // second run keeps one row per plate, of the new master.
        WriteJobPlate("y.pgb", 2, "Yellow", Pattern(Width, Height, [](int x, int) { return x % 3 == 0; }));
        Run("insert into CoverageList (CoverageListJobReference, CoverageListPageNumber, CoverageListPlateColor, "
            "CoverageListIndexBit, CoverageListInkedPixels, CoverageListPagePixels) values (5, 3, \"Cyan\", 3, 1, 2)");
        ASSERT_EQ(RunMaster(), "done");
        EXPECT_EQ(StoredRows(), Rows(ExpectedPlates()));
    }
}

// The plates of inks.js as tests/imaging/page_inks.py reads them: page,
// inked, bit, coverage, name (with mode "tables": page, colour table); empty
// when the script refused the file.
std::vector<std::vector<std::string>> ReadPageInks(const std::string& path, const std::string& mode = "")
{
    const std::string command =
        "/usr/bin/python3 '" + SourcePath("tests/imaging/page_inks.py") + "' '" + path + "' " + mode;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    for (std::size_t read; pipe && (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, read);
    if (!pipe || ::pclose(pipe) != 0)
        return {};
    std::vector<std::vector<std::string>> plates;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');)
            fields.push_back(field);
        plates.push_back(fields);
    }
    return plates;
}

// The proof is bound to the bytes of its plates: proof.js names each plate's
// file by its digest, in plate order, and a plate rewritten since shows.
TEST_F(InkCoverageTask, TheProofCarriesTheDigestsOfThePlatesItWasMadeFrom)
{
    Folder.CopyStationFile("tavrin.js");
    WriteJob({});
    ASSERT_EQ(RunMaster(), "done");
    ASSERT_EQ(RunWeb(), "done");
    const std::string command = "/usr/bin/python3 '" + SourcePath("tests/imaging/proof_print.py") + "' '" +
                                JobFolderPath(UniqueID(5)) + "proof.js' '" + InputFolder + "'";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    for (std::size_t read; pipe && (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, read);
    ASSERT_TRUE(pipe && ::pclose(pipe) == 0) << output;
    std::string expected;
    for (const TExpectedPlate& plate : ExpectedPlates())
        expected += std::to_string(plate.Page) + "\t" + plate.Name + "\t" + PlateFiles[{plate.Page, plate.Name}] + "\n";
    EXPECT_EQ(output, expected);
    const std::string job = LoadJobFingerprint(Catalogue, 5);
    EXPECT_EQ(job.size(), 64u);

    // The same bytes give the same fingerprint; one changed plate another.
    ASSERT_EQ(RunMaster(), "done");
    EXPECT_EQ(LoadJobFingerprint(Catalogue, 5), job);
    WriteJobPlate("y.pgb", 2, "Yellow", Pattern(Width, Height, [](int x, int) { return x % 3 == 0; }));
    ASSERT_EQ(RunMaster(), "done");
    const std::string changed = LoadJobFingerprint(Catalogue, 5);
    EXPECT_EQ(changed.size(), 64u);
    EXPECT_NE(changed, job);
}

TEST_F(InkCoverageTask, TheViewersInkDataListsEveryPagesPlatesWithTheirCoverage)
{
    Folder.CopyStationFile("tavrin.js");
    WriteJob({});
    ASSERT_EQ(RunMaster(), "done");
    ASSERT_EQ(RunWeb(), "done");
    const std::string file = JobFolderPath(UniqueID(5)) + "inks.js";
    const std::vector<TExpectedPlate> expected = ExpectedPlates();
    ASSERT_EQ(expected.size(), 7u);

    // With figures: the percentage of the counts made here, rounded to two decimals.
    auto plates = ReadPageInks(file);
    ASSERT_EQ(plates.size(), expected.size()) << "see the script's reason above";
    for (std::size_t i = 0; i < plates.size(); ++i) {
        const TExpectedPlate& plate = expected[i];
        SCOPED_TRACE(plate.Name);
        ASSERT_EQ(plates[i].size(), 5u);
        EXPECT_EQ(plates[i][0], std::to_string(plate.Page));
        EXPECT_EQ(plates[i][1], "0") << "an index bit of 0 is ink";
        EXPECT_EQ(plates[i][2], std::to_string(plate.Bit));
        EXPECT_EQ(std::stod(plates[i][3]), std::round(double(plate.Inked) * 10000 / double(plate.Pixels)) / 100);
        EXPECT_EQ(plates[i][4], plate.Name);
    }
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(R"("name":"Gold \u003c\u0026\u003e \"\u00c4\"")"), std::string::npos) << text;
    // Each page's colour table is its master's colour map, low bytes, in hex.
    const auto tables = ReadPageInks(file, "tables");
    ASSERT_EQ(tables.size(), 2u);
    for (int page = 1; page <= 2; ++page) {
        const TMasterContents master = ReadMaster(MasterImagePath(UniqueID(5), page));
        ASSERT_TRUE(master.Opened);
        std::string hex;
        char digits[3];
        for (int v = 0; v < 256; ++v)
            for (int channel = 0; channel < 3; ++channel) {
                std::snprintf(digits, sizeof digits, "%02x",
                              master.ColorMap[std::size_t(channel)][std::size_t(v)] & 0xFF);
                hex += digits;
            }
        EXPECT_EQ(tables[std::size_t(page - 1)], (std::vector<std::string>{std::to_string(page), hex}));
    }

    // A job mastered before the figures were kept: the same plates, no coverage.
    Run("delete * from CoverageList");
    ASSERT_EQ(RunWeb(), "done");
    plates = ReadPageInks(file);
    ASSERT_EQ(plates.size(), expected.size());
    for (std::size_t i = 0; i < plates.size(); ++i)
        EXPECT_EQ(plates[i], (std::vector<std::string>{std::to_string(expected[i].Page), "0",
                                                       std::to_string(expected[i].Bit), "null", expected[i].Name}));
}

}  // namespace
}  // namespace tavrin::testing
