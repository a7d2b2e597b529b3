#include "engines/delivery/TLSPeer.h"

#include <Poco/DateTimeFormatter.h>
#include <Poco/Exception.h>
#include <Poco/Net/IPAddress.h>
#include <Poco/Net/NetSSL.h>
#include <Poco/Net/SSLException.h>
#include <Poco/Net/SecureStreamSocket.h>
#include <Poco/Net/SecureStreamSocketImpl.h>
#include <Poco/Net/X509Certificate.h>

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <array>
#include <mutex>

namespace tavrin {

namespace {

void InitialiseTLSOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { Poco::Net::initializeSSL(); });
}

bool IsIPAddress(const std::string& host)
{
    Poco::Net::IPAddress address;
    return Poco::Net::IPAddress::tryParse(host, address);
}

// The chain check of the handshake, with the host name added: the verdict
// is kept for the peer to judge once the handshake is over, so that a
// pinned self-signed certificate can still be accepted.
int VerifyChain(X509_STORE_CTX* store, void* argument)
{
    auto* peer = static_cast<TTLSPeer*>(argument);
    const int verdict = X509_verify_cert(store);
    peer->NoteChain(verdict == 1,
                    verdict == 1 ? std::string() : X509_verify_cert_error_string(X509_STORE_CTX_get_error(store)));
    // The handshake goes on either way; nothing is sent before the peer decides.
    return 1;
}

std::string FingerprintText(X509* certificate)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest.data(), &length) != 1)
        return {};
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int at = 0; at < length; ++at) {
        if (at > 0)
            text += ':';
        text += Digits[digest[at] >> 4];
        text += Digits[digest[at] & 0x0F];
    }
    return text;
}

std::string Digits(const std::string& fingerprint)
{
    std::string digits;
    for (const char c : fingerprint)
        if (c != ':')
            digits += static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    return digits;
}

TServerCertificate Describe(const Poco::Net::X509Certificate& certificate)
{
    TServerCertificate described;
    described.Subject = certificate.subjectName();
    described.Issuer = certificate.issuerName();
    described.ValidFrom = Poco::DateTimeFormatter::format(certificate.validFrom(), "%Y-%m-%d %H:%M:%S UTC");
    described.ValidUntil = Poco::DateTimeFormatter::format(certificate.expiresOn(), "%Y-%m-%d %H:%M:%S UTC");
    described.Fingerprint = FingerprintText(const_cast<X509*>(certificate.certificate()));
    described.Expired = X509_cmp_current_time(X509_get0_notAfter(certificate.certificate())) < 0;
    return described;
}

}  // namespace

TTLSPeer::TTLSPeer(TTLSTrust trust) : Trust(std::move(trust))
{
    InitialiseTLSOnce();
    Poco::Net::Context::Params parameters;
    // The verdict is taken after the handshake (see VerifyChain), never left to chance.
    parameters.verificationMode = Poco::Net::Context::VERIFY_NONE;
    parameters.loadDefaultCAs = Trust.PinnedFingerprint.empty();
    parameters.cipherList = "HIGH:!aNULL:!MD5:!RC4";
    Context = new Poco::Net::Context(Poco::Net::Context::TLS_CLIENT_USE, parameters);
    Context->requireMinimumProtocol(Poco::Net::Context::PROTO_TLSV1_2);
    Context->enableSessionCache(true);
    SSL_CTX* context = Context->sslContext();
    SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_cert_verify_callback(context, VerifyChain, this);
    X509_VERIFY_PARAM* check = SSL_CTX_get0_param(context);
    if (IsIPAddress(Trust.Host))
        X509_VERIFY_PARAM_set1_ip_asc(check, Trust.Host.c_str());
    else
        X509_VERIFY_PARAM_set1_host(check, Trust.Host.c_str(), 0);
}

void TTLSPeer::NoteChain(bool trusted, const std::string& problem)
{
    ChainTrusted = trusted;
    ChainProblem = problem;
}

Poco::Net::StreamSocket TTLSPeer::Handshake(const Poco::Net::StreamSocket& plain, Poco::Net::Session::Ptr resumed)
{
    ChainTrusted = false;
    ChainProblem = "no certificate was checked";
    try {
        Poco::Net::SecureStreamSocket secure =
            resumed ? Poco::Net::SecureStreamSocket::attach(plain, Trust.Host, Context, resumed)
                    : Poco::Net::SecureStreamSocket::attach(plain, Trust.Host, Context);
        if (!secure.havePeerCertificate()) {
            secure.close();
            throw ETLSRefused("The server " + Trust.Host + " presented no certificate; nothing was sent");
        }
        Presented = Describe(secure.peerCertificate());
        return secure;
    } catch (const ETLSRefused&) {
        throw;
    } catch (const Poco::Exception& error) {
        throw ETLSRefused("The TLS handshake with " + Trust.Host + " failed: " + error.displayText());
    }
}

Poco::Net::StreamSocket TTLSPeer::Secure(const Poco::Net::StreamSocket& plain)
{
    Poco::Net::StreamSocket secure = Handshake(plain, nullptr);
    const std::string presented = Presented->Fingerprint;
    std::string refusal;
    if (!Trust.PinnedFingerprint.empty()) {
        if (Digits(presented) != Trust.PinnedFingerprint)
            refusal = "The certificate of " + Trust.Host + " does not match the pinned fingerprint";
    } else if (!ChainTrusted) {
        refusal = "The certificate of " + Trust.Host + " is not trusted (" + ChainProblem + ")";
    }
    if (!refusal.empty()) {
        try {
            secure.close();
        } catch (const Poco::Exception&) {
        }
        throw ETLSRefused(refusal + "; nothing was sent. It presented the SHA-256 fingerprint " + presented +
                          " (subject " + Presented->Subject + "): pin it to trust this server");
    }
    Control = secure;
    return secure;
}

Poco::Net::StreamSocket TTLSPeer::SecureData(const Poco::Net::StreamSocket& plain)
{
    const std::string accepted = Presented ? Presented->Fingerprint : std::string();
    auto* control = dynamic_cast<Poco::Net::SecureStreamSocketImpl*>(Control.impl());
    if (!control || accepted.empty())
        throw ETLSRefused("No trusted TLS session to open a data connection in");
    // Taken now, not at the handshake: TLS 1.3 hands its resumable session over later.
    Poco::Net::Session::Ptr resumed = Unused ? Unused : control->currentSession();
    Unused = nullptr;
    Poco::Net::StreamSocket secure = Handshake(plain, resumed);
    if (Presented->Fingerprint != accepted) {
        try {
            secure.close();
        } catch (const Poco::Exception&) {
        }
        throw ETLSRefused("The data connection presented another certificate (SHA-256 " + Presented->Fingerprint +
                          ") than the control connection; nothing was sent");
    }
    return secure;
}

void TTLSPeer::KeepSessionOf(const Poco::Net::StreamSocket& data)
{
    auto* secure = dynamic_cast<Poco::Net::SecureStreamSocketImpl*>(data.impl());
    if (!secure)
        return;
    Poco::Net::Session::Ptr session = secure->currentSession();
    if (session && SSL_SESSION_is_resumable(session->sslSession()) == 1)
        Unused = session;
}

}  // namespace tavrin
