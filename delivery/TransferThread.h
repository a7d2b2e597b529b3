#pragma once

#include "delivery/CustomTransferThread.h"

#include <string>
#include <vector>

namespace tavrin {

// The upload task: every file of the job folder into the job's folder on the
// web server, then the shared scripts and images the server lacks. Reports
// through log lines and ends with WM_TRANSFER_DONE.
class TTransferThread final : public TCustomTransferThread {
public:
    TTransferThread(TMessageTarget& target, std::uint32_t jobReference);

protected:
    void Run() override;

private:
    // Sends the listed files of the local folder into the remote one, except
    // those whose lower-cased names are in skipped; each gets its "Sending "
    // line and its "Done sending " or "Could not send " line with progress.
    void SendFiles(const std::string& localFolder, const std::string& remoteFolder,
                   const std::vector<std::string>& names, const std::vector<std::string>& skipped);
    // The shared folder's files that the server does not list; false when
    // the remote folder could not be reached.
    bool SendSharedFolder(const std::string& localFolder, const std::string& remoteFolder);
};

}  // namespace tavrin
