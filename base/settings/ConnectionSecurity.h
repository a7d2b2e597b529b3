#pragma once

#include <optional>
#include <string>

namespace tavrin {

// How the FTP session is protected: plain, or TLS negotiated with AUTH TLS.
enum class TFTPSecurity { None, TLS };
// How the mail session is protected: plain, TLS negotiated with STARTTLS,
// or TLS from the first byte (implicit, usually port 465).
enum class TSMTPSecurity { None, STARTTLS, TLS };

// The settings' texts, compared without regard to case; an empty text is
// the default, None. Any other text is no choice at all (nullopt): the
// configuration check names it, and the tasks refuse to guess.
std::optional<TFTPSecurity> ParseFTPSecurity(const std::string& text);
std::optional<TSMTPSecurity> ParseSMTPSecurity(const std::string& text);

// The choices as the settings file and the dialog write them.
const char* SecurityText(TFTPSecurity security);
const char* SecurityText(TSMTPSecurity security);

// A pinned certificate fingerprint: the SHA-256 of the server's certificate
// as 64 hex digits, pairs optionally separated by colons or blanks (as
// openssl prints it). Gives the 64 digits in lower case; "" for an empty
// text (no pin: the system's certificate authorities decide); nullopt for
// anything else.
std::optional<std::string> ParseFingerprint(const std::string& text);

// True for a host the password would not leave this machine for:
// "localhost" or a loopback address (127.x.x.x, ::1), with or without a port.
bool IsLoopbackHost(const std::string& host);

}  // namespace tavrin
