#include "engines/delivery/NotifyMessage.h"

#include "base/catalogue/OutputLayout.h"
#include "base/platform/SecureRandom.h"
#include "base/text/UTF8Text.h"
#include "engines/web/TextEncoders.h"

#include <Poco/Base64Encoder.h>
#include <Poco/DateTimeFormatter.h>
#include <Poco/Exception.h>
#include <Poco/LocalDateTime.h>
#include <Poco/Net/FilePartSource.h>
#include <Poco/Net/MailMessage.h>
#include <Poco/Net/MediaType.h>
#include <Poco/Net/MessageHeader.h>
#include <Poco/Net/MultipartWriter.h>
#include <Poco/Net/QuotedPrintableEncoder.h>
#include <Poco/StreamCopier.h>
#include <Poco/Timestamp.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

namespace tavrin {

namespace {

using Poco::Net::MailMessage;

// Header lines are folded before they grow past this many characters.
constexpr std::size_t FoldColumn = 76;

// The longest encoded word RFC 2047 allows.
constexpr std::size_t MaxEncodedWord = 75;

// A display name longer than this travels as encoded words, which fold.
constexpr std::size_t MaxPlainNameLength = 40;

bool IsControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}

// The text with every run of control characters made one blank.
std::string WithoutControls(const std::string& text)
{
    std::string clean;
    bool inRun = false;
    for (const char c : text) {
        if (IsControl(c)) {
            if (!inRun)
                clean += ' ';
            inRun = true;
        } else {
            clean += c;
            inRun = false;
        }
    }
    return clean;
}

// Letters, digits, blanks and the other characters of an atom: a name of
// these needs no quotes.
bool IsPlainPhrase(const std::string& text)
{
    for (const char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != ' ' && !std::strchr("!#$%&'*+-/=?^_`{|}~", c))
            return false;
    return true;
}

std::string QuotedString(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// One byte in the "Q" encoding, with only the characters that are safe in a
// display name left as they are.
std::string QEncoded(char c)
{
    if (c == ' ')
        return "_";
    if (std::isalnum(static_cast<unsigned char>(c)) || std::strchr("!*+-/", c))
        return std::string(1, c);
    static const char digits[] = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(c);
    return {'=', digits[byte >> 4], digits[byte & 15]};
}

// Whether any run of characters between blanks is longer than length: such
// a word cannot be folded and would make an overlong header line.
bool HasLongWord(const std::string& text, std::size_t length)
{
    std::size_t run = 0;
    for (const char c : text) {
        run = c == ' ' ? 0 : run + 1;
        if (run > length)
            return true;
    }
    return false;
}

// ASCII text folded before a blank wherever the line would pass FoldColumn;
// the first line begins after the header's name and ": ".
std::string FoldedAtBlanks(const std::string& text, std::size_t nameLength)
{
    std::string folded;
    std::size_t column = nameLength + 2;
    std::size_t start = 0;
    while (start < text.size()) {
        // A piece is a blank (except at the very start) and the word after it.
        std::size_t end = text.find(' ', start + 1);
        if (end == std::string::npos)
            end = text.size();
        const std::string piece = text.substr(start, end - start);
        if (!folded.empty() && piece.front() == ' ' && column + piece.size() > FoldColumn) {
            folded += "\r\n";
            column = 0;
        }
        folded += piece;
        column += piece.size();
        start = end;
    }
    return folded;
}

// Unstructured header text: folded at blanks when it is plain ASCII, RFC 2047
// words (which fold) when it is not or holds a word too long to fold.
std::string HeaderWordText(const std::string& text, std::size_t nameLength)
{
    const std::string utf8 = AsUTF8(text);
    if (IsASCII(utf8) && !HasLongWord(utf8, FoldColumn - MaxPlainNameLength))
        return FoldedAtBlanks(utf8, nameLength);
    return EncodedWords(utf8, nameLength + 2);
}

// The header values joined by ", ", folded between two values where the line
// would grow too long.
std::string FoldedList(const std::vector<std::string>& values, std::size_t nameLength)
{
    std::string list;
    std::size_t column = nameLength + 2;
    for (const std::string& value : values) {
        if (!list.empty()) {
            const bool fold = column + 2 + value.size() > FoldColumn;
            list += fold ? ",\r\n " : ", ";
            column = fold ? 1 : column + 2;
        }
        list += value;
        const std::size_t lastBreak = value.rfind('\n');
        column = lastBreak == std::string::npos ? column + value.size() : value.size() - lastBreak - 1;
    }
    return list;
}

std::string JoinedLines(const std::vector<std::string>& lines)
{
    std::string joined;
    for (const std::string& line : lines)
        joined += (joined.empty() ? "" : "\r\n") + line;
    return joined;
}

const std::string& TransferEncodingName(MailMessage::ContentTransferEncoding encoding)
{
    static const std::string names[] = {"7bit", "8bit", "quoted-printable", "base64"};
    return names[encoding];
}

// One part's content in its transfer encoding.
void WriteEncoded(std::istream& content, std::ostream& out, MailMessage::ContentTransferEncoding encoding)
{
    if (encoding == MailMessage::ENCODING_QUOTED_PRINTABLE) {
        Poco::Net::QuotedPrintableEncoder encoder(out);
        Poco::StreamCopier::copyStream(content, encoder);
        encoder.close();
    } else if (encoding == MailMessage::ENCODING_BASE64) {
        Poco::Base64Encoder encoder(out);
        Poco::StreamCopier::copyStream(content, encoder);
        encoder.close();
    } else {
        Poco::StreamCopier::copyStream(content, out);
    }
}

// The overview of page 1 as an inline picture the HTML part refers to.
Poco::Net::PartSource* OverviewPart(const std::string& path)
{
    // A job without a folder has no overview: the same error as a missing file.
    if (path.empty())
        throw Poco::FileNotFoundException(OverviewFileName);
    auto* source = new Poco::Net::FilePartSource(path, OverviewFileName, "image/png");
    source->headers().set(MailMessage::HEADER_CONTENT_DISPOSITION, "inline; filename=\"" + OverviewFileName + "\"");
    source->headers().set(MailMessage::HEADER_CONTENT_ID, "<" + OverviewFileName + ">");
    return source;
}

// A part's header lines: its content type and transfer encoding, and the
// extra lines given (disposition, content ID).
Poco::Net::MessageHeader PartHeader(const std::string& type, MailMessage::ContentTransferEncoding encoding,
                                    const std::vector<std::pair<std::string, std::string>>& extra = {})
{
    Poco::Net::MessageHeader header;
    header.set(MailMessage::HEADER_CONTENT_TYPE, type);
    header.set(MailMessage::HEADER_CONTENT_TRANSFER_ENCODING, TransferEncodingName(encoding));
    for (const auto& [name, value] : extra)
        header.set(name, value);
    return header;
}

// A multipart content type with a boundary of its own, and the boundary.
std::pair<std::string, std::string> MultipartType(const std::string& type, const std::string& rootType = {})
{
    const std::string boundary = Poco::Net::MultipartWriter::createBoundary();
    Poco::Net::MediaType media(type);
    // multipart/related names the type of its first part, the one shown.
    if (!rootType.empty())
        media.setParameter("type", rootType);
    media.setParameter("boundary", boundary);
    return {media.toString(), boundary};
}

void WriteText(std::ostream& out, const std::string& text)
{
    std::istringstream content(text);
    WriteEncoded(content, out, MailMessage::ENCODING_QUOTED_PRINTABLE);
}

const std::pair<std::string, std::string> InlineText{MailMessage::HEADER_CONTENT_DISPOSITION, "inline"};

// The body after the message's header lines: the plain text, then the HTML
// related to the picture it shows, so that mail programs show the picture in
// the HTML rather than as an attachment.
void WriteBody(const TNotifyMessage& message, const std::string& alternativeBoundary, std::ostream& out)
{
    // Opened first: a missing overview fails the message before a byte is written.
    std::unique_ptr<Poco::Net::PartSource> overview(OverviewPart(message.OverviewPath));
    Poco::Net::MultipartWriter alternative(out, alternativeBoundary);
    alternative.nextPart(PartHeader("text/plain; charset=UTF-8", MailMessage::ENCODING_QUOTED_PRINTABLE, {InlineText}));
    WriteText(out, message.PlainText);
    const auto [relatedType, relatedBoundary] = MultipartType("multipart/related", "text/html");
    Poco::Net::MessageHeader relatedHeader;
    relatedHeader.set(MailMessage::HEADER_CONTENT_TYPE, relatedType);
    alternative.nextPart(relatedHeader);
    Poco::Net::MultipartWriter related(out, relatedBoundary);
    related.nextPart(PartHeader("text/html; charset=UTF-8", MailMessage::ENCODING_QUOTED_PRINTABLE, {InlineText}));
    WriteText(out, message.HTMLText);
    Poco::Net::MessageHeader pictureHeader(overview->headers());
    pictureHeader.set(MailMessage::HEADER_CONTENT_TYPE, overview->mediaType());
    pictureHeader.set(MailMessage::HEADER_CONTENT_TRANSFER_ENCODING,
                      TransferEncodingName(MailMessage::ENCODING_BASE64));
    related.nextPart(pictureHeader);
    WriteEncoded(overview->stream(), out, MailMessage::ENCODING_BASE64);
    related.close();
    alternative.close();
}

void SetAddressHeaders(MailMessage& mail, const TNotifyMessage& message)
{
    mail.setSender(MailboxHeaderText(message.From));
    if (message.ReplyTo)
        mail.set("Reply-To", MailboxHeaderText(*message.ReplyTo));
    std::vector<std::string> to;
    for (const TMailbox& mailbox : message.To)
        to.push_back(MailboxHeaderText(mailbox));
    if (!to.empty())
        mail.set(MailMessage::HEADER_TO, FoldedList(to, MailMessage::HEADER_TO.size()));
    if (message.Cc)
        mail.set("Cc", MailboxHeaderText(*message.Cc));
}

}  // namespace

std::string EncodedWords(const std::string& text, std::size_t firstColumn)
{
    const std::string open = "=?UTF-8?Q?";
    const std::string close = "?=";
    // The first word shares its line with what stands before it.
    const std::size_t firstLimit = firstColumn == 0
                                       ? MaxEncodedWord
                                       : std::max<std::size_t>(24, std::min(MaxEncodedWord, FoldColumn - firstColumn));
    std::string words;
    std::string word;
    const auto closeWord = [&] {
        words += (words.empty() ? "" : "\r\n ") + open + word + close;
        word.clear();
    };
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = UTF8CharacterLength(text, at);
        std::string encoded;
        for (std::size_t i = at; i < at + length; ++i)
            encoded += QEncoded(text[i]);
        const std::size_t limit = words.empty() ? firstLimit : MaxEncodedWord;
        if (!word.empty() && open.size() + word.size() + encoded.size() + close.size() > limit)
            closeWord();
        word += encoded;
        at += length;
    }
    if (!word.empty())
        closeWord();
    return words;
}

TMailbox MailboxFromText(const std::string& name, const std::string& address)
{
    TMailbox mailbox{WithoutControls(name), {}};
    for (const char c : address)
        if (!IsControl(c))
            mailbox.Address += c;
    return mailbox;
}

std::string MailboxDisplayText(const TMailbox& mailbox)
{
    return mailbox.Name.empty() ? mailbox.Address : mailbox.Name + " <" + mailbox.Address + ">";
}

std::string MailboxListText(const std::vector<TMailbox>& mailboxes)
{
    std::string text;
    for (const TMailbox& mailbox : mailboxes)
        text += (text.empty() ? "" : ", ") + MailboxDisplayText(mailbox);
    return text;
}

std::string MailboxHeaderText(const TMailbox& mailbox)
{
    if (mailbox.Name.empty())
        return mailbox.Address;
    const std::string utf8 = AsUTF8(mailbox.Name);
    const std::string name = !IsASCII(utf8) || utf8.size() > MaxPlainNameLength ? EncodedWords(utf8)
                             : IsPlainPhrase(utf8)                              ? utf8
                                                                                : QuotedString(utf8);
    return name + " <" + mailbox.Address + ">";
}

namespace {

// The shop's text as lines: CR LF, LF and CR each end a line; empty lines at
// its end are dropped, so that a text ending in a line break adds no gap.
std::vector<std::string> TextLines(const std::string& text)
{
    std::vector<std::string> lines(1);
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\r' || text[at] == '\n') {
            if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
                ++at;
            lines.emplace_back();
        } else {
            lines.back() += text[at];
        }
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

// The text HTML-encoded, its lines joined by "<br>".
std::string HTMLLines(const std::string& text)
{
    std::string html;
    for (const std::string& line : TextLines(text))
        html += (html.empty() ? "" : "<br>") + HTMLEncoded(AsUTF8(line));
    return html;
}

void AddLines(std::vector<std::string>& lines, const std::string& text)
{
    for (const std::string& line : TextLines(text))
        lines.push_back(AsUTF8(line));
}

// The Date header's value: "Fri, 11 Dec 2026 11:54:36 +0100", local time
// with the zone's offset.
std::string MailDateText(const Poco::Timestamp& moment)
{
    const Poco::LocalDateTime local(moment);
    const int offset = local.tzd() / 60;
    const int minutes = offset < 0 ? -offset : offset;
    char zone[8];
    std::snprintf(zone, sizeof zone, "%c%02d%02d", offset < 0 ? '-' : '+', minutes / 60 % 100, minutes % 60);
    return Poco::DateTimeFormatter::format(local, "%w, %e %b %Y %H:%M:%S ") + zone;
}

// A Message-ID no other mail has: the time and 16 random bytes, at the domain.
std::string NewMessageID(const std::string& fromAddress, const Poco::Timestamp& moment)
{
    static const char digits[] = "0123456789abcdef";
    std::string random;
    for (const char byte : SecureRandomBytes(16)) {
        random += digits[static_cast<unsigned char>(byte) >> 4];
        random += digits[static_cast<unsigned char>(byte) & 15];
    }
    return "<" + Poco::DateTimeFormatter::format(moment, "%Y%m%d%H%M%S") + "." + random + "@" +
           MessageIDDomain(fromAddress) + ">";
}

TNotifyMessage MessageFor(const TJobDetailRecord& job, const std::string& jobFolder, const TSettingsRecord& settings,
                          const std::optional<TMailRound>& round, const std::optional<TCalendarDate>& due,
                          bool reminder)
{
    TNotifyMessage message;
    message.From = MailboxFromText(settings.FromEmailName, settings.FromEmail);
    if (!settings.ReplyEmail.empty())
        message.ReplyTo = MailboxFromText(settings.ReplyEmailName, settings.ReplyEmail);
    if (!settings.CC.empty())
        message.Cc = MailboxFromText(settings.CCName, settings.CC);
    const std::string jobName = AsUTF8(job.Name);
    message.Subject = WithoutControls((reminder ? "Reminder: " : "") + ("Remote Proofing information for " + jobName));
    if (round)
        message.Subject += " (round " + std::to_string(round->Number) + ")";
    const std::string link = JobWebAddress(settings.WebRoot, job.UniqueID, job.Secret);
    TMailAdditions additions;
    additions.Reminder = reminder ? ReminderLine : std::string();
    additions.Introduction = settings.NotifyIntroduction;
    additions.RoundLine = round ? round->Line : std::string();
    additions.DueLine = due ? DueDateLine(*due) : std::string();
    additions.Signature = settings.NotifySignature;
    message.PlainText = NotifyPlainText(link, additions);
    message.HTMLText = NotifyHTMLText(link, jobName, additions);
    message.OverviewPath = jobFolder.empty() ? std::string() : jobFolder + OverviewFileName;
    return message;
}

}  // namespace

std::string NotifyPlainText(const std::string& link, const TMailAdditions& additions)
{
    std::vector<std::string> lines;
    if (!additions.Reminder.empty())
        lines.push_back(additions.Reminder);
    AddLines(lines, additions.Introduction);
    if (!TextLines(additions.Introduction).empty())
        lines.emplace_back();
    lines.insert(lines.end(), {"An online rendering of this print job has been generated.",
                               "Please visit " + link + " to review this job"});
    if (!additions.RoundLine.empty())
        lines.push_back(additions.RoundLine);
    if (!additions.DueLine.empty())
        lines.push_back(additions.DueLine);
    if (!TextLines(additions.Signature).empty())
        lines.emplace_back();
    AddLines(lines, additions.Signature);
    return JoinedLines(lines);
}

std::string NotifyHTMLText(const std::string& link, const std::string& jobName, const TMailAdditions& additions)
{
    std::vector<std::string> lines = {"<html><head></head><body>"};
    for (const std::string& text : {additions.Reminder, additions.Introduction})
        if (!HTMLLines(text).empty())
            lines.push_back(HTMLLines(text) + "<br><br>");
    lines.insert(lines.end(), {"An online rendering of this print job has been generated.<br><br>",
                               "Please visit <a href=\"" + link + "\">" + link + "</a> to review this job<br><br>"});
    for (const std::string& text : {additions.RoundLine, additions.DueLine})
        if (!HTMLLines(text).empty())
            lines.push_back(HTMLLines(text) + "<br><br>");
    lines.insert(lines.end(), {"<img src=\"CID:" + OverviewFileName + "\"><br>",
                               "<i>&nbsp;Page 1 of " + HTMLEncoded(jobName) + "</i>"});
    if (!HTMLLines(additions.Signature).empty())
        lines.push_back("<br><br>" + HTMLLines(additions.Signature));
    lines.push_back("</body></html>");
    return JoinedLines(lines);
}

std::string DueDateLine(const TCalendarDate& due)
{
    return "Please answer by " + EnglishLongDate(due) + ".";
}

TNotifyMessage NotifyMessageFor(const TJobDetailRecord& job, const std::string& jobFolder,
                                const TSettingsRecord& settings, const std::optional<TMailRound>& round,
                                const std::optional<TCalendarDate>& due)
{
    return MessageFor(job, jobFolder, settings, round, due, false);
}

TNotifyMessage ReminderMessageFor(const TJobDetailRecord& job, const std::string& jobFolder,
                                  const TSettingsRecord& settings, const std::optional<TMailRound>& round,
                                  const TCalendarDate& due)
{
    return MessageFor(job, jobFolder, settings, round, due, true);
}

std::string MessageIDDomain(const std::string& fromAddress)
{
    const std::size_t at = fromAddress.rfind('@');
    const std::string domain = at == std::string::npos ? std::string() : fromAddress.substr(at + 1);
    const bool plain = !domain.empty() && domain.size() <= 253 && domain.front() != '.' && domain.back() != '.' &&
                       domain.front() != '-' && domain.find("..") == std::string::npos &&
                       std::all_of(domain.begin(), domain.end(), [](char c) {
                           return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
                       });
    return plain ? domain : "tavrin.invalid";
}

std::string ComposedMessage(const TNotifyMessage& message)
{
    try {
        MailMessage mail;
        SetAddressHeaders(mail, message);
        mail.setSubject(HeaderWordText(message.Subject, MailMessage::HEADER_SUBJECT.size()));
        const Poco::Timestamp now;
        mail.set(MailMessage::HEADER_DATE, MailDateText(now));
        mail.set("Message-ID", NewMessageID(message.From.Address, now));
        const auto [type, boundary] = MultipartType("multipart/alternative");
        Poco::Net::MessageHeader header(mail);
        header.set(MailMessage::HEADER_CONTENT_TYPE, type);
        header.set(MailMessage::HEADER_MIME_VERSION, "1.0");
        std::ostringstream text;
        header.write(text);
        text << "\r\n";
        WriteBody(message, boundary, text);
        return text.str();
    } catch (const Poco::Exception& error) {
        throw std::runtime_error(error.displayText());
    }
}

std::uint16_t SMTPPortNumber(const std::string& portText)
{
    constexpr std::uint16_t DefaultPort = 25;
    if (portText.empty() || portText.size() > 5)
        return DefaultPort;
    unsigned number = 0;
    for (const char c : portText) {
        if (c < '0' || c > '9')
            return DefaultPort;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    return number >= 1 && number <= 65535 ? static_cast<std::uint16_t>(number) : DefaultPort;
}

}  // namespace tavrin
