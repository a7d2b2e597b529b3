#include "engines/delivery/FTPClient.h"

#include "base/platform/SocketOptions.h"
#include "engines/delivery/TLSPeer.h"

#include <Poco/Exception.h>
#include <Poco/Net/IPAddress.h>
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

using Clock = std::chrono::steady_clock;

// Pieces of a file handed to the data connection at once: large enough that
// a fast link is never starved, small enough for smooth progress.
constexpr std::size_t StorePieceBytes = 256 * 1024;

// How long a closing session waits for the reply to "QUIT".
constexpr std::chrono::seconds QuitTimeout(5);

// The most a reply on the control connection may hold. Welcome banners run
// to a few dozen lines; a server that sends more is stalling the station or
// trying to fill its memory.
constexpr std::size_t MaxReplyLines = 200;
constexpr std::size_t MaxReplyBytes = 64 * 1024;

// The most a name listing may hold: folders of a few thousand names stay far below.
constexpr std::size_t MaxListingBytes = 4 * 1024 * 1024;

// Bytes read from a socket at once.
constexpr std::size_t ReadPieceBytes = 64 * 1024;

Poco::Timespan AsTimespan(std::chrono::milliseconds duration)
{
    return Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(duration.count()) * 1000);
}

// The time left until the deadline, never less than a millisecond (a zero
// socket time-out would mean no time-out at all).
std::chrono::milliseconds Remaining(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max(left, std::chrono::milliseconds(1));
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

// Closes a socket whose peer may already be gone.
void CloseQuietly(Poco::Net::StreamSocket& socket)
{
    try {
        socket.close();
    } catch (const Poco::Exception&) {
    }
}

// A reply past the bounds of a reply: the server is not trusted with the
// session any longer, as after a time-out.
class EFTPUnbounded : public EFTPError {
public:
    using EFTPError::EFTPError;
};

// A reply outside those expected, with its code.
class EFTPRefused : public EFTPError {
public:
    EFTPRefused(int code, const std::string& text) : EFTPError(text), Code(code) {}
    const int Code;
};

struct TReply {
    int Code = 0;      // 0: the server closed the connection without a reply
    std::string Text;  // every line, joined by line feeds
};

// What a wait for one reply is called in its errors: "greeting" or "reply to
// USER", and the text when nothing at all arrived in time.
struct TReplyStep {
    std::string Subject;
    std::string Silent;
};

// The error text of a reply that was not the one wanted.
std::string ReplyText(const TReply& reply)
{
    return reply.Text.empty() ? std::string("The server closed the connection.") : reply.Text;
}

// The three digits that begin a reply line, or -1.
int ReplyCode(const std::string& line)
{
    if (line.size() < 3)
        return -1;
    int code = 0;
    for (std::size_t at = 0; at < 3; ++at) {
        if (!std::isdigit(static_cast<unsigned char>(line[at])))
            return -1;
        code = code * 10 + (line[at] - '0');
    }
    return code;
}

// The port of an "EPSV" reply: "229 Entering Extended Passive Mode (|||port|)".
std::uint16_t ExtendedPassivePort(const std::string& reply)
{
    const std::size_t open = reply.find('(');
    if (open != std::string::npos && open + 4 < reply.size()) {
        const char delimiter = reply[open + 1];
        std::size_t at = open + 1;
        if (reply[at + 1] == delimiter && reply[at + 2] == delimiter) {
            at += 3;
            long port = 0;
            std::size_t digits = 0;
            while (at < reply.size() && std::isdigit(static_cast<unsigned char>(reply[at])) && digits < 6) {
                port = port * 10 + (reply[at] - '0');
                ++at;
                ++digits;
            }
            if (digits > 0 && at < reply.size() && reply[at] == delimiter && port > 0 && port < 65536)
                return static_cast<std::uint16_t>(port);
        }
    }
    throw EFTPError("The FTP server's reply to EPSV names no port: " + reply);
}

// The port of a "PASV" reply, "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)";
// the address before it is not used.
std::uint16_t PassivePort(const std::string& reply)
{
    std::size_t at = reply.size() > 3 ? 3 : reply.size();
    while (at < reply.size() && !std::isdigit(static_cast<unsigned char>(reply[at])))
        ++at;
    int numbers[6] = {};
    for (int index = 0; index < 6; ++index) {
        std::size_t digits = 0;
        int number = 0;
        while (at < reply.size() && std::isdigit(static_cast<unsigned char>(reply[at])) && digits < 3) {
            number = number * 10 + (reply[at] - '0');
            ++at;
            ++digits;
        }
        const bool separated = index == 5 || (at < reply.size() && reply[at] == ',');
        if (digits == 0 || number > 255 || !separated)
            throw EFTPError("The FTP server's reply to PASV names no port: " + reply);
        numbers[index] = number;
        ++at;
    }
    const int port = numbers[4] * 256 + numbers[5];
    if (port == 0)
        throw EFTPError("The FTP server's reply to PASV names no port: " + reply);
    return static_cast<std::uint16_t>(port);
}

// Reads a data connection to its end: within the stall time-out for each
// piece and the deadline for the whole, keeping at most maxBytes.
struct TDataRead {
    std::size_t MaxBytes = 0;
    Clock::time_point Deadline;
    std::chrono::milliseconds Stall{0};
    std::string Stalled;   // no byte moved for the stall time-out
    std::string TooLong;   // the deadline passed
    std::string TooLarge;  // more than MaxBytes
};

std::string ReadToEnd(Poco::Net::StreamSocket& data, const TDataRead& read,
                      const std::function<void(std::int64_t)>& work)
{
    std::string content;
    std::vector<char> piece(ReadPieceBytes);
    for (;;) {
        if (Clock::now() >= read.Deadline)
            throw EFTPTimeout(read.TooLong);
        const std::chrono::milliseconds left = Remaining(read.Deadline);
        const bool deadlineFirst = left < read.Stall;
        data.setReceiveTimeout(AsTimespan(deadlineFirst ? left : read.Stall));
        const int received = Timed(deadlineFirst ? read.TooLong : read.Stalled,
                                   [&] { return data.receiveBytes(piece.data(), static_cast<int>(piece.size())); });
        if (received <= 0)
            return content;
        if (content.size() + static_cast<std::size_t>(received) > read.MaxBytes)
            throw EFTPTooLarge(read.TooLarge);
        content.append(piece.data(), static_cast<std::size_t>(received));
        if (work)
            work(static_cast<std::int64_t>(content.size()));
    }
}

}  // namespace

// The conversation on the control connection: each reply read within the
// reply time-out and the bounds above, and the data connections opened by
// the client itself, so that no command is sent that the caller did not ask
// for and no address of the server's choosing is connected to.
class TFTPSession {
public:
    TFTPSession(const Poco::Net::StreamSocket& control, const TFTPTimeouts& timeouts)
        : Timeouts(timeouts), Control(control), Peer(control.peerAddress().host())
    {
    }

    // Secures the control connection once the server agreed to "AUTH TLS".
    void Secure(TTLSPeer& peer)
    {
        // Anything the server sent after its agreement travelled in plain
        // text: it must not pass for a reply inside TLS.
        Unread.clear();
        try {
            Control = peer.Secure(Control);
        } catch (const ETLSRefused& refusal) {
            throw EFTPError(refusal.what());
        }
        Tls = &peer;
    }

    TReplyStep Step(const std::string& step) const { return {"reply to " + step, NoAnswer(step, Timeouts.Reply)}; }

    // The command (with its argument unless empty) and its reply; "shown"
    // names it in errors (a password is not shown).
    TReply Ask(const std::string& command, const std::string& argument, const std::string& shown)
    {
        const TReplyStep step = Step(shown);
        Send(argument.empty() ? command : command + " " + argument, step.Silent);
        return Receive(step, Timeouts.Reply);
    }

    void Send(const std::string& line, const std::string& timedOut)
    {
        // A line break would let a name smuggle in a command of its own.
        if (line.find_first_of("\r\n") != std::string::npos)
            throw EFTPError("The FTP command \"" + line.substr(0, line.find_first_of("\r\n")) +
                            "...\" holds a line break; it was not sent");
        const std::string bytes = line + "\r\n";
        Timed(timedOut, [&] {
            Control.setSendTimeout(AsTimespan(Timeouts.Reply));
            std::size_t sent = 0;
            while (sent < bytes.size()) {
                const int count = Control.sendBytes(bytes.data() + sent, static_cast<int>(bytes.size() - sent));
                if (count <= 0)
                    throw EFTPError("The FTP server closed the connection.");
                sent += static_cast<std::size_t>(count);
            }
        });
    }

    // One reply, single or multi-line, within the wait for the whole of it.
    TReply Receive(const TReplyStep& step, std::chrono::milliseconds wait)
    {
        const Clock::time_point deadline = Clock::now() + wait;
        const std::string named = "The FTP server's " + step.Subject;
        TReply reply;
        std::string ending;  // "ddd " that ends a multi-line reply
        std::size_t lines = 0;
        std::size_t consumed = 0;
        std::size_t scanned = 0;
        for (;;) {
            const std::size_t end = Unread.find('\n', scanned);
            if (end == std::string::npos) {
                scanned = Unread.size();
                if (consumed + Unread.size() > MaxReplyBytes)
                    throw EFTPUnbounded(named + " ran past " + std::to_string(MaxReplyBytes) + " bytes");
                const bool begun = consumed > 0 || !Unread.empty();
                const std::string late =
                    begun ? named + " did not end within " + DurationText(wait) + ": timed out" : step.Silent;
                if (Clock::now() >= deadline)
                    throw EFTPTimeout(late);
                if (!ReceiveSome(deadline, late)) {
                    if (begun)
                        throw EFTPError("The FTP server closed the connection in the middle of its " + step.Subject);
                    return reply;
                }
                continue;
            }
            std::string line = Unread.substr(0, end);
            Unread.erase(0, end + 1);
            scanned = 0;
            consumed += end + 1;
            if (++lines > MaxReplyLines)
                throw EFTPUnbounded(named + " ran past " + std::to_string(MaxReplyLines) + " lines");
            if (consumed > MaxReplyBytes)
                throw EFTPUnbounded(named + " ran past " + std::to_string(MaxReplyBytes) + " bytes");
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (lines == 1) {
                reply.Text = line;
                reply.Code = ReplyCode(line);
                if (reply.Code >= 0 && line.size() > 3 && line[3] == '-') {
                    ending = line.substr(0, 3) + " ";
                    continue;
                }
                // A line without a code is no reply the client expects.
                reply.Code = std::max(reply.Code, 0);
                if (reply.Text.empty())
                    reply.Text = "(an empty line)";
                return reply;
            }
            reply.Text += '\n';
            reply.Text += line;
            if (line.compare(0, ending.size(), ending) == 0 || line == ending.substr(0, 3))
                return reply;
        }
    }

    // A data connection for the command, after the server's preliminary
    // reply; raises EFTPRefused when the server refuses the command.
    Poco::Net::StreamSocket OpenData(const std::string& command, const std::string& argument, bool passive)
    {
        Poco::Net::StreamSocket data = passive ? PassiveData(command, argument) : ActiveData(command, argument);
        data.setSendTimeout(AsTimespan(Timeouts.Stall));
        data.setReceiveTimeout(AsTimespan(Timeouts.Stall));
        return data;
    }

    // The server's word that a transfer is complete (2xx).
    void Confirm(const TReplyStep& step, std::chrono::milliseconds wait)
    {
        const TReply reply = Receive(step, wait);
        if (reply.Code < 200 || reply.Code > 299)
            throw EFTPError(ReplyText(reply));
    }

    // Ends a transfer the client gave up: the data connection is closed and
    // the server's reply to it is not awaited for long.
    void Abandon(Poco::Net::StreamSocket& data)
    {
        CloseQuietly(data);
        try {
            Receive({"reply to an abandoned transfer", "abandoned"},
                    std::min<std::chrono::milliseconds>(QuitTimeout, Timeouts.Reply));
        } catch (const EFTPError&) {
        } catch (const Poco::Exception&) {
        }
    }

    // Closes both directions of the control connection: whatever still
    // waits on it fails at once.
    void ShutDown()
    {
        try {
            Control.shutdown();
        } catch (const Poco::Exception&) {
            // Already gone.
        }
    }

    void Close() { Control.close(); }

    const TFTPTimeouts Timeouts;

private:
    // Waits for more of a reply until the deadline; false when the server closed the connection.
    bool ReceiveSome(Clock::time_point deadline, const std::string& late)
    {
        char piece[4096];
        const int received = Timed(late, [&] {
            // TLS may hold decrypted bytes the socket no longer shows.
            if (Control.available() <= 0 &&
                !Control.poll(AsTimespan(Remaining(deadline)), Poco::Net::Socket::SELECT_READ))
                throw Poco::TimeoutException();
            Control.setReceiveTimeout(AsTimespan(Remaining(deadline)));
            return Control.receiveBytes(piece, sizeof piece);
        });
        if (received <= 0)
            return false;
        Unread.append(piece, static_cast<std::size_t>(received));
        return true;
    }

    // "EPSV", or "PASV" once the server refused it; then the connection to
    // the control connection's peer, then the command.
    Poco::Net::StreamSocket PassiveData(const std::string& command, const std::string& argument)
    {
        const Poco::Net::SocketAddress address(Peer, PassiveDataPort());
        Poco::Net::StreamSocket data;
        Timed("Could not open the data connection to " + address.toString() + " within " +
                  DurationText(Timeouts.Stall) + ": timed out",
              [&] { data.connect(address, AsTimespan(Timeouts.Stall)); });
        BeginTransfer(command, argument);
        return Protected(data);
    }

    std::uint16_t PassiveDataPort()
    {
        if (!ExtendedRefused) {
            const TReply reply = Ask("EPSV", "", "EPSV");
            if (reply.Code == 229)
                return ExtendedPassivePort(reply.Text);
            if (reply.Code < 500 || reply.Code > 599)
                throw EFTPError(ReplyText(reply));
            // An older server: "PASV" from now on, without asking again.
            ExtendedRefused = true;
        }
        const TReply reply = Ask("PASV", "", "PASV");
        if (reply.Code != 227)
            throw EFTPError(ReplyText(reply));
        return PassivePort(reply.Text);
    }

    // "PORT" with a listening socket, the command, then the server's connection.
    Poco::Net::StreamSocket ActiveData(const std::string& command, const std::string& argument)
    {
        Poco::Net::ServerSocket server(Poco::Net::SocketAddress(Control.address().host(), 0));
        const Poco::Net::SocketAddress listening = server.address();
        if (listening.family() != Poco::Net::SocketAddress::IPv4)
            throw EFTPError("PORT needs an IPv4 connection to the FTP server; turn passive mode on");
        std::string port = listening.host().toString();
        std::replace(port.begin(), port.end(), '.', ',');
        port += "," + std::to_string(listening.port() / 256) + "," + std::to_string(listening.port() % 256);
        const TReply reply = Ask("PORT", port, "PORT");
        if (reply.Code != 200)
            throw EFTPError(ReplyText(reply));
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
        if (!Tls)
            return data;
        try {
            return Tls->SecureData(data);
        } catch (const ETLSRefused& refusal) {
            throw EFTPError(refusal.what());
        }
    }

    void BeginTransfer(const std::string& command, const std::string& argument)
    {
        const TReply reply = Ask(command, argument, argument.empty() ? command : command + " " + argument);
        if (reply.Code < 100 || reply.Code > 199)
            throw EFTPRefused(reply.Code, ReplyText(reply));
    }

    Poco::Net::StreamSocket Control;
    // The host the control connection reached: the only one data connections go to.
    const Poco::Net::IPAddress Peer;
    TTLSPeer* Tls = nullptr;
    // Bytes received and not yet part of a reply.
    std::string Unread;
    bool ExtendedRefused = false;
};

namespace {

// Reads a data connection to its end within the read's bounds, then waits
// for the server to confirm the transfer; what names it in the time-out
// ("the listing of NAME"). A read that fails abandons the connection first.
std::string ReceiveWhole(TFTPSession& session, TTLSPeer* peer, Poco::Net::StreamSocket& data, const TDataRead& read,
                         const std::function<void(std::int64_t)>& work, const std::string& what,
                         std::chrono::milliseconds replyTimeout)
{
    std::string content;
    try {
        content = ReadToEnd(data, read, work);
        if (peer)
            peer->KeepSessionOf(data);
        data.close();
    } catch (const EFTPTimeout&) {
        throw;
    } catch (...) {
        session.Abandon(data);
        throw;
    }
    session.Confirm({"reply to " + what, "The FTP server did not confirm " + what + " within " +
                                             DurationText(replyTimeout) + ": timed out"},
                    replyTimeout);
    return content;
}

}  // namespace

template <typename TOperation>
auto TFTPClient::Guarded(TOperation&& operation) -> decltype(operation())
{
    try {
        return operation();
    } catch (const EFTPTimeout& timeout) {
        Lose(timeout.what());
        throw;
    } catch (const EFTPUnbounded& unbounded) {
        Lose(unbounded.what());
        throw;
    } catch (const EFTPError&) {
        throw;
    } catch (const Poco::TimeoutException&) {
        // A wait that no step named is still a time-out of this session.
        const std::string reason = NoAnswer("in time", Timeouts.Reply);
        Lose(reason);
        throw EFTPTimeout(reason);
    } catch (const Poco::Exception& error) {
        throw EFTPError(error.displayText());
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

        // Held here until the greeting and TLS are through, so that a failure closes it.
        auto session = std::make_unique<TFTPSession>(socket, timeouts);
        // Only 220 counts; the server says nothing more until it is spoken to.
        const TReply greeting = session->Receive(
            {"greeting", "The FTP server sent no greeting within " + DurationText(timeouts.Reply) + ": timed out"},
            timeouts.Reply);
        if (greeting.Code != 220)
            throw EFTPError(greeting.Text.empty() ? "The server closed the connection without a greeting."
                                                  : greeting.Text);

        if (Peer) {
            const TReply reply = session->Ask("AUTH", "TLS", "AUTH TLS");
            if (reply.Code != 234) {
                CloseQuietly(socket);
                throw EFTPError("The FTP server does not offer TLS (AUTH TLS: " +
                                (reply.Text.empty() ? std::string("no reply") : reply.Text) +
                                "); the user name and password were not sent");
            }
            session->Secure(*Peer);
        }
        Session = std::move(session);
        SocketHandle = static_cast<std::intptr_t>(socket.impl()->sockfd());
    });
}

void TFTPClient::LogOn(const std::string& user, const std::string& password)
{
    TFTPSession& session = OpenSession();
    Guarded([&] {
        TReply reply = session.Ask("USER", user, "USER");
        if (reply.Code == 331)
            reply = session.Ask("PASS", password, "PASS");
        if (reply.Code != 230 && reply.Code != 202)
            throw EFTPError(ReplyText(reply));
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
}

std::string TFTPClient::Command(const std::string& command, const std::string& argument,
                                std::initializer_list<int> success)
{
    TFTPSession& session = OpenSession();
    return Guarded([&] {
        const TReply reply = session.Ask(command, argument, command);
        if (std::find(success.begin(), success.end(), reply.Code) == success.end())
            throw EFTPError(ReplyText(reply));
        return reply.Text;
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
        Poco::Net::StreamSocket data = session.OpenData("STOR", name, Passive);
        try {
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
            // The end of the connection is the end of the file.
            data.close();
        } catch (const EFTPTimeout&) {
            // The session is lost; the upload ends with it.
            throw;
        } catch (...) {
            session.Abandon(data);
            throw;
        }
        session.Confirm({"reply to the upload of " + name, "The FTP server did not confirm the upload of " + name +
                                                               " within " + DurationText(Timeouts.Reply) +
                                                               ": timed out"},
                        Timeouts.Reply);
    });
}

void TFTPClient::Lose(const std::string& reason)
{
    Lost = reason;
    if (!Session)
        return;
    std::unique_ptr<TFTPSession> lost = std::move(Session);
    SocketHandle = -1;
    lost->ShutDown();
    try {
        lost->Close();
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
                                                const std::function<void(std::int64_t)>& work,
                                                std::optional<std::chrono::milliseconds> deadline)
{
    TFTPSession& session = OpenSession();
    const std::chrono::milliseconds allowed = deadline.value_or(Timeouts.Reply);
    const Clock::time_point started = Clock::now();
    return Guarded([&]() -> std::optional<std::string> {
        Poco::Net::StreamSocket data;
        try {
            data = session.OpenData("RETR", name, Passive);
        } catch (const EFTPRefused& refusal) {
            if (refusal.Code == 550)
                return std::nullopt;
            throw;
        }
        TDataRead read;
        read.MaxBytes = maxBytes;
        read.Deadline = started + allowed;
        read.Stall = Timeouts.Stall;
        read.Stalled = "The download of " + name + " stalled for " + DurationText(Timeouts.Stall) + ": timed out";
        read.TooLong = "The download of " + name + " took longer than " + DurationText(allowed) + ": timed out";
        read.TooLarge = name + " is larger than " + std::to_string(maxBytes) + " bytes";
        return ReceiveWhole(session, Peer.get(), data, read, work, "the download of " + name, Timeouts.Reply);
    });
}

std::vector<std::string> TFTPClient::NameList(const std::string& argument)
{
    TFTPSession& session = OpenSession();
    const Clock::time_point started = Clock::now();
    return Guarded([&] {
        Poco::Net::StreamSocket data = session.OpenData("NLST", argument, Passive);
        const std::string listed = argument.empty() ? std::string("the current directory") : argument;
        TDataRead read;
        read.MaxBytes = MaxListingBytes;
        read.Deadline = started + Timeouts.Reply;
        read.Stall = Timeouts.Stall;
        read.Stalled = "The listing of " + listed + " stalled for " + DurationText(Timeouts.Stall) + ": timed out";
        read.TooLong = "The listing of " + listed + " took longer than " + DurationText(Timeouts.Reply) + ": timed out";
        read.TooLarge = "The listing of " + listed + " is larger than " + std::to_string(MaxListingBytes) + " bytes";
        const std::string content =
            ReceiveWhole(session, Peer.get(), data, read, nullptr, "the listing of " + listed, Timeouts.Reply);
        std::vector<std::string> names;
        std::size_t at = 0;
        while (at < content.size()) {
            std::size_t end = content.find('\n', at);
            if (end == std::string::npos)
                end = content.size();
            std::string line = content.substr(at, end - at);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                names.push_back(line);
            at = end + 1;
        }
        return names;
    });
}

bool TFTPClient::Connected() const
{
    return Session != nullptr;
}

void TFTPClient::Close()
{
    if (!Session)
        return;
    Status("Disconnecting.");
    std::unique_ptr<TFTPSession> closing = std::move(Session);
    SocketHandle = -1;
    // A polite goodbye when the server still listens; it may well not.
    try {
        const std::chrono::milliseconds wait = std::min<std::chrono::milliseconds>(QuitTimeout, Timeouts.Reply);
        const TReplyStep step = closing->Step("QUIT");
        closing->Send("QUIT", step.Silent);
        closing->Receive(step, wait);
    } catch (const EFTPError&) {
    } catch (const Poco::Exception&) {
    }
    try {
        closing->Close();
    } catch (const Poco::Exception& error) {
        Status("Disconnected.");
        throw EFTPError(error.displayText());
    }
    Status("Disconnected.");
}

std::intptr_t TFTPClient::ControlSocketHandle() const
{
    return SocketHandle;
}

}  // namespace tavrin
