#include "engines/imaging/TileDB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace tavrin {
namespace {

class TileDBTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Folder = std::filesystem::temp_directory_path() / ("tavrin-tiledb-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(Folder);
    }
    void TearDown() override { std::filesystem::remove_all(Folder); }

    std::string Path(const std::string& name) const { return (Folder / name).string(); }

    std::vector<unsigned char> Bytes(const std::string& name) const
    {
        std::ifstream in(Path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path Folder;
};

std::uint32_t Word(const std::vector<unsigned char>& bytes, std::size_t offset)
{
    return bytes.at(offset) | bytes.at(offset + 1) << 8 | bytes.at(offset + 2) << 16 |
           static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24;
}

std::vector<unsigned char> Tile(std::size_t size, unsigned char value)
{
    return std::vector<unsigned char>(size, value);
}

TEST_F(TileDBTest, EmptyGridIsHeaderAndZeroIndex)
{
    {
        TTileDB db(Path("empty.tdb"), 3, 2, 64);
    }
    const std::vector<unsigned char> expected = {
        'v', 'o', 'r', 'n', 1, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 64, 0, 0, 0,  // header
        0,   0,   0,   0,   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0,  // six entries
        0,   0,   0,   0,   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes("empty.tdb"), expected);
    EXPECT_EQ(expected.size(), 68u);
}

TEST_F(TileDBTest, TilesStartOnBlocksAndEntriesLieInRowOrder)
{
    const auto first = Tile(100, 0xA1), second = Tile(64, 0xB2), third = Tile(1, 0xC3);
    {
        TTileDB db(Path("grid.tdb"), 3, 2, 64);
        db.AddTile(2, 1, first.data(), 100);  // entry at 20 + (1 x 3 + 2) x 8 = 60
        db.AddTile(0, 0, second.data(), 64);
        db.AddTile(1, 0, third.data(), 1);
    }
    const auto bytes = Bytes("grid.tdb");
    const std::size_t dataStart = 68;
    ASSERT_EQ(bytes.size(), dataStart + 128 + 64 + 64);

    EXPECT_EQ(Word(bytes, 60), 100u);                          // column 2, row 1
    EXPECT_EQ(Word(bytes, 64), 0u);                            // block 0
    EXPECT_EQ(Word(bytes, 20), 64u);                           // column 0, row 0
    EXPECT_EQ(Word(bytes, 24), 2u);                            // after 100 bytes and 28 zeros
    EXPECT_EQ(Word(bytes, 28), 1u);                            // column 1, row 0
    EXPECT_EQ(Word(bytes, 32), 3u);                            // a 64-byte tile needs no padding
    for (std::size_t offset : {36u, 40u, 44u, 48u, 52u, 56u})  // columns 2/0, 0/1, 1/1 never written
        EXPECT_EQ(Word(bytes, offset), 0u) << offset;

    EXPECT_TRUE(std::equal(first.begin(), first.end(), bytes.begin() + dataStart));
    EXPECT_TRUE(std::all_of(bytes.begin() + dataStart + 100, bytes.begin() + dataStart + 128,
                            [](unsigned char b) { return b == 0; }));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), bytes.begin() + dataStart + 128));
    EXPECT_EQ(bytes[dataStart + 192], 0xC3);
    EXPECT_TRUE(std::all_of(bytes.begin() + dataStart + 193, bytes.end(), [](unsigned char b) { return b == 0; }));
}

TEST_F(TileDBTest, TileAddedTwiceKeepsBothAndPointsAtTheSecond)
{
    const auto old = Tile(70, 1), fresh = Tile(10, 2);
    {
        TTileDB db(Path("twice.tdb"), 1, 1, 64);
        db.AddTile(0, 0, old.data(), 70);
        db.AddTile(0, 0, fresh.data(), 10);
    }
    const auto bytes = Bytes("twice.tdb");
    ASSERT_EQ(bytes.size(), 28u + 128 + 64);
    EXPECT_EQ(Word(bytes, 20), 10u);
    EXPECT_EQ(Word(bytes, 24), 2u);
    EXPECT_EQ(bytes[28], 1);
    EXPECT_EQ(bytes[28 + 128], 2);
}

TEST_F(TileDBTest, SameTilesInSameOrderGiveIdenticalFiles)
{
    // The file is rewritten from scratch: an older, longer file leaves nothing behind.
    const auto tile = Tile(300, 7);
    {
        TTileDB db(Path("a.tdb"), 2, 2, 64);
        for (std::uint32_t i = 0; i < 4; ++i)
            db.AddTile(i % 2, i / 2, tile.data(), 300);
    }
    std::filesystem::copy_file(Path("a.tdb"), Path("b.tdb"));
    for (const char* name : {"a.tdb", "b.tdb"}) {
        TTileDB db(Path(name), 2, 2, 64);
        db.AddTile(1, 1, tile.data(), 300);
        db.AddTile(0, 1, tile.data(), 120);
        db.Close();
    }
    EXPECT_EQ(Bytes("a.tdb"), Bytes("b.tdb"));
    EXPECT_EQ(Bytes("a.tdb").size(), 52u + 320 + 128);
}

TEST_F(TileDBTest, ErrorsAreRaised)
{
    EXPECT_THROW(TTileDB(Path("missing/folder/x.tdb"), 1, 1, 64), std::runtime_error);
    TTileDB db(Path("small.tdb"), 2, 1, 64);
    const auto tile = Tile(5, 0);
    EXPECT_THROW(db.AddTile(2, 0, tile.data(), 5), std::out_of_range);
    EXPECT_THROW(db.AddTile(0, 1, tile.data(), 5), std::out_of_range);
    db.Close();
    EXPECT_THROW(db.AddTile(0, 0, tile.data(), 5), std::runtime_error);
    EXPECT_EQ(Bytes("small.tdb").size(), 36u);
}

// A write that fails, as on a full disk, says so with the system's reason.
TEST_F(TileDBTest, AFullDiskIsReportedWithTheSystemError)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "this system has no /dev/full";
    std::string message = "(no error)";
    try {
        TTileDB db("/dev/full", 64, 1, 64);
        const auto tile = Tile(5000, 0);
        for (std::uint32_t column = 0; column < 64; ++column)
            db.AddTile(column, 0, tile.data(), static_cast<std::uint32_t>(tile.size()));
        db.Close();
    } catch (const std::runtime_error& error) {
        message = error.what();
    }
    EXPECT_EQ(message, "Could not write tile database /dev/full: No space left on device");
}

}  // namespace
}  // namespace tavrin
