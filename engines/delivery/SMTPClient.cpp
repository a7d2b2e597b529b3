#include "engines/delivery/SMTPClient.h"

#include "base/platform/SocketOptions.h"
#include "base/text/TextRules.h"
#include "engines/delivery/TLSPeer.h"

#include <Poco/Base64Encoder.h>
#include <Poco/Exception.h>
#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/SMTPClientSession.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/SocketDefs.h>
#include <Poco/Net/StreamSocket.h>

#include <algorithm>
#include <chrono>
#include <sstream>

namespace tavrin {

namespace {

// How long a closing session waits for the reply to "QUIT".
constexpr std::chrono::seconds QuitTimeout(5);

Poco::Timespan AsTimespan(std::chrono::seconds duration)
{
    return Poco::Timespan(static_cast<long>(duration.count()), 0);
}

std::string SecondsText(std::chrono::seconds wait)
{
    return std::to_string(wait.count()) + " s";
}

// The step a command line stands for in a time-out: up to its ":" ("RCPT
// TO"), or its first word ("EHLO").
std::string StepOf(const std::string& line)
{
    const std::size_t colon = line.find(':');
    return line.substr(0, colon != std::string::npos ? colon : line.find(' '));
}

// A write that gave up: the library reports an expired send time-out as a
// failed write that would have blocked.
bool IsSendTimeout(const Poco::Exception& error)
{
    return dynamic_cast<const Poco::TimeoutException*>(&error) ||
           (dynamic_cast<const Poco::IOException*>(&error) &&
            (error.code() == POCO_EAGAIN || error.code() == POCO_EWOULDBLOCK || error.code() == POCO_ETIMEDOUT));
}

// Runs one operation, turning the library's failures into ESMTPError.
template <typename TOperation>
auto Guarded(TOperation&& operation) -> decltype(operation())
{
    try {
        return operation();
    } catch (const Poco::Exception& error) {
        throw ESMTPError(error.displayText());
    }
}

// The text with a second "." at the start of every line that begins with one,
// ending in CR LF, so that no line of it can end the DATA block early.
std::string DotStuffed(const std::string& text)
{
    std::string stuffed;
    stuffed.reserve(text.size() + text.size() / 64 + 2);
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && c == '.')
            stuffed += '.';
        stuffed += c;
        lineStart = c == '\n';
    }
    if (stuffed.size() < 2 || stuffed.compare(stuffed.size() - 2, 2, "\r\n") != 0)
        stuffed += "\r\n";
    return stuffed;
}

}  // namespace

// Poco's session with its dialog socket in reach: the greeting and the
// message text are read and written on it directly.
class TSMTPSession : public Poco::Net::SMTPClientSession {
public:
    explicit TSMTPSession(const Poco::Net::StreamSocket& socket) : SMTPClientSession(socket) {}

    // Up to length bytes as they come, waiting no longer than wait for the
    // first; 0 when the server closed the connection. The dialog socket's own
    // line buffer is never filled: the client keeps what it read itself.
    int Receive(char* buffer, int length, const Poco::Timespan& wait)
    {
        socket().setReceiveTimeout(wait);
        return socket().receiveRawBytes(buffer, length);
    }

    void SendLine(const std::string& line) { socket().sendMessage(line); }

    // The connection continues on the given socket (TLS on top of the old one).
    void Continue(const Poco::Net::StreamSocket& secure) { socket() = secure; }

    Poco::Net::StreamSocket Plain() { return socket(); }

    // Closes both directions at once: nothing waits on this connection any more.
    void ShutDown()
    {
        try {
            socket().shutdown();
        } catch (const Poco::Exception&) {
            // Already gone.
        }
    }

    void SendText(const std::string& text)
    {
        std::size_t sent = 0;
        while (sent < text.size())
            sent +=
                static_cast<std::size_t>(socket().sendBytes(text.data() + sent, static_cast<int>(text.size() - sent)));
    }
};

TSMTPClient::TSMTPClient() = default;

TSMTPClient::~TSMTPClient()
{
    Close();
}

void TSMTPClient::Open(const std::string& host, std::uint16_t port, std::chrono::seconds replyTimeout)
{
    Close();
    Peer.reset();
    Connect(host, port, replyTimeout);
}

void TSMTPClient::OpenSecure(const std::string& host, std::uint16_t port, std::chrono::seconds replyTimeout,
                             const TTLSTrust& trust)
{
    Close();
    Peer = std::make_unique<TTLSPeer>(trust);
    Connect(host, port, replyTimeout);
}

const std::optional<TServerCertificate>& TSMTPClient::Certificate() const
{
    static const std::optional<TServerCertificate> none;
    return Peer ? Peer->Certificate() : none;
}

void TSMTPClient::StartTLS(const TTLSTrust& trust)
{
    Command("STARTTLS", {220});
    // Anything the server sent after its 220 came in the clear: it must not
    // pass for a reply inside TLS.
    Pending.clear();
    // Kept on failure too: the certificate refused is what an operator pins.
    Peer = std::make_unique<TTLSPeer>(trust);
    try {
        Poco::Net::StreamSocket plain = Session->Plain();
        plain.setReceiveTimeout(AsTimespan(ReplyTimeout));
        Session->Continue(Peer->Secure(plain));
        Accepted = true;
    } catch (const ETLSRefused& refusal) {
        Session->ShutDown();
        Session.reset();
        throw ESMTPError(refusal.what());
    }
}

void TSMTPClient::Connect(const std::string& host, std::uint16_t port, std::chrono::seconds replyTimeout)
{
    ReplyTimeout = replyTimeout;
    Pending.clear();
    Accepted = false;
    // A connection shut after a time-out must fail a write, not end the process.
    IgnoreBrokenPipeSignal();
    Guarded([&] {
        Poco::Net::StreamSocket socket;
        socket.connect(Poco::Net::SocketAddress(host, port));
        // A server that stops reading must not hold a command or the message either.
        socket.setSendTimeout(AsTimespan(replyTimeout));
        socket.setReceiveTimeout(AsTimespan(replyTimeout));
        if (!Peer) {
            Session = std::make_unique<TSMTPSession>(socket);
            return;
        }
        try {
            Session = std::make_unique<TSMTPSession>(Peer->Secure(socket));
            Accepted = true;
        } catch (const ETLSRefused& refusal) {
            throw ESMTPError(refusal.what());
        }
    });
    TSMTPReply greeting;
    try {
        greeting = Reply({"The mail server sent no greeting within " + SecondsText(ReplyTimeout) + ": timed out",
                          "greeting", ReplyTimeout});
    } catch (const ESMTPError&) {
        Session.reset();
        throw;
    }
    if (greeting.Code != 220) {
        Session.reset();
        throw ESMTPError(greeting.Text);
    }
}

TSMTPReply TSMTPClient::Command(const std::string& line, std::initializer_list<int> accepted, const std::string& step)
{
    if (!Session)
        throw ESMTPError("Not connected.");
    // A line break inside would let the text speak commands of its own.
    if (line.find_first_of("\r\n") != std::string::npos)
        throw ESMTPError("A command line may not hold a line break.");
    const std::string shown = step.empty() ? StepOf(line) : step;
    try {
        Session->SendLine(line);
    } catch (const Poco::Exception& error) {
        if (IsSendTimeout(error))
            Lose("The mail server did not take " + shown + " within " + SecondsText(ReplyTimeout) + ": timed out");
        throw ESMTPError(error.displayText());
    }
    TSMTPReply reply =
        Reply({"The mail server did not answer " + shown + " within " + SecondsText(ReplyTimeout) + ": timed out",
               "reply to " + shown, ReplyTimeout});
    if (accepted.size() != 0 && std::find(accepted.begin(), accepted.end(), reply.Code) == accepted.end())
        throw ESMTPError(reply.Text);
    return reply;
}

/*
 * One reply, bounded in lines, in bytes (a line that never ends included)
 * and in time: the whole reply must be in before the deadline, so that a
 * server dripping lines cannot hold the task within each read's time-out.
 * Lines continue while their code is followed by "-"; lines without a code
 * inside a reply are kept with it, and the last line's code is the reply's.
 */
TSMTPReply TSMTPClient::Reply(const TReplyStep& step)
{
    const auto deadline = std::chrono::steady_clock::now() + step.Wait;
    TSMTPReply reply;
    std::size_t lines = 0;
    std::size_t bytes = 0;
    for (;;) {
        const std::size_t end = Pending.find('\n');
        if (bytes + (end == std::string::npos ? Pending.size() : end + 1) > MaxReplyBytes)
            Lose("The mail server's " + step.Name + " went on for more than " + std::to_string(MaxReplyBytes) +
                 " bytes; the connection is closed");
        if (end == std::string::npos) {
            Fill(step, deadline, lines == 0 && Pending.empty());
            continue;
        }
        std::string line = Pending.substr(0, end);
        Pending.erase(0, end + 1);
        bytes += end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (++lines > MaxReplyLines)
            Lose("The mail server's " + step.Name + " went on for more than " + std::to_string(MaxReplyLines) +
                 " lines; the connection is closed");
        const bool coded = line.size() >= 3 &&
                           std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; });
        if (lines == 1 && !coded)
            Lose("The mail server's " + step.Name + " is not an SMTP reply; the connection is closed");
        reply.Text += (lines == 1 ? "" : "\n") + line;
        if (coded && (line.size() == 3 || line[3] != '-')) {
            reply.Code = std::stoi(line.substr(0, 3));
            return reply;
        }
    }
}

void TSMTPClient::Fill(const TReplyStep& step, std::chrono::steady_clock::time_point deadline, bool nothingYet)
{
    const auto remaining =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    const std::string timedOut =
        nothingYet ? step.Silent
                   : "The mail server's " + step.Name + " did not end within " + SecondsText(step.Wait) + ": timed out";
    if (remaining.count() <= 0)
        Lose(timedOut);
    char buffer[4096];
    int received = 0;
    try {
        // A zero time-out would wait for ever.
        received = Session->Receive(buffer, sizeof buffer,
                                    Poco::Timespan(std::max<Poco::Timespan::TimeDiff>(remaining.count(), 1000)));
    } catch (const Poco::TimeoutException&) {
        Lose(timedOut);
    } catch (const Poco::Exception& error) {
        throw ESMTPError(error.displayText());
    }
    if (received <= 0) {
        // The server has gone.
        Session.reset();
        throw ESMTPError("Connection closed by the server.");
    }
    Pending.append(buffer, static_cast<std::size_t>(received));
}

void TSMTPClient::Lose(const std::string& reason)
{
    // Shut first, so that the library's own goodbye on closing fails at once.
    Session->ShutDown();
    Session.reset();
    throw ESMTPError(reason);
}

void TSMTPClient::SendMessageText(const std::string& text)
{
    if (!Session)
        throw ESMTPError("Not connected.");
    try {
        Session->SendText(DotStuffed(text));
        Session->SendLine(".");
    } catch (const Poco::Exception& error) {
        if (IsSendTimeout(error))
            Lose("The mail server stopped taking the message for " + SecondsText(ReplyTimeout) + ": timed out");
        throw ESMTPError(error.displayText());
    }
    const std::chrono::seconds wait = std::max(ReplyTimeout, EndOfMessageTimeout);
    const TSMTPReply reply =
        Reply({"The mail server did not confirm the message within " + SecondsText(wait) + ": timed out",
               "reply to the end of the message", wait});
    if (reply.Code != 250)
        throw ESMTPError(reply.Text);
}

bool TSMTPClient::Connected() const
{
    return Session != nullptr;
}

void TSMTPClient::Close()
{
    if (!Session)
        return;
    try {
        // Read with the same bounds as every reply: a goodbye must not stall either.
        const std::chrono::seconds wait = std::min(QuitTimeout, ReplyTimeout);
        Session->SendLine("QUIT");
        Reply({"no reply to QUIT", "reply to QUIT", wait});
    } catch (const Poco::Exception&) {
        // The connection is closed below all the same.
    } catch (const ESMTPError&) {
        // The same.
    }
    Session.reset();
    Pending.clear();
}

std::string Base64Line(const std::string& text)
{
    std::ostringstream encoded;
    Poco::Base64Encoder encoder(encoded);
    encoder.rdbuf()->setLineLength(0);
    encoder << text;
    encoder.close();
    return encoded.str();
}

bool ListsAuthMechanism(const std::string& ehloReply, const std::string& mechanism)
{
    const std::string wanted = LowerCase(mechanism);
    std::istringstream lines(ehloReply);
    for (std::string line; std::getline(lines, line);) {
        // "250-AUTH LOGIN PLAIN": the keyword follows the code and its separator.
        const std::string keyword = LowerCase(line.size() > 4 ? line.substr(4) : "");
        if (keyword.rfind("auth ", 0) != 0 && keyword.rfind("auth=", 0) != 0)
            continue;
        std::istringstream words(keyword.substr(5));
        for (std::string word; words >> word;)
            if (word == wanted)
                return true;
    }
    return false;
}

bool ListsLoginMechanism(const std::string& ehloReply)
{
    return ListsAuthMechanism(ehloReply, "LOGIN");
}

bool ListsExtension(const std::string& ehloReply, const std::string& keyword)
{
    const std::string wanted = LowerCase(keyword);
    std::istringstream lines(ehloReply);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(LowerCase(line.size() > 4 ? line.substr(4) : ""));
        std::string first;
        if (words >> first && first == wanted)
            return true;
    }
    return false;
}

std::string PlainCredentials(const std::string& user, const std::string& password)
{
    return Base64Line(std::string(1, '\0') + user + std::string(1, '\0') + password);
}

}  // namespace tavrin
