#include "tasks/delivery/CustomTransferThread.h"

#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "base/platform/SocketOptions.h"
#include "base/text/TextRules.h"
#include "engines/delivery/ConfiguredSessions.h"
#include "engines/delivery/FTPServerAddress.h"
#include "engines/delivery/TransferHelpers.h"

#include <filesystem>
#include <fstream>

namespace tavrin {

namespace {

constexpr int Attempts = 3;

bool StartsWith(const std::string& text, const std::string& beginning)
{
    return text.compare(0, beginning.size(), beginning) == 0;
}

// The part of W that the session can reach from C by going up: W itself
// when C lies below it, C when W lies below C, otherwise their common
// beginning cut back to its last "/".
std::string CommonPart(const std::string& wanted, const std::string& current)
{
    if (wanted.size() < current.size() && StartsWith(current, wanted))
        return wanted;
    if (wanted.size() >= current.size() && StartsWith(wanted, current))
        return current;
    std::size_t length = 0;
    while (length < wanted.size() && length < current.size() && wanted[length] == current[length])
        ++length;
    std::string common = wanted.substr(0, length);
    while (!common.empty() && common.back() != '/')
        common.pop_back();
    return common;
}

// The folder names of a relative path, in order; slashes never make empty names.
std::vector<std::string> FolderNames(const std::string& rest)
{
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at < rest.size()) {
        while (at < rest.size() && rest[at] == '/')
            ++at;
        const std::size_t slash = rest.find('/', at);
        const std::size_t end = slash == std::string::npos ? rest.size() : slash;
        if (end > at)
            names.push_back(rest.substr(at, end - at));
        at = end;
    }
    return names;
}

// Servers that will not rename onto an existing name get the old file
// deleted first; when that fails too, the refusal of the rename is the reason.
void RenameRemoteFile(TFTPClient& client, const std::string& from, const std::string& to)
{
    client.Command("RNFR", from, {350});
    try {
        client.Command("RNTO", to, {250});
        return;
    } catch (const EFTPTimeout&) {
        throw;
    } catch (const EFTPError& refused) {
        if (!client.Connected())
            throw;
        const std::string reason = refused.what();
        try {
            client.Command("DELE", to, {250});
        } catch (const EFTPTimeout&) {
            throw;
        } catch (const EFTPError&) {
            throw EFTPError(reason);
        }
    }
    client.Command("RNFR", from, {350});
    client.Command("RNTO", to, {250});
}

}  // namespace

/*
 * The unfinished name is one the viewer never asks for: a transfer cut short
 * leaves only that name, which the next one overwrites, and the real name
 * holds either the old file or the new one whole.
 */
void StoreWhole(TFTPClient& client, const std::string& name, std::istream& content,
                const std::function<void(std::int64_t)>& work)
{
    const std::string unfinished = UnfinishedName(name);
    client.Store(unfinished, content, work);
    RenameRemoteFile(client, unfinished, name);
}

TCustomTransferThread::TCustomTransferThread(TMessageTarget& target, const TTaskContext& context,
                                             TMessageNumber completion)
    : TTaskThread(target, context.JobReference(), completion), Context(context)
{
}

TFTPTimeouts TCustomTransferThread::SessionTimeouts(const TSettingsRecord& settings)
{
    TFTPTimeouts timeouts;
    timeouts.Connect = ConnectTimeout;
    timeouts.Reply = settings.FTPReplyTimeout;
    timeouts.Stall = settings.FTPStallTimeout;
    return timeouts;
}

void TCustomTransferThread::PostLog(const std::string& text, int progress)
{
    PostLogText(text, progress);
}

void TCustomTransferThread::PostTaskLog(const std::string& text, int progress)
{
    PostTaskText(text, progress);
}

bool TCustomTransferThread::LoadJob(TJobDetailRecord& job, std::string& localFolder, const std::string& consequence)
{
    LoadJobDetail(Context.Catalogue(), static_cast<std::int32_t>(JobReference()), job);
    if (job.ID <= 0) {
        Fail("Job " + std::to_string(JobReference()) + " is not in the catalogue.");
        return false;
    }
    // The id names the job's folders here and on the server: anything but
    // 17 digits could name a folder of other jobs, or of the program.
    if (!IsUniqueID(job.UniqueID)) {
        const std::string reason = job.UniqueID.empty()
                                       ? "Job " + std::to_string(JobReference()) + " has no unique id; " + consequence
                                       : "Job " + std::to_string(JobReference()) + " has the unique id \"" +
                                             job.UniqueID + "\", which is not 17 digits; " + consequence;
        PostLog(reason, 100);
        Fail(reason);
        return false;
    }
    // A damaged secret must not fall back to the guessable folder.
    if (!job.Secret.empty() && !IsJobSecret(job.Secret)) {
        const std::string reason = "Job " + std::to_string(JobReference()) + " has the secret \"" + job.Secret +
                                   "\", which is not 32 lower-case hexadecimal digits; " + consequence;
        PostLog(reason, 100);
        Fail(reason);
        return false;
    }
    HideInLog(job.Secret);
    localFolder = JobOutputFolder(Context.Catalogue(), static_cast<std::int32_t>(JobReference()));
    if (localFolder.empty()) {
        const std::string reason = "Job " + std::to_string(JobReference()) + " has no unique id; " + consequence;
        PostLog(reason, 100);
        Fail(reason);
        return false;
    }
    return true;
}

void TCustomTransferThread::CreateClient()
{
    Client = std::make_unique<TFTPClient>();
    Client->OnStatus = [this](const std::string& status) { FTPStatus(status); };
    Client->OnConnected = [this](std::intptr_t socketHandle) { KeepAliveStep(socketHandle); };
}

void TCustomTransferThread::DestroyClient()
{
    Client.reset();
}

void TCustomTransferThread::KeepAliveStep(std::intptr_t socketHandle)
{
    if (UseKeepAlive == 0)
        return;
    const int error =
        SetSocketKeepAlive(socketHandle, UseKeepAlive, KeepAliveIdleMilliseconds, KeepAliveIntervalMilliseconds);
    if (error != 0)
        PostTaskLog("Could not set keep alive time. Error " + std::to_string(error), -1);
}

void TCustomTransferThread::FTPWork(std::int64_t count)
{
    TransferredBytes = count;
    if (TransferSize <= 0)
        return;
    const int percent = RoundedPercent(count, TransferSize);
    if (percent != LastPercent) {
        LastPercent = percent;
        PostTaskLog("", percent);
    }
}

void TCustomTransferThread::FTPStatus(const std::string& status)
{
    PostTaskLog(status, -1);
}

bool TCustomTransferThread::LogOn()
{
    const TSettingsRecord& settings = Context.Settings();
    UseKeepAlive = settings.FTPUseKeepAlives ? 0xFFFFFFFFu : 0u;
    try {
        OpenConfiguredFTP(*Client, settings, SessionTimeouts(settings));
        const auto& certificate = Client->Certificate();
        // Once a task: every reconnection presents the same certificate.
        if (!ExpiryNoted && certificate && certificate->Expired) {
            PostLog(PinnedExpiryNotice(ParseFTPServer(settings.FTPServer).Host, *certificate), -1);
            ExpiryNoted = true;
        }
        Client->LogOn(settings.FTPUserName, settings.FTPPassword);
    } catch (const EFTPError& error) {
        LastError = Trimmed(error.what());
        return false;
    }
    Client->SetPassive(settings.FTPPassiveMode);
    return true;
}

bool TCustomTransferThread::ReadCurrentRemotePath()
{
    try {
        CurrentRemotePath = WithSingleTrailingSlash(Client->PrintWorkingDirectory());
    } catch (const EFTPError& error) {
        LastError = Trimmed(error.what());
        return false;
    }
    return true;
}

/*
 * 1. Log on: greeting, USER, PASS, SYST; then PASV or PORT from the settings.
 * 2. CWD to the initial directory when one is set.
 * 3. PWD; the initial directory as typed must occur in the reported path.
 * 4. The reported path is the root of everything the task does remotely.
 * A failure after the connection exists closes it again, so that no later
 * transfer can go on in a session whose place on the server is unknown.
 */
bool TCustomTransferThread::Connect()
{
    if (!Unresponsive.empty()) {
        LastError = "not tried, the FTP server stopped answering (" + Unresponsive + ")";
        return false;
    }
    if (!LogOn()) {
        NoteTimeOut(true);
        AbandonSession();
        return false;
    }
    const std::string initial = Context.Settings().FTPInitialDirectory;
    bool connected = true;
    if (!initial.empty()) {
        try {
            Client->Command("CWD", WithoutTrailingSlash(initial), {200, 250});
        } catch (const EFTPError& error) {
            LastError = Trimmed(error.what());
            connected = false;
        }
    }
    connected = connected && ReadCurrentRemotePath();
    if (connected && !initial.empty() && CurrentRemotePath.find(initial) == std::string::npos) {
        LastError = "Could not find the initial directory, \"" + initial +
                    "\", in the current working directory retrieved from the server, \"" + CurrentRemotePath + "\"";
        connected = false;
    }
    if (!connected) {
        NoteTimeOut(true);
        AbandonSession();
        return false;
    }
    RootRemotePath = CurrentRemotePath;
    return true;
}

// After a failure: when the session was lost to a time-out, one more
// attempt timed out, and a log-on that timed out (atOnce) is the last wait.
void TCustomTransferThread::NoteTimeOut(bool atOnce)
{
    if (!Client->TimedOut())
        return;
    if (atOnce || ++TimedOutAttempts >= Attempts)
        Unresponsive = LastError;
}

// Closes a session that failed to log on, keeping the reason of the failure.
void TCustomTransferThread::AbandonSession()
{
    const std::string reason = LastError;
    Disconnect();
    LastError = reason;
}

bool TCustomTransferThread::Disconnect()
{
    CurrentRemotePath.clear();
    RootRemotePath.clear();
    if (!Client || !Client->Connected())
        return true;
    try {
        Client->Close();
    } catch (const EFTPError& error) {
        LastError = Trimmed(error.what());
        return false;
    }
    return true;
}

// CWD into the name, creating it with MKD when that fails; then PWD.
bool TCustomTransferThread::EnterOrMakeFolder(const std::string& name)
{
    try {
        Client->Command("CWD", name, {200, 250});
    } catch (const EFTPError&) {
        try {
            Client->Command("MKD", name, {257});
            Client->Command("CWD", name, {200, 250});
        } catch (const EFTPError& error) {
            LastError = Trimmed(error.what());
            return false;
        }
    }
    return ReadCurrentRemotePath();
}

/*
 * 1. Go up to the common part of the wanted and the current path, if that
 *    is not where the session is (a failure here is only recorded).
 * 2. Walk down the remaining names one by one, making each that is missing.
 * 3. Check that the server now reports a path holding the wanted one.
 */
bool TCustomTransferThread::ChangeRemoteDirectory(const std::string& remotePath)
{
    if (CurrentRemotePath.empty()) {
        LastError = "Could not change directories. The current remote path is invalid.";
        return false;
    }
    if (remotePath.empty() || remotePath.front() != '/') {
        LastError = "Could not change directories. A full path is required.";
        return false;
    }
    const std::string common = CommonPart(remotePath, CurrentRemotePath);
    const std::vector<std::string> names = FolderNames(remotePath.substr(common.size()));
    if (!common.empty() && common != CurrentRemotePath) {
        try {
            // The root itself has no name without its slash.
            Client->Command("CWD", common == "/" ? common : WithoutTrailingSlash(common), {200, 250});
            ReadCurrentRemotePath();
        } catch (const EFTPError& error) {
            LastError = Trimmed(error.what());
        }
    }
    if (CurrentRemotePath == remotePath)
        return true;
    for (const std::string& name : names)
        if (!EnterOrMakeFolder(name))
            return false;
    if (names.empty())
        return false;
    return IsAtRemotePath(remotePath);
}

bool TCustomTransferThread::IsAtRemotePath(const std::string& remotePath)
{
    if (CurrentRemotePath.find(remotePath) != std::string::npos)
        return true;
    LastError = "The current remote path, \"" + CurrentRemotePath +
                "\", is not a subset of the desired remote path, \"" + remotePath + "\"";
    return false;
}

// TYPE (chosen by the real name), then the content from its start, whole.
bool TCustomTransferThread::StoreFile(std::istream& content, const std::string& fileName)
{
    Client->Command("TYPE", IsTextTransferName(fileName) ? "A" : "I", {200});
    content.clear();
    content.seekg(0);
    StoreWhole(*Client, fileName, content, [this](std::int64_t count) { FTPWork(count); });
    return true;
}

/*
 * Each attempt: connect and go to the remote folder when the session is
 * closed, then TYPE, STOR and the rename. A failed attempt closes the session and is
 * logged; the next one starts from a fresh logon. A failed logon ends the
 * attempts at once. A failed change of folder fails the attempt, so that no
 * file lands in another folder than the one asked for. A local file that
 * cannot be opened is no matter for the session: it fails at once.
 */
bool TCustomTransferThread::SendFile(const std::string& localFolder, const std::string& remoteFolder,
                                     const std::string& fileName)
{
    const std::string localPath = WithSingleTrailingBackslash(localFolder) + fileName;
    std::error_code missing;
    const auto size = std::filesystem::file_size(localPath, missing);
    TransferSize = missing ? 0 : static_cast<std::int64_t>(size);
    TransferredBytes = 0;
    std::ifstream content(localPath, std::ios::binary);
    if (!content) {
        LastError = "Could not open the file " + localPath + ".";
        PostLog(LastError, -1);
        return false;
    }
    return SendContent(content, remoteFolder, fileName);
}

bool TCustomTransferThread::SendContent(std::istream& content, const std::string& remoteFolder,
                                        const std::string& fileName)
{
    for (int attempt = 1; attempt <= Attempts; ++attempt) {
        bool ready = true;
        if (!Client->Connected()) {
            if (!Connect())
                return false;
            ready = ChangeRemoteDirectory(remoteFolder);
        }
        if (ready) {
            try {
                StoreFile(content, fileName);
                TimedOutAttempts = 0;
                return true;
            } catch (const EFTPError& error) {
                LastError = Trimmed(error.what());
            }
        }
        NoteTimeOut(false);
        const bool closed = !Client->Connected() || Disconnect();
        PostLog(LastError, -1);
        if (!closed)
            return false;
    }
    return false;
}

std::vector<std::string> TCustomTransferThread::RemoteNameList()
{
    try {
        // No pattern: not every server expands one, and a plain listing names everything.
        return Client->NameList("");
    } catch (const EFTPError& error) {
        PostTaskLog(Trimmed(error.what()), -1);
        return {};
    }
}

}  // namespace tavrin
