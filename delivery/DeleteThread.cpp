#include "delivery/DeleteThread.h"

#include "catalogue/OutputLayout.h"
#include "delivery/TransferHelpers.h"

#include <filesystem>

namespace tavrin {

namespace {

// A listed name that DELE may be given: a plain name inside the job folder,
// never a path that reaches out of it.
bool IsPlainRemoteName(const std::string& name)
{
    return name != "." && name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
           name.find("..") == std::string::npos;
}

}  // namespace

TDeleteThread::TDeleteThread(TMessageTarget& target, std::uint32_t jobReference)
    : TCustomTransferThread(target, jobReference, WM_DELETE_DONE)
{
}

/*
 * 1. Every file of the job folder, then the folder when it is empty.
 * 2. The master images, page 1 upwards, up to the first that is missing.
 * Failures to delete are not reported: the files simply stay.
 */
void TDeleteThread::DeleteLocalFiles(const std::string& localFolder)
{
    const std::vector<std::string> names = ListFolderFiles(localFolder);
    const auto count = static_cast<std::int64_t>(names.size());
    for (std::int64_t index = 0; index < count; ++index) {
        const std::string path = localFolder + names[static_cast<std::size_t>(index)];
        PostLog("Deleting " + path, 0);
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        PostLog("Done deleting " + path, RoundedPercent(index, count));
    }
    std::error_code notEmpty;
    std::filesystem::remove(WithoutTrailingBackslash(localFolder), notEmpty);
    for (int page = 1;; ++page) {
        const std::string master = WithoutTrailingBackslash(localFolder) + PageNumberText(page) + ".tif";
        std::error_code ignored;
        if (!std::filesystem::exists(master, ignored))
            break;
        std::filesystem::remove(master, ignored);
    }
}

// DELE of one listed name; a refusal is logged with the server's reply and
// the deletion goes on.
void TDeleteThread::DeleteRemoteName(const std::string& jobFolder, const std::string& name, int progress)
{
    if (!IsPlainRemoteName(name)) {
        PostLog("Not deleting " + jobFolder + "/" + name + ": not a plain name in the job folder", progress);
        return;
    }
    PostLog("Deleting " + jobFolder + "/" + name, 0);
    try {
        Client->Command("DELE", name, {250});
    } catch (const EFTPError& error) {
        PostLog("Could not delete " + jobFolder + "/" + name + ". " + TrimmedText(error.what()), progress);
        return;
    }
    PostLog("Done deleting " + jobFolder + "/" + name, progress);
}

/*
 * 1. Reach the job's folder (which creates it when it never existed).
 * 2. Delete every name the server lists in it.
 * 3. From the parent folder, remove the job's folder.
 */
void TDeleteThread::DeleteRemoteFolder(const std::string& uniqueID)
{
    const std::string base = WithSingleTrailingSlash(RootRemotePath + "tavrin/");
    const std::string jobFolder = WithSingleTrailingSlash(base + uniqueID);
    PostLog("Remote Path: " + jobFolder, -1);
    if (!ChangeRemoteDirectory(jobFolder))
        return;
    const std::vector<std::string> names = RemoteNameList();
    const auto count = static_cast<std::int64_t>(names.size());
    for (std::int64_t index = 0; index < count; ++index)
        DeleteRemoteName(jobFolder, names[static_cast<std::size_t>(index)], RoundedPercent(index, count));
    if (!ChangeRemoteDirectory(base))
        return;
    PostLog("Deleting directory " + uniqueID, 0);
    try {
        Client->Command("RMD", uniqueID, {250});
    } catch (const EFTPError& error) {
        PostLog("Could not delete directory " + uniqueID + ". " + TrimmedText(error.what()), -1);
    }
    PostLog("Done.", 100);
    PostTaskLog("", 100);
}

void TDeleteThread::Run()
{
    TJobDetailRecord job;
    std::string local;
    if (!LoadJob(job, local, "no files are deleted."))
        return;
    PostLog("Local Path: " + local, 0);
    DeleteLocalFiles(local);
    CreateClient();
    if (!Connect()) {
        if (!LastError.empty())
            PostLog(LastError, -1);
    } else {
        DeleteRemoteFolder(job.UniqueID);
        Disconnect();
    }
    DestroyClient();
}

}  // namespace tavrin
