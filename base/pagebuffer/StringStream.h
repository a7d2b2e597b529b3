#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <span>
#include <streambuf>
#include <string>
#include <vector>

namespace tavrin {

// A read-only file stream with one extra operation, ReadLine. Reads go
// through a block buffer, so a line costs no system call per byte.
class TStringStream {
public:
    // Opens the file; raises std::runtime_error naming the path and the
    // system's reason when it cannot be opened.
    explicit TStringStream(const std::string& path);
    // Reads bytes held in memory, named name in messages; they must outlive the stream.
    TStringStream(const std::string& name, std::span<const std::uint8_t> bytes);
    ~TStringStream();

    // Appends bytes to line (cleared first) up to and including the first LF
    // or CR. A CR followed by LF consumes the LF without appending it.
    // Returns false when the file ended before any byte was read; a last line
    // without terminator is returned whole. Raises when a line grows beyond
    // MaxLineLength (a binary file is not a header).
    bool ReadLine(std::string& line);

    // Reads up to count bytes from the current position; returns how many
    // were read (fewer only at the end of the file).
    std::size_t Read(void* buffer, std::size_t count);

    // Moves the current position to an absolute file offset.
    void Seek(std::uint64_t position);

    std::uint64_t Position() const { return FilePos - (BufferEnd - BufferPos); }
    std::uint64_t Size() const { return FileSize; }

    static constexpr std::size_t MaxLineLength = 1 << 20;

private:
    bool Refill();
    int NextByte();

    std::string Path;
    std::unique_ptr<std::streambuf> Source;
    std::unique_ptr<std::istream> File;
    std::uint64_t FileSize = 0;
    std::vector<char> Buffer;
    std::uint64_t FilePos = 0;  // where the next read of File starts; Buffer ends there
    std::size_t BufferPos = 0;
    std::size_t BufferEnd = 0;
};

// The file-open error: "Cannot open file "PATH": REASON".
std::string FileOpenErrorText(const std::string& path, const std::string& reason);

}  // namespace tavrin
