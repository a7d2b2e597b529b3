#pragma once

#include <Poco/Net/Context.h>
#include <Poco/Net/Session.h>
#include <Poco/Net/StreamSocket.h>

#include "engines/delivery/TLSTrust.h"

#include <optional>
#include <string>

namespace tavrin {

// The TLS side of one session (a control connection and the data
// connections it opens): the handshake, then the check of the server's
// certificate before a byte of the conversation travels. Not shared between
// threads.
class TTLSPeer {
public:
    explicit TTLSPeer(TTLSTrust trust);

    // The connection with TLS on top; raises ETLSRefused (the socket is then
    // closed) when the handshake fails or the certificate is not trusted, the
    // text naming the fingerprint presented so that an operator can pin it.
    Poco::Net::StreamSocket Secure(const Poco::Net::StreamSocket& plain);

    // A data connection of the same session: the control connection's TLS
    // session is offered again (servers may insist on it), and the
    // certificate must be the one the control connection accepted.
    Poco::Net::StreamSocket SecureData(const Poco::Net::StreamSocket& plain);

    // Keeps the TLS session of a data connection whose transfer is over (and
    // whose tickets have been read) for the next one: a newer TLS lets a
    // session be resumed only once, and the server hands out a fresh one on
    // each connection.
    void KeepSessionOf(const Poco::Net::StreamSocket& data);

    // The certificate of the last handshake, once there was one.
    const std::optional<TServerCertificate>& Certificate() const { return Presented; }

    // Called by the library during the handshake with the chain's verdict.
    void NoteChain(bool trusted, const std::string& problem);

private:
    Poco::Net::StreamSocket Handshake(const Poco::Net::StreamSocket& plain, Poco::Net::Session::Ptr resumed);

    TTLSTrust Trust;
    Poco::Net::Context::Ptr Context;
    // The accepted control connection, whose session data connections resume.
    Poco::Net::StreamSocket Control;
    // A session not yet resumed, from the last data connection.
    Poco::Net::Session::Ptr Unused;
    std::optional<TServerCertificate> Presented;
    bool ChainTrusted = false;
    std::string ChainProblem;
};

}  // namespace tavrin
