#include "base/catalogue/AnswerStatus.h"
#include "base/catalogue/ProofAnswers.h"
#include "tests/catalogue/CatalogueFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavrin {
namespace {

const std::string Current = std::string(64, 'c');
const std::string Earlier = std::string(64, 'e');

TProofAnswer Answer(std::int32_t page, const std::string& decision, const std::string& time,
                    const std::string& fingerprint = Current)
{
    TProofAnswer answer;
    answer.Job = "20261210093000123";
    answer.Page = page;
    answer.Decision = decision;
    answer.Fingerprint = fingerprint;
    answer.Time = time;
    answer.Source = "web";
    return answer;
}

class ProofAnswersTest : public testing::CatalogueFixture {};

TEST_F(ProofAnswersTest, AnswersAreAddedOnceAndKeptAsTheCustomerWroteThem)
{
    TProofAnswer hostile = Answer(2, "changes", "2026-12-10T09:31:00Z");
    hostile.Comment = "\"); delete from AnswerList; --\n' or 1=1 <script>alert(1)</script>";
    hostile.Name = "Robert'); drop table JobList;--";
    hostile.Email = "a\"b@example.com";
    hostile.Notes = {{5, 6, "\xF0\x9F\x98\x80 \"quoted\""}, {0, 0, "corner"}};
    const std::vector<TProofAnswer> fetched = {Answer(1, "approve", "2026-12-10T09:30:00Z"), hostile};
    EXPECT_EQ(AddProofAnswers(Catalogue, 7, fetched), 2);
    // Fetching the same file again adds nothing; the same answer pasted from
    // a mail is the same answer.
    EXPECT_EQ(AddProofAnswers(Catalogue, 7, fetched), 0);
    TProofAnswer mailed = hostile;
    mailed.Source = "mail";
    EXPECT_EQ(AddProofAnswers(Catalogue, 7, {mailed, Answer(3, "approve", "2026-12-10T09:32:00Z")}), 1);
    EXPECT_EQ(AddProofAnswers(Catalogue, 8, {hostile}), 1) << "identity is per job";

    const std::vector<TProofAnswer> stored = LoadProofAnswers(Catalogue, 7);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0], fetched[0]);
    EXPECT_EQ(stored[1], hostile);
    EXPECT_EQ(stored[2].Page, 3);
    EXPECT_EQ(Column("select count(*) as n from JobList", "n"), std::vector<std::string>{"0"});

    // A row that cannot be what the station stored is left out, not guessed at.
    Run("update AnswerList set AnswerListNotes = \"[{\"\"x\"\":1}]\" where AnswerListPageNumber = 3");
    EXPECT_EQ(LoadProofAnswers(Catalogue, 7).size(), 2u);
    Run("update AnswerList set AnswerListDecision = \"maybe\" where AnswerListPageNumber = 1");
    EXPECT_EQ(LoadProofAnswers(Catalogue, 7).size(), 1u);

    RemoveJobAnswers(Catalogue, 7);
    EXPECT_TRUE(LoadProofAnswers(Catalogue, 7).empty());
    EXPECT_EQ(LoadProofAnswers(Catalogue, 8).size(), 1u);
}

TEST(AnswerStatusTest, TheLatestAnswerAboutTheCurrentProofCountsPerPage)
{
    const struct {
        const char* Case;
        std::vector<TProofAnswer> Answers;
        TAnswerState State;
    } cases[] = {
        {"no answers", {}, TAnswerState::Waiting},
        {"one page of two approved", {Answer(1, "approve", "2026-12-10T09:00:00Z")}, TAnswerState::Waiting},
        {"every page approved",
         {Answer(2, "approve", "2026-12-10T09:00:00Z"), Answer(1, "approve", "2026-12-10T09:01:00Z")},
         TAnswerState::Approved},
        {"changes on one page",
         {Answer(1, "approve", "2026-12-10T09:00:00Z"), Answer(2, "changes", "2026-12-10T09:01:00Z")},
         TAnswerState::ChangesRequested},
        {"changes later approved",
         {Answer(1, "approve", "2026-12-10T09:00:00Z"), Answer(2, "changes", "2026-12-10T09:01:00Z"),
          Answer(2, "approve", "2026-12-10T09:05:00Z")},
         TAnswerState::Approved},
        {"a mail pasted late with an earlier time does not overrule",
         {Answer(1, "approve", "2026-12-10T09:00:00Z"), Answer(2, "approve", "2026-12-10T09:05:00Z"),
          Answer(2, "changes", "2026-12-10T09:01:00Z")},
         TAnswerState::Approved},
        {"approval of an earlier proof does not count",
         {Answer(1, "approve", "2026-12-10T09:00:00Z"), Answer(2, "approve", "2026-12-10T09:00:00Z", Earlier)},
         TAnswerState::Waiting},
        {"changes asked on an earlier proof do not count",
         {Answer(1, "changes", "2026-12-10T08:00:00Z", Earlier), Answer(1, "approve", "2026-12-10T07:00:00Z"),
          Answer(2, "approve", "2026-12-10T07:00:00Z")},
         TAnswerState::Approved},
        {"a page the proof does not have does not count",
         {Answer(1, "approve", "2026-12-10T09:00:00Z"), Answer(3, "approve", "2026-12-10T09:00:00Z")},
         TAnswerState::Waiting},
    };
    for (const auto& c : cases) {
        const TAnswerSummary summary = SummariseAnswers(c.Answers, 2, Current);
        EXPECT_EQ(AnswerStateWord(summary.State), AnswerStateWord(c.State)) << c.Case;
        EXPECT_EQ(summary.Answers, static_cast<int>(c.Answers.size())) << c.Case;
    }
    const TAnswerSummary last = SummariseAnswers(
        {Answer(1, "changes", "2026-12-10T11:00:00Z", Earlier), Answer(1, "approve", "2026-12-10T09:00:00Z")}, 1,
        Current);
    EXPECT_EQ(last.LastAnswerTime, "2026-12-10T11:00:00Z") << "the last answer of any proof";
    EXPECT_EQ(last.State, TAnswerState::Approved);

    // A job mastered before fingerprints were kept: answers without one are its own.
    EXPECT_EQ(SummariseAnswers({Answer(1, "approve", "2026-12-10T09:00:00Z", "")}, 1, "").State,
              TAnswerState::Approved);
    EXPECT_TRUE(IsAboutEarlierProof(Answer(1, "approve", "2026-12-10T09:00:00Z", ""), Current));
    EXPECT_EQ(SummariseAnswers({}, 0, "").State, TAnswerState::Waiting) << "a job without pages is never approved";
}

}  // namespace
}  // namespace tavrin
