#include "engines/delivery/NotifyMessage.h"
#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

#include <sstream>

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

}  // namespace
}  // namespace tavrin
