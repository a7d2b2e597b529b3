#pragma once

#include "base/settings/SettingsRecord.h"
#include "engines/delivery/FTPClient.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace tavrin {

// "STOR" of the content under the name's unfinished name, then "RNFR" and
// "RNTO" to the name itself (where the server refuses to replace a file,
// "DELE" of it and the rename again). Raises EFTPError.
void StoreWhole(TFTPClient& client, const std::string& name, std::istream& content,
                const std::function<void(std::int64_t)>& work);

// What a session tells its owner while it works; any of them may be empty.
struct TSessionReports {
    // A line for the log: a failed attempt with its reason, a local file
    // that cannot be opened, the expiry of a pinned certificate.
    std::function<void(const std::string& line)> Line;
    // A status of the client (resolving, connecting, ...) or a passing
    // problem of the connection, for the task's own log.
    std::function<void(const std::string& status)> Status;
    // The rounded percentage of the file being sent, each time it changes.
    std::function<void(int percent)> Progress;
};

// The FTP session of the delivery tasks with the web host: log on with the
// settings it was given and find the remote root, keep-alives on the control
// connection, walk to a full remote path (making what is missing), list
// names, send one file whole with up to three attempts, log off. Every
// operation raises EFTPError whose text is the reason, trimmed. When three
// attempts in a row, or one log-on, end in a time-out, the server counts as
// unresponsive and no later operation waits for it again. Not shared between
// threads; the client lives as long as the session.
class TWebHostSession {
public:
    TWebHostSession(TSettingsRecord settings, TSessionReports reports);
    ~TWebHostSession();
    TWebHostSession(const TWebHostSession&) = delete;
    TWebHostSession& operator=(const TWebHostSession&) = delete;

    static constexpr std::chrono::milliseconds ConnectTimeout{30000};
    static constexpr int KeepAliveIdleMilliseconds = 300000;
    static constexpr int KeepAliveIntervalMilliseconds = 1000;

    // The settings' reply and stall time-outs, with the session's connect time-out.
    static TFTPTimeouts Timeouts(const TSettingsRecord& settings);

    // Logs on, sets the data connection mode, changes to the initial
    // directory and records the root; on failure the session is closed
    // again. Once the server is unresponsive it raises at once with that
    // reason, so that no later file waits again.
    void Connect();
    // Clears both remote paths and closes the session if it is open. Never
    // raises: the session is closed even when the goodbye fails.
    void Disconnect();
    bool Connected() const;

    // The path the server reported after log-on: the root of everything the
    // session does remotely; empty while not connected.
    const std::string& RootPath() const { return RootRemotePath; }
    // Where the session is on the server, with a trailing slash.
    const std::string& CurrentPath() const { return CurrentRemotePath; }

    // Changes to the normalised full remote path, creating missing folders.
    void ChangeDirectory(const std::string& remotePath);
    // Changes to an existing full remote path, never making it.
    void EnterExisting(const std::string& remotePath);
    // "NLST" without a pattern in the current remote directory (not every
    // server expands one, and a plain listing names everything).
    std::vector<std::string> NameList();

    // Sends localFolder + fileName into the normalised remote folder under
    // its unfinished name and renames it when whole, trying the two together
    // up to three times and connecting again after a failure; each failed
    // attempt is a line with its reason. A failed log-on ends the attempts at
    // once. A local file that cannot be opened is one line and no attempt,
    // and raises std::runtime_error.
    void SendFile(const std::string& localFolder, const std::string& remoteFolder, const std::string& fileName);
    // The attempts of SendFile for content already open (read from its start
    // at each attempt) of size bytes, stored under fileName.
    void SendContent(std::istream& content, std::int64_t size, const std::string& remoteFolder,
                     const std::string& fileName);

    // The client, for the commands a task speaks itself (DELE, RMD, RETR).
    TFTPClient& Client() { return *FTP; }

private:
    void LogOn();
    void KeepAliveStep(std::intptr_t socketHandle);
    void Work(std::int64_t count);
    // After a failure with the reason: when the session was lost to a
    // time-out, one more attempt timed out, and a log-on that timed out
    // (atOnce) is the last wait.
    void NoteTimeOut(bool atOnce, const std::string& reason);
    // Disconnect, giving the reason closing failed (empty when it did not).
    std::string Close();
    void ReadCurrentRemotePath();
    void EnterOrMakeFolder(const std::string& name);
    // Raises unless the current remote path holds the normalised remote path.
    void CheckAt(const std::string& remotePath) const;
    void StoreFile(std::istream& content, const std::string& fileName);

    const TSettingsRecord Settings;
    const TSessionReports Reports;
    std::unique_ptr<TFTPClient> FTP;
    std::string CurrentRemotePath;
    std::string RootRemotePath;
    std::uint32_t UseKeepAlive = 0;
    // The size of the file being sent, and the last percentage reported
    // (kept from one file to the next, as the task's bar is).
    std::int64_t TransferSize = 0;
    int LastPercent = 0;
    // Attempts in a row that ended in a time-out; the reason of the last one.
    int TimedOutAttempts = 0;
    std::string Unresponsive;
    // The expiry of a pinned certificate has been told.
    bool ExpiryNoted = false;
};

}  // namespace tavrin
