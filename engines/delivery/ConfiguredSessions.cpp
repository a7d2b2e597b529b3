#include "engines/delivery/ConfiguredSessions.h"

#include "base/settings/ConnectionSecurity.h"
#include "engines/delivery/FTPServerAddress.h"
#include "engines/delivery/NotifyMessage.h"

#include <Poco/Environment.h>

#include <optional>

namespace tavrin {

void OpenConfiguredFTP(TFTPClient& client, const TSettingsRecord& settings, const TFTPTimeouts& timeouts)
{
    const std::optional<TFTPSecurity> security = ParseFTPSecurity(settings.FTPSecurity);
    if (!security)
        throw EFTPError("FTP Security \"" + settings.FTPSecurity + "\" is not None or TLS; nothing is sent");
    const std::optional<std::string> pinned = ParseFingerprint(settings.FTPServerFingerprint);
    if (!pinned)
        throw EFTPError("FTP Server Fingerprint \"" + settings.FTPServerFingerprint +
                        "\" is not a SHA-256 fingerprint; nothing is sent");
    const TFTPServerAddress server = ParseFTPServer(settings.FTPServer);
    if (*security == TFTPSecurity::TLS)
        client.OpenSecure(server.Host, server.Port, timeouts, TTLSTrust{server.Host, *pinned});
    else
        client.Open(server.Host, server.Port, timeouts);
}

std::string GreetConfiguredMailServer(TSMTPClient& client, const TSettingsRecord& settings)
{
    const std::optional<TSMTPSecurity> security = ParseSMTPSecurity(settings.SMTPSecurity);
    if (!security)
        throw ESMTPError("SMTP Security \"" + settings.SMTPSecurity +
                         "\" is not None, STARTTLS or TLS; no e-mail is sent");
    const std::optional<std::string> pinned = ParseFingerprint(settings.SMTPServerFingerprint);
    if (!pinned)
        throw ESMTPError("SMTP Server Fingerprint \"" + settings.SMTPServerFingerprint +
                         "\" is not a SHA-256 fingerprint; no e-mail is sent");
    const TTLSTrust trust{settings.SMTPHost, *pinned};
    const std::uint16_t port = SMTPPortNumber(settings.SMTPPort);
    if (*security == TSMTPSecurity::TLS)
        client.OpenSecure(settings.SMTPHost, port, settings.SMTPReplyTimeout, trust);
    else
        client.Open(settings.SMTPHost, port, settings.SMTPReplyTimeout);

    const std::string localName = Poco::Environment::nodeName();
    const TSMTPReply reply = client.Command("EHLO " + localName, {});
    if (*security == TSMTPSecurity::STARTTLS) {
        if (reply.Code != 250 || !ListsExtension(reply.Text, "STARTTLS"))
            throw ESMTPError("The mail server " + settings.SMTPHost +
                             " does not offer STARTTLS; nothing was sent, the password least of all");
        client.StartTLS(trust);
        // What the server offered before TLS may have been changed on the way: ask again.
        return client.Command("EHLO " + localName, {250}).Text;
    }
    if (reply.Code == 250)
        return reply.Text;
    client.Command("HELO " + localName, {250});
    return {};
}

void LogOnToMailServer(TSMTPClient& client, const TSettingsRecord& settings, const std::string& extensions)
{
    if (!settings.AuthenticationRequired)
        return;
    if (ListsAuthMechanism(extensions, "LOGIN")) {
        client.Command("AUTH LOGIN", {334}, "AUTH LOGIN");
        client.Command(Base64Line(settings.SMTPUsername), {334}, "the AUTH LOGIN user name");
        client.Command(Base64Line(settings.SMTPPassword), {235}, "the AUTH LOGIN password");
    } else if (ListsAuthMechanism(extensions, "PLAIN")) {
        client.Command("AUTH PLAIN " + PlainCredentials(settings.SMTPUsername, settings.SMTPPassword), {235},
                       "AUTH PLAIN");
    }
}

}  // namespace tavrin
