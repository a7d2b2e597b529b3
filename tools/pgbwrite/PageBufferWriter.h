#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tavrin {

// A 1-bit raster as PBM holds it: rows of ceil(Width / 8) bytes, leftmost
// pixel in the most significant bit, 1 = ink.
struct TBitmap {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Bits;

    std::size_t RowBytes() const { return (static_cast<std::size_t>(Width) + 7) / 8; }
};

// A page buffer file in pieces: header lines (without line ends), the table
// layout and the stored bytes of every band (empty: a blank band of size 0).
// Tests change pieces to make files the writer would not.
struct TPageBufferLayout {
    std::vector<std::string> HeaderLines;
    std::string LineEnd = "\n";
    int TableVersion = 20;  // 20 and above: 8-byte offsets first; below: 4-byte sizes first
    std::vector<std::vector<std::uint8_t>> Bands;
};

// The whole file: header lines, "pgbimage", the two tables, then the bands in
// order right after the tables.
std::string PageBufferBytes(const TPageBufferLayout& layout);

struct TPlateOptions {
    int Version = 20;
    std::string LineEnd = "\n";
    bool Compress = true;  // compression 7, else Compressed -1
    int BandHeight = 64;
    int BytesInLine = 0;  // 0: whole 32-bit words for the width
    int JobNumber = 1;
    int PageNumber = 1;
    std::string JobName = "1.Test.ps";
    std::string ColorName = "BLACK";
    std::vector<int> ColorValues = {0, 0, 0, 65535};
    int Resolution = 2400;
    // Header keys to replace or add ("/Key", value); a value "[a,b]" is
    // written as a bracketed list on the lines that follow the key.
    std::vector<std::pair<std::string, std::string>> Overrides;
};

// Header and bands of one plate. Lines become 32-bit little-endian words
// with the leftmost pixel in the most significant bit, padded with zeros to
// BytesInLine; the last band is padded with zero lines. A compressed band that
// does not come out smaller than BytesInBand is stored raw; an all-zero band
// is stored blank. Raises std::invalid_argument for an unusable geometry.
TPageBufferLayout PlateLayout(const TBitmap& bitmap, const TPlateOptions& options);

// A text value as the header writes it: "(" + text with "\", "(" and ")"
// escaped + ")".
std::string EscapedText(const std::string& text);

// Writes bytes to a file; raises std::runtime_error when it cannot.
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace tavrin
