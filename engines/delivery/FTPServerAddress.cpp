#include "engines/delivery/FTPServerAddress.h"

#include <algorithm>
#include <cctype>

namespace tavrin {

namespace {

// The port named by the text, or 0 when it names none.
std::uint16_t PortNumber(const std::string& text)
{
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return 0;
    const int port = std::stoi(text);
    return port >= 1 && port <= 65535 ? static_cast<std::uint16_t>(port) : 0;
}

}  // namespace

TFTPServerAddress ParseFTPServer(const std::string& setting)
{
    TFTPServerAddress address;
    address.Host = setting;
    const std::size_t colon = setting.rfind(':');
    if (colon == std::string::npos)
        return address;
    const std::string host = setting.substr(0, colon);
    const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    // A bare IPv6 address holds several colons and no port.
    if (!bracketed && host.find(':') != std::string::npos)
        return address;
    const std::uint16_t port = PortNumber(setting.substr(colon + 1));
    if (port == 0 || host.empty())
        return address;
    address.Host = bracketed ? host.substr(1, host.size() - 2) : host;
    address.Port = port;
    return address;
}

}  // namespace tavrin
