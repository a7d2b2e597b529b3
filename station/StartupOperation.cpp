#include "station/StartupOperation.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueDefinition.h"
#include "base/settings/ConnectionSecurity.h"
#include "base/settings/SettingsFile.h"
#include "base/settings/SharedSettings.h"
#include "base/text/TextRules.h"
#include "engines/imaging/ColorTableGenerator.h"
#include "station/OperatorDialogs.h"
#include "station/QueueRunner.h"
#include "tasks/catalogue/FolderScan.h"

#include <filesystem>
#include <mutex>

namespace tavrin {

std::string ConnectionSecurityCheck(const TSettingsRecord& settings)
{
    std::string message;
    const std::optional<TFTPSecurity> ftp = ParseFTPSecurity(settings.FTPSecurity);
    const std::optional<TSMTPSecurity> smtp = ParseSMTPSecurity(settings.SMTPSecurity);
    if (!ftp)
        message += "FTP Security \"" + settings.FTPSecurity + "\" is not None or TLS; nothing is sent by FTP\r\n";
    if (!smtp)
        message +=
            "SMTP Security \"" + settings.SMTPSecurity + "\" is not None, STARTTLS or TLS; no e-mail is sent\r\n";
    if (!ParseFingerprint(settings.FTPServerFingerprint))
        message += "FTP Server Fingerprint is not a SHA-256 fingerprint (64 hexadecimal digits)\r\n";
    if (!ParseFingerprint(settings.SMTPServerFingerprint))
        message += "SMTP Server Fingerprint is not a SHA-256 fingerprint (64 hexadecimal digits)\r\n";
    if (ftp == TFTPSecurity::None && !Trimmed(settings.FTPServer).empty() && !settings.FTPPassword.empty() &&
        !IsLoopbackHost(settings.FTPServer))
        message += "The FTP password would travel unencrypted to " + settings.FTPServer +
                   ": choose TLS under FTP Security\r\n";
    if (smtp == TSMTPSecurity::None && settings.AuthenticationRequired && !Trimmed(settings.SMTPHost).empty() &&
        !settings.SMTPPassword.empty() && !IsLoopbackHost(settings.SMTPHost))
        message += "The SMTP password would travel unencrypted to " + settings.SMTPHost +
                   ": choose STARTTLS or TLS under SMTP Security\r\n";
    return message;
}

std::string ConfigurationCheck(TSettingsRecord& settings)
{
    std::string message;
    const auto require = [&](const std::string& value, const char* line) {
        if (value.empty())
            message += std::string(line) + "\r\n";
    };
    require(settings.InputFolder, "Input Folder requires configuration");
    require(settings.FTPServer, "FTP Server requires configuration");
    require(settings.FTPUserName, "FTP UserName requires configuration");
    require(settings.FTPPassword, "FTP Password requires configuration");
    require(settings.SMTPHost, "SMTP Host requires configuration");
    require(settings.SMTPPort, "SMTP Port requires configuration");
    if (settings.AuthenticationRequired) {
        require(settings.SMTPUsername, "The SMTP Username requires configuration");
        require(settings.SMTPPassword, "SMTP Password requires configuration");
    }
    require(settings.FromEmail, "From Email requires configuration");
    require(settings.WebRoot, "URL Base requires configuration");
    message += ConnectionSecurityCheck(settings);
    if (!settings.SourceColorProfile.empty() || !settings.DestinationColorProfile.empty()) {
        TColorTableGenerator generator(settings.SourceColorProfile, settings.DestinationColorProfile);
        try {
            generator.BuildTable();
            settings.ProfilesValid = true;
        } catch (const EColorProfileError& error) {
            settings.ProfilesValid = false;
            message += "Color profile error: " + std::string(error.what()) +
                       ". If ignored, one or more default profiles will be used.\r\n";
        }
    }
    return Trimmed(message);
}

void OpenStationFiles(TSharedSettings& settings, TCatalogueConnection& catalogue)
{
    TSettingsRecord record = settings.Copy();
    LoadSettings(record);
    settings.Assign(record);
    const std::string path = CatalogueFilePath();
    PrepareCatalogue(path, true);
    OpenCatalogueConnection(catalogue, path);
    if (!catalogue.IsOpen())
        throw ECatalogueError("The catalogue " + path + " could not be opened");
}

void OpenStationFilesForReading(TSharedSettings& settings, TCatalogueConnection& catalogue)
{
    TSettingsRecord record = settings.Copy();
    LoadSettings(record);
    settings.Assign(record);
    const std::string path = CatalogueFilePath();
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        throw ECatalogueError("There is no catalogue file " + path +
                              " yet: the station makes it when it starts (tavrin-cli startup)");
    std::lock_guard lock(CatalogueLock);
    catalogue.Open(path, false, TCatalogueAccess::ReadOnly);
    // A column the statements expect but the file lacks would fail them one
    // by one with less clear errors; updating the file is a change.
    try {
        const std::string missing = FirstMissingColumn(catalogue, path);
        if (!missing.empty())
            throw ECatalogueError("The catalogue file " + path + " has no column " + missing +
                                  " yet: the station brings it up to date when it starts (tavrin-cli startup)");
    } catch (...) {
        // Left closed: no statement runs on a file the commands cannot read whole.
        catalogue.Close();
        throw;
    }
}

TStartupOperation::TStartupOperation(TQueueRunner& runner, TStationLog& log, TOperatorDialogs& dialogs,
                                     TSharedSettings& settings, TCatalogueConnection& catalogue)
    : Runner(runner), Log(log), Dialogs(dialogs), SharedSettings(settings), Connection(catalogue)
{
}

// 1. Settings. 2. Catalogue, created or brought up to date, and the shared
// connection. 3. Configuration check. 4. Job tree. 5. Queue and post-queue
// lists, the first queue row selected when none is.
void TStartupOperation::Run()
{
    OpenStationFiles(SharedSettings, Connection);
    TSettingsRecord settings = SharedSettings.Copy();
    const std::string problems = ConfigurationCheck(settings);
    SharedSettings.Update([&](TSettingsRecord& record) { record.ProfilesValid = settings.ProfilesValid; });
    if (!problems.empty())
        Dialogs.Tell("Configuration Error", problems, TDialogIcon::Warning);

    RebuildJobTree();
    Runner.ReloadQueueList();
    Runner.ReloadPostQueueList();
    if (Runner.SelectedQueueRow() < 0 && !Runner.QueueRows().empty())
        Runner.SelectQueueRow(0);
    FirstRun = true;
}

bool TStartupOperation::RebuildJobTree()
{
    return BuildJobTree(Connection, JobTree, SharedSettings.Copy(), Log);
}

}  // namespace tavrin
