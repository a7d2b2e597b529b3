#include "engines/imaging/TileDB.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tavrin {

namespace {

constexpr std::uint64_t HeaderSize = 20;
constexpr std::uint64_t EntrySize = 8;

// Appends a 32-bit value in little-endian byte order whatever the host's.
void PutLittleEndian(std::vector<char>& bytes, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
}

}  // namespace

TTileDB::TTileDB(const std::string& fileName, std::uint32_t Columns, std::uint32_t Rows, std::uint32_t BlockSize)
    : FileName(fileName)
{
    if (BlockSize == 0)
        throw std::invalid_argument("Tile database block size 0 for " + FileName);
    Header.Columns = Columns;
    Header.Rows = Rows;
    Header.BlockSize = BlockSize;
    Index.assign(static_cast<std::size_t>(Columns) * Rows, TIndexEntry{});

    Stream.open(FileName, std::ios::binary | std::ios::out | std::ios::trunc);
    if (!Stream)
        throw std::runtime_error("Could not create tile database " + FileName + ": " + std::strerror(errno));
    std::vector<char> header(Header.Magic, Header.Magic + 4);
    PutLittleEndian(header, Header.Version);
    PutLittleEndian(header, Header.Columns);
    PutLittleEndian(header, Header.Rows);
    PutLittleEndian(header, Header.BlockSize);
    Write(header.data(), header.size());
    WriteIndex();
    DataStart = HeaderSize + Index.size() * EntrySize;
    ZeroBlock.assign(BlockSize, 0);
}

TTileDB::~TTileDB()
{
    try {
        Close();
    } catch (...) {
        // Close raises what a caller who wants to know must ask for.
    }
}

void TTileDB::AddTile(std::uint32_t Column, std::uint32_t Row, const void* Data, std::uint32_t Size)
{
    if (Column >= Header.Columns || Row >= Header.Rows)
        throw std::out_of_range("Tile " + std::to_string(Column) + "," + std::to_string(Row) + " outside the grid of " +
                                FileName);
    if (!Stream.is_open())
        throw std::runtime_error("Tile database " + FileName + " is already closed");
    // 1. The end of the file is always data start plus whole blocks.
    // Moving flushes what earlier tiles left buffered: a full disk shows here.
    Stream.seekp(0, std::ios::end);
    const std::streamoff end = Stream ? static_cast<std::streamoff>(Stream.tellp()) : -1;
    if (end < 0) {
        const int error = errno;
        Stream.close();
        throw std::runtime_error("Could not write tile database " + FileName + ": " + std::strerror(error));
    }
    const std::uint64_t position = static_cast<std::uint64_t>(end);
    const std::uint64_t block = (position - DataStart) / Header.BlockSize;
    if (block > UINT32_MAX)
        throw std::runtime_error("Tile database " + FileName + " outgrows its 32-bit block numbers");
    // 2, 3. Point the entry at the new data.
    TIndexEntry& entry = Index[static_cast<std::size_t>(Row) * Header.Columns + Column];
    entry.Length = Size;
    entry.Block = static_cast<std::uint32_t>(block);
    // 4, 5. The data, then zeros up to the next block boundary.
    Write(Data, Size);
    if (const std::uint32_t rest = Size % Header.BlockSize; rest != 0)
        Write(ZeroBlock.data(), Header.BlockSize - rest);
}

void TTileDB::Close()
{
    if (!Stream.is_open())
        return;
    Stream.seekp(static_cast<std::streamoff>(HeaderSize));
    WriteIndex();
    Stream.close();
    if (Stream.fail())
        throw std::runtime_error("Could not finish tile database " + FileName + ": " + std::strerror(errno));
}

void TTileDB::WriteIndex()
{
    std::vector<char> bytes;
    bytes.reserve(Index.size() * EntrySize);
    for (const TIndexEntry& entry : Index) {
        PutLittleEndian(bytes, entry.Length);
        PutLittleEndian(bytes, entry.Block);
    }
    Write(bytes.data(), bytes.size());
}

void TTileDB::Write(const void* data, std::size_t size)
{
    Stream.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!Stream) {
        const int error = errno;
        Stream.close();
        throw std::runtime_error("Could not write tile database " + FileName + ": " + std::strerror(error));
    }
}

}  // namespace tavrin
