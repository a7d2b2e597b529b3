#include "engines/delivery/NotifyMessage.h"
#include "engines/delivery/RoundMailLine.h"
#include "engines/delivery/SMTPClient.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

namespace tavrin {
namespace {

// The header lines of a composed message.
std::vector<std::string> HeaderLines(const std::string& jobName, const std::string& recipientName)
{
    testing::TScratchProgramFolder folder;
    folder.Write("overview.png", "png");
    TJobDetailRecord job;
    job.Name = jobName;
    job.UniqueID = "20261210090000000";
    TSettingsRecord settings;
    settings.FromEmail = "proofs@example.com";
    settings.WebRoot = "http://proofs.example.com/";
    TNotifyMessage message = NotifyMessageFor(job, "", settings);
    message.OverviewPath = folder.Path("overview.png").string();
    message.To = {MailboxFromText(recipientName, "ann@example.com")};
    std::istringstream text(ComposedMessage(message));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line) && line != "\r";)
        lines.push_back(line);
    return lines;
}

// Every line within the mail line limit (the Subject's within 76 and its
// line end), every encoded word within 75 characters.
void ExpectShortLines(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), line.rfind("Subject: ", 0) == 0 || line[0] == ' ' ? 78u : 998u) << line.substr(0, 100);
        for (std::size_t at = line.find("=?"); at != std::string::npos; at = line.find("=?", at + 2)) {
            const std::size_t end = line.find("?=", at + 10);
            ASSERT_NE(end, std::string::npos) << line;
            EXPECT_LE(end + 2 - at, 75u) << line;
            at = end;
        }
    }
}

TEST(NotifyMessage, LongNamesAreFoldedIntoShortHeaderLines)
{
    std::string words, word(10000, 'x'), latin1 = "Caf\xE9 brochure";
    for (int i = 0; i < 2000; ++i)
        words += "brochure ";
    for (const std::string& name : {words, word, latin1}) {
        const auto lines = HeaderLines(name, name);
        ExpectShortLines(lines);
        std::string subject;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind("Subject: ", 0) == 0)
                for (std::size_t j = i; j < lines.size() && (j == i || lines[j][0] == ' '); ++j)
                    subject += lines[j];
        ASSERT_FALSE(subject.empty());
        if (name == words) {
            // Plain words fold at their blanks and stay readable.
            EXPECT_EQ(subject.substr(0, 50), "Subject: Remote Proofing information for brochure ");
        }
        if (name == latin1) {
            EXPECT_NE(subject.find("Caf=C3=A9"), std::string::npos) << subject;
        }
    }
}

TEST(NotifyMessage, EncodedWordsAreShortAndHoldWholeCharacters)
{
    EXPECT_EQ(EncodedWords("Zoë's proof"), "=?UTF-8?Q?Zo=C3=AB=27s_proof?=");
    std::string text = "Zo";
    for (int i = 0; i < 30; ++i)
        text += "ë";
    const std::string words = EncodedWords(text);
    std::vector<std::string> pieces;
    for (std::size_t at = 0;;) {
        const std::size_t next = words.find("\r\n ", at);
        pieces.push_back(words.substr(at, next - at));
        if (next == std::string::npos)
            break;
        at = next + 3;
    }
    ASSERT_GT(pieces.size(), 2u);
    std::string inner;
    for (const std::string& piece : pieces) {
        EXPECT_LE(piece.size(), 75u) << piece;
        ASSERT_EQ(piece.rfind("=?UTF-8?Q?", 0), 0u) << piece;
        ASSERT_EQ(piece.substr(piece.size() - 2), "?=") << piece;
        // Whole characters only: what is left without the "ë"s is the plain start.
        std::string rest = piece.substr(10, piece.size() - 12);
        for (std::size_t at; (at = rest.find("=C3=AB")) != std::string::npos;)
            rest.erase(at, 6);
        inner += rest;
    }
    EXPECT_EQ(inner, "Zo");
}

// A From address without a plain domain still gives a well-formed Message-ID.
TEST(NotifyMessage, TheMessageIDNamesTheSendersDomainOrTavrinInvalid)
{
    const std::pair<const char*, const char*> cases[] = {
        {"proofs@example.com", "example.com"},
        {"a@b@mail.example.co.uk", "mail.example.co.uk"},
        {"proofs@xn--mller-kva.de", "xn--mller-kva.de"},
        {"", "tavrin.invalid"},
        {"proofs", "tavrin.invalid"},
        {"proofs@", "tavrin.invalid"},
        {"proofs@[127.0.0.1]", "tavrin.invalid"},
        {"proofs@exa mple.com", "tavrin.invalid"},
        {"proofs@example..com", "tavrin.invalid"},
        {"proofs@.example.com", "tavrin.invalid"},
        {"proofs@example.com>", "tavrin.invalid"},
    };
    for (const auto& [address, domain] : cases)
        EXPECT_EQ(MessageIDDomain(address), domain) << address;
}

TEST(NotifyMessage, PortIsTheSettingReadAsADecimalNumberOr25)
{
    const std::pair<const char*, int> cases[] = {
        {"587", 587}, {"25", 25},    {"2525", 2525}, {"65535", 65535}, {"abc", 25}, {"", 25},
        {"0", 25},    {"65536", 25}, {" 587", 25},   {"587 ", 25},     {"-1", 25},  {"5x", 25},
    };
    for (const auto& [text, port] : cases)
        EXPECT_EQ(SMTPPortNumber(text), port) << "\"" << text << "\"";
}

TEST(NotifyMessage, LoginIsOfferedOnlyInAnAuthLine)
{
    const std::pair<const char*, bool> cases[] = {
        {"250-host\n250-AUTH LOGIN PLAIN\n250 HELP", true},
        {"250-host\n250-auth plain login\n250 HELP", true},
        {"250-host\n250-AUTH=LOGIN\n250 HELP", true},
        {"250-host\n250 AUTH CRAM-MD5 LOGIN", true},
        {"250-host\n250-AUTH PLAIN CRAM-MD5\n250 HELP", false},
        {"250-host\n250-AUTH XLOGIN\n250 HELP", false},
        {"250-host\n250-AUTHLOGIN\n250 HELP", false},
        {"250-host\n250-X-LOGIN AUTH LOGIN\n250 HELP", false},
        {"", false},
    };
    for (const auto& [reply, listed] : cases)
        EXPECT_EQ(ListsLoginMechanism(reply), listed) << reply;
}

// A round's pages by state and the answers its unchanged pages keep.
struct TRoundCase {
    const char* Expected;
    std::int32_t Round;
    std::vector<std::pair<int, TPageComparison::TState>> Pages;
    std::vector<std::tuple<int, const char*, std::int32_t>> Carried;  // page, decision, round that answered
};

TEST(RoundMailLine, TellsWhatChangedAndWhatKeepsItsAnswer)
{
    using enum TPageComparison::TState;
    const TRoundCase cases[] = {
        {"Round 2: pages 2 and 3 changed since round 1; page 1 is unchanged and stays approved.",
         2,
         {{1, Same}, {2, Changed}, {3, Changed}},
         {{1, "approve", 1}}},
        {"Round 2: page 2 changed since round 1; page 1 is unchanged.", 2, {{1, Same}, {2, Changed}}, {}},
        {"Round 3: pages 2, 3 and 5 changed since round 2; page 4 is new; page 6 was removed.",
         3,
         {{2, Changed}, {3, Changed}, {4, New}, {5, Changed}, {6, Removed}},
         {}},
        {"Round 2: page 2 changed since round 1; pages 5 and 6 are new; pages 7 and 8 were removed; pages 1 and 3 "
         "are unchanged and stay approved; page 4 is unchanged although changes were requested in round 1.",
         2,
         {{1, Same}, {2, Changed}, {3, Same}, {4, Same}, {5, New}, {6, New}, {7, Removed}, {8, Removed}},
         {{1, "approve", 1}, {3, "approve", 1}, {4, "changes", 1}}},
        // Nothing to look at again: said so, never an empty clause.
        {"Round 2: no page changed since round 1; pages 1 to 4 are unchanged.",
         2,
         {{1, Same}, {2, Same}, {3, Same}, {4, Same}},
         {}},
        {"Round 2: no page changed since round 1; page 3 is new; pages 1 and 2 are unchanged and stay approved.",
         2,
         {{1, Same}, {2, Same}, {3, New}},
         {{1, "approve", 1}, {2, "approve", 1}}},
        // Runs of three or more by their ends, in page order whatever the compare's order.
        {"Round 2: pages 1 to 4, 6, 8 and 9 changed since round 1; page 5 is unchanged and stays approved; page 7 "
         "is unchanged.",
         2,
         {{9, Changed},
          {8, Changed},
          {1, Changed},
          {2, Changed},
          {3, Changed},
          {4, Changed},
          {5, Same},
          {6, Changed},
          {7, Same}},
         {{5, "approve", 1}}},
        // Requests kept from two rounds back and from the last one are told apart.
        {"Round 3: page 4 changed since round 2; pages 1 and 2 are unchanged although changes were requested in "
         "round 1; page 3 is unchanged although changes were requested in round 2.",
         3,
         {{1, Same}, {2, Same}, {3, Same}, {4, Changed}},
         {{1, "changes", 1}, {2, "changes", 1}, {3, "changes", 2}}},
        // An answer never stays with a page whose plates changed.
        {"Round 2: page 1 changed since round 1; page 2 is new.",
         2,
         {{1, Changed}, {2, New}},
         {{1, "approve", 1}, {2, "approve", 1}}},
    };
    for (const TRoundCase& c : cases) {
        std::vector<TPageComparison> pages;
        for (const auto& [page, state] : c.Pages) {
            TPageComparison comparison;
            comparison.Page = page;
            comparison.State = state;
            pages.push_back(comparison);
        }
        TCarriedAnswers carried;
        for (const auto& [page, decision, round] : c.Carried) {
            TProofAnswer answer;
            answer.Page = page;
            answer.Decision = decision;
            carried[page] = {answer, round};
        }
        EXPECT_EQ(RoundChangesLine(c.Round, c.Round - 1, pages, carried), c.Expected);
    }
    EXPECT_EQ(RoundWithoutCompareLine(2), "Round 2 of this job.");
}

TEST(RoundMailLine, ALaterRoundsMessageNamesItsRoundInTheSubjectAndAfterBothTexts)
{
    TJobDetailRecord job;
    job.Name = "A&B";
    job.UniqueID = "20261210090000000";
    TSettingsRecord settings;
    settings.WebRoot = "http://proofs.example.com/";
    const TNotifyMessage first = NotifyMessageFor(job, "", settings);
    const TNotifyMessage later = NotifyMessageFor(job, "", settings, TMailRound{2, "Round 2: page 1 <changed>."});
    EXPECT_EQ(later.Subject, first.Subject + " (round 2)");
    EXPECT_EQ(later.PlainText, first.PlainText + "\r\nRound 2: page 1 <changed>.");
    const std::string linkLine = " to review this job<br><br>\r\n";
    std::string html = first.HTMLText;
    html.insert(html.find(linkLine) + linkLine.size(), "Round 2: page 1 &lt;changed&gt;.<br><br>\r\n");
    EXPECT_EQ(later.HTMLText, html);
}

}  // namespace
}  // namespace tavrin
