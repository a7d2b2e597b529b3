#pragma once

#include "tests/delivery/ServerProcess.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace tavrin::testing {

// A self-signed certificate for 127.0.0.1 and localhost made with openssl,
// its key beside it, and its SHA-256 fingerprint as openssl prints it
// ("AB:CD:..."), for servers on loopback that speak TLS.
struct TTestCertificate {
    std::filesystem::path Certificate;
    std::filesystem::path Key;
    std::string Fingerprint;
};

inline TTestCertificate MakeTestCertificate(const std::filesystem::path& folder)
{
    TTestCertificate made{folder / "server.crt", folder / "server.key", {}};
    const std::filesystem::path fingerprint = folder / "fingerprint.txt";
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=tavrin-test-server -addext "
        "subjectAltName=IP:127.0.0.1,DNS:localhost -keyout '" +
        made.Key.string() + "' -out '" + made.Certificate.string() +
        "' 2>/dev/null && openssl x509 -noout -fingerprint -sha256 -in '" + made.Certificate.string() + "' > '" +
        fingerprint.string() + "'";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("openssl could not make a test certificate");
    std::string text = FileBytes(fingerprint);
    const std::size_t equals = text.find('=');
    made.Fingerprint = equals == std::string::npos ? std::string() : text.substr(equals + 1);
    while (!made.Fingerprint.empty() && (made.Fingerprint.back() == '\n' || made.Fingerprint.back() == '\r'))
        made.Fingerprint.pop_back();
    if (made.Fingerprint.size() != 95)
        throw std::runtime_error("openssl gave no SHA-256 fingerprint: " + text);
    return made;
}

}  // namespace tavrin::testing
