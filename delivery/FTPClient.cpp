#include "delivery/FTPClient.h"

#include "platform/SocketOptions.h"

#include <Poco/Exception.h>
#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/SocketStream.h>
#include <Poco/Net/StreamSocket.h>

#include <algorithm>
#include <cctype>
#include <istream>

namespace tavrin {

namespace {

using Poco::Net::FTPClientSession;

// Pieces of a file handed to the data connection at once: large enough that
// a fast link is never starved, small enough for smooth progress.
constexpr std::size_t StorePieceBytes = 256 * 1024;

// How long a closing session waits for the reply to "QUIT".
constexpr std::chrono::seconds QuitTimeout(5);

Poco::Timespan AsTimespan(std::chrono::milliseconds duration)
{
    return Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(duration.count()) * 1000);
}

// The text of a failure: an FTP failure is the server's reply (the library
// puts its own words before it), any other names what failed and where.
std::string ErrorText(const Poco::Exception& error)
{
    if (!dynamic_cast<const Poco::Net::FTPException*>(&error) || error.message().empty())
        return error.displayText();
    const std::string& text = error.message();
    const std::size_t reply = text.find(": ");
    const bool codeFollows = reply != std::string::npos && reply + 5 <= text.size() &&
                             std::isdigit(static_cast<unsigned char>(text[reply + 2])) &&
                             std::isdigit(static_cast<unsigned char>(text[reply + 3])) &&
                             std::isdigit(static_cast<unsigned char>(text[reply + 4]));
    return codeFollows ? text.substr(reply + 2) : text;
}

// Runs one operation, turning the library's failures into EFTPError.
template <typename TOperation>
auto Guarded(TOperation&& operation) -> decltype(operation())
{
    try {
        return operation();
    } catch (const Poco::Exception& error) {
        throw EFTPError(ErrorText(error));
    } catch (const std::ios_base::failure& error) {
        throw EFTPError(error.what());
    }
}

// The directory named in a "257" reply: the text between its double quotes,
// a doubled quote inside standing for one.
std::string QuotedDirectory(const std::string& reply)
{
    const std::size_t open = reply.find('"');
    if (open == std::string::npos)
        throw EFTPError(reply);
    std::string directory;
    for (std::size_t at = open + 1; at < reply.size(); ++at) {
        if (reply[at] != '"') {
            directory += reply[at];
        } else if (at + 1 < reply.size() && reply[at + 1] == '"') {
            directory += '"';
            ++at;
        } else {
            return directory;
        }
    }
    throw EFTPError(reply);
}

// Sends the whole piece on the data connection.
void SendAll(Poco::Net::StreamSocket& data, const char* bytes, std::size_t count)
{
    while (count > 0) {
        const int sent = data.sendBytes(bytes, static_cast<int>(count));
        if (sent <= 0)
            throw EFTPError("The data connection was closed while sending.");
        bytes += sent;
        count -= static_cast<std::size_t>(sent);
    }
}

}  // namespace

TFTPClient::TFTPClient() = default;

TFTPClient::~TFTPClient()
{
    try {
        Close();
    } catch (const EFTPError&) {
        // The connection is gone either way.
    }
}

void TFTPClient::Status(const std::string& text) const
{
    if (OnStatus)
        OnStatus(text);
}

void TFTPClient::Open(const std::string& host, std::uint16_t port, std::chrono::milliseconds connectTimeout,
                      std::chrono::milliseconds readTimeout)
{
    Close();
    // A peer that vanishes must fail a write, not end the process.
    IgnoreBrokenPipeSignal();
    Guarded([&] {
        Status("Resolving hostname " + host + ".");
        const Poco::Net::SocketAddress address(host, port);
        Status("Connecting to " + address.toString() + ".");
        Poco::Net::StreamSocket socket;
        if (connectTimeout.count() > 0)
            socket.connect(address, AsTimespan(connectTimeout));
        else
            socket.connect(address);
        Status("Connected.");
        if (OnConnected)
            OnConnected(static_cast<std::intptr_t>(socket.impl()->sockfd()));
        socket.setReceiveTimeout(AsTimespan(readTimeout));

        // The greeting is read here, so that only 220 counts; the server says
        // nothing more until it is spoken to, so no reply is read ahead.
        std::string greeting;
        Poco::Net::DialogSocket dialog(socket);
        const int status = dialog.receiveStatusMessage(greeting);
        if (status != 220)
            throw EFTPError(greeting.empty() ? "The server closed the connection without a greeting." : greeting);

        Session = std::make_unique<FTPClientSession>(socket, false);
        Session->setTimeout(AsTimespan(readTimeout));
        Session->setPassive(Passive, false);
        SocketHandle = static_cast<std::intptr_t>(socket.impl()->sockfd());
    });
}

void TFTPClient::LogOn(const std::string& user, const std::string& password)
{
    Guarded([&] {
        std::string reply;
        int status = Session->sendCommand("USER", user, reply);
        if (status == 331)
            status = Session->sendCommand("PASS", password, reply);
        if (status != 230 && status != 202)
            throw EFTPError(reply);
    });
    Command("SYST", "", {200, 215, 500});
}

void TFTPClient::SetPassive(bool passive)
{
    Passive = passive;
    if (Session)
        Session->setPassive(passive, false);
}

std::string TFTPClient::Command(const std::string& command, const std::string& argument,
                                std::initializer_list<int> success)
{
    if (!Session)
        throw EFTPError("Not connected.");
    return Guarded([&] {
        std::string reply;
        const int status =
            argument.empty() ? Session->sendCommand(command, reply) : Session->sendCommand(command, argument, reply);
        if (std::find(success.begin(), success.end(), status) == success.end())
            throw EFTPError(reply.empty() ? "The server closed the connection." : reply);
        return reply;
    });
}

std::string TFTPClient::PrintWorkingDirectory()
{
    return QuotedDirectory(Command("PWD", "", {257}));
}

void TFTPClient::Store(const std::string& name, std::istream& content, const std::function<void(std::int64_t)>& work)
{
    if (!Session)
        throw EFTPError("Not connected.");
    try {
        SendUpload(name, content, work);
    } catch (const EFTPError&) {
        // Poco keeps the data stream of a broken upload until the transfer is ended.
        try {
            Session->endUpload();
        } catch (const Poco::Exception&) {
        } catch (const std::exception&) {
        }
        throw;
    }
}

void TFTPClient::SendUpload(const std::string& name, std::istream& content,
                            const std::function<void(std::int64_t)>& work)
{
    Guarded([&] {
        std::ostream& upload = Session->beginUpload(name);
        // Large pieces go straight to the socket; the stream's own buffer would cut them small.
        Poco::Net::StreamSocket data = dynamic_cast<Poco::Net::SocketStream&>(upload).socket();
        std::vector<char> piece(StorePieceBytes);
        std::int64_t sent = 0;
        while (content.read(piece.data(), static_cast<std::streamsize>(piece.size())) || content.gcount() > 0) {
            const auto count = static_cast<std::size_t>(content.gcount());
            SendAll(data, piece.data(), count);
            sent += static_cast<std::int64_t>(count);
            if (work)
                work(sent);
        }
        if (content.bad())
            throw EFTPError("Could not read the file " + name + ".");
        Session->endUpload();
    });
}

std::vector<std::string> TFTPClient::NameList(const std::string& argument)
{
    if (!Session)
        throw EFTPError("Not connected.");
    return Guarded([&] {
        std::istream& listing = Session->beginList(argument, false);
        std::vector<std::string> names;
        for (std::string line; std::getline(listing, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                names.push_back(line);
        }
        Session->endList();
        return names;
    });
}

bool TFTPClient::Connected() const
{
    return Session && Session->isOpen();
}

void TFTPClient::Close()
{
    if (!Session)
        return;
    Status("Disconnecting.");
    // A polite goodbye when the server still listens; it may well not.
    try {
        Session->setTimeout(AsTimespan(QuitTimeout));
        std::string reply;
        Session->sendCommand("QUIT", reply);
    } catch (const Poco::Exception&) {
    }
    std::unique_ptr<FTPClientSession> closing = std::move(Session);
    SocketHandle = -1;
    Guarded([&] { closing->close(); });
    Status("Disconnected.");
}

std::intptr_t TFTPClient::ControlSocketHandle() const
{
    return SocketHandle;
}

}  // namespace tavrin
