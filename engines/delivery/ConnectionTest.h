#pragma once

#include "base/settings/SettingsRecord.h"
#include "engines/delivery/TLSTrust.h"

#include <optional>
#include <string>

namespace tavrin {

// What logging on and off a server showed: whether it worked, what was said
// (the reason when it did not) and the certificate presented, if any (also
// when it was refused, so that the operator can pin it).
struct TConnectionTestReport {
    bool Succeeded = false;
    std::string Outcome;
    std::optional<TServerCertificate> Certificate;
};

// The report as an operator reads it in a box: the outcome, then the
// certificate's subject, issuer, validity and SHA-256 fingerprint.
std::string ReportText(const TConnectionTestReport& report);

// Logs on to the FTP server of the settings as the tasks do (security and
// trust included) and off again. Waits no longer than about half a minute
// for each step. Never raises.
TConnectionTestReport TestFTPConnection(const TSettingsRecord& settings);

// Greets the mail server of the settings as the notification does
// (STARTTLS or implicit TLS included), logs on when authentication is
// required, and says goodbye. Sends no message. Never raises.
TConnectionTestReport TestSMTPConnection(const TSettingsRecord& settings);

}  // namespace tavrin
