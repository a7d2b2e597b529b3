#include "tasks/delivery/TransferThread.h"

#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "base/text/TextRules.h"
#include "engines/delivery/TransferHelpers.h"
#include "tasks/delivery/DeliveryJob.h"

#include <algorithm>
#include <filesystem>
#include <optional>
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
    : TTaskThread(target, context.JobReference(), WM_TRANSFER_DONE), Context(context)
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
        PostLogText("Sending " + localFolder + name, -1);
        bool sent = true;
        try {
            Session->SendFile(localFolder, remoteFolder, name);
        } catch (const std::exception& error) {
            sent = false;
            NotSent.push_back(localFolder + name);
            LastNotSentReason = error.what();
        }
        PostLogText((sent ? "Done sending " : "Could not send ") + localFolder + name, RoundedPercent(index, count));
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
    PostLogText("Sending an empty " + remotePath, -1);
    std::istringstream page(EmptyIndexPage);
    try {
        Session->SendContent(page, static_cast<std::int64_t>(page.str().size()), remoteFolder, IndexPageName);
    } catch (const EFTPError& error) {
        PostLogText("Could not send an empty " + remotePath, -1);
        NotSent.push_back("an empty " + remotePath);
        LastNotSentReason = error.what();
        return;
    }
    PostLogText("Done sending an empty " + remotePath, -1);
}

std::optional<std::string> TTransferThread::ReachJobFolder(const std::string& base, const std::string& jobFolder)
{
    try {
        Session->ChangeDirectory(base);
    } catch (const EFTPError& error) {
        Fail("Could not reach the remote folder " + base + ": " + error.what());
        return std::string(error.what());
    }
    SendIndexPageWhereMissing(base, RemoteNamesLowerCase());
    if (!NotSent.empty()) {
        FailForWhatWasNotSent();
        return LastNotSentReason;
    }
    try {
        Session->ChangeDirectory(jobFolder);
    } catch (const EFTPError& error) {
        Fail("Could not reach the remote folder " + jobFolder + ": " + error.what());
        return std::string(error.what());
    }
    return std::nullopt;
}

bool TTransferThread::EnterRemoteFolder(const std::string& remoteFolder)
{
    try {
        if (!Session->Connected())
            Session->Connect();
        Session->ChangeDirectory(remoteFolder);
    } catch (const EFTPError& error) {
        Unreached = "Could not reach the remote folder " + remoteFolder + ": " + error.what();
        PostLogText(Unreached, -1);
        return false;
    }
    return true;
}

std::vector<std::string> TTransferThread::RemoteNamesLowerCase()
{
    std::vector<std::string> names;
    try {
        names = Session->NameList();
    } catch (const EFTPError& error) {
        PostTaskText(error.what(), -1);
    }
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
    PostLogText(reason, 100);
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
    const TDeliveryJob checked = CheckDeliveryJob(Context, "no files are sent.");
    if (!checked.Refusal.empty()) {
        if (checked.RefusalIsLogged)
            PostLogText(checked.Refusal, 100);
        Fail(checked.Refusal);
        return;
    }
    HideInLog(checked.Job.Secret);
    const std::string& local = checked.LocalFolder;
    PostLogText("Local Path: " + local, 0);
    if (!ProofIsComplete(local))
        return;
    Session.emplace(
        Context.Settings(),
        TaskSessionReports([this](const std::string& text, int progress) { PostLogText(text, progress); },
                           [this](const std::string& text, int progress) { PostTaskText(text, progress); }));
    // Why the job's folder was not reached, if it was not.
    std::optional<std::string> unreached;
    try {
        Session->Connect();
    } catch (const EFTPError& error) {
        unreached = error.what();
        Fail("Could not log on to the FTP server: " + *unreached);
    }
    const std::string base = WithSingleTrailingSlash(Session->RootPath() + "tavrin/");
    const std::string images = WithSingleTrailingSlash(base + "images/");
    const std::string scripts = WithSingleTrailingSlash(base + "scripts/");
    const std::string jobFolder =
        WithSingleTrailingSlash(base + RemoteJobFolderName(checked.Job.UniqueID, checked.Job.Secret));
    if (!unreached) {
        PostLogText("Remote Path: " + jobFolder, -1);
        unreached = ReachJobFolder(base, jobFolder);
    }
    if (unreached) {
        PostLogText("Error sending files. " + *unreached, 100);
    } else {
        SendFiles(local, jobFolder, FinishedFiles(local), {});
        if (SendSharedFolder(ProgramFolder() + "scripts" + PathDelimiter, scripts))
            SendSharedFolder(ProgramFolder() + "images" + PathDelimiter, images);
        Session->Disconnect();
        FailForWhatWasNotSent();
        // Without "Done." the bar still ends: the runner's line tells what failed.
        PostLogText(HasFailed() ? "" : "Done.", 100);
        PostTaskText("", 100);
    }
    Session.reset();
}

}  // namespace tavrin
