#pragma once

#include "tasks/delivery/CustomTransferThread.h"

#include <string>
#include <vector>

namespace tavrin {

// The deletion task: a processed job's files on the local disk (job folder,
// then its master images, unfinished ones included, and their ink figures in
// the catalogue), then its folder on the web server. Reports through log lines and ends with WM_DELETE_DONE. It
// goes on past each file it cannot delete and fails at the end, naming them;
// it also fails when the job is not catalogued or the server refuses the
// log-on or the way to the job's folder.
class TDeleteThread final : public TCustomTransferThread {
public:
    TDeleteThread(TMessageTarget& target, std::uint32_t jobReference);

protected:
    void Run() override;

private:
    void DeleteLocalFiles(const std::string& localFolder);
    void DeleteMasters(const TJobDetailRecord& job);
    // The job's folder under "tavrin/" on the server, named as RemoteJobFolderName gives.
    void DeleteRemoteFolder(const std::string& folderName);
    void DeleteRemoteName(const std::string& jobFolder, const std::string& name, int progress);
    // Logs one thing that could not be done and keeps it for the failure at the end.
    void NotDone(const std::string& problem, int progress);

    std::vector<std::string> Problems;
};

}  // namespace tavrin
