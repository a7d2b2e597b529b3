#pragma once

#include "engines/delivery/TLSTrust.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrin {

class TFTPSession;
class TTLSPeer;

// Any failure of the FTP conversation: a reply outside those expected (the
// text is the server's reply), a socket error or a time-out.
class EFTPError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A wait that ran out: the text names the step and ends in "timed out". The
// session it happened on is closed; a later command on it raises the same.
class EFTPTimeout : public EFTPError {
public:
    using EFTPError::EFTPError;
};

// A file larger than the caller would take; nothing of it is kept.
class EFTPTooLarge : public EFTPError {
public:
    using EFTPError::EFTPError;
};

// How long the client waits. A zero connect time-out leaves the system's own.
struct TFTPTimeouts {
    std::chrono::milliseconds Connect{0};
    // For each reply on the control connection, from its first line to its
    // last: a server that keeps talking does not hold the client longer.
    std::chrono::milliseconds Reply{60000};
    // For a data connection to open, and for each byte to move on it.
    std::chrono::milliseconds Stall{60000};
};

// One FTP client: the control connection and the data connections it opens,
// speaking only the commands the caller names. Every operation raises
// EFTPError on failure. A reply longer than a few hundred lines or 64 KB, or
// one that does not end within the reply time-out, closes the session as a
// time-out does: its server is not trusted any further. Data connections go
// only to the host the control connection reached. Not shared between threads.
class TFTPClient {
public:
    TFTPClient();
    ~TFTPClient();
    TFTPClient(const TFTPClient&) = delete;
    TFTPClient& operator=(const TFTPClient&) = delete;

    // Called with each status of the client (resolving, connecting, connected, disconnected).
    std::function<void(const std::string& status)> OnStatus;
    // Called with the control socket as soon as its TCP connection exists, before the greeting.
    std::function<void(std::intptr_t socketHandle)> OnConnected;

    // Opens the control connection and reads the greeting (220), waiting
    // as long as the time-outs allow. Any session still open is closed first.
    void Open(const std::string& host, std::uint16_t port, const TFTPTimeouts& timeouts);

    // The same, then "AUTH TLS" (234) and the TLS handshake; the server's
    // certificate must satisfy the trust before anything more is said. A
    // server that refuses AUTH TLS, a failed handshake or an untrusted
    // certificate raise EFTPError with the session closed: no user name or
    // password has been sent. Every data connection then runs in TLS too.
    void OpenSecure(const std::string& host, std::uint16_t port, const TFTPTimeouts& timeouts, const TTLSTrust& trust);

    // "USER", then "PASS" when the server asks for it, then "SYST" (200,
    // 215 or 500). In a secure session then "PBSZ 0" and "PROT P" (200), so
    // that every data connection is protected.
    void LogOn(const std::string& user, const std::string& password);

    // The certificate the server presented in a secure session.
    const std::optional<TServerCertificate>& Certificate() const;

    // From now on data connections are opened passively (true) or with
    // "PORT" (false). Passive connections ask with "EPSV" first and, once the
    // server refuses it, with "PASV" for the rest of the session; either way
    // they go to the control connection's peer with the port of the reply,
    // never to an address the reply names (a web host behind NAT names its
    // private one, a hostile one another host).
    void SetPassive(bool passive);

    // Sends the command (with its argument unless empty) and returns the
    // reply; a reply code outside success raises with the reply's text.
    std::string Command(const std::string& command, const std::string& argument, std::initializer_list<int> success);

    // "PWD": the directory between the double quotes of the reply.
    std::string PrintWorkingDirectory();

    // "STOR" name with the content; work is called with the count of bytes
    // sent so far after each piece. Opens the data connection first.
    void Store(const std::string& name, std::istream& content, const std::function<void(std::int64_t)>& work);

    // "RETR" name into memory; work is called with the count of bytes
    // received so far. Nothing when the server answers 550 (no such file, or
    // not one it gives out); EFTPTooLarge, with the transfer abandoned, as
    // soon as more than maxBytes arrive. The whole download, from the
    // command to its last byte, may take at most the deadline (the reply
    // time-out when none is given, ample for the small files fetched this
    // way); past it, or when no byte moves for the stall time-out, it is
    // abandoned with EFTPTimeout and the session is closed.
    std::optional<std::string> Retrieve(const std::string& name, std::size_t maxBytes,
                                        const std::function<void(std::int64_t)>& work,
                                        std::optional<std::chrono::milliseconds> deadline = std::nullopt);

    // "NLST" with the argument (none when empty): the names the server
    // lists, in its order. The listing is bounded like a download: at most
    // the reply time-out in all and 4 MB (EFTPTooLarge).
    std::vector<std::string> NameList(const std::string& argument);

    // True while the control connection is open (a dropped connection shows
    // only when it is next used; one that timed out is closed at once).
    bool Connected() const;

    // True when the last session ended in a time-out, or in a reply past its
    // bounds, which is treated the same (until the next Open).
    bool TimedOut() const { return !Lost.empty(); }

    // Sends "QUIT" when it can and closes the control connection; harmless
    // when nothing is open.
    void Close();

    // The control connection's socket, or -1.
    std::intptr_t ControlSocketHandle() const;

private:
    void Status(const std::string& text) const;
    // Runs one operation on the session: the library's failures become
    // EFTPError, and a time-out closes the session before it is raised.
    template <typename TOperation>
    auto Guarded(TOperation&& operation) -> decltype(operation());
    // Closes a session whose server stopped answering, without a goodbye.
    void Lose(const std::string& reason);
    // The session, or EFTPError when there is none.
    TFTPSession& OpenSession();
    // Opens the control connection, reads the greeting and, with a peer,
    // secures it; then makes the session.
    void OpenWith(const std::string& host, std::uint16_t port, const TFTPTimeouts& timeouts);

    std::unique_ptr<TTLSPeer> Peer;
    std::unique_ptr<TFTPSession> Session;
    TFTPTimeouts Timeouts;
    bool Passive = true;
    std::intptr_t SocketHandle = -1;
    // The time-out that closed the last session; empty while none did.
    std::string Lost;
};

}  // namespace tavrin
