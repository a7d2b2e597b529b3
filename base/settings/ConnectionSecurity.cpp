#include "base/settings/ConnectionSecurity.h"

#include "base/text/TextRules.h"

#include <cctype>

namespace tavrin {

std::optional<TFTPSecurity> ParseFTPSecurity(const std::string& text)
{
    const std::string choice = LowerCase(Trimmed(text));
    if (choice.empty() || choice == "none")
        return TFTPSecurity::None;
    if (choice == "tls")
        return TFTPSecurity::TLS;
    return std::nullopt;
}

std::optional<TSMTPSecurity> ParseSMTPSecurity(const std::string& text)
{
    const std::string choice = LowerCase(Trimmed(text));
    if (choice.empty() || choice == "none")
        return TSMTPSecurity::None;
    if (choice == "starttls")
        return TSMTPSecurity::STARTTLS;
    if (choice == "tls")
        return TSMTPSecurity::TLS;
    return std::nullopt;
}

const char* SecurityText(TFTPSecurity security)
{
    return security == TFTPSecurity::TLS ? "TLS" : "None";
}

const char* SecurityText(TSMTPSecurity security)
{
    switch (security) {
    case TSMTPSecurity::STARTTLS: return "STARTTLS";
    case TSMTPSecurity::TLS: return "TLS";
    case TSMTPSecurity::None: break;
    }
    return "None";
}

std::optional<std::string> ParseFingerprint(const std::string& text)
{
    std::string digits;
    for (const char c : Trimmed(text)) {
        if (c == ':' || c == ' ')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (!digits.empty() && digits.size() != 64)
        return std::nullopt;
    return digits;
}

bool IsLoopbackHost(const std::string& host)
{
    std::string name = LowerCase(Trimmed(host));
    if (!name.empty() && name.front() == '[') {
        const std::size_t close = name.find(']');
        name = close == std::string::npos ? name.substr(1) : name.substr(1, close - 1);
    } else if (name.find(':') != std::string::npos && name.find(':') == name.rfind(':')) {
        // One colon: a host and its port; an IPv6 address has more.
        name = name.substr(0, name.find(':'));
    }
    if (name == "localhost" || name == "::1" || name == "0:0:0:0:0:0:0:1")
        return true;
    if (name.rfind("127.", 0) != 0)
        return false;
    int dots = 0;
    for (const char c : name) {
        if (c == '.')
            ++dots;
        else if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return dots == 3;
}

}  // namespace tavrin
