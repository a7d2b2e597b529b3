#pragma once

#include "base/settings/SettingsRecord.h"
#include "engines/delivery/FTPClient.h"
#include "engines/delivery/SMTPClient.h"

#include <string>

namespace tavrin {

// Opens the FTP session the settings describe: the server of FTPServer,
// plain or in TLS as FTPSecurity says, trusting FTPServerFingerprint or the
// system's certificate authorities. A security choice or fingerprint that
// is not one raises EFTPError before any connection: a misspelt choice must
// not quietly send the password in the clear.
void OpenConfiguredFTP(TFTPClient& client, const TSettingsRecord& settings, const TFTPTimeouts& timeouts);

// Opens the mail session the settings describe and greets the server:
// implicit TLS from the first byte, or STARTTLS after the first "EHLO" (a
// server that does not offer it fails here, before any AUTH), or plain.
// Returns the server's answer to the last "EHLO" (empty after "HELO"),
// which lists what may be used inside the session. Raises ESMTPError; a
// security choice or fingerprint that is not one raises before connecting.
std::string GreetConfiguredMailServer(TSMTPClient& client, const TSettingsRecord& settings);

// Logs on when AuthenticationRequired is set: AUTH LOGIN where the server
// offers it, AUTH PLAIN where it offers only that; without either nothing
// is tried. Raises ESMTPError when the server refuses.
void LogOnToMailServer(TSMTPClient& client, const TSettingsRecord& settings, const std::string& extensions);

}  // namespace tavrin
