#pragma once

#include "base/catalogue/JobDetailRecord.h"
#include "base/settings/SettingsRecord.h"
#include "base/tasking/TaskContext.h"
#include "base/tasking/TaskThread.h"
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

// The FTP session shared by the upload and deletion tasks: log on with the
// current settings and find the remote root, keep-alives on the control
// connection, change to a full remote path creating what is missing, send
// one file with up to three attempts, log off. The client's progress and
// status become task log lines. Operations returning bool leave the reason
// of a failure in LastError; they run only on the thread itself.
class TCustomTransferThread : public TTaskThread {
public:
    TCustomTransferThread(TMessageTarget& target, const TTaskContext& context, TMessageNumber completion);

    static constexpr std::chrono::milliseconds ConnectTimeout{30000};
    static constexpr int KeepAliveIdleMilliseconds = 300000;
    static constexpr int KeepAliveIntervalMilliseconds = 1000;

    // The settings' reply and stall time-outs, with the session's connect time-out.
    static TFTPTimeouts SessionTimeouts(const TSettingsRecord& settings);

protected:
    // WM_TOTAL_PROGRESS: a log text (may be empty) and the total progress (-1: no change).
    virtual void PostLog(const std::string& text, int progress);
    // WM_TASK_PROGRESS: a log text (may be empty) and the task progress (-1: no change).
    virtual void PostTaskLog(const std::string& text, int progress);

    // Sends localFolder + fileName into the normalised remote folder under
    // its unfinished name and renames it when whole, trying the two together
    // up to three times and reconnecting after a failure; each failed attempt
    // is a log line with its reason. False when the file did not arrive; a
    // local file that cannot be opened is one log line and no attempt. When
    // three attempts in a row time out, the server counts as unresponsive.
    virtual bool SendFile(const std::string& localFolder, const std::string& remoteFolder, const std::string& fileName);
    // The attempts of SendFile for content already open (read from its start
    // at each attempt), stored under fileName.
    bool SendContent(std::istream& content, const std::string& remoteFolder, const std::string& fileName);
    // Progress of the current transfer: count bytes sent so far.
    virtual void FTPWork(std::int64_t count);
    // One status of the client, posted as a task log line.
    virtual void FTPStatus(const std::string& status);
    // Logs on, sets the data connection mode, changes to the initial
    // directory and records the root; on failure the session is closed again.
    // A time-out here makes the server unresponsive: from then on Connect
    // fails at once with that reason, so that no later file waits again.
    virtual bool Connect();
    // Clears both remote paths and closes the session if it is open.
    virtual bool Disconnect();
    // Changes to the normalised full remote path, creating missing folders.
    virtual bool ChangeRemoteDirectory(const std::string& remotePath);
    // True when the current remote path holds the normalised remote path;
    // otherwise false with the reason in LastError.
    bool IsAtRemotePath(const std::string& remotePath);

    // Loads the task's job and its local folder. False, with the task
    // failed, when there is nothing it may work on: no such job (nothing is
    // posted), a job without a unique id, whose folder would be the whole
    // output folder, or one whose secret is damaged (a log line ending in the
    // consequence).
    bool LoadJob(TJobDetailRecord& job, std::string& localFolder, const std::string& consequence);

    // The FTP client lives from the first to the last step of the task.
    void CreateClient();
    void DestroyClient();

    // "NLST" in the current remote directory; a failed listing is a task
    // log line with its reason and gives no names.
    std::vector<std::string> RemoteNameList();

    const TTaskContext Context;
    std::int64_t TransferSize = 0;
    std::int64_t TransferredBytes = 0;
    int LastPercent = 0;
    std::unique_ptr<TFTPClient> Client;
    std::string LastError;
    std::string CurrentRemotePath;
    std::string RootRemotePath;
    std::uint32_t UseKeepAlive = 0;

private:
    // Attempts in a row that ended in a time-out; the reason of the last one.
    int TimedOutAttempts = 0;
    std::string Unresponsive;
    // The expiry of a pinned certificate has been logged.
    bool ExpiryNoted = false;

    void KeepAliveStep(std::intptr_t socketHandle);
    void NoteTimeOut(bool atOnce);
    bool LogOn();
    void AbandonSession();
    bool ReadCurrentRemotePath();
    bool EnterOrMakeFolder(const std::string& name);
    bool StoreFile(std::istream& content, const std::string& fileName);
};

}  // namespace tavrin
