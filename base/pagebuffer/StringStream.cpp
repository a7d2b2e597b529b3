#include "base/pagebuffer/StringStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tavrin {

namespace {

constexpr std::size_t BlockSize = 64 * 1024;

// Bytes in memory as a seekable stream source.
class TMemorySource final : public std::streambuf {
public:
    explicit TMemorySource(std::span<const std::uint8_t> bytes)
    {
        // The stream only reads: the bytes are never written through this pointer.
        char* begin = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
        setg(begin, begin, begin + bytes.size());
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode) override
    {
        const off_type base = direction == std::ios_base::beg   ? 0
                              : direction == std::ios_base::cur ? gptr() - eback()
                                                                : egptr() - eback();
        const off_type target = base + offset;
        if (target < 0 || target > egptr() - eback())
            return pos_type(off_type(-1));
        setg(eback(), eback() + target, egptr());
        return pos_type(target);
    }

    pos_type seekpos(pos_type position, std::ios_base::openmode which) override
    {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }
};

}  // namespace

std::string FileOpenErrorText(const std::string& path, const std::string& reason)
{
    return "Cannot open file \"" + path + "\": " + reason;
}

TStringStream::TStringStream(const std::string& path) : Path(path), Buffer(BlockSize)
{
    std::error_code error;
    // A folder opens as a stream on some systems but never reads.
    if (std::filesystem::is_directory(path, error))
        throw std::runtime_error(FileOpenErrorText(path, "Is a directory"));
    errno = 0;
    auto file = std::make_unique<std::filebuf>();
    if (!file->open(path, std::ios::in | std::ios::binary))
        throw std::runtime_error(FileOpenErrorText(path, errno ? std::strerror(errno) : "unknown error"));
    Source = std::move(file);
    File = std::make_unique<std::istream>(Source.get());
    File->seekg(0, std::ios::end);
    const auto end = File->tellg();
    FileSize = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    File->seekg(0, std::ios::beg);
}

TStringStream::TStringStream(const std::string& name, std::span<const std::uint8_t> bytes)
    : Path(name), Source(std::make_unique<TMemorySource>(bytes)), File(std::make_unique<std::istream>(Source.get())),
      FileSize(bytes.size()), Buffer(BlockSize)
{
}

TStringStream::~TStringStream() = default;

bool TStringStream::Refill()
{
    File->clear();
    File->read(Buffer.data(), static_cast<std::streamsize>(Buffer.size()));
    BufferPos = 0;
    BufferEnd = static_cast<std::size_t>(File->gcount());
    FilePos += BufferEnd;
    return BufferEnd > 0;
}

int TStringStream::NextByte()
{
    if (BufferPos == BufferEnd && !Refill())
        return -1;
    return static_cast<unsigned char>(Buffer[BufferPos++]);
}

bool TStringStream::ReadLine(std::string& line)
{
    line.clear();
    for (;;) {
        const int byte = NextByte();
        if (byte < 0)
            return !line.empty();
        line.push_back(static_cast<char>(byte));
        if (byte == '\n')
            return true;
        if (byte == '\r') {
            const int next = NextByte();
            if (next >= 0 && next != '\n')
                --BufferPos;  // not part of this line: read it again
            return true;
        }
        if (line.size() > MaxLineLength)
            throw std::runtime_error("Header line longer than " + std::to_string(MaxLineLength) + " bytes in \"" +
                                     Path + "\"");
    }
}

std::size_t TStringStream::Read(void* buffer, std::size_t count)
{
    // Bytes still waiting in the line buffer come first.
    const std::size_t buffered = std::min(count, BufferEnd - BufferPos);
    std::memcpy(buffer, Buffer.data() + BufferPos, buffered);
    BufferPos += buffered;
    std::size_t done = buffered;
    if (done < count) {
        File->clear();
        File->read(static_cast<char*>(buffer) + done, static_cast<std::streamsize>(count - done));
        const auto got = static_cast<std::size_t>(File->gcount());
        done += got;
        FilePos += got;
        BufferPos = BufferEnd = 0;
    }
    return done;
}

void TStringStream::Seek(std::uint64_t position)
{
    File->clear();
    File->seekg(static_cast<std::streamoff>(position), std::ios::beg);
    FilePos = position;
    BufferPos = BufferEnd = 0;
}

}  // namespace tavrin
