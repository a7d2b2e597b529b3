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

// With expired, the certificate was valid through January 2020 only.
inline TTestCertificate MakeTestCertificate(const std::filesystem::path& folder, bool expired = false)
{
    TTestCertificate made{folder / "server.crt", folder / "server.key", {}};
    const std::filesystem::path fingerprint = folder / "fingerprint.txt";
    const std::string names = "-subj /CN=tavrin-test-server -addext subjectAltName=IP:127.0.0.1,DNS:localhost";
    std::string command;
    if (!expired) {
        command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 " + names + " -keyout '" + made.Key.string() +
                  "' -out '" + made.Certificate.string() + "' 2>/dev/null";
    } else {
        // "req -x509" takes no dates in the past; "ca" signs a request with any.
        const std::filesystem::path ca = folder / "expired-ca";
        std::filesystem::create_directories(ca);
        WriteBytes(ca / "index.txt", "");
        WriteBytes(ca / "serial", "01\n");
        WriteBytes(ca / "ca.cnf", "[ca]\ndefault_ca = test\n[test]\ndatabase = " + (ca / "index.txt").string() +
                                      "\nnew_certs_dir = " + ca.string() + "\nserial = " + (ca / "serial").string() +
                                      "\ndefault_md = sha256\npolicy = any\ncopy_extensions = copy\n"
                                      "unique_subject = no\n[any]\ncommonName = supplied\n");
        command = "openssl req -new -newkey rsa:2048 -nodes " + names + " -keyout '" + made.Key.string() + "' -out '" +
                  (ca / "request.csr").string() + "' 2>/dev/null && openssl ca -batch -notext -selfsign -config '" +
                  (ca / "ca.cnf").string() + "' -keyfile '" + made.Key.string() + "' -in '" +
                  (ca / "request.csr").string() + "' -out '" + made.Certificate.string() +
                  "' -startdate 20200101000000Z -enddate 20200201000000Z 2>/dev/null";
    }
    command += " && openssl x509 -noout -fingerprint -sha256 -in '" + made.Certificate.string() + "' > '" +
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
