#include "base/platform/MessageBox.h"
#include "engines/imaging/ProofImage.h"
#include "engines/imaging/TiffErrorHandler.h"
#include "tests/imaging/MasterFiles.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <tiffio.h>

namespace tavrin::testing {
namespace {

using TPlanes = std::array<std::vector<std::uint8_t>, 8>;

TPlanes RandomPlanes(std::size_t lines, std::size_t wordsPerLine, unsigned seed)
{
    std::mt19937 random(seed);
    TPlanes planes;
    for (auto& plane : planes) {
        plane.resize(lines * wordsPerLine * 4);
        // Mostly blank words with busy ones between, as screened plates are.
        for (std::size_t i = 0; i < plane.size(); i += 4) {
            const bool busy = random() % 3 == 0;
            for (std::size_t j = 0; j < 4; ++j)
                plane[i + j] = busy ? static_cast<std::uint8_t>(random()) : 0;
        }
    }
    return planes;
}

std::array<const std::uint8_t*, 8> PlanePointers(const TPlanes& planes, std::size_t offset = 0)
{
    std::array<const std::uint8_t*, 8> pointers;
    for (std::size_t k = 0; k < 8; ++k)
        pointers[k] = planes[k].data() + offset;
    return pointers;
}

std::string FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct TPageCase {
    std::uint32_t Width, DataWidth, Height;
    bool Mirror, Negate;
};

TEST(ProofImage, PixelsMatchAPerPixelComputationAndTheFileEqualsThePlainWriters)
{
    // Width 33 in 64-bit lines: pixel 32 is bit 31 of the second word, its other bits are
    // ignored. Height 1000 in bands of 96: the eleventh band writes lines 960..999 only and
    // a twelfth band at 1056 writes nothing. Height 1500 has six strips, more than the
    // writer keeps in work at once.
    const TPageCase cases[] = {
        {33, 64, 5, false, false},   {33, 64, 5, true, true},        {70, 96, 1000, false, true},
        {70, 96, 1000, true, false}, {100, 128, 1500, false, false},
    };
    TScratchProgramFolder folder;
    const std::uint32_t bandLines = 96;
    for (const TPageCase& page : cases) {
        SCOPED_TRACE(std::to_string(page.Width) + "x" + std::to_string(page.Height) + (page.Mirror ? " mirror" : "") +
                     (page.Negate ? " negate" : ""));
        const std::size_t words = (page.DataWidth + 31) / 32;
        const std::uint32_t bands = (page.Height + bandLines - 1) / bandLines + 1;
        const TPlanes planes = RandomPlanes(std::size_t(bands) * bandLines, words, page.Width + page.Height);
        const std::string path = folder.Path("master.tif").string();
        {
            auto image = TProofImage::CreateForWrite(path, page.Width, page.Height, page.DataWidth, 600, 600,
                                                     page.Mirror, page.Negate, "", "");
            EXPECT_EQ(image->WordsPerLine(), words);
            for (std::uint32_t band = 0; band < bands; ++band)
                image->WriteBand(band * bandLines, bandLines, PlanePointers(planes, band * bandLines * words * 4));
            EXPECT_NO_THROW(image->Close());
        }
        const TMasterContents master = ReadMaster(path);
        ASSERT_TRUE(master.Opened);
        ASSERT_EQ(master.Width, page.Width);
        ASSERT_EQ(master.Height, page.Height);
        const auto pointers = PlanePointers(planes);
        int wrong = 0;
        for (std::uint32_t y = 0; y < page.Height; ++y)
            for (std::uint32_t i = 0; i < page.Width; ++i) {
                const std::uint32_t x = page.Mirror ? page.Width - 1 - i : i;
                wrong += master.At(i, y) != PixelIndex(pointers, words, x, y, page.Negate);
            }
        EXPECT_EQ(wrong, 0);

        ASSERT_TRUE(WriteMasterFile(folder.Path("plain.tif").string(), master, 600, 288));
        EXPECT_TRUE(FileBytes(path) == FileBytes(folder.Path("plain.tif"))) << "not the plain writer's file";
    }
}

TEST(ProofImage, AbsentPlatesAreInkWithoutNegateAndPaperWithIt)
{
    TScratchProgramFolder folder;
    const TPlanes zero = {std::vector<std::uint8_t>(4 * 8, 0), {}, {}, {}, {}, {}, {}, {}};
    std::array<const std::uint8_t*, 8> planes;
    planes.fill(zero[0].data());
    for (const auto& [negate, index] : {std::pair{false, 0}, std::pair{true, 255}}) {
        const std::string path = folder.Path(negate ? "n.tif" : "p.tif").string();
        TProofImage::CreateForWrite(path, 20, 8, 32, 300, 300, false, negate, "", "")->WriteBand(0, 8, planes);
        const TMasterContents master = ReadMaster(path);
        ASSERT_TRUE(master.Opened);
        EXPECT_EQ(std::count(master.Pixels.begin(), master.Pixels.end(), index), 20 * 8) << negate;
    }
}

TEST(ProofImage, RowsPerStripIsTheSmallestMultipleOf288GivingAtMost288Strips)
{
    TScratchProgramFolder folder;
    const std::vector<std::uint8_t> blank(4, 0);
    std::array<const std::uint8_t*, 8> planes;
    planes.fill(blank.data());
    for (const auto& [height, rows] : {std::pair{288u * 288u, 288u}, {288u * 288u + 1, 576u}, {100u, 288u}}) {
        const std::string path = folder.Path("strips.tif").string();
        // Lines no band reached are completed as blank when the writer closes.
        TProofImage::CreateForWrite(path, 8, height, 32, 300, 300, false, true, "", "")->WriteBand(0, 1, planes);
        const TMasterContents master = ReadMaster(path);
        ASSERT_TRUE(master.Opened) << height;
        EXPECT_EQ(master.Height, height);
        EXPECT_EQ(master.RowsPerStrip, rows) << height;
        EXPECT_EQ(std::count(master.Pixels.begin(), master.Pixels.end(), 255), std::ptrdiff_t(height) * 8);
    }
}

TEST(ProofImage, ColourMapHoldsTheColourTableBytesUnscaled)
{
    TScratchProgramFolder folder;
    const std::string path = folder.Path("spots.tif").string();
    auto image = TProofImage::CreateForWrite(path, 16, 2, 32, 300, 300, false, true, "", "");
    TColorTableGenerator expected("", "");
    const std::uint16_t values[5][4] = {
        {0, 29817, 24902, 0}, {32767, 14417, 0, 0}, {0, 0, 32767, 0}, {16384, 0, 0, 8192}, {1, 2, 3, 4}};
    for (int i = 0; i < 5; ++i) {
        const auto& v = values[i];
        const std::string name = "SPOT " + std::to_string(i);
        EXPECT_EQ(image->AddSpotColor(name, v[0], v[1], v[2], v[3]), i < 4);
        expected.AddSpotColor(
            {name, ColorValueToByte(v[0]), ColorValueToByte(v[1]), ColorValueToByte(v[2]), ColorValueToByte(v[3])});
    }
    ASSERT_NO_THROW(expected.BuildTable());
    const std::vector<std::uint8_t> blank(8, 0);
    std::array<const std::uint8_t*, 8> planes;
    planes.fill(blank.data());
    image->WriteBand(0, 2, planes);
    image.reset();

    const TMasterContents master = ReadMaster(path);
    ASSERT_TRUE(master.Opened);
    ASSERT_EQ(master.ColorMap[0].size(), 256u);
    for (std::size_t i = 0; i < 256; ++i) {
        const TColorTableEntry& entry = expected.ColorTable()[i];
        EXPECT_EQ(master.ColorMap[0][i], entry.R) << i;
        EXPECT_EQ(master.ColorMap[1][i], entry.G) << i;
        EXPECT_EQ(master.ColorMap[2][i], entry.B) << i;
    }
}

TEST(ProofImage, OnlyAWholeMasterEverCarriesTheName)
{
    TScratchProgramFolder folder;
    const std::string path = folder.Path("page.tif").string();
    const std::vector<std::uint8_t> blank(4 * 300, 0);
    std::array<const std::uint8_t*, 8> planes;
    planes.fill(blank.data());

    // No band, no file.
    try {
        TProofImage::CreateForWrite(path, 32, 600, 32, 300, 300, false, true, "", "")->Close();
        ADD_FAILURE() << "a master without bands was completed";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), "No band was written to " + path);
    }
    EXPECT_FALSE(std::filesystem::exists(path));

    // A master of an earlier run goes when the new one starts; an abandoned one leaves nothing.
    folder.Write("page.tif", "an earlier master");
    {
        auto image = TProofImage::CreateForWrite(path, 32, 600, 32, 300, 300, false, true, "", "");
        image->WriteBand(0, 300, planes);
        EXPECT_THROW(image->WriteBand(400, 100, planes), std::invalid_argument);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
}

// libtiff's errors reach a task's capture as boxes; every other thread (an
// engine's worker, the station's own) keeps the reason for its caller and
// never reaches a real box.
TEST(TiffErrorHandler, OnlyACaptureReceivesLibtiffErrorsAsBoxes)
{
    TScratchProgramFolder folder;
    const std::string missing = folder.Path("missing.tif").string();
    TBoxRecorder hook;
    const auto openMissing = [&] {
        ClearLastTiffError();
        EXPECT_EQ(TIFFOpen(missing.c_str(), "r"), nullptr);
        return LastTiffFailure();
    };
    const std::string reason = "No such file or directory (TIFFOpen: " + missing + ": No such file or directory)";
    std::string workerReason;
    std::thread([&] { workerReason = openMissing(); }).join();
    EXPECT_EQ(workerReason, reason);
    EXPECT_EQ(openMissing(), reason);

    std::vector<std::string> captured;
    {
        TMessageBoxCapture capture([&](const std::string& caption, const std::string& text, TMessageBoxIcon) {
            captured.push_back(caption + "|" + text);
        });
        EXPECT_EQ(openMissing(), reason);
    }
    EXPECT_EQ(captured, std::vector<std::string>{"Tiff Error|" + missing + ": No such file or directory\n\rTIFFOpen"});
    EXPECT_TRUE(hook.Shown().empty());
}

TEST(ProofImage, AMasterThatCannotBeMadeOrOpenedSaysWhy)
{
    TScratchProgramFolder folder;
    const std::string missing = folder.Path("no-folder/page.tif").string();
    {
        TBoxRecorder recorder;
        auto image = TProofImage::CreateForWrite(missing, 32, 4, 32, 300, 300, false, true, "", "");
        const std::vector<std::uint8_t> blank(16, 0);
        std::array<const std::uint8_t*, 8> planes;
        planes.fill(blank.data());
        const std::string reason = "Cannot create " + missing +
                                   ".part: No such file or directory (TIFFOpen: " + missing +
                                   ".part: No such file or directory)";
        // Every band and the completion name the reason.
        for (int call = 0; call < 3; ++call) {
            try {
                if (call < 2)
                    image->WriteBand(0, 4, planes);
                else
                    image->Close();
                ADD_FAILURE() << "call " << call << " passed";
            } catch (const std::runtime_error& error) {
                EXPECT_EQ(error.what(), reason) << call;
            }
        }
        EXPECT_EQ(image->Tiff(), nullptr);
        // Outside a task the reason travels in the error alone, never in a box.
        EXPECT_TRUE(recorder.Shown().empty());
    }
    {
        TBoxRecorder recorder;
        try {
            TProofImage::CreateForRead(missing);
            ADD_FAILURE() << "opened " << missing;
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(error.what(), "Error opening " + missing + ": No such file or directory (TIFFOpen: " + missing +
                                        ": No such file or directory)");
        }
    }
    const std::string path = folder.Path("page.tif").string();
    const std::vector<std::uint8_t> blank(4 * 3, 0);
    std::array<const std::uint8_t*, 8> planes;
    planes.fill(blank.data());
    TProofImage::CreateForWrite(path, 21, 3, 32, 300, 300, false, true, "", "")->WriteBand(0, 3, planes);
    const auto reader = TProofImage::CreateForRead(path);
    EXPECT_NE(reader->Tiff(), nullptr);
    EXPECT_EQ(reader->Width(), 21u);
    EXPECT_EQ(reader->Height(), 3u);
}

}  // namespace
}  // namespace tavrin::testing
