#include "base/catalogue/SettingsCipher.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

TEST(SettingsCipher, LengthFollowsWholeBlocksAndEveryTextComesBack)
{
    const std::pair<std::string, std::size_t> cases[] = {
        {"a", 24},
        {"abcde", 24},
        {"abcdefg", 24},
        {"abcdefgh", 32},
        {"abcdefghi", 32},
        {std::string(16, 'p'), 44},
        {std::string("n\0l", 3), 24},
        {"p\xc3\xa6ss=;\"'", 32},
    };
    for (const auto& [plain, length] : cases) {
        const std::string cipher = EncipherText(plain);
        EXPECT_EQ(cipher.size(), length) << plain;
        EXPECT_EQ(cipher.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                  std::string::npos);
        EXPECT_EQ(DecipherText(cipher), plain);
    }
    EXPECT_EQ(EncipherText(""), "");
    EXPECT_EQ(DecipherText(""), "");
}

TEST(SettingsCipher, TwoEnciphermentsDifferAndBothDecipher)
{
    const std::string first = EncipherText("secret");
    const std::string second = EncipherText("secret");
    EXPECT_NE(first, second);
    EXPECT_EQ(DecipherText(first), "secret");
    EXPECT_EQ(DecipherText(second), "secret");
}

TEST(SettingsCipher, AnythingButItsOwnCipherTextDeciphersToNothing)
{
    const std::string good = EncipherText("password");  // 32 characters
    std::string flipped = good;
    flipped[20] = flipped[20] == 'A' ? 'B' : 'A';  // last block damaged: the padding no longer fits
    const std::string cases[] = {
        "plain text",
        "not base64!",
        "QUJD",                      // valid Base64, 3 bytes
        "QUJDREVGR0g=",              // 8 bytes: no room for a text
        good.substr(0, 28),          // cut short
        good + "AAAA",               // a block too long for its padding
        " " + good,                  // blanks are not Base64
        good.substr(0, 30) + "==",   // padding in the wrong place
        "AAAAAAAAAAAAAAAAAAAAAA==",  // 16 zero bytes
        flipped,
    };
    for (const std::string& text : cases)
        EXPECT_EQ(DecipherText(text), "") << text;
}

}  // namespace
}  // namespace tavrin
