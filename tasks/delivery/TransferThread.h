#pragma once

#include "base/tasking/TaskContext.h"
#include "base/tasking/TaskThread.h"
#include "engines/delivery/WebHostSession.h"

#include <optional>
#include <string>
#include <vector>

namespace tavrin {

// The upload task: an empty index page where "tavrin/" has none, then every
// file of the job folder into the job's folder on the web server (named by
// its unique id and secret), then the shared scripts and images the server
// lacks, and empty index pages where those two folders have none. Reports
// through log lines and ends with WM_TRANSFER_DONE. It fails when the job is
// not catalogued, its web proof is not complete locally (no index.html), the
// server or a remote folder cannot be reached, or any file was not sent.
class TTransferThread final : public TTaskThread {
public:
    TTransferThread(TMessageTarget& target, const TTaskContext& context);

protected:
    void Run() override;

private:
    // Reaches "tavrin/" and gives it an empty index page where it has none
    // before the job's folder is made in it (a listing web server must never
    // list the jobs), then reaches the job's folder. When either fails, the
    // task fails and the reason is returned; nothing when both were reached.
    std::optional<std::string> ReachJobFolder(const std::string& base, const std::string& jobFolder);
    // Sends the listed files of the local folder into the remote one, except
    // those whose lower-cased names are in skipped; each gets its "Sending "
    // line and its "Done sending " or "Could not send " line with progress.
    // A file that did not arrive is added to NotSent with its reason.
    void SendFiles(const std::string& localFolder, const std::string& remoteFolder,
                   const std::vector<std::string>& names, const std::vector<std::string>& skipped);
    // The shared folder's files that the server does not list; false, with
    // a log line and Unreached set, when the remote folder could not be reached.
    // Ends with an empty index page where the folder has none.
    bool SendSharedFolder(const std::string& localFolder, const std::string& remoteFolder);
    // An empty index.html into the remote folder unless presentLowerCase
    // (its listing, lower-cased) names one; one that did not arrive is added
    // to NotSent.
    void SendIndexPageWhereMissing(const std::string& remoteFolder, const std::vector<std::string>& presentLowerCase);
    // Connects when the session is closed and enters the remote folder;
    // false, with a log line and Unreached set, when it cannot.
    bool EnterRemoteFolder(const std::string& remoteFolder);
    // The names the server lists in its current folder, lower-cased: the
    // server's names compare without regard to case. A failed listing is a
    // task log line with its reason and gives no names.
    std::vector<std::string> RemoteNamesLowerCase();
    // False, with a log line and the task failed, when the job folder lacks
    // its index.html: a partial proof must not be published.
    bool ProofIsComplete(const std::string& localFolder);
    // Fails the task naming every file that did not arrive, with the reason
    // the last of them failed, and the shared folder that could not be
    // reached, if any.
    void FailForWhatWasNotSent();

    const TTaskContext Context;
    std::optional<TWebHostSession> Session;
    std::vector<std::string> NotSent;
    std::string LastNotSentReason;
    std::string Unreached;
};

}  // namespace tavrin
