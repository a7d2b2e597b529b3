#include "base/catalogue/JobSecret.h"

#include "base/catalogue/OutputLayout.h"
#include "base/platform/SecureRandom.h"

#include <algorithm>
#include <stdexcept>

namespace tavrin {

namespace {

constexpr std::size_t SecretBytes = 16;

}  // namespace

std::string MakeJobSecret()
{
    static constexpr char Digits[] = "0123456789abcdef";
    const std::string bytes = SecureRandomBytes(SecretBytes);
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        text += Digits[value >> 4];
        text += Digits[value & 0x0F];
    }
    return text;
}

bool IsJobSecret(const std::string& text)
{
    return text.size() == SecretBytes * 2 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::string RemoteJobFolderName(const std::string& uniqueID, const std::string& secret)
{
    const std::string& id = CheckedUniqueID(uniqueID);
    if (secret.empty())
        return id;
    if (!IsJobSecret(secret))
        throw std::invalid_argument("The job's secret \"" + secret +
                                    "\" is not 32 lower-case hexadecimal digits: no web address is made from it");
    return id + "-" + secret;
}

}  // namespace tavrin
