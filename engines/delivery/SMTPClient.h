#pragma once

#include "engines/delivery/TLSTrust.h"

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace tavrin {

// Any failure of the SMTP conversation: a reply outside those expected (the
// text is the server's whole reply, code included), a socket error, a
// time-out, or a command while no connection is open.
class ESMTPError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One reply of the server: its code and its lines as received, joined by
// line feeds ("250-host\n250-AUTH LOGIN\n250 HELP").
struct TSMTPReply {
    int Code = 0;
    std::string Text;
};

class TSMTPSession;
class TTLSPeer;

// One SMTP client over Poco's session: it sends only the commands the caller
// names, so the conversation is exactly the caller's. Every operation raises
// ESMTPError on failure. Not shared between threads.
class TSMTPClient {
public:
    TSMTPClient();
    ~TSMTPClient();
    TSMTPClient(const TSMTPClient&) = delete;
    TSMTPClient& operator=(const TSMTPClient&) = delete;

    // The reply to the "." that ends a message may take this long at least:
    // the server may check the whole message first.
    static constexpr std::chrono::seconds EndOfMessageTimeout{300};

    // Connects (TCP, with the system's own connect time-out) and reads the
    // greeting, which must be 220. Every reply is then awaited up to
    // replyTimeout, the one to the end of a message up to the longer of that
    // and EndOfMessageTimeout. On failure nothing stays open.
    void Open(const std::string& host, std::uint16_t port, std::chrono::seconds replyTimeout);

    // The same on implicit TLS: the handshake comes first, and the server's
    // certificate must satisfy the trust before the greeting is read.
    void OpenSecure(const std::string& host, std::uint16_t port, std::chrono::seconds replyTimeout,
                    const TTLSTrust& trust);

    // "STARTTLS" (220), then the handshake and the certificate check on the
    // open connection. On failure the connection is closed and nothing more
    // has been sent. The caller greets the server again ("EHLO") after it.
    void StartTLS(const TTLSTrust& trust);

    // True once the connection runs in TLS.
    bool Secure() const { return Peer != nullptr && Session != nullptr; }

    // The certificate the server presented, once it is secure.
    const std::optional<TServerCertificate>& Certificate() const;

    // True once the trust accepted that certificate in this session (and
    // after the session ended); a refused certificate is only presented.
    bool CertificateAccepted() const { return Accepted; }

    // Sends one command line and returns the reply. A code outside accepted
    // raises with the reply's text; an empty accepted list takes any reply.
    // A reply that does not come in time closes the connection and raises a
    // text that names the step: the line up to its ":" or its first blank,
    // or the step given (for lines that must not be shown, such as a password).
    TSMTPReply Command(const std::string& line, std::initializer_list<int> accepted, const std::string& step = {});

    // After the server accepted "DATA": sends the message text (each line
    // that begins with "." gets a second one; a CR LF ends the text when it
    // does not end with one), then "." with the reply 250.
    void SendMessageText(const std::string& text);

    // True while the connection is open (a dropped connection shows only
    // when it is next used).
    bool Connected() const;

    // "QUIT" when connected (its reply awaited briefly, failures ignored),
    // then the connection is closed; harmless when nothing is open.
    void Close();

    // A reply longer than this is no server's honest answer: the step fails
    // and the connection is closed.
    static constexpr std::size_t MaxReplyLines = 100;
    static constexpr std::size_t MaxReplyBytes = 64 * 1024;

private:
    // What a reply answers, for the texts of its failures: the whole text
    // when nothing came in time ("The mail server sent no greeting within
    // 60 s: timed out"), its name ("greeting", "reply to EHLO") otherwise.
    struct TReplyStep {
        std::string Silent;
        std::string Name;
        std::chrono::seconds Wait;
    };
    // Reads the reply to a line already sent: all of it within step.Wait, and no
    // more than MaxReplyLines and MaxReplyBytes. Any of these exceeded closes
    // the connection and raises a text that names the step.
    TSMTPReply Reply(const TReplyStep& step);
    // Reads what the server sent next into Pending, by the deadline.
    void Fill(const TReplyStep& step, std::chrono::steady_clock::time_point deadline, bool nothingYet);
    // Closes a connection whose server stopped answering, and raises the reason.
    [[noreturn]] void Lose(const std::string& reason);

    // Connects and reads the greeting; with a peer, the handshake comes between.
    void Connect(const std::string& host, std::uint16_t port, std::chrono::seconds replyTimeout);

    std::unique_ptr<TTLSPeer> Peer;
    std::unique_ptr<TSMTPSession> Session;
    std::chrono::seconds ReplyTimeout{60};
    bool Accepted = false;
    // Received and not yet taken as a reply line.
    std::string Pending;
};

// A line of text as the SMTP LOGIN mechanism sends it: Base64 on one line.
std::string Base64Line(const std::string& text);

// True when a reply to "EHLO" lists the mechanism (upper case) among its
// AUTH mechanisms: a line (after its code) beginning "AUTH " or "AUTH=",
// compared without regard to case, whose blank-separated words include it.
bool ListsAuthMechanism(const std::string& ehloReply, const std::string& mechanism);
bool ListsLoginMechanism(const std::string& ehloReply);

// True when a reply to "EHLO" has a line (after its code) whose first word
// is the keyword, without regard to case ("STARTTLS").
bool ListsExtension(const std::string& ehloReply, const std::string& keyword);

// The initial response of AUTH PLAIN: the user name and password between
// NUL bytes, in Base64 on one line.
std::string PlainCredentials(const std::string& user, const std::string& password);

}  // namespace tavrin
