#include "engines/delivery/FTPClient.h"

#include "base/platform/SocketOptions.h"
#include "engines/delivery/TLSPeer.h"

#include <Poco/Exception.h>
#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/SocketDefs.h>
#include <Poco/Net/StreamSocket.h>

#include <algorithm>
#include <cctype>
#include <istream>
#include <optional>

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

// A wait as the log says it: "60 s", or "1500 ms" when not whole seconds.
std::string DurationText(std::chrono::milliseconds wait)
{
    if (wait.count() % 1000 == 0)
        return std::to_string(wait.count() / 1000) + " s";
    return std::to_string(wait.count()) + " ms";
}

std::string NoAnswer(const std::string& step, std::chrono::milliseconds wait)
{
    return "The FTP server did not answer " + step + " within " + DurationText(wait) + ": timed out";
}

// Runs one step that waits on a socket; the library's time-out becomes an
// EFTPTimeout with the text that names the step.
template <typename TStep>
auto Timed(const std::string& timedOut, TStep&& step) -> decltype(step())
{
    try {
        return step();
    } catch (const Poco::TimeoutException&) {
        throw EFTPTimeout(timedOut);
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

// A write that would have waited: the library reports it as a failed write.
bool WouldBlock(const Poco::Exception& error)
{
    return dynamic_cast<const Poco::TimeoutException*>(&error) ||
           (dynamic_cast<const Poco::IOException*>(&error) &&
            (error.code() == POCO_EAGAIN || error.code() == POCO_EWOULDBLOCK));
}

// Sends the whole piece on the data connection, which does not block: each
// wait for room lasts at most the stall time-out, so the upload fails as
// soon as no byte has moved for that long, however much was sent before.
void SendAll(Poco::Net::StreamSocket& data, const char* bytes, std::size_t count, std::chrono::milliseconds stall,
             const std::string& stalled)
{
    while (count > 0) {
        if (!data.poll(AsTimespan(stall), Poco::Net::Socket::SELECT_WRITE))
            throw EFTPTimeout(stalled);
        int sent = 0;
        try {
            sent = data.sendBytes(bytes, static_cast<int>(count));
        } catch (const Poco::Exception& error) {
            if (!WouldBlock(error))
                throw;
            continue;
        }
        if (sent < 0)
            continue;
        if (sent == 0)
            throw EFTPError("The data connection was closed while sending.");
        bytes += sent;
        count -= static_cast<std::size_t>(sent);
    }
}

// Reads what the server sent on a TLS data connection during an upload (a
// newer TLS hands over session tickets after the handshake): closing a
// socket with unread bytes resets the connection, and the server would lose
// the end of the file.
void DrainUnread(Poco::Net::StreamSocket& data)
{
    const Poco::Timespan brief(0, 20000);
    data.setReceiveTimeout(brief);
    char discarded[4096];
    try {
        while (data.poll(brief, Poco::Net::Socket::SELECT_READ))
            if (data.receiveBytes(discarded, sizeof discarded) <= 0)
                return;
    } catch (const Poco::Exception&) {
        // Nothing more to read now.
    }
}

}  // namespace

// Poco's session, with data connections that honour the time-outs: the
// connection is opened within the stall time-out and every byte on it moves
// within the stall time-out too. The commands are the library's own.
class TFTPSession : public FTPClientSession {
public:
    TFTPSession(const Poco::Net::StreamSocket& socket, const TFTPTimeouts& timeouts, TTLSPeer* peer)
        : FTPClientSession(socket, false), Timeouts(timeouts), Peer(peer)
    {
        setTimeout(AsTimespan(timeouts.Reply));
    }

    // Closes both directions of the control connection: whatever still
    // waits on it fails at once.
    void ShutDown()
    {
        try {
            if (_pControlSocket)
                _pControlSocket->shutdown();
        } catch (const Poco::Exception&) {
            // Already gone.
        }
    }

protected:
    Poco::Net::StreamSocket establishDataConnection(const std::string& command, const std::string& argument) override
    {
        Poco::Net::StreamSocket data = getPassive() ? PassiveData(command, argument) : ActiveData(command, argument);
        data.setSendTimeout(AsTimespan(Timeouts.Stall));
        data.setReceiveTimeout(AsTimespan(Timeouts.Stall));
        LastData = data;
        return data;
    }

public:
    // The data connection opened last, handed over once (and then no longer
    // held here, so that closing the library's stream closes it): the
    // library's stream gives out its socket without counting the reference.
    Poco::Net::StreamSocket TakeDataConnection()
    {
        Poco::Net::StreamSocket data = LastData.value();
        LastData.reset();
        return data;
    }

protected:
private:
    // "PASV", the connection to the address it names, then the command.
    Poco::Net::StreamSocket PassiveData(const std::string& command, const std::string& argument)
    {
        const Poco::Net::SocketAddress address =
            Timed(NoAnswer("PASV", Timeouts.Reply), [&] { return sendPassiveCommand(); });
        Poco::Net::StreamSocket data;
        Timed("Could not open the data connection to " + address.toString() + " within " +
                  DurationText(Timeouts.Stall) + ": timed out",
              [&] { data.connect(address, AsTimespan(Timeouts.Stall)); });
        BeginTransfer(command, argument);
        return Protected(data);
    }

    // "PORT" with a listening socket, the command, then the server's connection.
    Poco::Net::StreamSocket ActiveData(const std::string& command, const std::string& argument)
    {
        Poco::Net::ServerSocket server(Poco::Net::SocketAddress(_pControlSocket->address().host(), 0));
        Timed(NoAnswer("PORT", Timeouts.Reply), [&] { sendPortCommand(server.address()); });
        BeginTransfer(command, argument);
        if (!server.poll(AsTimespan(Timeouts.Stall), Poco::Net::Socket::SELECT_READ))
            throw EFTPTimeout("The FTP server did not open the data connection within " + DurationText(Timeouts.Stall) +
                              ": timed out");
        Poco::Net::StreamSocket data = server.acceptConnection();
        data.setSendTimeout(AsTimespan(Timeouts.Stall));
        data.setReceiveTimeout(AsTimespan(Timeouts.Stall));
        return Protected(data);
    }

    // In a secure session the data connection runs in TLS as well; the
    // server begins its side once it has answered the command.
    Poco::Net::StreamSocket Protected(Poco::Net::StreamSocket& data)
    {
        if (!Peer)
            return data;
        data.setSendTimeout(AsTimespan(Timeouts.Stall));
        data.setReceiveTimeout(AsTimespan(Timeouts.Stall));
        try {
            return Peer->SecureData(data);
        } catch (const ETLSRefused& refusal) {
            throw EFTPError(refusal.what());
        }
    }

    void BeginTransfer(const std::string& command, const std::string& argument)
    {
        std::string response;
        const int status = Timed(NoAnswer(argument.empty() ? command : command + " " + argument, Timeouts.Reply),
                                 [&] { return sendCommand(command, argument, response); });
        if (!isPositivePreliminary(status))
            throw Poco::Net::FTPException(command + " command failed", response, status);
    }

    const TFTPTimeouts Timeouts;
    TTLSPeer* const Peer;
    std::optional<Poco::Net::StreamSocket> LastData;
};

template <typename TOperation>
auto TFTPClient::Guarded(TOperation&& operation) -> decltype(operation())
{
    try {
        return operation();
    } catch (const EFTPTimeout& timeout) {
        Lose(timeout.what());
        throw;
    } catch (const Poco::TimeoutException&) {
        // A wait that no step named is still a time-out of this session.
        const std::string reason = NoAnswer("in time", Timeouts.Reply);
        Lose(reason);
        throw EFTPTimeout(reason);
    } catch (const Poco::Exception& error) {
        throw EFTPError(ErrorText(error));
    } catch (const std::ios_base::failure& error) {
        throw EFTPError(error.what());
    }
}

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

void TFTPClient::Open(const std::string& host, std::uint16_t port, const TFTPTimeouts& timeouts)
{
    Close();
    Peer.reset();
    OpenWith(host, port, timeouts);
}

void TFTPClient::OpenSecure(const std::string& host, std::uint16_t port, const TFTPTimeouts& timeouts,
                            const TTLSTrust& trust)
{
    Close();
    Peer = std::make_unique<TTLSPeer>(trust);
    OpenWith(host, port, timeouts);
}

const std::optional<TServerCertificate>& TFTPClient::Certificate() const
{
    static const std::optional<TServerCertificate> none;
    return Peer ? Peer->Certificate() : none;
}

void TFTPClient::OpenWith(const std::string& host, std::uint16_t port, const TFTPTimeouts& timeouts)
{
    Lost.clear();
    Timeouts = timeouts;
    // A peer that vanishes must fail a write, not end the process.
    IgnoreBrokenPipeSignal();
    Guarded([&] {
        Status("Resolving hostname " + host + ".");
        const Poco::Net::SocketAddress address(host, port);
        Status("Connecting to " + address.toString() + ".");
        Poco::Net::StreamSocket socket;
        if (timeouts.Connect.count() > 0)
            Timed("Could not connect to " + address.toString() + " within " + DurationText(timeouts.Connect) +
                      ": timed out",
                  [&] { socket.connect(address, AsTimespan(timeouts.Connect)); });
        else
            socket.connect(address);
        Status("Connected.");
        if (OnConnected)
            OnConnected(static_cast<std::intptr_t>(socket.impl()->sockfd()));
        socket.setReceiveTimeout(AsTimespan(timeouts.Reply));
        // Commands are short, but a peer that stops reading must not hold them either.
        socket.setSendTimeout(AsTimespan(timeouts.Reply));

        // The greeting is read here, so that only 220 counts; the server says
        // nothing more until it is spoken to, so no reply is read ahead.
        std::string greeting;
        Poco::Net::DialogSocket dialog(socket);
        const int status =
            Timed("The FTP server sent no greeting within " + DurationText(timeouts.Reply) + ": timed out",
                  [&] { return dialog.receiveStatusMessage(greeting); });
        if (status != 220)
            throw EFTPError(greeting.empty() ? "The server closed the connection without a greeting." : greeting);

        Poco::Net::StreamSocket control = socket;
        if (Peer) {
            std::string reply;
            dialog.sendMessage("AUTH TLS");
            const int answer =
                Timed(NoAnswer("AUTH TLS", timeouts.Reply), [&] { return dialog.receiveStatusMessage(reply); });
            if (answer != 234) {
                socket.close();
                throw EFTPError("The FTP server does not offer TLS (AUTH TLS: " +
                                (reply.empty() ? std::string("no reply") : reply) +
                                "); the user name and password were not sent");
            }
            try {
                control = Peer->Secure(socket);
            } catch (const ETLSRefused& refusal) {
                throw EFTPError(refusal.what());
            }
        }
        Session = std::make_unique<TFTPSession>(control, timeouts, Peer.get());
        Session->setPassive(Passive, false);
        SocketHandle = static_cast<std::intptr_t>(socket.impl()->sockfd());
    });
}

void TFTPClient::LogOn(const std::string& user, const std::string& password)
{
    TFTPSession& session = OpenSession();
    Guarded([&] {
        std::string reply;
        int status = Timed(NoAnswer("USER", Timeouts.Reply), [&] { return session.sendCommand("USER", user, reply); });
        if (status == 331)
            status =
                Timed(NoAnswer("PASS", Timeouts.Reply), [&] { return session.sendCommand("PASS", password, reply); });
        if (status != 230 && status != 202)
            throw EFTPError(reply);
    });
    Command("SYST", "", {200, 215, 500});
    if (Peer) {
        Command("PBSZ", "0", {200});
        Command("PROT", "P", {200});
    }
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
    TFTPSession& session = OpenSession();
    return Guarded([&] {
        std::string reply;
        const int status = Timed(NoAnswer(command, Timeouts.Reply), [&] {
            return argument.empty() ? session.sendCommand(command, reply)
                                    : session.sendCommand(command, argument, reply);
        });
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
    TFTPSession& session = OpenSession();
    Guarded([&] {
        session.beginUpload(name);
        try {
            // Large pieces go straight to the socket; the stream's own buffer would cut them small.
            Poco::Net::StreamSocket data = session.TakeDataConnection();
            // TLS writes whole records: there the send time-out bounds each wait instead.
            if (!Peer)
                data.setBlocking(false);
            const std::string stalled =
                "The upload of " + name + " stalled for " + DurationText(Timeouts.Stall) + ": timed out";
            std::vector<char> piece(StorePieceBytes);
            std::int64_t sent = 0;
            while (content.read(piece.data(), static_cast<std::streamsize>(piece.size())) || content.gcount() > 0) {
                const auto count = static_cast<std::size_t>(content.gcount());
                SendAll(data, piece.data(), count, Timeouts.Stall, stalled);
                sent += static_cast<std::int64_t>(count);
                if (work)
                    work(sent);
            }
            if (content.bad())
                throw EFTPError("Could not read the file " + name + ".");
            if (Peer) {
                DrainUnread(data);
                Peer->KeepSessionOf(data);
            }
        } catch (const EFTPTimeout&) {
            // The session is lost; the upload ends with it.
            throw;
        } catch (...) {
            AbandonUpload();
            throw;
        }
        Timed("The FTP server did not confirm the upload of " + name + " within " + DurationText(Timeouts.Reply) +
                  ": timed out",
              [&] { session.endUpload(); });
    });
}

void TFTPClient::AbandonUpload()
{
    // Only ending the transfer frees the library's data stream; the reply
    // that follows is not awaited for long.
    try {
        Session->setTimeout(AsTimespan(std::min<std::chrono::milliseconds>(QuitTimeout, Timeouts.Reply)));
        Session->endUpload();
    } catch (const Poco::Exception&) {
    }
}

void TFTPClient::Lose(const std::string& reason)
{
    Lost = reason;
    if (!Session)
        return;
    std::unique_ptr<TFTPSession> lost = std::move(Session);
    SocketHandle = -1;
    lost->ShutDown();
    // Frees a data connection that the library still holds; its reply fails at once now.
    try {
        lost->endUpload();
    } catch (const Poco::Exception&) {
    }
    try {
        lost->close();
    } catch (const Poco::Exception&) {
    }
    Status("Disconnected.");
}

TFTPSession& TFTPClient::OpenSession()
{
    if (!Session)
        throw EFTPError(Lost.empty() ? "Not connected." : Lost);
    return *Session;
}

std::optional<std::string> TFTPClient::Retrieve(const std::string& name, std::size_t maxBytes,
                                                const std::function<void(std::int64_t)>& work)
{
    TFTPSession& session = OpenSession();
    return Guarded([&]() -> std::optional<std::string> {
        try {
            session.beginDownload(name);
        } catch (const Poco::Net::FTPException& refusal) {
            if (refusal.code() == 550)
                return std::nullopt;
            throw;
        }
        std::string content;
        try {
            // Read from the socket itself: the stream would hide a stall as an end of file.
            Poco::Net::StreamSocket data = session.TakeDataConnection();
            const std::string stalled =
                "The download of " + name + " stalled for " + DurationText(Timeouts.Stall) + ": timed out";
            std::vector<char> piece(64 * 1024);
            for (;;) {
                const int received =
                    Timed(stalled, [&] { return data.receiveBytes(piece.data(), static_cast<int>(piece.size())); });
                if (received <= 0)
                    break;
                if (content.size() + static_cast<std::size_t>(received) > maxBytes)
                    throw EFTPTooLarge(name + " is larger than " + std::to_string(maxBytes) + " bytes");
                content.append(piece.data(), static_cast<std::size_t>(received));
                if (work)
                    work(static_cast<std::int64_t>(content.size()));
            }
            if (Peer)
                Peer->KeepSessionOf(data);
        } catch (const EFTPTimeout&) {
            throw;
        } catch (...) {
            AbandonDownload();
            throw;
        }
        Timed("The FTP server did not confirm the download of " + name + " within " + DurationText(Timeouts.Reply) +
                  ": timed out",
              [&] { session.endDownload(); });
        return content;
    });
}

void TFTPClient::AbandonDownload()
{
    try {
        Session->setTimeout(AsTimespan(std::min<std::chrono::milliseconds>(QuitTimeout, Timeouts.Reply)));
        Session->endDownload();
    } catch (const Poco::Exception&) {
    }
    Session->setTimeout(AsTimespan(Timeouts.Reply));
}

std::vector<std::string> TFTPClient::NameList(const std::string& argument)
{
    TFTPSession& session = OpenSession();
    return Guarded([&] {
        std::istream& listing = session.beginList(argument, false);
        std::optional<Poco::Net::StreamSocket> data = session.TakeDataConnection();
        // A failed read must raise, not pass for the end of the listing.
        listing.exceptions(std::ios::badbit);
        std::vector<std::string> names;
        Timed("The listing of " + argument + " stalled for " + DurationText(Timeouts.Stall) + ": timed out", [&] {
            for (std::string line; std::getline(listing, line);) {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (!line.empty())
                    names.push_back(line);
            }
        });
        if (Peer)
            Peer->KeepSessionOf(*data);
        // Ours must go before the library closes the connection.
        data.reset();
        Timed("The FTP server did not confirm the listing of " + argument + " within " + DurationText(Timeouts.Reply) +
                  ": timed out",
              [&] { session.endList(); });
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
        Session->setTimeout(AsTimespan(std::min<std::chrono::milliseconds>(QuitTimeout, Timeouts.Reply)));
        std::string reply;
        Session->sendCommand("QUIT", reply);
    } catch (const Poco::Exception&) {
    }
    std::unique_ptr<TFTPSession> closing = std::move(Session);
    SocketHandle = -1;
    try {
        closing->close();
    } catch (const Poco::Exception& error) {
        Status("Disconnected.");
        throw EFTPError(ErrorText(error));
    }
    Status("Disconnected.");
}

std::intptr_t TFTPClient::ControlSocketHandle() const
{
    return SocketHandle;
}

}  // namespace tavrin
