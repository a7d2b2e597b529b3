#include "engines/delivery/WebHostSession.h"

#include "base/catalogue/OutputLayout.h"
#include "base/platform/SocketOptions.h"
#include "base/tasking/RoundedPercent.h"
#include "base/text/TextRules.h"
#include "engines/delivery/ConfiguredSessions.h"
#include "engines/delivery/FTPServerAddress.h"
#include "engines/delivery/RemotePaths.h"
#include "engines/delivery/TransferHelpers.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tavrin {

namespace {

constexpr int Attempts = 3;

// The client's failure as the session's: the reason without the reply's line end.
[[noreturn]] void RaiseTrimmed(const EFTPError& error)
{
    throw EFTPError(Trimmed(error.what()));
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

TWebHostSession::TWebHostSession(TSettingsRecord settings, TSessionReports reports)
    : Settings(std::move(settings)), Reports(std::move(reports)), FTP(std::make_unique<TFTPClient>())
{
    FTP->OnStatus = [this](const std::string& status) {
        if (Reports.Status)
            Reports.Status(status);
    };
    FTP->OnConnected = [this](std::intptr_t socketHandle) { KeepAliveStep(socketHandle); };
}

TWebHostSession::~TWebHostSession() = default;

TFTPTimeouts TWebHostSession::Timeouts(const TSettingsRecord& settings)
{
    TFTPTimeouts timeouts;
    timeouts.Connect = ConnectTimeout;
    timeouts.Reply = settings.FTPReplyTimeout;
    timeouts.Stall = settings.FTPStallTimeout;
    return timeouts;
}

bool TWebHostSession::Connected() const
{
    return FTP->Connected();
}

void TWebHostSession::KeepAliveStep(std::intptr_t socketHandle)
{
    if (UseKeepAlive == 0)
        return;
    const int error =
        SetSocketKeepAlive(socketHandle, UseKeepAlive, KeepAliveIdleMilliseconds, KeepAliveIntervalMilliseconds);
    if (error != 0 && Reports.Status)
        Reports.Status("Could not set keep alive time. Error " + std::to_string(error));
}

void TWebHostSession::Work(std::int64_t count)
{
    if (TransferSize <= 0)
        return;
    const int percent = RoundedPercent(count, TransferSize);
    if (percent != LastPercent) {
        LastPercent = percent;
        if (Reports.Progress)
            Reports.Progress(percent);
    }
}

void TWebHostSession::LogOn()
{
    UseKeepAlive = Settings.FTPUseKeepAlives ? 0xFFFFFFFFu : 0u;
    OpenConfiguredFTP(*FTP, Settings, Timeouts(Settings));
    const auto& certificate = FTP->Certificate();
    // Once a session: every reconnection presents the same certificate.
    if (!ExpiryNoted && certificate && certificate->Expired) {
        if (Reports.Line)
            Reports.Line(PinnedExpiryNotice(ParseFTPServer(Settings.FTPServer).Host, *certificate));
        ExpiryNoted = true;
    }
    FTP->LogOn(Settings.FTPUserName, Settings.FTPPassword);
    FTP->SetPassive(Settings.FTPPassiveMode);
}

void TWebHostSession::ReadCurrentRemotePath()
{
    try {
        CurrentRemotePath = WithSingleTrailingSlash(FTP->PrintWorkingDirectory());
    } catch (const EFTPError& error) {
        RaiseTrimmed(error);
    }
}

/*
 * 1. Log on: greeting, USER, PASS, SYST; then PASV or PORT from the settings.
 * 2. CWD to the initial directory when one is set.
 * 3. PWD; the initial directory as typed must occur in the reported path.
 * 4. The reported path is the root of everything the session does remotely.
 * A failure after the connection exists closes it again, so that no later
 * transfer can go on in a session whose place on the server is unknown.
 */
void TWebHostSession::Connect()
{
    if (!Unresponsive.empty())
        throw EFTPError("not tried, the FTP server stopped answering (" + Unresponsive + ")");
    const std::string& initial = Settings.FTPInitialDirectory;
    try {
        LogOn();
        if (!initial.empty())
            FTP->Command("CWD", WithoutTrailingSlash(initial), {200, 250});
        ReadCurrentRemotePath();
        if (!initial.empty() && CurrentRemotePath.find(initial) == std::string::npos)
            throw EFTPError("Could not find the initial directory, \"" + initial +
                            "\", in the current working directory retrieved from the server, \"" + CurrentRemotePath +
                            "\"");
    } catch (const EFTPError& error) {
        const std::string reason = Trimmed(error.what());
        NoteTimeOut(true, reason);
        Close();
        throw EFTPError(reason);
    }
    RootRemotePath = CurrentRemotePath;
}

void TWebHostSession::NoteTimeOut(bool atOnce, const std::string& reason)
{
    if (!FTP->TimedOut())
        return;
    if (atOnce || ++TimedOutAttempts >= Attempts)
        Unresponsive = reason;
}

std::string TWebHostSession::Close()
{
    CurrentRemotePath.clear();
    RootRemotePath.clear();
    if (!FTP->Connected())
        return {};
    try {
        FTP->Close();
    } catch (const EFTPError& error) {
        return Trimmed(error.what());
    }
    return {};
}

void TWebHostSession::Disconnect()
{
    Close();
}

// CWD into the name, creating it with MKD when that fails; then PWD.
void TWebHostSession::EnterOrMakeFolder(const std::string& name)
{
    try {
        FTP->Command("CWD", name, {200, 250});
    } catch (const EFTPError&) {
        try {
            FTP->Command("MKD", name, {257});
            FTP->Command("CWD", name, {200, 250});
        } catch (const EFTPError& error) {
            RaiseTrimmed(error);
        }
    }
    ReadCurrentRemotePath();
}

/*
 * 1. Go up to the common part of the wanted and the current path, if that
 *    is not where the session is (a failure here is only kept as the reason
 *    should nothing be left to walk).
 * 2. Walk down the remaining names one by one, making each that is missing.
 * 3. Check that the server now reports a path holding the wanted one.
 */
void TWebHostSession::ChangeDirectory(const std::string& remotePath)
{
    if (CurrentRemotePath.empty())
        throw EFTPError("Could not change directories. The current remote path is invalid.");
    if (remotePath.empty() || remotePath.front() != '/')
        throw EFTPError("Could not change directories. A full path is required.");
    const std::string common = RemoteCommonPart(remotePath, CurrentRemotePath);
    const std::vector<std::string> names = RemoteFolderNames(remotePath.substr(common.size()));
    std::string wayUp;
    if (!common.empty() && common != CurrentRemotePath) {
        try {
            // The root itself has no name without its slash.
            FTP->Command("CWD", common == "/" ? common : WithoutTrailingSlash(common), {200, 250});
            ReadCurrentRemotePath();
        } catch (const EFTPError& error) {
            wayUp = Trimmed(error.what());
        }
    }
    if (CurrentRemotePath == remotePath)
        return;
    if (names.empty() && !wayUp.empty())
        throw EFTPError(wayUp);
    for (const std::string& name : names)
        EnterOrMakeFolder(name);
    // Nothing was walked, so the session is not where it was asked to go, whatever the check says.
    if (names.empty())
        throw EFTPError("The current remote path, \"" + CurrentRemotePath +
                        "\", is not a subset of the desired remote path, \"" + remotePath + "\"");
    CheckAt(remotePath);
}

void TWebHostSession::EnterExisting(const std::string& remotePath)
{
    try {
        // The root itself has no name without its slash.
        FTP->Command("CWD", remotePath == "/" ? remotePath : WithoutTrailingSlash(remotePath), {200, 250});
        CurrentRemotePath = WithSingleTrailingSlash(FTP->PrintWorkingDirectory());
    } catch (const EFTPError& error) {
        RaiseTrimmed(error);
    }
    CheckAt(remotePath);
}

void TWebHostSession::CheckAt(const std::string& remotePath) const
{
    if (CurrentRemotePath.find(remotePath) == std::string::npos)
        throw EFTPError("The current remote path, \"" + CurrentRemotePath +
                        "\", is not a subset of the desired remote path, \"" + remotePath + "\"");
}

std::vector<std::string> TWebHostSession::NameList()
{
    try {
        return FTP->NameList("");
    } catch (const EFTPError& error) {
        RaiseTrimmed(error);
    }
}

// TYPE (chosen by the real name), then the content from its start, whole.
void TWebHostSession::StoreFile(std::istream& content, const std::string& fileName)
{
    FTP->Command("TYPE", IsTextTransferName(fileName) ? "A" : "I", {200});
    content.clear();
    content.seekg(0);
    StoreWhole(*FTP, fileName, content, [this](std::int64_t count) { Work(count); });
}

void TWebHostSession::SendFile(const std::string& localFolder, const std::string& remoteFolder,
                               const std::string& fileName)
{
    const std::string localPath = WithSingleTrailingBackslash(localFolder) + fileName;
    std::error_code missing;
    const auto size = std::filesystem::file_size(localPath, missing);
    std::ifstream content(localPath, std::ios::binary);
    if (!content) {
        const std::string reason = "Could not open the file " + localPath + ".";
        if (Reports.Line)
            Reports.Line(reason);
        throw std::runtime_error(reason);
    }
    SendContent(content, missing ? 0 : static_cast<std::int64_t>(size), remoteFolder, fileName);
}

/*
 * Each attempt: connect and go to the remote folder when the session is
 * closed, then TYPE, STOR and the rename. A failed attempt closes the
 * session and is a line; the next one starts from a fresh log-on. A failed
 * log-on ends the attempts at once. A failed change of folder fails the
 * attempt, so that no file lands in another folder than the one asked for.
 */
void TWebHostSession::SendContent(std::istream& content, std::int64_t size, const std::string& remoteFolder,
                                  const std::string& fileName)
{
    TransferSize = size;
    std::string reason;
    for (int attempt = 1; attempt <= Attempts; ++attempt) {
        reason.clear();
        if (!FTP->Connected()) {
            Connect();
            try {
                ChangeDirectory(remoteFolder);
            } catch (const EFTPError& error) {
                reason = error.what();
            }
        }
        if (reason.empty()) {
            try {
                StoreFile(content, fileName);
                TimedOutAttempts = 0;
                return;
            } catch (const EFTPError& error) {
                reason = Trimmed(error.what());
            }
        }
        NoteTimeOut(false, reason);
        // A session lost to a time-out is closed already and keeps its paths until the next log-on.
        const std::string closing = FTP->Connected() ? Close() : std::string();
        if (!closing.empty())
            reason = closing;
        if (Reports.Line)
            Reports.Line(reason);
        if (!closing.empty())
            break;
    }
    throw EFTPError(reason);
}

}  // namespace tavrin
