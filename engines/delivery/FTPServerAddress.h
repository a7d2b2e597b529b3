#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

// Where the web server's FTP service listens.
struct TFTPServerAddress {
    std::string Host;
    std::uint16_t Port = 21;
};

// Reads the FTPServer setting: a host name or address, optionally followed
// by ":" and a port (some web hosts listen elsewhere); without a port, or
// with one that is not a number from 1 to 65535, the whole text is the host
// and the port is 21. A bracketed IPv6 address may carry a port too.
TFTPServerAddress ParseFTPServer(const std::string& setting);

}  // namespace tavrin
