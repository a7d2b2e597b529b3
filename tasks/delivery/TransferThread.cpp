#include "tasks/delivery/TransferThread.h"

#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "base/text/TextRules.h"
#include "engines/delivery/TransferHelpers.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace tavrin {

namespace {

// The names of a folder's finished files: an unfinished one is what a
// killed run left and is never published.
std::vector<std::string> FinishedFiles(const std::string& folder)
{
    std::vector<std::string> names = ListFolderFiles(folder);
    names.erase(std::remove_if(names.begin(), names.end(), IsUnfinishedName), names.end());
    return names;
}

// What a listing web server shows for a folder without an index page of its
// own: nothing, rather than the names of every job's proof.
constexpr const char* EmptyIndexPage = "<!DOCTYPE html>\r\n<html><head><title></title></head><body></body></html>\r\n";
constexpr const char* IndexPageName = "index.html";

}  // namespace

TTransferThread::TTransferThread(TMessageTarget& target, const TTaskContext& context)
    : TCustomTransferThread(target, context, WM_TRANSFER_DONE)
{
}

void TTransferThread::SendFiles(const std::string& localFolder, const std::string& remoteFolder,
                                const std::vector<std::string>& names, const std::vector<std::string>& skipped)
{
    const auto count = static_cast<std::int64_t>(names.size());
    for (std::int64_t index = 0; index < count; ++index) {
        const std::string& name = names[static_cast<std::size_t>(index)];
        if (std::find(skipped.begin(), skipped.end(), LowerCase(name)) != skipped.end())
            continue;
        PostLog("Sending " + localFolder + name, -1);
        const bool sent = SendFile(localFolder, remoteFolder, name);
        if (!sent) {
            NotSent.push_back(localFolder + name);
            LastNotSentReason = LastError;
        }
        PostLog((sent ? "Done sending " : "Could not send ") + localFolder + name, RoundedPercent(index, count));
    }
}

bool TTransferThread::SendSharedFolder(const std::string& localFolder, const std::string& remoteFolder)
{
    const std::vector<std::string> names = FinishedFiles(localFolder);
    // A file that failed last closed the session; the shared folders still get their turn.
    if (!EnterRemoteFolder(remoteFolder))
        return false;
    // LOGO.JPG there is logo.jpg here.
    const std::vector<std::string> present = RemoteNamesLowerCase();
    SendFiles(localFolder, remoteFolder, names, present);
    const bool indexSent = std::any_of(names.begin(), names.end(),
                                       [](const std::string& name) { return LowerCase(name) == IndexPageName; });
    if (!indexSent)
        SendIndexPageWhereMissing(remoteFolder, present);
    return true;
}

void TTransferThread::SendIndexPageWhereMissing(const std::string& remoteFolder,
                                                const std::vector<std::string>& presentLowerCase)
{
    if (std::find(presentLowerCase.begin(), presentLowerCase.end(), IndexPageName) != presentLowerCase.end())
        return;
    const std::string remotePath = remoteFolder + IndexPageName;
    PostLog("Sending an empty " + remotePath, -1);
    std::istringstream page(EmptyIndexPage);
    TransferSize = static_cast<std::int64_t>(page.str().size());
    TransferredBytes = 0;
    if (SendContent(page, remoteFolder, IndexPageName)) {
        PostLog("Done sending an empty " + remotePath, -1);
        return;
    }
    PostLog("Could not send an empty " + remotePath, -1);
    NotSent.push_back("an empty " + remotePath);
    LastNotSentReason = LastError;
}

bool TTransferThread::HideSystemFolderListing(const std::string& base)
{
    if (!ChangeRemoteDirectory(base)) {
        Fail("Could not reach the remote folder " + base + ": " + LastError);
        return false;
    }
    SendIndexPageWhereMissing(base, RemoteNamesLowerCase());
    if (NotSent.empty())
        return true;
    FailForWhatWasNotSent();
    return false;
}

bool TTransferThread::EnterRemoteFolder(const std::string& remoteFolder)
{
    const bool connected = Client->Connected() || Connect();
    if (connected && ChangeRemoteDirectory(remoteFolder))
        return true;
    Unreached = "Could not reach the remote folder " + remoteFolder + ": " + LastError;
    PostLog(Unreached, -1);
    return false;
}

std::vector<std::string> TTransferThread::RemoteNamesLowerCase()
{
    std::vector<std::string> names = RemoteNameList();
    std::transform(names.begin(), names.end(), names.begin(), LowerCase);
    return names;
}

bool TTransferThread::ProofIsComplete(const std::string& localFolder)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(localFolder + "index.html", error))
        return true;
    const std::string reason =
        "The web proof is not complete: " + localFolder + "index.html is missing; no files are sent.";
    PostLog(reason, 100);
    Fail(reason);
    return false;
}

void TTransferThread::FailForWhatWasNotSent()
{
    std::string reason;
    if (!NotSent.empty()) {
        reason = std::to_string(NotSent.size()) + (NotSent.size() == 1 ? " file was" : " files were") + " not sent: ";
        for (std::size_t index = 0; index < NotSent.size(); ++index)
            reason += (index == 0 ? "" : ", ") + NotSent[index];
        if (!LastNotSentReason.empty())
            reason += " (" + std::string(NotSent.size() == 1 ? "" : "the last: ") + LastNotSentReason + ")";
    }
    if (!Unreached.empty())
        reason += (reason.empty() ? "" : "; ") + Unreached;
    if (!reason.empty())
        Fail(reason);
}

/*
 * 1. Load the job; without one the task fails at once.
 * 2. Refuse a job folder without its index.html before any connection.
 * 3. Log on and reach "tavrin/" on the server; give it an empty index page
 *    where it has none before the job's folder is made in it, so that a
 *    listing web server never lists the jobs. Then reach the job's folder.
 * 4. Send every finished file of the local job folder.
 * 5. Send the shared scripts, then the images, that the server lacks, each
 *    folder ending with an empty index page where it has none.
 * 6. Log off; "Done." only when everything arrived.
 * Every file goes under its unfinished name and is renamed when whole.
 */
void TTransferThread::Run()
{
    TJobDetailRecord job;
    std::string local;
    if (!LoadJob(job, local, "no files are sent."))
        return;
    PostLog("Local Path: " + local, 0);
    if (!ProofIsComplete(local))
        return;
    CreateClient();
    bool reached = Connect();
    const std::string base = WithSingleTrailingSlash(RootRemotePath + "tavrin/");
    const std::string images = WithSingleTrailingSlash(base + "images/");
    const std::string scripts = WithSingleTrailingSlash(base + "scripts/");
    const std::string jobFolder = WithSingleTrailingSlash(base + RemoteJobFolderName(job.UniqueID, job.Secret));
    if (!reached) {
        Fail("Could not log on to the FTP server: " + LastError);
    } else {
        PostLog("Remote Path: " + jobFolder, -1);
        reached = HideSystemFolderListing(base) && ChangeRemoteDirectory(jobFolder);
        if (!reached && !HasFailed())
            Fail("Could not reach the remote folder " + jobFolder + ": " + LastError);
    }
    if (!reached) {
        PostLog("Error sending files. " + LastError, 100);
    } else {
        SendFiles(local, jobFolder, FinishedFiles(local), {});
        if (SendSharedFolder(ProgramFolder() + "scripts" + PathDelimiter, scripts))
            SendSharedFolder(ProgramFolder() + "images" + PathDelimiter, images);
        Disconnect();
        FailForWhatWasNotSent();
        // Without "Done." the bar still ends: the runner's line tells what failed.
        PostLog(HasFailed() ? "" : "Done.", 100);
        PostTaskLog("", 100);
    }
    DestroyClient();
}

}  // namespace tavrin
