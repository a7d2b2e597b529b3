#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace tavrin {

// Writes one tile database: all the tiles of one zoom level of one page in a
// single file. Layout (integers unsigned 32-bit little-endian):
//   header at 0: "vorn", version 1, columns, rows, block size (20 bytes);
//   index at 20: rows x columns entries of (length, block), row 0 first,
//     columns ascending within a row; length 0 is a tile never written;
//   data from 20 + rows x columns x 8: each tile's bytes at data start +
//     block x block size, padded with zeros to the next block boundary.
// Tiles are appended in any order; the index on disk stays zero until Close
// (or destruction) writes the final one, so a reader must wait for that.
class TTileDB {
public:
    // Creates the file (or truncates an existing one) and writes the header
    // and an all-zero index. Raises std::runtime_error when the file cannot
    // be created or written, std::invalid_argument for a zero block size.
    TTileDB(const std::string& FileName, std::uint32_t Columns, std::uint32_t Rows, std::uint32_t BlockSize = 64);

    // Writes the final index unless Close already did; errors are swallowed
    // here (a destructor cannot raise), so call Close to learn of them.
    ~TTileDB();
    TTileDB(const TTileDB&) = delete;
    TTileDB& operator=(const TTileDB&) = delete;

    // Appends the tile's Size bytes at the end of the file, padded to the
    // block size, and points the tile's index entry at them; adding a
    // position twice leaves both copies in the file and the index on the
    // second. Raises std::out_of_range for a position outside the grid and
    // std::runtime_error when writing fails or the file outgrows 2^32 blocks.
    void AddTile(std::uint32_t Column, std::uint32_t Row, const void* Data, std::uint32_t Size);

    // Writes the final index at offset 20 and closes the file; the file is
    // complete after this. Raises std::runtime_error when writing fails.
    // Further calls do nothing.
    void Close();

    std::uint32_t Columns() const { return Header.Columns; }
    std::uint32_t Rows() const { return Header.Rows; }

private:
    struct THeader {
        char Magic[4] = {'v', 'o', 'r', 'n'};
        std::uint32_t Version = 1;
        std::uint32_t Columns = 0;
        std::uint32_t Rows = 0;
        std::uint32_t BlockSize = 64;
    };
    struct TIndexEntry {
        std::uint32_t Length = 0;
        std::uint32_t Block = 0;
    };

    void WriteIndex();
    void Write(const void* data, std::size_t size);

    THeader Header;
    std::vector<TIndexEntry> Index;  // in file order: Index[Row * Columns + Column]
    std::ofstream Stream;
    std::uint64_t DataStart = 0;
    std::vector<char> ZeroBlock;
    std::string FileName;
};

}  // namespace tavrin
