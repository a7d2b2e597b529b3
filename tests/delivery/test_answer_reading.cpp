#include "engines/delivery/AnswerReading.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tavrin {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string Folder = "20261210093000123-0123456789abcdef0123456789abcdef";
const std::string Fingerprint = "2432e9d78a66f3d73d50f06cabb9eab6d7d9b9a81d500598c4e329a06089b874";

// An answer line as the endpoint writes it, made by PHP's own json_encode
// with the endpoint's flags: every character outside ASCII, and < > & ' ",
// as \u escapes.
std::string PhpLine(const std::string& comment)
{
    // The comment reaches PHP through the environment, untouched by any quoting.
    setenv("TAVRIN_TEST_COMMENT", comment.c_str(), 1);
    const std::string script =
        "echo json_encode(['job' => '" + Folder +
        "', 'page' => 2, 'decision' => 'changes', 'comment' => getenv('TAVRIN_TEST_COMMENT'), 'name' => "
        "'Zo\xC3\xAB', 'email' => 'zoe@example.com', 'fingerprint' => '" +
        Fingerprint +
        "', 'notes' => [['x' => 1200, 'y' => 340, 'text' => 'Logo \xE2\x86\x92 left']], 'time' => "
        "'2026-12-10T09:30:00Z'], JSON_UNESCAPED_SLASHES | JSON_HEX_TAG | JSON_HEX_AMP | JSON_HEX_APOS | "
        "JSON_HEX_QUOT);";
    const std::string command = "php -r \"$(cat <<'PHP'\n" + script + "\nPHP\n)\"";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string line;
    std::array<char, 4096> buffer{};
    while (pipe && fgets(buffer.data(), buffer.size(), pipe.get()))
        line += buffer.data();
    unsetenv("TAVRIN_TEST_COMMENT");
    return line;
}

TEST(AnswerReading, ReadsWhatTheEndpointWrites)
{
    const std::string comment = "Move it <b>left</b> & don't \"touch\" \xF0\x9F\x98\x80\nSecond line";
    const std::string line = PhpLine(comment);
    ASSERT_THAT(line, HasSubstr("\\u003Cb\\u003E")) << "PHP wrote: " << line;
    const TProofAnswer answer = ReadAnswer(line, "web");
    EXPECT_EQ(answer.Job, Folder);
    EXPECT_EQ(answer.Page, 2);
    EXPECT_EQ(answer.Decision, "changes");
    EXPECT_EQ(answer.Comment, comment);
    EXPECT_EQ(answer.Name, "Zo\xC3\xAB");
    EXPECT_EQ(answer.Fingerprint, Fingerprint);
    EXPECT_THAT(answer.Notes, ElementsAre(TAnswerNote{1200, 340, "Logo \xE2\x86\x92 left"}));
    EXPECT_EQ(answer.Time, "2026-12-10T09:30:00Z");
    EXPECT_EQ(answer.Source, "web");
    // The station's own form of it reads back the same.
    EXPECT_EQ(ReadAnswer(AnswerJson(answer), "web"), answer);
}

// A plain answer about this proof, as the endpoint would store it.
TProofAnswer Answer(std::int32_t page, const std::string& decision, const std::string& source = "web")
{
    TProofAnswer answer;
    answer.Job = Folder;
    answer.Page = page;
    answer.Decision = decision;
    answer.Fingerprint = Fingerprint;
    answer.Time = "2026-12-10T09:30:00Z";
    answer.Source = source;
    return answer;
}

TEST(AnswerReading, RefusesAnythingTheEndpointWouldNotHaveStored)
{
    const std::string json = AnswerJson(Answer(1, "approve"));
    ASSERT_NO_THROW(ReadAnswer(json, "web"));
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string changed = json;
        const std::size_t at = changed.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return changed.replace(at, from.size(), to);
    };
    const struct {
        std::string Json;
        const char* Reason;
    } cases[] = {
        {"[1]", "not a JSON object"},
        {json.substr(0, json.size() - 1), "not valid JSON"},
        {with("\"page\":1", "\"page\":1,\"page\":1"), "appears twice"},
        {with("\"time\"", "\"extra\":1,\"time\""), "members other than"},
        {with(",\"time\":\"2026-12-10T09:30:00Z\"", ""), "time is missing"},
        {with(Folder, "../../etc"), "job is not a job folder name"},
        {with(Folder, "20261210093000123-0123456789ABCDEF0123456789ABCDEF"), "job is not"},
        {with("\"page\":1", "\"page\":0"), "page is not"},
        {with("\"page\":1", "\"page\":\"1\""), "page is not"},
        {with("\"page\":1", "\"page\":1.0"), "page is not"},
        {with("\"page\":1", "\"page\":10000"), "page is not"},
        {with("approve", "approved"), "decision"},
        {with("\"comment\":\"\"", "\"comment\":\"" + std::string(2001, 'x') + "\""), "comment must be"},
        {with("\"comment\":\"\"", "\"comment\":\"bell\\u0007\""), "comment must be"},
        {with("\"comment\":\"\"", "\"comment\":\"c1\\u0085\""), "comment must be"},
        {with("\"name\":\"\"", "\"name\":\"two\\nlines\""), "name must be"},
        {with("\"email\":\"\"", "\"email\":\"not an address\""), "email"},
        {with(Fingerprint, "ABC"), "fingerprint"},
        {with("\"notes\":[]", "\"notes\":{}"), "notes are not a list"},
        {with("\"notes\":[]", "\"notes\":[{\"x\":1,\"y\":2}]"), "exactly x, y and text"},
        {with("\"notes\":[]", "\"notes\":[{\"x\":-1,\"y\":2,\"text\":\"t\"}]"), "coordinates"},
        {with("\"notes\":[]", "\"notes\":[{\"x\":1,\"y\":2,\"text\":\"\"}]"), "note text"},
        {with("2026-12-10T09:30:00Z", "yesterday"), "time is not"},
    };
    for (const auto& c : cases) {
        try {
            ReadAnswer(c.Json, "web");
            ADD_FAILURE() << "read: " << c.Json;
        } catch (const EAnswerError& error) {
            EXPECT_THAT(error.what(), HasSubstr(c.Reason)) << c.Json;
        }
    }
    std::string notes = "[";
    for (int i = 0; i < 21; ++i)
        notes += std::string(i ? "," : "") + "{\"x\":1,\"y\":2,\"text\":\"n\"}";
    EXPECT_THROW(ReadAnswer(with("\"notes\":[]", "\"notes\":" + notes + "]"), "web"), EAnswerError);
}

TEST(AnswerReading, ADamagedRepliesFileIsReadLineByLine)
{
    const TProofAnswer first = Answer(1, "approve");
    const TProofAnswer second = Answer(2, "changes");
    TProofAnswer other = first;
    other.Job = "20261210093000999";
    const std::string content = AnswerJson(first) + "\n" + "{\"job\":\"" + Folder + "\", damaged\n" + "\n" +
                                AnswerJson(other) + "\n" + AnswerJson(second) + "\n" + AnswerJson(first).substr(0, 40);
    const TAnswerReading reading = ReadRepliesFile(content, Folder);
    ASSERT_EQ(reading.Answers.size(), 2u);
    EXPECT_EQ(reading.Answers[0].Page, 1);
    EXPECT_EQ(reading.Answers[1].Page, 2);
    ASSERT_EQ(reading.Skipped.size(), 4u);
    EXPECT_THAT(reading.Skipped[0], HasSubstr("line 2: not valid JSON"));
    EXPECT_THAT(reading.Skipped[1], HasSubstr("line 3: "));
    EXPECT_THAT(reading.Skipped[2], HasSubstr("line 4: the answer is about another job (20261210093000999)"));
    EXPECT_THAT(reading.Skipped[3], HasSubstr("line 6: the line is not complete"));
    EXPECT_TRUE(ReadRepliesFile("", Folder).Answers.empty());
}

// A file anyone can write to may hold any amount of damage: telling it
// stays a few short lines that cannot drive a terminal.
TEST(AnswerReading, ManyDamagedPartsAreDescribedBrieflyAndTheRestCounted)
{
    // Each damaged line holds an escape sequence, a bidirectional mark and
    // is long; one quotes a huge member name in its reason.
    const std::string hostile = "\x1b[2J\xe2\x80\xae" + std::string(300, 'x');
    std::string content = "{\"" + std::string(2000, 'n') + "\":1,\"" + std::string(2000, 'n') + "\":2}\n";
    for (int i = 0; i < 20000; ++i)
        content += hostile + "\n";
    content += AnswerJson(Answer(1, "approve")) + "\n";
    const TAnswerReading reading = ReadRepliesFile(content, Folder);
    ASSERT_EQ(reading.Answers.size(), 1u) << "the good line after the damage is still read";
    EXPECT_EQ(reading.SkippedCount, 20001u);
    const std::vector<std::string> told = SkippedLines(reading);
    ASSERT_EQ(told.size(), DescribedSkipsMax + 1);
    EXPECT_THAT(told[0], HasSubstr("line 1: not valid JSON: the member \"nnnn"));
    EXPECT_THAT(told[1], HasSubstr("line 2: not valid JSON"));
    EXPECT_THAT(told[1], HasSubstr("; it reads \\x1b[2J\\u202exxx"));
    EXPECT_EQ(told.back(), "19996 more lines were skipped");
    for (const std::string& line : told) {
        EXPECT_LT(line.size(), 600u) << line.substr(0, 200);
        EXPECT_EQ(line.find('\x1b'), std::string::npos) << line.substr(0, 200);
        EXPECT_EQ(line.find("\xe2\x80\xae"), std::string::npos) << line.substr(0, 200);
    }

    // A mail's blocks alike.
    std::string mail;
    for (int i = 0; i < 300; ++i)
        mail += "-----BEGIN TAVRIN ANSWER-----\r\n" + hostile + "\r\n-----END TAVRIN ANSWER-----\r\n";
    const TAnswerReading blocks = ReadMailAnswers(mail);
    EXPECT_EQ(blocks.SkippedCount, 300u);
    EXPECT_THAT(SkippedLines(blocks),
                ElementsAre(HasSubstr("answer 1: not valid JSON"), HasSubstr("answer 2: "), HasSubstr("answer 3: "),
                            HasSubstr("answer 4: "), HasSubstr("answer 5: "), "295 more answer blocks were skipped"));
    // A few are told in full, with nothing to count.
    EXPECT_EQ(SkippedLines(ReadRepliesFile("damaged\n", Folder)),
              std::vector<std::string>{"line 1: not valid JSON: unexpected character at byte 0; it reads damaged"});
}

TEST(AnswerReading, MailBlocksSurviveWrappingAndQuoting)
{
    TProofAnswer answer = Answer(3, "changes", "mail");
    answer.Comment = "Please darken the background, it looks washed out on my screen.";
    answer.Notes = {{10, 20, "here"}};
    const std::string json = AnswerJson(answer);
    // A mail program broke the line after 60 characters (at a space, as
    // format=flowed does, and elsewhere), and a reply quoted it.
    std::string wrapped;
    for (std::size_t at = 0; at < json.size(); at += 60)
        wrapped += "> " + json.substr(at, 60) + "\r\n";
    const std::string mail = "Hello,\r\nmy answer below.\r\n\r\n> -----BEGIN TAVRIN ANSWER-----\r\n" + wrapped +
                             "> -----END TAVRIN ANSWER-----\r\n\r\n-----BEGIN TAVRIN ANSWER-----\r\n{\"job\":1}\r\n"
                             "-----END TAVRIN ANSWER-----\r\n-----BEGIN TAVRIN ANSWER-----\r\nno end";
    const TAnswerReading reading = ReadMailAnswers(mail);
    ASSERT_EQ(reading.Answers.size(), 1u);
    EXPECT_EQ(reading.Answers[0], answer);
    EXPECT_THAT(reading.Skipped,
                ElementsAre(HasSubstr("answer 2: "), "answer 3: the block has no end line; it reads no end"));
    EXPECT_THAT(ReadMailAnswers("just a mail").Skipped, ElementsAre(HasSubstr("no answer block")));
}

}  // namespace
}  // namespace tavrin
