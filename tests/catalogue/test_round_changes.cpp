#include "base/catalogue/CarriedAnswers.h"
#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/ProofAnswers.h"
#include "base/catalogue/ProofRounds.h"
#include "base/catalogue/RoundChanges.h"
#include "tests/catalogue/CatalogueFixture.h"

#include <string>

namespace tavrin::testing {
namespace {

using TState = TPageComparison::TState;

class RoundChanges : public CatalogueFixture {
protected:
    void Job(std::uint32_t reference, int pages)
    {
        Run("insert into JobList (JobListName, JobListReference, JobListUniqueID, JobListPageCount) values "
            "(\"proof-job.ps\", " +
            std::to_string(reference) + ", \"2026121109000" + std::to_string(reference) + "\", " +
            std::to_string(pages) + ")");
    }
    static TPageComparison Page(int number, TState state)
    {
        TPageComparison page;
        page.Page = number;
        page.State = state;
        return page;
    }
    void Answer(std::uint32_t job, int page, const std::string& decision, const std::string& time,
                const std::string& name = "Zoe Lang")
    {
        TProofAnswer answer;
        answer.Job = "folder";
        answer.Page = page;
        answer.Decision = decision;
        answer.Name = name;
        answer.Time = time;
        answer.Source = "web";
        AddProofAnswers(Catalogue, job, {answer});
    }
};

TEST_F(RoundChanges, WhatIsSavedIsLoadedAsItWasAndReplacesTheCompareBefore)
{
    Job(101, 3);
    Job(105, 4);
    TPageComparison changed = Page(2, TState::Changed);
    changed.Plates = {{"BLACK", TPlateDifference::TKind::Changed, 70},
                      {"SPOT \"ORANGE\" \xC3\xA9", TPlateDifference::TKind::New, 12},
                      {"CYAN", TPlateDifference::TKind::Gone, 0}};
    changed.HasArea = true;
    changed.Left = 20, changed.Top = 30, changed.Right = 29, changed.Bottom = 36;
    TPageComparison resized = Page(3, TState::Changed);
    resized.SizeChanged = true;
    resized.OldWidth = 600, resized.OldHeight = 400, resized.NewWidth = 620, resized.NewHeight = 400;
    resized.ResolutionChanged = true;
    resized.OldXResolution = 300, resized.OldYResolution = 300, resized.NewXResolution = 600,
    resized.NewYResolution = 600;
    TPageComparison digests = Page(4, TState::New);
    digests.ByDigests = true;

    EXPECT_FALSE(LoadRoundChanges(Catalogue, 105).has_value());
    SaveRoundChanges(Catalogue, 105, 999, {Page(1, TState::Removed)});
    SaveRoundChanges(Catalogue, 105, 101, {Page(1, TState::Same), changed, resized, digests});
    const auto loaded = LoadRoundChanges(Catalogue, 105);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->EarlierReference, 101u);
    ASSERT_EQ(loaded->Pages.size(), 4u);
    EXPECT_EQ(loaded->Pages[0].State, TState::Same);
    const TPageComparison& two = loaded->Pages[1];
    EXPECT_EQ(two.State, TState::Changed);
    ASSERT_EQ(two.Plates.size(), 3u);
    EXPECT_EQ(two.Plates[1].ColorName, "SPOT \"ORANGE\" \xC3\xA9");
    EXPECT_EQ(two.Plates[1].Kind, TPlateDifference::TKind::New);
    EXPECT_EQ(two.Plates[2].Kind, TPlateDifference::TKind::Gone);
    EXPECT_EQ(two.Plates[0].Pixels, 70u);
    EXPECT_TRUE(two.HasArea);
    EXPECT_EQ(std::to_string(two.Left) + "," + std::to_string(two.Top) + " " + std::to_string(two.Right) + "," +
                  std::to_string(two.Bottom),
              "20,30 29,36");
    const TPageComparison& three = loaded->Pages[2];
    EXPECT_TRUE(three.SizeChanged && three.ResolutionChanged && !three.HasArea);
    EXPECT_EQ(three.NewWidth, 620u);
    EXPECT_EQ(three.NewYResolution, 600u);
    EXPECT_TRUE(loaded->Pages[3].ByDigests);
    EXPECT_EQ(loaded->Pages[3].State, TState::New);

    // A damaged row is left out, the others stay.
    Run("update RoundChangeList set RoundChangeListDetail = " + QuoteText("{\"plates\":7}") +
        " where RoundChangeListPageNumber = 3");
    EXPECT_EQ(LoadRoundChanges(Catalogue, 105)->Pages.size(), 3u);
    RemoveRoundChanges(Catalogue, 105);
    EXPECT_FALSE(LoadRoundChanges(Catalogue, 105).has_value());
}

// Round 1 answered pages 1 and 2; round 2 changed page 2 only; round 3
// changed page 3 only. Unchanged pages keep the latest answer of the round
// that gave one; a changed page keeps nothing.
TEST_F(RoundChanges, AnUnchangedPageKeepsTheLatestAnswerOfTheRoundThatGaveItAndAChangedPageNone)
{
    Job(101, 3);
    Job(105, 3);
    Job(109, 3);
    LinkProofRound(Catalogue, 105, 101);
    LinkProofRound(Catalogue, 109, 105);
    Answer(101, 1, "changes", "2026-12-10T09:00:00Z");
    Answer(101, 1, "approve", "2026-12-10T10:00:00Z", "Ann Lee");
    Answer(101, 2, "approve", "2026-12-10T10:00:00Z");
    Answer(105, 3, "approve", "2026-12-11T08:00:00Z");
    SaveRoundChanges(Catalogue, 105, 101, {Page(1, TState::Same), Page(2, TState::Changed), Page(3, TState::Same)});
    SaveRoundChanges(Catalogue, 109, 105, {Page(1, TState::Same), Page(2, TState::Same), Page(3, TState::Changed)});

    const TCarriedAnswers second = LoadCarriedAnswers(Catalogue, 105);
    ASSERT_EQ(second.size(), 1u);  // page 3 of round 1 was never answered
    EXPECT_EQ(second.at(1).Answer.Name, "Ann Lee");
    EXPECT_EQ(second.at(1).Round, 1);

    const TCarriedAnswers third = LoadCarriedAnswers(Catalogue, 109);
    ASSERT_EQ(third.size(), 1u);  // page 2 changed in round 2 and was not answered there
    EXPECT_EQ(third.at(1).Answer.Decision, "approve");
    EXPECT_EQ(third.at(1).Round, 1);

    // Round 2's pages: 1 carried, 3 its own; 2 waits.
    EXPECT_EQ(SummariseAnswers(LoadProofAnswers(Catalogue, 105), 3, "", second).State, TAnswerState::Waiting);
    Answer(105, 2, "approve", "2026-12-11T09:00:00Z");
    EXPECT_EQ(SummariseAnswers(LoadProofAnswers(Catalogue, 105), 3, "", second).State, TAnswerState::Approved);
    EXPECT_EQ(SummariseAnswers(LoadProofAnswers(Catalogue, 105), 3, "").State, TAnswerState::Waiting);
    // A carried request for changes counts as one.
    TCarriedAnswers changes = second;
    changes[1].Answer.Decision = "changes";
    EXPECT_EQ(SummariseAnswers(LoadProofAnswers(Catalogue, 105), 3, "", changes).State, TAnswerState::ChangesRequested);
}

TEST_F(RoundChanges, NothingIsCarriedWithoutACompareOfTheLinkedRound)
{
    Job(101, 1);
    Job(105, 1);
    Job(107, 1);
    Answer(101, 1, "approve", "2026-12-10T10:00:00Z");
    Answer(107, 1, "approve", "2026-12-10T10:00:00Z");
    LinkProofRound(Catalogue, 105, 101);
    EXPECT_TRUE(LoadCarriedAnswers(Catalogue, 105).empty());  // linked, not built since
    // Compared with a job it is no longer linked to.
    SaveRoundChanges(Catalogue, 105, 107, {Page(1, TState::Same)});
    EXPECT_TRUE(LoadCarriedAnswers(Catalogue, 105).empty());
    SaveRoundChanges(Catalogue, 105, 101, {Page(1, TState::Same)});
    EXPECT_EQ(LoadCarriedAnswers(Catalogue, 105).size(), 1u);
}

}  // namespace
}  // namespace tavrin::testing
