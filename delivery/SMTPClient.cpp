#include "delivery/SMTPClient.h"

#include "delivery/TransferHelpers.h"

#include <Poco/Base64Encoder.h>
#include <Poco/Exception.h>
#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/SMTPClientSession.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/StreamSocket.h>

#include <algorithm>
#include <sstream>

namespace tavrin {

namespace {

// How long a reply may take: RFC 5321 asks clients to wait up to ten
// minutes for the reply to the end of the message.
const Poco::Timespan ReplyTimeout(10 * 60, 0);

// How long a closing session waits for the reply to "QUIT".
const Poco::Timespan QuitTimeout(5, 0);

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

    int ReadReply(std::string& text) { return socket().receiveStatusMessage(text); }

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

void TSMTPClient::Open(const std::string& host, std::uint16_t port)
{
    Close();
    Guarded([&] {
        Poco::Net::StreamSocket socket;
        socket.connect(Poco::Net::SocketAddress(host, port));
        Session = std::make_unique<TSMTPSession>(socket);
        Session->setTimeout(ReplyTimeout);
    });
    TSMTPReply greeting;
    try {
        greeting.Code = Guarded([&] { return Session->ReadReply(greeting.Text); });
    } catch (const ESMTPError&) {
        Session.reset();
        throw;
    }
    if (greeting.Code != 220) {
        Session.reset();
        throw ESMTPError(greeting.Code == 0 ? "Connection closed by the server." : greeting.Text);
    }
}

TSMTPReply TSMTPClient::Command(const std::string& line, std::initializer_list<int> accepted)
{
    if (!Session)
        throw ESMTPError("Not connected.");
    // A line break inside would let the text speak commands of its own.
    if (line.find_first_of("\r\n") != std::string::npos)
        throw ESMTPError("A command line may not hold a line break.");
    TSMTPReply reply;
    reply.Code = Guarded([&] { return Session->sendCommand(line, reply.Text); });
    if (reply.Code == 0) {
        // No reply line at all: the server has gone.
        Session.reset();
        throw ESMTPError("Connection closed by the server.");
    }
    if (accepted.size() != 0 && std::find(accepted.begin(), accepted.end(), reply.Code) == accepted.end())
        throw ESMTPError(reply.Text);
    return reply;
}

void TSMTPClient::SendMessageText(const std::string& text)
{
    if (!Session)
        throw ESMTPError("Not connected.");
    Guarded([&] { Session->SendText(DotStuffed(text)); });
    Command(".", {250});
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
        Session->setTimeout(QuitTimeout);
        std::string ignored;
        Session->sendCommand("QUIT", ignored);
    } catch (const Poco::Exception&) {
        // The connection is closed below all the same.
    }
    Session.reset();
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

bool ListsLoginMechanism(const std::string& ehloReply)
{
    std::istringstream lines(ehloReply);
    for (std::string line; std::getline(lines, line);) {
        // "250-AUTH LOGIN PLAIN": the keyword follows the code and its separator.
        const std::string keyword = LowerCaseText(line.size() > 4 ? line.substr(4) : "");
        if (keyword.rfind("auth ", 0) != 0 && keyword.rfind("auth=", 0) != 0)
            continue;
        std::istringstream words(keyword.substr(5));
        for (std::string word; words >> word;)
            if (word == "login")
                return true;
    }
    return false;
}

}  // namespace tavrin
