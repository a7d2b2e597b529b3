#pragma once

#include "base/catalogue/JobDetailRecord.h"
#include "base/tasking/TaskContext.h"
#include "base/tasking/TaskThread.h"
#include "engines/delivery/WebHostSession.h"

#include <optional>
#include <string>
#include <vector>

namespace tavrin {

// The deletion task: withdraws a processed job's proof from the web server,
// then removes its files here. A job that went to the web server first has
// its answers fetched into the catalogue, then its folder there emptied and
// removed, and only once the server no longer lists that folder are the
// local job folder, the masters (unfinished ones included) and their ink
// figures deleted. A job never sent (its finished task set has no Transfer)
// is deleted here only. Reports through log lines and ends with
// WM_DELETE_DONE; it fails, naming every reason, when anything stayed: when
// the proof may still be online, nothing local has been touched.
class TDeleteThread final : public TTaskThread {
public:
    TDeleteThread(TMessageTarget& target, const TTaskContext& context);

protected:
    void Run() override;

private:
    // Whether the job's proof may be on the web server.
    bool WasSent() const;
    // Log on, keep the answers, remove the job's folder (named as
    // RemoteJobFolderName gives it); false when the proof may still be there.
    bool WithdrawFromServer(const std::string& folderName);
    bool KeepAnswers(const std::string& jobsFolder, const std::string& folderName);
    void RemoveRemoteFolder(const std::string& jobsFolder, const std::string& folderName);
    void DeleteRemoteName(const std::string& jobFolder, const std::string& name, int progress);
    // Whether the server lists the name in the folder (plain NLST); nothing
    // when it cannot tell.
    std::optional<bool> ListsName(const std::string& folder, const std::string& name);
    // After a refused CWD into the job's folder: whether the folder is on
    // the server, nothing when the server cannot say.
    std::optional<bool> RemoteFolderExists(const std::string& jobsFolder, const std::string& folderName);

    void DeleteLocalFiles(const std::string& localFolder);
    void DeleteMasters(const TJobDetailRecord& job);
    // Logs one thing that could not be done and keeps it for the failure at the end.
    void NotDone(const std::string& problem, int progress);
    // Ends the task failed before anything local went: the reasons, then what that means.
    void Stop(const std::string& consequence);

    const TTaskContext Context;
    std::optional<TWebHostSession> Session;
    std::vector<std::string> Problems;
};

}  // namespace tavrin
