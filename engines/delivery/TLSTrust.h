#pragma once

#include <stdexcept>
#include <string>

namespace tavrin {

// A server certificate as an operator checks it.
struct TServerCertificate {
    std::string Subject;
    std::string Issuer;
    std::string ValidFrom;   // "2026-12-10 09:00:00 UTC"
    std::string ValidUntil;  // the same form
    // SHA-256 of the certificate, upper-case hex pairs joined by colons, as
    // openssl prints it and the fingerprint settings take it.
    std::string Fingerprint;
    // Its validity ended before the handshake. Only a pinned certificate
    // is accepted so: the pin, not the dates, decides.
    bool Expired = false;
};

// The line a session logs when the pin made it accept an expired certificate.
inline std::string PinnedExpiryNotice(const std::string& host, const TServerCertificate& certificate)
{
    return "The certificate of " + host + " expired on " + certificate.ValidUntil +
           "; it is accepted because its fingerprint is pinned";
}

// What the session trusts: the pinned fingerprint (ParseFingerprint's 64
// lower-case digits) alone when there is one, otherwise the system's
// certificate authorities with the host name checked.
struct TTLSTrust {
    std::string Host;
    std::string PinnedFingerprint;
};

// A server whose certificate is not trusted, or a handshake that failed:
// nothing has been sent on the connection.
class ETLSRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace tavrin
