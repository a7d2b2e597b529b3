#pragma once

#include "base/catalogue/JobDetailRecord.h"
#include "base/settings/SettingsRecord.h"
#include "base/text/CalendarDate.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

// One address of the notification: a display name (may be empty) and the address.
struct TMailbox {
    std::string Name;
    std::string Address;

    bool operator==(const TMailbox&) const = default;
};

// The notification e-mail of a job before it is composed.
struct TNotifyMessage {
    TMailbox From;
    std::optional<TMailbox> ReplyTo;
    std::vector<TMailbox> To;
    std::optional<TMailbox> Cc;
    std::string Subject;
    std::string PlainText;  // lines joined with CR LF
    std::string HTMLText;   // lines joined with CR LF
    std::string OverviewPath;
};

// The name of the picture the message shows inline: its file name, the
// attachment's file name and its content ID.
inline const std::string OverviewFileName = "overview-0001.png";

// A mailbox made of text from outside (settings, address book): every run of
// control characters in the name (line breaks among them) becomes one blank,
// and the address loses its control characters, so that neither can break a
// header line or a command line.
TMailbox MailboxFromText(const std::string& name, const std::string& address);

// "Name <address>", or the bare address when there is no name.
std::string MailboxDisplayText(const TMailbox& mailbox);

// The mailboxes in display form separated by ", ".
std::string MailboxListText(const std::vector<TMailbox>& mailboxes);

// The mailbox as a header value: a name with non-ASCII characters as RFC 2047
// words, a name with characters other than letters, digits, blanks and the
// other atom characters in double quotes, then the address in angle
// brackets; the bare address when there is no name.
std::string MailboxHeaderText(const TMailbox& mailbox);

// The text as RFC 2047 "Q" words in UTF-8, each at most 75 characters long
// and holding whole characters only, separated by CR LF and a blank. A
// first word that follows firstColumn characters of its line (a header's
// name) is shortened so that the line stays within 76.
std::string EncodedWords(const std::string& text, std::size_t firstColumn = 0);

// What the mail of a later proof round says of it: the round's number at
// the end of the subject, " (round 2)", and a line after the text (see
// RoundMailLine.h).
struct TMailRound {
    std::int32_t Number = 2;
    std::string Line;
};

// What the shop and the job add around the two lines that name the link.
// Each is left out when empty.
struct TMailAdditions {
    std::string Reminder;      // the first line of a reminder
    std::string Introduction;  // the shop's lines before the text (NotifyIntroduction)
    std::string RoundLine;     // a later round's line, after the link's
    std::string DueLine;       // "Please answer by ...", after the round line
    std::string Signature;     // the shop's lines after everything else (NotifySignature)
};

// The plain-text part: two lines naming the link, and around them the
// additions in the order of TMailAdditions; the introduction and the
// signature are set apart from the rest by an empty line.
std::string NotifyPlainText(const std::string& link, const TMailAdditions& additions = {});

// The HTML part: six lines with the link, the inline overview and the job's
// name, HTML-encoded; each addition HTML-encoded, its line breaks "<br>",
// followed by "<br><br>" (the signature, after the picture's caption, is
// preceded by them instead).
std::string NotifyHTMLText(const std::string& link, const std::string& jobName, const TMailAdditions& additions = {});

// "Please answer by Friday, 18 December 2026."
std::string DueDateLine(const TCalendarDate& due);

// The first line of a reminder.
inline const std::string ReminderLine = "This is a reminder: the proof below is still waiting for your answer.";

// The message of a job, To left empty: From, Reply-To and Cc from the
// settings (Reply-To and Cc only when their address is set), the subject,
// the two texts with the job's link, the shop's introduction and signature,
// the due date's line when the job has one, and the overview of page 1 in
// the job folder (empty folder: empty path). A later round's message names
// it in the subject and the texts; a first proof's has no word of rounds.
TNotifyMessage NotifyMessageFor(const TJobDetailRecord& job, const std::string& jobFolder,
                                const TSettingsRecord& settings, const std::optional<TMailRound>& round = {},
                                const std::optional<TCalendarDate>& due = {});

// The reminder of a job whose proof still waits: the notification with
// "Reminder: " before its subject and ReminderLine before its texts.
TNotifyMessage ReminderMessageFor(const TJobDetailRecord& job, const std::string& jobFolder,
                                  const TSettingsRecord& settings, const std::optional<TMailRound>& round,
                                  const TCalendarDate& due);

// The domain a Message-ID names: the From address's, when it is a plain
// domain (letters, digits, hyphens and dots), or "tavrin.invalid".
std::string MessageIDDomain(const std::string& fromAddress);

// The whole message as it follows "DATA": header lines with a new
// Message-ID (random, in MessageIDDomain) and the Date in local time with
// its zone offset, then multipart/alternative holding text/plain and
// multipart/related, which holds text/html and the overview inline
// (image/png, base64, content ID "overview-0001.png"); the text parts in
// quoted-printable. Lines end in CR LF. Reads the overview now; raises std::runtime_error with
// the file's error text when it cannot be read.
std::string ComposedMessage(const TNotifyMessage& message);

// The SMTP port of the settings: the text as a decimal port number (1 to
// 65535), or 25 when it is not one.
std::uint16_t SMTPPortNumber(const std::string& portText);

}  // namespace tavrin
