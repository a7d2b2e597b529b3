#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tavrin {

// SHA-256 as 64 lower-case hex digits: of a text, and of a file's bytes read
// in pieces (a page buffer can be hundreds of megabytes). FileSHA256 raises
// std::runtime_error naming the file and the system's reason when it cannot
// be opened or read to its end.
std::string TextSHA256(const std::string& text);
std::string FileSHA256(const std::string& path);

// SHA-256 of bytes given in pieces, for data too large to hold at once.
class TSHA256Stream {
public:
    TSHA256Stream();
    ~TSHA256Stream();
    TSHA256Stream(TSHA256Stream&&) noexcept;
    TSHA256Stream& operator=(TSHA256Stream&&) noexcept;
    void Update(const std::uint8_t* bytes, std::size_t count);
    void Update(const std::string& text);
    // The digest of everything given so far as 64 lower-case hex digits;
    // the stream starts again empty.
    std::string HexDigest();

private:
    struct TState;
    std::unique_ptr<TState> State;
};

}  // namespace tavrin
