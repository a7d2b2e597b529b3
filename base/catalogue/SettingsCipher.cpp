#include "base/catalogue/SettingsCipher.h"

#include <nettle/base64.h>
#include <nettle/blowfish.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

namespace tavrin {

namespace {

constexpr std::size_t BlockSize = BLOWFISH_BLOCK_SIZE;
using TBlock = std::array<std::uint8_t, BlockSize>;
using TBytes = std::vector<std::uint8_t>;

// The program's settings key: a constant, the same for enciphering and deciphering.
constexpr std::array<std::uint8_t, 16> SettingsKey = {0x54, 0x61, 0x76, 0x72, 0x69, 0x6e, 0x2d, 0x9e,
                                                      0x3b, 0xc7, 0x15, 0x48, 0xd2, 0x6a, 0x81, 0xf3};

blowfish_ctx KeyedCipher()
{
    blowfish_ctx cipher;
    blowfish128_set_key(&cipher, SettingsKey.data());
    return cipher;
}

void PutWord(std::uint8_t* to, std::uint32_t word)
{
    for (int i = 0; i < 4; ++i)
        to[i] = static_cast<std::uint8_t>(word >> (24 - 8 * i));
}

// Two words that differ between calls: the millisecond counter and a call
// count from a random start, so two calls in one millisecond still differ.
TBlock InitialBlock(const blowfish_ctx& cipher)
{
    static std::atomic<std::uint32_t> calls{std::random_device{}()};
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
    TBlock block;
    PutWord(block.data(), static_cast<std::uint32_t>(milliseconds.count()));
    PutWord(block.data() + 4, calls.fetch_add(1));
    blowfish_encrypt(&cipher, BlockSize, block.data(), block.data());
    return block;
}

std::string Base64(const TBytes& bytes)
{
    std::string text(BASE64_ENCODE_RAW_LENGTH(bytes.size()), '\0');
    base64_encode_raw(text.data(), bytes.size(), bytes.data());
    return text;
}

// Standard Base64 only: whole quadruples, the alphabet, "=" padding at the end.
bool IsStrictBase64(const std::string& text)
{
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.empty() || text.size() % 4 != 0)
        return false;
    const std::size_t padding = text.size() - text.find_last_not_of('=') - 1;
    if (padding > 2)
        return false;
    return text.find_first_not_of(alphabet) >= text.size() - padding;
}

bool FromBase64(const std::string& text, TBytes& bytes)
{
    if (!IsStrictBase64(text))
        return false;
    base64_decode_ctx decoder;
    base64_decode_init(&decoder);
    bytes.resize(BASE64_DECODE_LENGTH(text.size()));
    std::size_t length = bytes.size();
    if (!base64_decode_update(&decoder, &length, bytes.data(), text.size(), text.data()) ||
        !base64_decode_final(&decoder))
        return false;
    bytes.resize(length);
    return true;
}

}  // namespace

std::string EncipherText(const std::string& plainText)
{
    if (plainText.empty())
        return {};
    try {
        const blowfish_ctx cipher = KeyedCipher();
        // 1. The initial block, as written, starts the chain.
        const TBlock initial = InitialBlock(cipher);
        TBytes bytes(initial.begin(), initial.end());
        // 2. The text padded with n bytes of value n (1 to 8).
        const std::size_t padding = BlockSize - plainText.size() % BlockSize;
        TBytes plain(plainText.begin(), plainText.end());
        plain.insert(plain.end(), padding, static_cast<std::uint8_t>(padding));
        // 3. Each block is mixed with the previous cipher block, then enciphered.
        for (std::size_t at = 0; at < plain.size(); at += BlockSize) {
            TBlock block;
            for (std::size_t i = 0; i < BlockSize; ++i)
                block[i] = plain[at + i] ^ bytes[bytes.size() - BlockSize + i];
            blowfish_encrypt(&cipher, BlockSize, block.data(), block.data());
            bytes.insert(bytes.end(), block.begin(), block.end());
        }
        return Base64(bytes);
    } catch (...) {
        return {};
    }
}

std::string DecipherText(const std::string& cipherText)
{
    try {
        TBytes bytes;
        if (!FromBase64(cipherText, bytes) || bytes.size() < 2 * BlockSize || bytes.size() % BlockSize != 0)
            return {};
        const blowfish_ctx cipher = KeyedCipher();
        TBytes plain;
        for (std::size_t at = BlockSize; at < bytes.size(); at += BlockSize) {
            TBlock block;
            blowfish_decrypt(&cipher, BlockSize, block.data(), bytes.data() + at);
            for (std::size_t i = 0; i < BlockSize; ++i)
                plain.push_back(block[i] ^ bytes[at - BlockSize + i]);
        }
        // The padding tells the text's length; anything else is not ours.
        const std::uint8_t padding = plain.back();
        if (padding < 1 || padding > BlockSize)
            return {};
        for (std::size_t i = plain.size() - padding; i < plain.size(); ++i)
            if (plain[i] != padding)
                return {};
        return std::string(plain.begin(), plain.end() - padding);
    } catch (...) {
        return {};
    }
}

}  // namespace tavrin
