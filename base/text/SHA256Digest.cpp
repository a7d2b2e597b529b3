#include "base/text/SHA256Digest.h"

#include <nettle/sha2.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace tavrin {

namespace {

std::string HexDigest(sha256_ctx& context)
{
    std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
    sha256_digest(&context, digest.size(), digest.data());
    static constexpr char Digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digest.size());
    for (const std::uint8_t byte : digest) {
        hex += Digits[byte >> 4];
        hex += Digits[byte & 0x0F];
    }
    return hex;
}

}  // namespace

std::string TextSHA256(const std::string& text)
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, text.size(), reinterpret_cast<const std::uint8_t*>(text.data()));
    return HexDigest(context);
}

std::string FileSHA256(const std::string& path)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        throw std::runtime_error("Cannot open " + path + ": " + std::strerror(errno));
    sha256_ctx context;
    sha256_init(&context);
    std::array<std::uint8_t, 1 << 16> piece{};
    for (;;) {
        const std::size_t count = std::fread(piece.data(), 1, piece.size(), file.get());
        sha256_update(&context, count, piece.data());
        if (count < piece.size())
            break;
    }
    if (std::ferror(file.get()))
        throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    return HexDigest(context);
}

struct TSHA256Stream::TState {
    sha256_ctx Context;
};

TSHA256Stream::TSHA256Stream() : State(std::make_unique<TState>())
{
    sha256_init(&State->Context);
}

TSHA256Stream::~TSHA256Stream() = default;
TSHA256Stream::TSHA256Stream(TSHA256Stream&&) noexcept = default;
TSHA256Stream& TSHA256Stream::operator=(TSHA256Stream&&) noexcept = default;

void TSHA256Stream::Update(const std::uint8_t* bytes, std::size_t count)
{
    sha256_update(&State->Context, count, bytes);
}

void TSHA256Stream::Update(const std::string& text)
{
    Update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::string TSHA256Stream::HexDigest()
{
    // sha256_digest starts the context again.
    return tavrin::HexDigest(State->Context);
}

}  // namespace tavrin
