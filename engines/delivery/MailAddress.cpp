#include "engines/delivery/MailAddress.h"

#include <cstring>

namespace tavrin {

namespace {

bool IsAddressCharacter(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte != 0x7f && !std::strchr("<>()[]\\,;:\"@", c);
}

// Labels of the domain: not empty, no hyphen at either end.
bool IsDomain(const std::string& domain)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = domain.find('.', start);
        const std::string label = domain.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (label.empty() || label.front() == '-' || label.back() == '-')
            return false;
        if (dot == std::string::npos)
            return true;
        start = dot + 1;
    }
}

}  // namespace

bool IsMailAddress(const std::string& text)
{
    const std::size_t at = text.find('@');
    if (text.size() > 254 || at == std::string::npos || at == 0 || at + 1 == text.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i != at && !IsAddressCharacter(text[i]))
            return false;
    const std::string local = text.substr(0, at);
    if (local.front() == '.' || local.back() == '.' || local.find("..") != std::string::npos)
        return false;
    return IsDomain(text.substr(at + 1));
}

}  // namespace tavrin
