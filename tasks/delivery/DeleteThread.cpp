#include "tasks/delivery/DeleteThread.h"

#include "base/catalogue/InkCoverage.h"
#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/ProofFingerprint.h"
#include "base/text/TextRules.h"
#include "engines/delivery/TransferHelpers.h"
#include "engines/imaging/MasterImagePath.h"

#include <cctype>
#include <filesystem>
#include <set>

namespace tavrin {

namespace {

// A listed name that DELE may be given: a plain name inside the job folder,
// never a path that reaches out of it.
bool IsPlainRemoteName(const std::string& name)
{
    return name != "." && name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
           name.find("..") == std::string::npos;
}

// A master of the job, finished or not: the unique id, "-", digits, then
// ".tif" or ".tif.part". Another job's id never matches, even one that
// begins with this one.
bool IsMasterName(const std::string& name, const std::string& uniqueID)
{
    const std::string prefix = uniqueID + "-";
    if (name.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::size_t at = prefix.size();
    const std::size_t digits = at;
    while (at < name.size() && std::isdigit(static_cast<unsigned char>(name[at])))
        ++at;
    const std::string rest = name.substr(at);
    return at > digits && (rest == ".tif" || rest == UnfinishedName(".tif"));
}

// The job's masters in the output folder: those its pages name, and any
// other that a run with more pages, or one that was killed, left.
std::set<std::string> MasterPaths(const TJobDetailRecord& job)
{
    const std::string output = OutputFolder();
    std::set<std::string> paths;
    for (int page = 1; page <= job.PageCount; ++page) {
        const std::string master = MasterImagePath(job.UniqueID, page);
        paths.insert(master);
        paths.insert(UnfinishedName(master));
    }
    std::error_code error;
    std::filesystem::directory_iterator entries(output, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::string name = entries->path().filename().string();
        if (IsMasterName(name, job.UniqueID))
            paths.insert(output + name);
    }
    return paths;
}

// Removes a local file or empty folder: "" when it is gone (or never was),
// otherwise the line that says why it stays.
std::string LocalRemovalProblem(const std::string& path)
{
    std::error_code error;
    std::filesystem::remove(path, error);
    return error ? "Could not delete " + path + ": " + error.message() : std::string();
}

}  // namespace

TDeleteThread::TDeleteThread(TMessageTarget& target, std::uint32_t jobReference)
    : TCustomTransferThread(target, jobReference, WM_DELETE_DONE)
{
}

void TDeleteThread::NotDone(const std::string& problem, int progress)
{
    PostLog(problem, progress);
    Problems.push_back(problem);
}

/*
 * Every file of the job folder (unfinished ones among them), then the
 * folder, which stays when anything is left in it (a subfolder, say).
 */
void TDeleteThread::DeleteLocalFiles(const std::string& localFolder)
{
    const std::vector<std::string> names = ListFolderFiles(localFolder);
    const auto count = static_cast<std::int64_t>(names.size());
    const std::size_t problemsBefore = Problems.size();
    for (std::int64_t index = 0; index < count; ++index) {
        const std::string path = localFolder + names[static_cast<std::size_t>(index)];
        PostLog("Deleting " + path, 0);
        const std::string problem = LocalRemovalProblem(path);
        if (problem.empty())
            PostLog("Done deleting " + path, RoundedPercent(index, count));
        else
            NotDone(problem, RoundedPercent(index, count));
    }
    // A file that stayed keeps the folder too; that needs no second report.
    const std::string problem = LocalRemovalProblem(WithoutTrailingBackslash(localFolder));
    if (!problem.empty() && Problems.size() == problemsBefore)
        NotDone(problem, -1);
}

// The masters are deleted without log lines of their own; only one that stays is logged.
void TDeleteThread::DeleteMasters(const TJobDetailRecord& job)
{
    for (const std::string& path : MasterPaths(job)) {
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, error)))
            continue;
        const std::string problem = LocalRemovalProblem(path);
        if (!problem.empty())
            NotDone(problem, -1);
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
        NotDone("Could not delete " + jobFolder + "/" + name + ". " + Trimmed(error.what()), progress);
        return;
    }
    PostLog("Done deleting " + jobFolder + "/" + name, progress);
}

/*
 * 1. Reach the job's folder (which creates it when it never existed).
 * 2. Delete every name the server lists in it.
 * 3. From the parent folder, remove the job's folder.
 */
void TDeleteThread::DeleteRemoteFolder(const std::string& folderName)
{
    const std::string base = WithSingleTrailingSlash(RootRemotePath + "tavrin/");
    const std::string jobFolder = WithSingleTrailingSlash(base + folderName);
    PostLog("Remote Path: " + jobFolder, -1);
    if (!ChangeRemoteDirectory(jobFolder)) {
        NotDone("Could not reach the remote folder " + jobFolder + ": " + LastError, -1);
        return;
    }
    const std::vector<std::string> names = RemoteNameList();
    const auto count = static_cast<std::int64_t>(names.size());
    for (std::int64_t index = 0; index < count; ++index)
        DeleteRemoteName(jobFolder, names[static_cast<std::size_t>(index)], RoundedPercent(index, count));
    if (!ChangeRemoteDirectory(base)) {
        NotDone("Could not reach the remote folder " + base + ": " + LastError, -1);
        return;
    }
    PostLog("Deleting directory " + folderName, 0);
    try {
        Client->Command("RMD", folderName, {250});
    } catch (const EFTPError& error) {
        NotDone("Could not delete directory " + folderName + ". " + Trimmed(error.what()), -1);
    }
    // Without "Done." the bar still ends: the runner's line tells what failed.
    PostLog(Problems.empty() ? "Done." : "", 100);
    PostTaskLog("", 100);
}

/*
 * 1. The local job folder, then the masters: the local deletion does not
 *    depend on the server.
 * 2. Log on and delete the job's folder on the server.
 * 3. Everything that stayed fails the task, all of it named.
 */
void TDeleteThread::Run()
{
    TJobDetailRecord job;
    std::string local;
    if (!LoadJob(job, local, "no files are deleted."))
        return;
    PostLog("Local Path: " + local, 0);
    DeleteLocalFiles(local);
    DeleteMasters(job);
    // The ink figures tell of the masters just deleted.
    try {
        RemoveJobCoverage(JobReference());
        RemoveJobFingerprints(JobReference());
    } catch (const std::exception& error) {
        NotDone("Could not remove the ink coverage figures: " + std::string(error.what()), -1);
    }
    CreateClient();
    if (!Connect()) {
        if (!LastError.empty())
            PostLog(LastError, -1);
        Problems.push_back("Could not log on to the FTP server: " + LastError);
    } else {
        DeleteRemoteFolder(RemoteJobFolderName(job.UniqueID, job.Secret));
        Disconnect();
    }
    DestroyClient();
    std::string reason;
    for (const std::string& problem : Problems)
        reason += (reason.empty() ? "" : "; ") + problem;
    if (!reason.empty())
        Fail(reason);
}

}  // namespace tavrin
