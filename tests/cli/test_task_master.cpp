#include "base/pagebuffer/PGBObject.h"
#include "engines/imaging/PreviewBitmap.h"
#include "tests/imaging/MasterFiles.h"
#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"
#include "tests/support/TreePaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace tavrin {
namespace {

using TaskMasterCommand = testing::ScratchStation;

// The planes of one rendered page, whole: cyan, magenta, yellow, black, spot 0..3.
struct TPagePlanes {
    std::array<std::vector<std::uint8_t>, 8> Planes;
    std::size_t WordsPerLine = 0;
};

TPagePlanes ReadPagePlanes(const std::filesystem::path& folder, const std::string& prefix, std::uint32_t height)
{
    const std::pair<const char*, std::size_t> plates[] = {
        {"Cyan", 0}, {"Magenta", 1}, {"Yellow", 2}, {"Black", 3}, {"PANTONE 185 C", 4}};
    TPagePlanes page;
    for (const auto& [name, plane] : plates) {
        TPGBObject plate((folder / (prefix + name + ".pgb")).string());
        page.WordsPerLine = std::size_t(plate.BytesInLine) / 4;
        auto& bytes = page.Planes[plane];
        bytes.assign(std::size_t(plate.BandHeight) * plate.MaxBand * plate.BytesInLine, 0);
        for (int band = 0; band < plate.MaxBand; ++band)
            std::memcpy(bytes.data() + std::size_t(band) * plate.BytesInBand, plate.ReadBand(band).get(),
                        std::size_t(plate.BytesInBand));
    }
    for (auto& bytes : page.Planes)
        if (bytes.empty())
            bytes.assign(page.WordsPerLine * 4 * height, 0);
    return page;
}

TEST_F(TaskMasterCommand, MastersARenderedJobThatOtherToolsRead)
{
    CopyFromStation("tavrin.dbi");
    CopyFromStation("tavrin.js");
    const auto pageBuffers = Folder.Path("pgb");
    ASSERT_EQ(std::system(("'" + testing::SourcePath("tools/render-testpage.sh") + "' -r 40 -p '" +
                           testing::SourcePath("tools/testpages/proof-job.ps") + "' -j 7 -w '" +
                           testing::PgbwriteProgram() + "' '" + pageBuffers.string() + "' >/dev/null")
                              .c_str()),
              0);
    Folder.Write("tavrin.ini", "[Main]\nInputFolder=" + pageBuffers.string() + "/\n");

    // The scan catalogues the job; the task reads the catalogue only.
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "tree").ExitStatus, 0);
    const auto result = testing::RunProgram("tavrin-cli", "task master 7");
    ASSERT_EQ(result.ExitStatus, 0) << result.Errors;
    // Log lines: the time stamp is "[" + 23 characters + "]: ".
    std::vector<std::string> texts;
    std::istringstream lines(result.Output);
    for (std::string line; std::getline(lines, line);)
        texts.push_back(line.substr(27));
    std::vector<std::string> expected = {"Creating master tiff image(s)..."};
    for (int page = 0; page < 3; ++page) {
        expected.push_back("Source Profile: Default");
        expected.push_back("Destination Profile: Default");
    }
    expected.push_back("Finished creating master image");
    expected.push_back("Master for job 7 complete.");
    EXPECT_EQ(texts, expected);

    // Three masters; page 1 composed of its five plates, pixel for pixel.
    std::vector<std::filesystem::path> masters;
    for (const auto& entry : std::filesystem::directory_iterator(Folder.Path("output")))
        masters.push_back(entry.path());
    std::sort(masters.begin(), masters.end());
    ASSERT_EQ(masters.size(), 3u);
    EXPECT_EQ(masters[0].filename().string().substr(17), "-0001.tif");
    EXPECT_EQ(masters[2].filename().string().substr(17), "-0003.tif");
    const testing::TMasterContents master = testing::ReadMaster(masters[0].string());
    ASSERT_TRUE(master.Opened);
    const TPagePlanes page = ReadPagePlanes(pageBuffers, "7-1-", master.Height);
    std::array<const std::uint8_t*, 8> planes;
    for (std::size_t k = 0; k < 8; ++k)
        planes[k] = page.Planes[k].data();
    int wrong = 0;
    for (std::uint32_t y = 0; y < master.Height; ++y)
        for (std::uint32_t x = 0; x < master.Width; ++x)
            wrong += master.At(x, y) != testing::PixelIndex(planes, page.WordsPerLine, x, y, true);
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(std::count(master.Pixels.begin(), master.Pixels.end(), 0xEF), 0) << "no pixel of the spot ink alone";

    // Page 1's ink coverage in plate order (cyan, magenta, yellow, black, the spot), counted here from the plates.
    std::vector<std::string> expectedShares;
    for (const unsigned bit : {3, 2, 1, 0, 4}) {
        // Plate bits pass unflipped: a set bit is ink on these negated plates.
        long inked = 0;
        for (std::uint32_t y = 0; y < master.Height; ++y)
            for (std::uint32_t x = 0; x < master.Width; ++x)
                inked += (testing::PixelIndex(planes, page.WordsPerLine, x, y, false) >> bit) & 1u;
        const long hundredths = std::lround(double(inked) * 10000 / (double(master.Width) * master.Height));
        char share[32];
        std::snprintf(share, sizeof share, "%ld.%02ld", hundredths / 100, hundredths % 100);
        expectedShares.push_back(share);
    }
    const auto coverage = testing::RunProgram("tavrin-cli", "coverage 7");
    ASSERT_EQ(coverage.ExitStatus, 0) << coverage.Errors;
    std::vector<std::string> shares;
    std::istringstream coverageLines(coverage.Output);
    for (std::string line; std::getline(coverageLines, line);) {
        if (line.rfind("page 1 ", 0) != 0 || !line.ends_with(" %"))
            continue;
        const std::string figure = line.substr(0, line.size() - 2);
        shares.push_back(figure.substr(figure.rfind(' ') + 1));
    }
    EXPECT_EQ(shares, expectedShares) << coverage.Output;

    // libtiff's own tool and libvips read it as the palette image it is.
    const std::string info = testing::CommandOutput("tiffinfo '" + masters[0].string() + "' 2>&1");
    for (const char* line : {"Image Width: 331 Image Length: 468", "Resolution: 40, 40 pixels/inch", "Bits/Sample: 8",
                             "Compression Scheme: LZW", "Photometric Interpretation: palette color (RGB from colormap)",
                             "Orientation: row 0 top, col 0 lhs", "Samples/Pixel: 1", "Rows/Strip: 288",
                             "Planar Configuration: single image plane", "Color Map: (present)"})
        EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
    for (const auto& [x, y] : {std::pair{5u, 5u}, {60u, 100u}, {200u, 250u}, {120u, 380u}, {330u, 467u}}) {
        const unsigned index = master.At(x, y);
        const std::string rgb = std::to_string(master.ColorMap[0][index]) + " " +
                                std::to_string(master.ColorMap[1][index]) + " " +
                                std::to_string(master.ColorMap[2][index]) + " ";
        EXPECT_EQ(testing::CommandOutput("vips getpoint '" + masters[0].string() + "' " + std::to_string(x) + " " +
                                         std::to_string(y) + " 2>/dev/null"),
                  rgb + "\n")
            << x << "," << y;
    }

    // The Preview and Web tasks carry the job on: three overviews, fifteen tile databases, the pages, their ink
    // data, the proof's fingerprint, its round and its due date.
    const auto proof = testing::RunProgram("tavrin-cli", "task preview 7 then task web 7");
    ASSERT_EQ(proof.ExitStatus, 0) << proof.Errors;
    EXPECT_NE(proof.Output.find("Created preview for page 3"), std::string::npos) << proof.Output;
    EXPECT_NE(proof.Output.find("Finished creating page 3 zoom level 4"), std::string::npos) << proof.Output;
    const auto jobFolder = Folder.Path("output") / masters[0].filename().string().substr(0, 17);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(jobFolder), {}), 3 + 15 + 6) << proof.Output;
    EXPECT_TRUE(std::filesystem::exists(jobFolder / "index.html"));
    EXPECT_TRUE(std::filesystem::exists(jobFolder / "inks.js"));
    EXPECT_TRUE(std::filesystem::exists(jobFolder / "rounds.js"));
    EXPECT_TRUE(std::filesystem::exists(jobFolder / "due.js"));
    const TPreviewBitmap overview = LoadPreviewBitmap((jobFolder / "overview-0002.png").string());
    EXPECT_EQ(std::make_pair(overview.Width, overview.Height), std::make_pair(204u, 288u));
}

TEST_F(TaskMasterCommand, TakesOneJobReference)
{
    for (const char* arguments : {"task master", "task master seven", "task master 7 8", "task master -7"})
        EXPECT_EQ(testing::RunProgram("tavrin-cli", arguments).ExitStatus, 2) << arguments;
}

}  // namespace
}  // namespace tavrin
