#include "engines/delivery/NotifyMessage.h"

#include "base/catalogue/OutputLayout.h"
#include "base/text/UTF8Text.h"
#include "engines/web/TextEncoders.h"

#include <Poco/Base64Encoder.h>
#include <Poco/Exception.h>
#include <Poco/Net/FilePartSource.h>
#include <Poco/Net/MailMessage.h>
#include <Poco/Net/MediaType.h>
#include <Poco/Net/MultipartWriter.h>
#include <Poco/Net/QuotedPrintableEncoder.h>
#include <Poco/Net/StringPartSource.h>
#include <Poco/StreamCopier.h>

#include <algorithm>
#include <cctype>
#include <cstring>
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

// The message's parts in one multipart body. MailMessage::write would give
// every inline part a bare "inline" disposition; this keeps a part's own
// Content-Disposition (the overview's file name) and otherwise writes the
// library's layout.
void WriteMultipartBody(const MailMessage& message, std::ostream& out)
{
    Poco::Net::MessageHeader header(message);
    const std::string boundary = Poco::Net::MultipartWriter::createBoundary();
    Poco::Net::MediaType type(message.getContentType());
    type.setParameter("boundary", boundary);
    header.set(MailMessage::HEADER_CONTENT_TYPE, type.toString());
    header.set(MailMessage::HEADER_MIME_VERSION, "1.0");
    header.write(out);
    out << "\r\n";
    Poco::Net::MultipartWriter writer(out, boundary);
    for (const MailMessage::Part& part : message.parts()) {
        Poco::Net::MessageHeader partHeader(part.pSource->headers());
        partHeader.set(MailMessage::HEADER_CONTENT_TYPE, part.pSource->mediaType());
        partHeader.set(MailMessage::HEADER_CONTENT_TRANSFER_ENCODING, TransferEncodingName(part.encoding));
        writer.nextPart(partHeader);
        WriteEncoded(part.pSource->stream(), out, part.encoding);
    }
    writer.close();
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

// The text parts, plain text first, as multipart/alternative.
Poco::Net::PartSource* AlternativePart(const TNotifyMessage& message)
{
    auto* alternative = new Poco::Net::MultipartSource("multipart/alternative");
    alternative->addPart("", new Poco::Net::StringPartSource(message.PlainText, "text/plain; charset=UTF-8"),
                         MailMessage::CONTENT_INLINE, MailMessage::ENCODING_QUOTED_PRINTABLE);
    alternative->addPart("", new Poco::Net::StringPartSource(message.HTMLText, "text/html; charset=UTF-8"),
                         MailMessage::CONTENT_INLINE, MailMessage::ENCODING_QUOTED_PRINTABLE);
    return alternative;
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

std::string NotifyPlainText(const std::string& link, const std::string& roundLine)
{
    std::vector<std::string> lines = {"An online rendering of this print job has been generated.",
                                      "Please visit " + link + " to review this job"};
    if (!roundLine.empty())
        lines.push_back(roundLine);
    return JoinedLines(lines);
}

std::string NotifyHTMLText(const std::string& link, const std::string& jobName, const std::string& roundLine)
{
    std::vector<std::string> lines = {
        "<html><head></head><body>", "An online rendering of this print job has been generated.<br><br>",
        "Please visit <a href=\"" + link + "\">" + link + "</a> to review this job<br><br>"};
    if (!roundLine.empty())
        lines.push_back(HTMLEncoded(roundLine) + "<br><br>");
    lines.insert(lines.end(), {"<img src=\"CID:" + OverviewFileName + "\"><br>",
                               "<i>&nbsp;Page 1 of " + HTMLEncoded(jobName) + "</i>", "</body></html>"});
    return JoinedLines(lines);
}

TNotifyMessage NotifyMessageFor(const TJobDetailRecord& job, const std::string& jobFolder,
                                const TSettingsRecord& settings, const std::optional<TMailRound>& round)
{
    TNotifyMessage message;
    message.From = MailboxFromText(settings.FromEmailName, settings.FromEmail);
    if (!settings.ReplyEmail.empty())
        message.ReplyTo = MailboxFromText(settings.ReplyEmailName, settings.ReplyEmail);
    if (!settings.CC.empty())
        message.Cc = MailboxFromText(settings.CCName, settings.CC);
    const std::string jobName = AsUTF8(job.Name);
    message.Subject = WithoutControls("Remote Proofing information for " + jobName);
    if (round)
        message.Subject += " (round " + std::to_string(round->Number) + ")";
    const std::string link = JobWebAddress(settings.WebRoot, job.UniqueID, job.Secret);
    const std::string roundLine = round ? round->Line : std::string();
    message.PlainText = NotifyPlainText(link, roundLine);
    message.HTMLText = NotifyHTMLText(link, jobName, roundLine);
    message.OverviewPath = jobFolder.empty() ? std::string() : jobFolder + OverviewFileName;
    return message;
}

std::string ComposedMessage(const TNotifyMessage& message)
{
    try {
        MailMessage mail;
        SetAddressHeaders(mail, message);
        mail.setSubject(HeaderWordText(message.Subject, MailMessage::HEADER_SUBJECT.size()));
        mail.addPart("", AlternativePart(message), MailMessage::CONTENT_INLINE, MailMessage::ENCODING_7BIT);
        mail.addPart("", OverviewPart(message.OverviewPath), MailMessage::CONTENT_INLINE, MailMessage::ENCODING_BASE64);
        std::ostringstream text;
        WriteMultipartBody(mail, text);
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
