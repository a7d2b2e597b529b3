#include "engines/delivery/ConnectionTest.h"

#include "base/settings/ConnectionSecurity.h"
#include "engines/delivery/ConfiguredSessions.h"

#include <algorithm>

namespace tavrin {

namespace {

// An operator waits at the box: no step takes longer than this.
constexpr std::chrono::seconds LongestWait(30);

template <typename TDuration>
TDuration Bounded(TDuration wait)
{
    return std::min<TDuration>(wait, std::chrono::duration_cast<TDuration>(LongestWait));
}

}  // namespace

std::string ReportText(const TConnectionTestReport& report)
{
    std::string text = report.Outcome;
    if (report.Certificate) {
        const TServerCertificate& certificate = *report.Certificate;
        text += "\n\nCertificate subject: " + certificate.Subject + "\nIssued by: " + certificate.Issuer +
                "\nValid from " + certificate.ValidFrom + " until " + certificate.ValidUntil +
                "\nSHA-256 fingerprint: " + certificate.Fingerprint;
        if (certificate.Expired && report.Succeeded)
            text += "\nThis certificate has expired: it is accepted because its fingerprint is pinned.";
    } else {
        text += "\n\nNo certificate: the session is not encrypted.";
    }
    return text;
}

TConnectionTestReport TestFTPConnection(const TSettingsRecord& settings)
{
    TConnectionTestReport report;
    TFTPClient client;
    TFTPTimeouts timeouts;
    timeouts.Connect = LongestWait;
    timeouts.Reply = Bounded(std::chrono::duration_cast<std::chrono::milliseconds>(settings.FTPReplyTimeout));
    timeouts.Stall = timeouts.Reply;
    try {
        OpenConfiguredFTP(client, settings, timeouts);
        client.LogOn(settings.FTPUserName, settings.FTPPassword);
        report.Certificate = client.Certificate();
        client.Close();
        report.Succeeded = true;
        report.Outcome = "Logged on to the FTP server " + settings.FTPServer + " and off again" +
                         (report.Certificate ? " over TLS." : ", unencrypted.");
    } catch (const std::exception& error) {
        report.Certificate = client.Certificate();
        report.Outcome = "Could not log on to the FTP server " + settings.FTPServer + ": " + error.what();
    }
    return report;
}

TConnectionTestReport TestSMTPConnection(const TSettingsRecord& settings)
{
    TConnectionTestReport report;
    TSettingsRecord bounded = settings;
    bounded.SMTPReplyTimeout = Bounded(settings.SMTPReplyTimeout);
    TSMTPClient client;
    try {
        const std::string extensions = GreetConfiguredMailServer(client, bounded);
        LogOnToMailServer(client, bounded, extensions);
        report.Certificate = client.Certificate();
        client.Close();
        report.Succeeded = true;
        const bool loggedOn = settings.AuthenticationRequired &&
                              (ListsAuthMechanism(extensions, "LOGIN") || ListsAuthMechanism(extensions, "PLAIN"));
        report.Outcome = std::string(loggedOn ? "Logged on to" : "Greeted") + " the mail server " + settings.SMTPHost +
                         (report.Certificate ? " over TLS." : ", unencrypted.");
        if (settings.AuthenticationRequired && !loggedOn)
            report.Outcome += " It offers neither AUTH LOGIN nor AUTH PLAIN: the station sends without logging on.";
    } catch (const std::exception& error) {
        report.Certificate = client.Certificate();
        report.Outcome = "Could not talk to the mail server " + settings.SMTPHost + ": " + error.what();
    }
    return report;
}

}  // namespace tavrin
