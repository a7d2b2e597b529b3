#include "tasks/delivery/TransferCommonFiles.h"

#include "base/catalogue/OutputLayout.h"
#include "base/text/TextRules.h"
#include "engines/delivery/ConfiguredSessions.h"
#include "engines/delivery/FTPClient.h"
#include "engines/delivery/FTPServerAddress.h"
#include "engines/delivery/TransferHelpers.h"
#include "engines/delivery/WebHostSession.h"

#include <fstream>
#include <stdexcept>

namespace tavrin {

namespace {

/*
 * 1. Log on without keep-alives or a connect time-out of its own; replies
 *    and data connections wait as long as the settings allow.
 * 2. MKD the remote folder (it may exist), then CWD into it.
 * 3. STOR every finished file of the local folder, in binary, under its
 *    unfinished name, renamed when whole.
 * Raises on any failure.
 */
void SendCommonFolder(const TSettingsRecord& settings, TStationLog& log, const std::string& folderName)
{
    const std::string local = ProgramFolder() + folderName;
    // Exactly as typed: a hand-edited "/www" gives "/wwwtavrin/images".
    const std::string remote = settings.FTPInitialDirectory + "tavrin/" + folderName;

    TFTPClient client;
    client.SetPassive(false);
    TFTPTimeouts timeouts = TWebHostSession::Timeouts(settings);
    timeouts.Connect = std::chrono::milliseconds(0);
    OpenConfiguredFTP(client, settings, timeouts);
    if (client.Certificate() && client.Certificate()->Expired)
        log.Log(PinnedExpiryNotice(ParseFTPServer(settings.FTPServer).Host, *client.Certificate()));
    client.LogOn(settings.FTPUserName, settings.FTPPassword);
    client.Command("TYPE", "I", {200});
    if (!remote.empty()) {
        try {
            client.Command("MKD", remote, {257});
        } catch (const EFTPError&) {
            // Usually there already.
        }
        client.Command("CWD", remote, {200, 250});
    }
    for (const std::string& name : ListFolderFiles(local)) {
        // What a killed run left is never published.
        if (IsUnfinishedName(name))
            continue;
        const std::string path = local + PathDelimiter + name;
        log.Log("Sending " + path);
        std::ifstream content(path, std::ios::binary);
        if (!content)
            throw std::runtime_error("Could not open the file " + path + ".");
        StoreWhole(client, name, content, {});
        log.Log("Done sending " + path);
    }
    client.Close();
    log.Log("Done");
}

}  // namespace

void TransferCommonFiles(const TSettingsRecord& settings, TStationLog& log)
{
    try {
        SendCommonFolder(settings, log, "images");
        SendCommonFolder(settings, log, "scripts");
    } catch (const std::exception& error) {
        // A server's reply ends in its line break, which no one needs to see.
        throw std::runtime_error(Trimmed(error.what()));
    }
}

}  // namespace tavrin
