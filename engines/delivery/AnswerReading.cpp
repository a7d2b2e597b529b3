#include "engines/delivery/AnswerReading.h"

#include "base/text/JsonText.h"
#include "base/text/TerminalText.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace tavrin {

namespace {

constexpr std::size_t MaxNotes = 20;
const std::string BlockBegin = "-----BEGIN TAVRIN ANSWER-----";
const std::string BlockEnd = "-----END TAVRIN ANSWER-----";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsLowerHex(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f');
}

// The form of a job's web folder: its unique id, then "-" and its secret.
bool IsJobFolderName(const std::string& text)
{
    if (text.size() != 17 && text.size() != 17 + 1 + 32)
        return false;
    for (std::size_t at = 0; at < 17; ++at)
        if (!IsDigit(text[at]))
            return false;
    if (text.size() == 17)
        return true;
    if (text[17] != '-')
        return false;
    for (std::size_t at = 18; at < text.size(); ++at)
        if (!IsLowerHex(text[at]))
            return false;
    return true;
}

// "2026-12-10T09:30:00Z".
bool IsUtcTime(const std::string& text)
{
    static const std::string Form = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != Form.size())
        return false;
    for (std::size_t at = 0; at < Form.size(); ++at)
        if (Form[at] == 'd' ? !IsDigit(text[at]) : text[at] != Form[at])
            return false;
    return true;
}

// At most max characters (not bytes), none of them a control character
// (C0, DEL, C1) except line feed and tab where lines are allowed. The text
// is valid UTF-8: the JSON reader saw to that.
bool IsBoundedText(const std::string& text, std::size_t max, bool lines)
{
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); ++characters) {
        const auto first = static_cast<unsigned char>(text[at]);
        std::uint32_t code = first;
        std::size_t length = 1;
        if (first >= 0xF0)
            length = 4;
        else if (first >= 0xE0)
            length = 3;
        else if (first >= 0xC0)
            length = 2;
        if (length > 1) {
            code = first & (0x7Fu >> length);
            for (std::size_t i = 1; i < length && at + i < text.size(); ++i)
                code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3Fu);
        }
        const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
        if (control && !(lines && (code == '\n' || code == '\t')))
            return false;
        at += length;
    }
    return characters <= max;
}

const std::string& TextMember(const TJsonValue& object, const std::string& name)
{
    const TJsonValue* value = object.Member(name);
    if (!value || value->Kind != TJsonValue::TKind::Text)
        throw EAnswerError(name + " is not a text");
    return value->Text;
}

std::vector<TAnswerNote> ReadNotes(const TJsonValue& notes)
{
    if (notes.Kind != TJsonValue::TKind::Array)
        throw EAnswerError("notes are not a list");
    if (notes.Items.size() > MaxNotes)
        throw EAnswerError("more than 20 notes");
    std::vector<TAnswerNote> read;
    for (const TJsonValue& note : notes.Items) {
        const TJsonValue* x = note.Member("x");
        const TJsonValue* y = note.Member("y");
        if (note.Kind != TJsonValue::TKind::Object || note.Members.size() != 3 || !x || !y || !note.Member("text"))
            throw EAnswerError("a note must have exactly x, y and text");
        if (!x->Integer || !y->Integer || *x->Integer < 0 || *y->Integer < 0)
            throw EAnswerError("note coordinates must be whole numbers of at least 0");
        const std::string& text = TextMember(note, "text");
        if (text.empty() || !IsBoundedText(text, 500, true))
            throw EAnswerError("a note text must be 1 to 500 characters without control characters");
        read.push_back(TAnswerNote{*x->Integer, *y->Integer, text});
    }
    return read;
}

// The block's lines joined again: a mail program may have broken the long
// line and quoted it. The answer's JSON holds no line break of its own.
std::string UnwrappedBlock(const std::string& block)
{
    std::string joined;
    std::size_t start = 0;
    while (start <= block.size()) {
        std::size_t end = block.find('\n', start);
        if (end == std::string::npos)
            end = block.size();
        std::string line = block.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::size_t text = 0;
        while (text < line.size() && (line[text] == '>' || (text > 0 && line[text] == ' ' && line[text - 1] == '>')))
            ++text;
        joined += line.substr(text);
        start = end + 1;
    }
    return joined;
}

// Counts a skipped part and describes it while few have been.
void Skip(TAnswerReading& reading, const std::string& where, const std::string& reason, std::string_view text)
{
    if (++reading.SkippedCount > DescribedSkipsMax)
        return;
    std::string line = where + TerminalExcerpt(reason, SkippedReasonCharacters);
    if (!text.empty())
        line += "; it reads " + TerminalExcerpt(text, SkippedExcerptCharacters);
    reading.Skipped.push_back(std::move(line));
}

}  // namespace

std::vector<std::string> SkippedLines(const TAnswerReading& reading)
{
    std::vector<std::string> lines = reading.Skipped;
    if (reading.SkippedCount > reading.Skipped.size())
        lines.push_back(std::to_string(reading.SkippedCount - reading.Skipped.size()) + " more " + reading.Parts +
                        " were skipped");
    return lines;
}

TProofAnswer ReadAnswer(const std::string& json, const std::string& source)
{
    TJsonValue object;
    try {
        object = ReadJson(json, 4);
    } catch (const EJsonError& error) {
        throw EAnswerError(error.what());
    }
    if (object.Kind != TJsonValue::TKind::Object)
        throw EAnswerError("not a JSON object");
    static const std::array<const char*, 9> Members = {"job",   "page",        "decision", "comment", "name",
                                                       "email", "fingerprint", "notes",    "time"};
    for (const char* name : Members)
        if (!object.Member(name))
            throw EAnswerError(std::string(name) + " is missing");
    if (object.Members.size() != Members.size())
        throw EAnswerError("members other than those of an answer");

    TProofAnswer answer;
    answer.Source = source;
    answer.Job = TextMember(object, "job");
    if (!IsJobFolderName(answer.Job))
        throw EAnswerError("job is not a job folder name");
    const TJsonValue& page = *object.Member("page");
    if (!page.Integer || *page.Integer < 1 || *page.Integer > 9999)
        throw EAnswerError("page is not a whole number from 1 to 9999");
    answer.Page = static_cast<std::int32_t>(*page.Integer);
    answer.Decision = TextMember(object, "decision");
    if (answer.Decision != "approve" && answer.Decision != "changes")
        throw EAnswerError("decision must be approve or changes");
    answer.Comment = TextMember(object, "comment");
    if (!IsBoundedText(answer.Comment, 2000, true))
        throw EAnswerError("comment must be at most 2000 characters without control characters");
    answer.Name = TextMember(object, "name");
    if (!IsBoundedText(answer.Name, 100, false))
        throw EAnswerError("name must be at most 100 characters without control characters");
    answer.Email = TextMember(object, "email");
    if (!IsBoundedText(answer.Email, 254, false) ||
        (!answer.Email.empty() &&
         (answer.Email.find('@') == std::string::npos || answer.Email.find_first_of(" \t") != std::string::npos)))
        throw EAnswerError("email is not an e-mail address");
    answer.Fingerprint = TextMember(object, "fingerprint");
    if (!answer.Fingerprint.empty() && (answer.Fingerprint.size() != 64 ||
                                        answer.Fingerprint.find_first_not_of("0123456789abcdef") != std::string::npos))
        throw EAnswerError("fingerprint must be empty or 64 lower-case hexadecimal digits");
    answer.Notes = ReadNotes(*object.Member("notes"));
    answer.Time = TextMember(object, "time");
    if (!IsUtcTime(answer.Time))
        throw EAnswerError("time is not a UTC time such as 2026-12-10T09:30:00Z");
    return answer;
}

TAnswerReading ReadRepliesFile(const std::string& content, const std::string& jobFolder)
{
    TAnswerReading reading;
    reading.Parts = "lines";
    std::size_t start = 0;
    for (int number = 1; start < content.size(); ++number) {
        std::size_t end = content.find('\n', start);
        const bool whole = end != std::string::npos;
        if (!whole)
            end = content.size();
        const std::string line = content.substr(start, end - start);
        start = end + 1;
        const std::string where = "line " + std::to_string(number) + ": ";
        if (!whole) {
            // The endpoint ends every answer with a line feed: this one was cut short.
            Skip(reading, where, "the line is not complete", line);
            break;
        }
        try {
            TProofAnswer answer = ReadAnswer(line, "web");
            if (answer.Job != jobFolder)
                throw EAnswerError("the answer is about another job (" + answer.Job + ")");
            reading.Answers.push_back(std::move(answer));
        } catch (const EAnswerError& error) {
            Skip(reading, where, error.what(), line);
        }
    }
    return reading;
}

TAnswerReading ReadMailAnswers(const std::string& text)
{
    TAnswerReading reading;
    reading.Parts = "answer blocks";
    int number = 0;
    for (std::size_t begin = text.find(BlockBegin); begin != std::string::npos;
         begin = text.find(BlockBegin, begin + BlockBegin.size())) {
        const std::string where = "answer " + std::to_string(++number) + ": ";
        const std::size_t content = begin + BlockBegin.size();
        const std::size_t end = text.find(BlockEnd, content);
        const std::size_t nextBegin = text.find(BlockBegin, content);
        if (end == std::string::npos || (nextBegin != std::string::npos && nextBegin < end)) {
            const std::size_t stop = nextBegin == std::string::npos ? text.size() : nextBegin;
            std::string_view rest = std::string_view(text).substr(content, stop - content);
            while (!rest.empty() && static_cast<unsigned char>(rest.front()) <= ' ')
                rest.remove_prefix(1);
            Skip(reading, where, "the block has no end line", rest);
            continue;
        }
        const std::string block = UnwrappedBlock(text.substr(content, end - content));
        try {
            reading.Answers.push_back(ReadAnswer(block, "mail"));
        } catch (const EAnswerError& error) {
            Skip(reading, where, error.what(), block);
        }
    }
    if (number == 0)
        Skip(reading, "", "no answer block (" + BlockBegin + ") in the text", "");
    return reading;
}

}  // namespace tavrin
