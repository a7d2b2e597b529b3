#include "tasks/delivery/DeleteThread.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/InkCoverage.h"
#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/ProofFingerprint.h"
#include "base/tasking/TaskSets.h"
#include "base/text/TextRules.h"
#include "engines/delivery/TransferHelpers.h"
#include "engines/imaging/MasterImagePath.h"
#include "tasks/delivery/AnswersThread.h"
#include "tasks/delivery/DeliveryJob.h"

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

// The last step of a listed name: some servers list a folder's entries with
// the folder in front.
std::string LastStep(const std::string& name)
{
    const std::size_t slash = name.find_last_of('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

const std::string NothingDeleted = "Nothing was deleted: the proof stays on the web server and its files here.";
const std::string NotGone = "No file here was deleted: the job's folder on the web server is not gone.";

}  // namespace

TDeleteThread::TDeleteThread(TMessageTarget& target, const TTaskContext& context)
    : TTaskThread(target, context.JobReference(), WM_DELETE_DONE), Context(context)
{
}

void TDeleteThread::NotDone(const std::string& problem, int progress)
{
    PostLogText(problem, progress);
    Problems.push_back(problem);
}

void TDeleteThread::Stop(const std::string& consequence)
{
    PostLogText(consequence, 100);
    PostTaskText("", 100);
    std::string reason;
    for (const std::string& problem : Problems)
        reason += (reason.empty() ? "" : "; ") + problem;
    Fail(reason);
}

// A finished job tells by its task set; any other (run by hand, say) may
// have had its files sent, so the server is asked.
bool TDeleteThread::WasSent() const
{
    const std::string finished =
        "select * from PostQueueList where PostQueueListJobReference = " + std::to_string(JobReference());
    try {
        if (StatementReturnsRows(Context.Catalogue(), finished))
            return TaskSetNames(FirstFieldValue(Context.Catalogue(), finished, "PostQueueListTasks"), TransferTask);
    } catch (const std::exception&) {
    }
    return true;
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
        PostLogText("Deleting " + path, 0);
        const std::string problem = LocalRemovalProblem(path);
        if (problem.empty())
            PostLogText("Done deleting " + path, RoundedPercent(index, count));
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

std::optional<bool> TDeleteThread::ListsName(const std::string& folder, const std::string& name)
{
    try {
        Session->EnterExisting(folder);
        for (const std::string& listed : Session->NameList())
            if (LastStep(listed) == name)
                return true;
    } catch (const EFTPError&) {
        return std::nullopt;
    }
    return false;
}

/*
 * A refused CWD says nothing by itself: a missing folder and one the server
 * keeps closed give the same 550. The parent's listing decides; when the
 * parent cannot be entered either, the root's listing must lack "tavrin".
 */
std::optional<bool> TDeleteThread::RemoteFolderExists(const std::string& jobsFolder, const std::string& folderName)
{
    std::optional<bool> listed = ListsName(jobsFolder, folderName);
    if (!listed) {
        const std::optional<bool> jobsListed = ListsName(Session->RootPath(), "tavrin");
        if (jobsListed && !*jobsListed)
            listed = false;
    }
    return listed;
}

// DELE of one listed name; a refusal is logged with the server's reply and
// the deletion goes on.
void TDeleteThread::DeleteRemoteName(const std::string& jobFolder, const std::string& name, int progress)
{
    if (!IsPlainRemoteName(name)) {
        PostLogText("Not deleting " + jobFolder + "/" + name + ": not a plain name in the job folder", progress);
        return;
    }
    PostLogText("Deleting " + jobFolder + "/" + name, 0);
    try {
        Session->Client().Command("DELE", name, {250});
    } catch (const EFTPError& error) {
        NotDone("Could not delete " + jobFolder + "/" + name + ". " + Trimmed(error.what()), progress);
        return;
    }
    PostLogText("Done deleting " + jobFolder + "/" + name, progress);
}

/*
 * The answers go into the catalogue before the folder that holds them goes.
 * A job without a replies file has none; a file that cannot be fetched or
 * stored stops the deletion.
 */
bool TDeleteThread::KeepAnswers(const std::string& jobsFolder, const std::string& folderName)
{
    try {
        // The file as stored, byte for byte.
        Session->Client().Command("TYPE", "I", {200});
    } catch (const EFTPError& error) {
        NotDone("Could not fetch the job's answers from the web server: " + Trimmed(error.what()), -1);
        return false;
    }
    const TRepliesFetch fetch = FetchRepliesIntoCatalogue(
        Context.Catalogue(), Session->Client(), JobReference(), jobsFolder + folderName + "/replies.jsonl", folderName,
        [this](const std::string& skipped) {
            PostLogText("Job " + std::to_string(JobReference()) + ": replies.jsonl" + skipped, -1);
        });
    switch (fetch.Outcome) {
    case TRepliesFetch::TOutcome::NoFile: PostLogText("No answers on the web server.", -1); return true;
    case TRepliesFetch::TOutcome::Stored:
        PostLogText("Kept the job's answers: " + std::to_string(fetch.OnServer) + " on the web server, " +
                        std::to_string(fetch.Added) + " new.",
                    -1);
        return true;
    case TRepliesFetch::TOutcome::TooLarge:
        NotDone("The job's replies file on the web server is larger than 1 MB, which no answer endpoint writes; "
                "remove it there by hand once it is checked",
                -1);
        return false;
    case TRepliesFetch::TOutcome::NotFetched:
        NotDone("Could not fetch the job's answers from the web server: " + fetch.Problem, -1);
        return false;
    case TRepliesFetch::TOutcome::NotStored:
        NotDone("The job's answers could not be stored: " + fetch.Problem, -1);
        return false;
    }
    return false;
}

/*
 * 1. Enter the job's folder without making it; one the server does not
 *    list is withdrawn already.
 * 2. List it plainly (no pattern: not every server expands one) and delete
 *    every name.
 * 3. From the parent folder, remove the job's folder, then make sure it
 *    cannot be entered any more.
 */
void TDeleteThread::RemoveRemoteFolder(const std::string& jobsFolder, const std::string& folderName)
{
    const std::string jobFolder = WithSingleTrailingSlash(jobsFolder + folderName);
    try {
        Session->EnterExisting(jobFolder);
    } catch (const EFTPError& refusal) {
        // Where the folder may be there, what the operator needs to hear is why it could not be entered.
        const std::optional<bool> exists = RemoteFolderExists(jobsFolder, folderName);
        if (exists && !*exists)
            PostLogText("The job's folder is not on the web server.", -1);
        else
            NotDone("Could not enter the job's folder on the web server: " + std::string(refusal.what()), -1);
        return;
    }
    std::vector<std::string> names;
    std::string unlisted;
    try {
        names = Session->NameList();
    } catch (const EFTPError& error) {
        // Some servers refuse to list an empty folder (450 or 550): whether
        // anything was left in it, the RMD below tells.
        unlisted = "Could not list the job's folder on the web server: " + std::string(error.what());
        PostLogText(unlisted, -1);
    }
    const auto count = static_cast<std::int64_t>(names.size());
    for (std::int64_t index = 0; index < count; ++index)
        DeleteRemoteName(jobFolder, names[static_cast<std::size_t>(index)], RoundedPercent(index, count));
    if (!unlisted.empty())
        Problems.push_back(unlisted);
    try {
        Session->EnterExisting(jobsFolder);
    } catch (const EFTPError& error) {
        NotDone("Could not reach the remote folder " + jobsFolder + ": " + error.what(), -1);
        return;
    }
    PostLogText("Deleting directory " + folderName, 0);
    try {
        Session->Client().Command("RMD", folderName, {250});
    } catch (const EFTPError& error) {
        NotDone("Could not delete directory " + folderName + ". " + Trimmed(error.what()), -1);
        return;
    }
    // The folder is gone with whatever it held: a listing it refused did not matter.
    if (!unlisted.empty())
        Problems.pop_back();
    // The session was in the folder moments ago: once it cannot enter it any more, it is gone.
    try {
        Session->EnterExisting(jobFolder);
    } catch (const EFTPError&) {
        return;
    }
    NotDone("The web server still has the job's folder after removing it", -1);
}

bool TDeleteThread::WithdrawFromServer(const std::string& folderName)
{
    Session.emplace(
        Context.Settings(),
        TaskSessionReports([this](const std::string& text, int progress) { PostLogText(text, progress); },
                           [this](const std::string& text, int progress) { PostTaskText(text, progress); }));
    try {
        Session->Connect();
    } catch (const EFTPError& error) {
        NotDone("Could not log on to the FTP server: " + std::string(error.what()), -1);
        Session.reset();
        Stop(NothingDeleted);
        return false;
    }
    const std::string jobsFolder = WithSingleTrailingSlash(Session->RootPath() + "tavrin/");
    PostLogText("Remote Path: " + WithSingleTrailingSlash(jobsFolder + folderName), -1);
    const bool kept = KeepAnswers(jobsFolder, folderName);
    if (kept)
        RemoveRemoteFolder(jobsFolder, folderName);
    Session->Disconnect();
    Session.reset();
    if (!Problems.empty()) {
        Stop(kept ? NotGone : NothingDeleted);
        return false;
    }
    return true;
}

/*
 * 1. A job that went to the web server: its answers into the catalogue,
 *    then its folder there. Anything short of the folder gone ends the task
 *    here, with every local file still in place.
 * 2. The local job folder, then the masters and their ink figures.
 * 3. Everything that stayed fails the task, all of it named.
 */
void TDeleteThread::Run()
{
    const TDeliveryJob checked = CheckDeliveryJob(Context, "no files are deleted.");
    if (!checked.Refusal.empty()) {
        if (checked.RefusalIsLogged)
            PostLogText(checked.Refusal, 100);
        Fail(checked.Refusal);
        return;
    }
    HideInLog(checked.Job.Secret);
    const TJobDetailRecord& job = checked.Job;
    const std::string& local = checked.LocalFolder;
    if (WasSent() && !WithdrawFromServer(RemoteJobFolderName(job.UniqueID, job.Secret)))
        return;
    PostLogText("Local Path: " + local, 0);
    DeleteLocalFiles(local);
    DeleteMasters(job);
    // The ink figures tell of the masters just deleted.
    try {
        RemoveJobCoverage(Context.Catalogue(), JobReference());
        RemoveJobFingerprints(Context.Catalogue(), JobReference());
    } catch (const std::exception& error) {
        NotDone("Could not remove the ink coverage figures: " + std::string(error.what()), -1);
    }
    // Without "Done." the bar still ends: the runner's line tells what failed.
    PostLogText(Problems.empty() ? "Done." : "", 100);
    PostTaskText("", 100);
    std::string reason;
    for (const std::string& problem : Problems)
        reason += (reason.empty() ? "" : "; ") + problem;
    if (!reason.empty())
        Fail(reason);
}

}  // namespace tavrin
