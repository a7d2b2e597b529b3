#include "base/catalogue/ProofAnswers.h"
#include "base/catalogue/ProofFingerprint.h"
#include "base/catalogue/SettingsCipher.h"
#include "tests/delivery/DeliveryFixture.h"
#include "tests/support/CliRunner.h"
#include "tests/support/ScratchStation.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>

namespace tavrin {
namespace {

using ::testing::HasSubstr;
using testing::WriteBytes;

constexpr const char* JobID = "20240314092653120";
const std::string CyanDigest = std::string(64, 'a');
const std::string BlackDigest = std::string(64, 'b');

// Job 7 ("Leaflet", two pages, mastered with fingerprints) and job 8 in the
// post queue; the scripted FTP server holds job 7's folder.
class RepliesCommand : public testing::ScratchStation {
protected:
    void SetUp() override
    {
        ScratchStation::SetUp();
        MakeCatalogue({"insert into JobList (JobListReference, JobListUniqueID, JobListName, JobListPageCount) "
                       "values (7, " +
                           QuoteText(JobID) + ", \"Leaflet\", 2)",
                       "insert into JobList (JobListReference, JobListUniqueID, JobListName, JobListPageCount) "
                       "values (8, \"20240314092653121\", \"Poster\", 1)",
                       "insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (7, "
                       "\"Master, Preview, Web, Transfer\")",
                       "insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (8, "
                       "\"Master, Preview, Web, Transfer\")",
                       Plate(1, "Cyan", CyanDigest), Plate(2, "Black", BlackDigest)});
        Fingerprint = JobFingerprint(
            {PageFingerprint({{1, "Cyan", "", CyanDigest}}), PageFingerprint({{2, "Black", "", BlackDigest}})});
        FTPServer = testing::StartScriptedFTPServer(FTPFolder);
        Folder.Write("tavrin.ini", "[Main]\nFTPServer=127.0.0.1:" + std::to_string(FTPServer->Port()) +
                                       "\nFTPUserName=" + EncipherText("u") +
                                       "\nFTPPassword=" + EncipherText("secret") + "\n");
    }

    static std::string Plate(int page, const std::string& color, const std::string& digest)
    {
        return "insert into FingerprintList (FingerprintListJobReference, FingerprintListPageNumber, "
               "FingerprintListPlateColor, FingerprintListSource, FingerprintListSHA256) values (7, " +
               std::to_string(page) + ", " + QuoteText(color) + ", \"x.pgb\", " + QuoteText(digest) + ")";
    }

    TProofAnswer Answer(int page, const std::string& decision, const std::string& time) const
    {
        TProofAnswer answer;
        answer.Job = JobID;
        answer.Page = page;
        answer.Decision = decision;
        answer.Name = "Zoe Lang";
        answer.Email = "zoe@example.com";
        answer.Fingerprint = Fingerprint;
        answer.Time = time;
        return answer;
    }

    void WriteReplies(const std::string& content) const
    {
        WriteBytes(FTPFolder.Path() / "root/tavrin" / JobID / "replies.jsonl", content);
    }

    std::string Fingerprint;
    testing::TTemporaryFolder FTPFolder;
    std::unique_ptr<testing::TServerProcess> FTPServer;
};

TEST_F(RepliesCommand, FetchesPrintsAndKeepsTheAnswersOnce)
{
    TProofAnswer changes = Answer(2, "changes", "2026-12-10T09:31:00Z");
    changes.Comment = "Darker, please.\nThe logo too.";
    changes.Notes = {{1200, 340, "too close to the edge"}, {10, 20, "typo"}};
    TProofAnswer earlier = Answer(1, "changes", "2026-12-09T17:00:00Z");
    earlier.Fingerprint = std::string(64, 'e');
    WriteReplies(AnswerJson(earlier) + "\n" + AnswerJson(Answer(1, "approve", "2026-12-10T09:30:00Z")) + "\n" +
                 "{\"job\": damaged\n" + AnswerJson(changes) + "\n");

    auto result = testing::RunProgram("tavrin-cli", "replies 7");
    EXPECT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    const std::string proof = ", proof " + Fingerprint.substr(0, 12);
    EXPECT_EQ(result.Output, "page 1 changes by Zoe Lang <zoe@example.com> at 2026-12-09T17:00:00Z, proof eeeeeeeeeeee "
                             "(earlier proof)\n"
                             "page 1 approve by Zoe Lang <zoe@example.com> at 2026-12-10T09:30:00Z" +
                                 proof + "\npage 2 changes by Zoe Lang <zoe@example.com> at 2026-12-10T09:31:00Z" +
                                 proof +
                                 "\n    comment: Darker, please.\n"
                                 "             The logo too.\n"
                                 "    note at 1200, 340: too close to the edge\n"
                                 "    note at 10, 20: typo\n");
    // The damaged line is named, and the rest was read.
    EXPECT_THAT(result.Errors, HasSubstr("Job 7: replies.jsonl line 3: not valid JSON"));
    EXPECT_THAT(result.Errors, HasSubstr("Job 7: 3 answers on the server, 3 new."));

    result = testing::RunProgram("tavrin-cli", "postqueue list");
    EXPECT_THAT(result.Output,
                HasSubstr("7\tLeaflet\tcomplete\tMaster, Preview, Web, Transfer\t-\tChanges requested\n"));
    EXPECT_THAT(result.Output, HasSubstr("8\tPoster\tcomplete\tMaster, Preview, Web, Transfer\t-\tWaiting\n"));

    // Page 2 approved later: every page of the current proof is. Fetching
    // again adds only the new answer; job 8 has no replies file yet.
    WriteReplies(AnswerJson(Answer(1, "approve", "2026-12-10T09:30:00Z")) + "\n" + AnswerJson(changes) + "\n" +
                 AnswerJson(Answer(2, "approve", "2026-12-10T10:00:00Z")) + "\n");
    result = testing::RunProgram("tavrin-cli", "replies then postqueue list");
    EXPECT_EQ(result.ExitStatus, 0) << result.Output << result.Errors;
    EXPECT_THAT(result.Errors, HasSubstr("Job 7: 3 answers on the server, 1 new."));
    EXPECT_THAT(result.Errors, HasSubstr("Job 8: no answers yet."));
    EXPECT_THAT(result.Output, HasSubstr("job 7 Leaflet: Approved\npage 1 changes"));
    EXPECT_THAT(result.Output, HasSubstr("job 8 Poster: Waiting\n"));
    EXPECT_EQ(result.Output.find("no such page"), std::string::npos);
    EXPECT_THAT(result.Output, HasSubstr("\tApproved\n"));
}

TEST_F(RepliesCommand, AFileThatCannotBeFetchedFailsTheCommandButKeepsWhatTheStationHas)
{
    WriteReplies(AnswerJson(Answer(1, "approve", "2026-12-10T09:30:00Z")) + "\n");
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "replies 7").ExitStatus, 0);

    // Larger than any answer endpoint writes.
    WriteReplies(AnswerJson(Answer(1, "approve", "2026-12-10T09:30:00Z")) + "\n" + std::string(1024 * 1024, ' '));
    auto result = testing::RunProgram("tavrin-cli", "replies 7");
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_THAT(result.Errors, HasSubstr("is larger than 1 MB"));
    EXPECT_THAT(result.Output, HasSubstr("page 1 approve by Zoe Lang")) << "the stored answer is still shown";

    FTPServer.reset();
    result = testing::RunProgram("tavrin-cli", "replies 7");
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_THAT(result.Errors, HasSubstr("Could not log on to the FTP server"));
    EXPECT_THAT(result.Output, HasSubstr("page 1 approve by Zoe Lang"));

    EXPECT_EQ(testing::RunProgram("tavrin-cli", "replies 99").ExitStatus, 1);
    EXPECT_EQ(testing::RunProgram("tavrin-cli", "replies x").ExitStatus, 2);
}

// Anyone who can write the replies file, or send a mail, could fill the
// log with it: a flood of damage costs a few lines, safe to print.
TEST_F(RepliesCommand, AFloodOfDamagedLinesOrBlocksAddsAFewLinesToTheLog)
{
    const std::string damaged = "\x1b]0;x\x07{";
    std::string content;
    for (int i = 0; i < 100000; ++i)
        content += damaged + "\n";
    // The good answer after the damage is read; its bidirectional marks, which
    // the endpoint lets through, would show its line reversed.
    TProofAnswer good = Answer(1, "approve", "2026-12-10T09:30:00Z");
    good.Name = "Zoe \xe2\x80\xaeLang";
    good.Comment = "fine \xe2\x81\xa6here";
    WriteReplies(content + AnswerJson(good) + "\n");

    auto result = testing::RunProgram("tavrin-cli", "replies 7");
    EXPECT_EQ(result.ExitStatus, 0) << result.Errors.substr(0, 2000);
    EXPECT_THAT(result.Output, HasSubstr("page 1 approve by Zoe \\u202eLang <zoe@example.com>"));
    EXPECT_THAT(result.Output, HasSubstr("\n    comment: fine \\u2066here\n"));
    std::size_t described = 0;
    for (std::size_t at = result.Errors.find("Job 7: replies.jsonl line "); at != std::string::npos;
         at = result.Errors.find("Job 7: replies.jsonl line ", at + 1))
        ++described;
    EXPECT_EQ(described, 5u);
    EXPECT_THAT(result.Errors, HasSubstr("Job 7: replies.jsonl line 1: not valid JSON: unexpected character at byte "
                                         "0; it reads \\x1b]0;x\\x07{\n"));
    EXPECT_THAT(result.Errors, HasSubstr("Job 7: replies.jsonl: 99995 more lines were skipped.\n"));
    EXPECT_EQ(result.Errors.find_first_of("\x1b\x07"), std::string::npos);
    std::uintmax_t logged = 0;
    for (const auto& file : std::filesystem::directory_iterator(Folder.Path("log")))
        logged += file.file_size();
    EXPECT_LT(logged, 8000u) << "bytes in the daily log";

    std::string mail;
    for (int i = 0; i < 2000; ++i)
        mail += "-----BEGIN TAVRIN ANSWER-----\r\n" + damaged + "\r\n-----END TAVRIN ANSWER-----\r\n";
    Folder.Write("flood.eml", mail);
    result = testing::RunProgram("tavrin-cli", "replies mail " + Folder.Path("flood.eml").string());
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Output, "0 new, 0 known\n");
    EXPECT_EQ(std::count(result.Errors.begin(), result.Errors.end(), '\n'), 6) << result.Errors.substr(0, 2000);
    EXPECT_THAT(result.Errors, HasSubstr("not taken: answer 1: not valid JSON: unexpected character at byte 0; it "
                                         "reads \\x1b]0;x\\x07{\n"));
    EXPECT_THAT(result.Errors, HasSubstr("not taken: 1995 more answer blocks were not taken\n"));
}

TEST_F(RepliesCommand, AnswersPastedFromAMailJoinTheirJob)
{
    TProofAnswer mailed = Answer(2, "changes", "2026-12-10T11:00:00Z");
    mailed.Comment = "Sent by mail";
    TProofAnswer stranger = Answer(1, "approve", "2026-12-10T11:00:00Z");
    stranger.Job = "20240314092653999";
    Folder.Write("answer.eml", "Subject: Leaflet answer\r\n\r\n-----BEGIN TAVRIN ANSWER-----\r\n" + AnswerJson(mailed) +
                                   "\r\n-----END TAVRIN ANSWER-----\r\n-----BEGIN TAVRIN ANSWER-----\r\n" +
                                   AnswerJson(stranger) + "\r\n-----END TAVRIN ANSWER-----\r\n");
    // A page the job does not have (any more): shown, never counted.
    Folder.Write("page3.eml", "-----BEGIN TAVRIN ANSWER-----\r\n" +
                                  AnswerJson(Answer(3, "approve", "2026-12-10T12:00:00Z")) +
                                  "\r\n-----END TAVRIN ANSWER-----\r\n");
    auto result = testing::RunProgram("tavrin-cli", "replies mail " + Folder.Path("answer.eml").string());
    EXPECT_EQ(result.ExitStatus, 1) << "one block was not taken";
    EXPECT_THAT(result.Errors, HasSubstr("names the web folder 20240314092653999, which no catalogued job has"));
    EXPECT_THAT(result.Output, HasSubstr("1 new, 0 known\npage 2 changes by Zoe Lang <zoe@example.com> at "
                                         "2026-12-10T11:00:00Z, proof " +
                                         Fingerprint.substr(0, 12) + ", by mail\n    comment: Sent by mail\n"));
    result = testing::RunProgram("tavrin-cli", "replies mail " + Folder.Path("page3.eml").string());
    EXPECT_EQ(result.ExitStatus, 0) << result.Errors;
    EXPECT_THAT(result.Output, HasSubstr(", by mail (no such page now)\n"));
    result = testing::RunProgram("tavrin-cli", "postqueue list");
    EXPECT_THAT(result.Output, HasSubstr("\tChanges requested\n"));
}

// Job 9 is round 2 of job 7: page 1 unchanged, page 2 changed. Round 1's
// approval of page 1, pasted from a mail, counts for round 2 and is listed
// with its round; nothing of round 1 counts for the changed page.
TEST_F(RepliesCommand, AnApprovalOfAnUnchangedPageCountsInTheNextRound)
{
    const std::string detail = "{\"plates\":[],\"bydigests\":false,\"size\":[0,0,0,0],\"sizechanged\":false,"
                               "\"resolution\":[0,0,0,0],\"resolutionchanged\":false}";
    TCatalogueConnection catalogue;
    OpenCatalogueConnection(catalogue, CatalogueFilePath());
    for (const std::string& statement : std::vector<std::string>{
             "insert into JobList (JobListReference, JobListUniqueID, JobListName, JobListPageCount, "
             "JobListRound, JobListRoundOf, JobListRoundOfUniqueID) values (9, \"20240315080000000\", "
             "\"Leaflet\", 2, 2, 7, " +
                 QuoteText(JobID) + ")",
             "insert into PostQueueList (PostQueueListJobReference, PostQueueListTasks) values (9, "
             "\"Master, Preview, Web, Transfer\")",
             "insert into RoundChangeList (RoundChangeListJobReference, RoundChangeListPageNumber, "
             "RoundChangeListEarlierJobReference, RoundChangeListState, RoundChangeListDetail) values "
             "(9, 1, 7, \"same\", " +
                 QuoteText(detail) + ")",
             "insert into RoundChangeList (RoundChangeListJobReference, RoundChangeListPageNumber, "
             "RoundChangeListEarlierJobReference, RoundChangeListState, RoundChangeListDetail) values "
             "(9, 2, 7, \"changed\", " +
                 QuoteText(detail) + ")"}) {
        TRecordSet rows;
        OpenQuery(catalogue, rows, statement);
    }
    catalogue.Close();
    Folder.Write("answer.eml",
                 "-----BEGIN TAVRIN ANSWER-----\r\n" + AnswerJson(Answer(1, "approve", "2026-12-10T11:00:00Z")) +
                     "\r\n-----END TAVRIN ANSWER-----\r\n-----BEGIN TAVRIN ANSWER-----\r\n" +
                     AnswerJson(Answer(2, "approve", "2026-12-10T11:00:00Z")) + "\r\n-----END TAVRIN ANSWER-----\r\n");
    ASSERT_EQ(testing::RunProgram("tavrin-cli", "replies mail " + Folder.Path("answer.eml").string()).ExitStatus, 0);

    auto result = testing::RunProgram("tavrin-cli", "replies 9");
    EXPECT_EQ(result.ExitStatus, 0) << result.Errors;
    EXPECT_EQ(result.Output, "page 1 approve by Zoe Lang <zoe@example.com> at 2026-12-10T11:00:00Z, proof " +
                                 Fingerprint.substr(0, 12) + ", by mail (round 1, unchanged)\n");
    result = testing::RunProgram("tavrin-cli", "postqueue list");
    EXPECT_THAT(result.Output, HasSubstr("7\tLeaflet\tcomplete\tMaster, Preview, Web, Transfer\t-\tApproved\n"));
    EXPECT_THAT(result.Output,
                HasSubstr("9\tLeaflet\tcomplete\tMaster, Preview, Web, Transfer\t-\tWaiting\tround 2 of 7\n"));
}

}  // namespace
}  // namespace tavrin
