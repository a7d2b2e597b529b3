#include "engines/imaging/ColorTableGenerator.h"
#include "engines/imaging/ProofImage.h"
#include "engines/imaging/RoundCompare.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <stdexcept>
#include <vector>

namespace tavrin {
namespace {

using testing::TScratchProgramFolder;
using TPixels = std::function<bool(int x, int y)>;

// Writes a master of the plates given by plane (cyan, magenta, yellow,
// black, spot 0..3; empty where the page has none) and returns the row
// digests by index bit.
std::array<std::string, 8> WriteMaster(const std::string& path, int width, int height, bool negate,
                                       const std::array<TPixels, 8>& plates)
{
    const std::size_t words = (std::size_t(width) + 31) / 32;
    // The plate bit that reads as ink in the master.
    const unsigned inkedBit = InkedIndexBit ^ (negate ? 1u : 0u);
    std::array<std::vector<std::uint32_t>, 8> buffers;
    TPlatePlanes planes;
    for (std::size_t plane = 0; plane < 8; ++plane) {
        buffers[plane].assign(words * std::size_t(height), 0);
        for (int y = 0; plates[plane] && y < height; ++y)
            for (int x = 0; x < width; ++x)
                if ((plates[plane](x, y) ? inkedBit : inkedBit ^ 1u) == 1u)
                    buffers[plane][std::size_t(y) * words + std::size_t(x) / 32] |= 0x80000000u >> (x % 32);
        planes[plane] = reinterpret_cast<const std::uint8_t*>(buffers[plane].data());
    }
    auto image = TProofImage::CreateForWrite(path, std::uint32_t(width), std::uint32_t(height),
                                             std::uint32_t(words * 32), 300, 300, false, negate, "", "");
    image->WriteBand(0, std::uint32_t(height), planes);
    image->Close();
    return image->PlateRowDigests();
}

TRoundPage Page(const std::string& path, int width, int height, const std::array<std::string, 8>& digests,
                const std::vector<std::pair<std::string, int>>& plates)
{
    TRoundPage page{1, path, std::uint32_t(width), std::uint32_t(height), 300, 300, {}};
    for (const auto& [name, bit] : plates)
        page.Plates.push_back({name, bit, digests[std::size_t(bit)]});
    return page;
}

bool Checker(int x, int y)
{
    return (x / 3 + y / 2) % 2 == 0;
}

bool Band(int x, int)
{
    return x >= 4 && x < 11;
}

TEST(RoundCompare, PlatesAreMatchedByNameWhateverTheirBitAndNegationAndDigestsStandInForAGoneMaster)
{
    TScratchProgramFolder folder;
    const std::string oldPath = folder.Path("old.tif").string();
    const std::string newPath = folder.Path("new.tif").string();
    // Round 1: black and a varnish in the first spot bit. Round 2, negated:
    // one black pixel flipped, an orange spot before the varnish, which
    // moves to the second spot bit.
    const auto oldDigests = WriteMaster(oldPath, 45, 70, false, {{{}, {}, {}, Checker, Band}});
    const auto newDigests = WriteMaster(newPath, 45, 70, true,
                                        {{{},
                                          {},
                                          {},
                                          [](int x, int y) { return Checker(x, y) != (x == 44 && y == 6); },
                                          [](int x, int y) { return x == y; },
                                          Band}});
    EXPECT_EQ(oldDigests[4], newDigests[5]);
    EXPECT_NE(oldDigests[0], newDigests[0]);

    const TRoundPage older = Page(oldPath, 45, 70, oldDigests, {{"BLACK", 0}, {"Varnish", 4}});
    const TRoundPage newer = Page(newPath, 45, 70, newDigests, {{"Black", 0}, {"SPOT ORANGE", 4}, {"VARNISH", 5}});
    EXPECT_EQ(ComparisonLine(CompareRoundPages(&older, &newer)),
              "page 1 changed: Black 1 px, SPOT ORANGE (new); area 44,6 to 44,6");
    EXPECT_EQ(ComparisonLine(CompareRoundPages(&newer, &older)),
              "page 1 changed: BLACK 1 px, SPOT ORANGE (gone); area 44,6 to 44,6");

    TRoundPage gone = older;
    gone.MasterPath = folder.Path("deleted.tif").string();
    EXPECT_EQ(ComparisonLine(CompareRoundPages(&gone, &newer)),
              "page 1 changed: Black, SPOT ORANGE (new); area unknown; by plate digests");
    EXPECT_EQ(ComparisonLine(CompareRoundPages(&gone, &older)), "page 1 same; by plate digests");
}

TEST(RoundCompare, ChangesAreFoundInEveryStripAndAnUnreadableMasterIsNamed)
{
    TScratchProgramFolder folder;
    const std::string oldPath = folder.Path("old.tif").string();
    const std::string newPath = folder.Path("new.tif").string();
    // 700 rows: more than one strip.
    const auto oldDigests = WriteMaster(oldPath, 45, 700, true, {{Checker, {}, {}, Band}});
    const auto newDigests =
        WriteMaster(newPath, 45, 700, true,
                    {{[](int x, int y) { return Checker(x, y) != ((x == 40 && y == 650) || (x == 30 && y == 300)); },
                      {},
                      {},
                      [](int x, int y) { return Band(x, y) != (x == 1 && y == 2); }}});
    const TRoundPage older = Page(oldPath, 45, 700, oldDigests, {{"CYAN", 3}, {"BLACK", 0}});
    const TRoundPage newer = Page(newPath, 45, 700, newDigests, {{"CYAN", 3}, {"BLACK", 0}});
    // Plates in the master's order of index bits.
    EXPECT_EQ(ComparisonLine(CompareRoundPages(&older, &newer)),
              "page 1 changed: CYAN 2 px, BLACK 1 px; area 1,2 to 40,650");

    folder.Write("new.tif", "not a master");
    try {
        CompareRoundPages(&older, &newer);
        ADD_FAILURE() << "an unreadable master was compared";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(newPath), std::string::npos) << error.what();
    }
}

}  // namespace
}  // namespace tavrin
