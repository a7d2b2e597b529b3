#include "delivery/TransferThread.h"

#include "catalogue/OutputLayout.h"
#include "delivery/TransferHelpers.h"

#include <algorithm>

namespace tavrin {

TTransferThread::TTransferThread(TMessageTarget& target, std::uint32_t jobReference)
    : TCustomTransferThread(target, jobReference, WM_TRANSFER_DONE)
{
}

void TTransferThread::SendFiles(const std::string& localFolder, const std::string& remoteFolder,
                                const std::vector<std::string>& names, const std::vector<std::string>& skipped)
{
    const auto count = static_cast<std::int64_t>(names.size());
    for (std::int64_t index = 0; index < count; ++index) {
        const std::string& name = names[static_cast<std::size_t>(index)];
        if (std::find(skipped.begin(), skipped.end(), LowerCaseText(name)) != skipped.end())
            continue;
        PostLog("Sending " + localFolder + name, -1);
        const bool sent = SendFile(localFolder, remoteFolder, name);
        PostLog((sent ? "Done sending " : "Could not send ") + localFolder + name, RoundedPercent(index, count));
    }
}

bool TTransferThread::SendSharedFolder(const std::string& localFolder, const std::string& remoteFolder)
{
    const std::vector<std::string> names = ListFolderFiles(localFolder);
    if (!ChangeRemoteDirectory(remoteFolder))
        return false;
    // The server's names compare without regard to case: LOGO.JPG there is logo.jpg here.
    std::vector<std::string> present = RemoteNameList();
    std::transform(present.begin(), present.end(), present.begin(), LowerCaseText);
    SendFiles(localFolder, remoteFolder, names, present);
    return true;
}

/*
 * 1. Load the job; without one only the completion follows.
 * 2. Log on and reach the job's folder under "tavrin/" on the server.
 * 3. Send every file of the local job folder.
 * 4. Send the shared scripts, then the images, that the server lacks.
 * 5. Log off.
 */
void TTransferThread::Run()
{
    TJobDetailRecord job;
    std::string local;
    if (!LoadJob(job, local, "no files are sent."))
        return;
    PostLog("Local Path: " + local, 0);
    CreateClient();
    bool reached = Connect();
    const std::string base = WithSingleTrailingSlash(RootRemotePath + "tavrin/");
    const std::string images = WithSingleTrailingSlash(base + "images/");
    const std::string scripts = WithSingleTrailingSlash(base + "scripts/");
    const std::string jobFolder = WithSingleTrailingSlash(base + job.UniqueID);
    if (reached) {
        PostLog("Remote Path: " + jobFolder, -1);
        reached = ChangeRemoteDirectory(jobFolder);
    }
    if (!reached) {
        PostLog("Error sending files. " + LastError, 100);
    } else {
        SendFiles(local, jobFolder, ListFolderFiles(local), {});
        if (SendSharedFolder(ProgramFolder() + "scripts" + PathDelimiter, scripts))
            SendSharedFolder(ProgramFolder() + "images" + PathDelimiter, images);
        Disconnect();
        PostLog("Done.", 100);
        PostTaskLog("", 100);
    }
    DestroyClient();
}

}  // namespace tavrin
