#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Poco::Net {
class FTPClientSession;
}

namespace tavrin {

// Any failure of the FTP conversation: a reply outside those expected (the
// text is the server's reply), a socket error or a time-out.
class EFTPError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One FTP client: the control connection and the data connections it opens,
// speaking only the commands the caller names. Every operation raises
// EFTPError on failure. Not shared between threads.
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

    // Opens the control connection and reads the greeting (220). A zero
    // connect time-out leaves the system's own; replies are awaited up to
    // readTimeout. Any session still open is closed first.
    void Open(const std::string& host, std::uint16_t port, std::chrono::milliseconds connectTimeout,
              std::chrono::milliseconds readTimeout);

    // "USER", then "PASS" when the server asks for it, then "SYST" (200, 215 or 500).
    void LogOn(const std::string& user, const std::string& password);

    // From now on data connections are opened with "PASV" (true) or "PORT" (false).
    void SetPassive(bool passive);

    // Sends the command (with its argument unless empty) and returns the
    // reply; a reply code outside success raises with the reply's text.
    std::string Command(const std::string& command, const std::string& argument, std::initializer_list<int> success);

    // "PWD": the directory between the double quotes of the reply.
    std::string PrintWorkingDirectory();

    // "STOR" name with the content; work is called with the count of bytes
    // sent so far after each piece. Opens the data connection first.
    void Store(const std::string& name, std::istream& content, const std::function<void(std::int64_t)>& work);

    // "NLST" with the argument: the names the server lists, in its order.
    std::vector<std::string> NameList(const std::string& argument);

    // True while the control connection is open (a dropped connection shows
    // only when it is next used).
    bool Connected() const;

    // Sends "QUIT" when it can and closes the control connection; harmless
    // when nothing is open.
    void Close();

    // The control connection's socket, or -1.
    std::intptr_t ControlSocketHandle() const;

private:
    void Status(const std::string& text) const;
    void SendUpload(const std::string& name, std::istream& content, const std::function<void(std::int64_t)>& work);

    std::unique_ptr<Poco::Net::FTPClientSession> Session;
    bool Passive = true;
    std::intptr_t SocketHandle = -1;
};

}  // namespace tavrin
