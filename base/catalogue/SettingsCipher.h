#pragma once

#include <string>

namespace tavrin {

// The cipher text of a settings value: Base64 of an enciphered initial
// block followed by the value, padded to whole 8-byte blocks, in Blowfish
// cipher block chaining under the program's fixed key. Each call uses a
// fresh initial block, so the same value enciphers differently each time.
// Returns "" for "" and on any failure; never raises.
std::string EncipherText(const std::string& plainText);

// The value back from its cipher text; "" for "" and for anything that is
// not a cipher text of this program (bad Base64, wrong length, bad padding).
// Never raises.
std::string DecipherText(const std::string& cipherText);

}  // namespace tavrin
