#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
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

private:
    // Reads the reply to a line already sent, waiting up to wait.
    TSMTPReply Reply(const std::string& step, std::chrono::seconds wait);
    // Closes a connection whose server stopped answering, and raises the reason.
    [[noreturn]] void Lose(const std::string& reason);

    std::unique_ptr<TSMTPSession> Session;
    std::chrono::seconds ReplyTimeout{60};
};

// A line of text as the SMTP LOGIN mechanism sends it: Base64 on one line.
std::string Base64Line(const std::string& text);

// True when a reply to "EHLO" lists LOGIN among its AUTH mechanisms: a line
// (after its code) beginning "AUTH " or "AUTH=", compared without regard to
// case, whose blank-separated words include LOGIN.
bool ListsLoginMechanism(const std::string& ehloReply);

}  // namespace tavrin
