#pragma once

#include "delivery/CustomTransferThread.h"

#include <string>

namespace tavrin {

// The deletion task: a processed job's files on the local disk (job folder,
// then its master images), then its folder on the web server. Reports
// through log lines and ends with WM_DELETE_DONE.
class TDeleteThread final : public TCustomTransferThread {
public:
    TDeleteThread(TMessageTarget& target, std::uint32_t jobReference);

protected:
    void Run() override;

private:
    void DeleteLocalFiles(const std::string& localFolder);
    void DeleteRemoteFolder(const std::string& uniqueID);
    void DeleteRemoteName(const std::string& jobFolder, const std::string& name, int progress);
};

}  // namespace tavrin
