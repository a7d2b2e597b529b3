#include "tasks/delivery/AnswersThread.h"

#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "base/catalogue/ProofAnswers.h"
#include "base/tasking/RoundedPercent.h"
#include "base/text/TextRules.h"
#include "engines/delivery/AnswerReading.h"
#include "tasks/delivery/DeliveryJob.h"

#include <stdexcept>

namespace tavrin {

namespace {

// Job references travel with the completion only when there is one.
std::uint32_t ReportedReference(const std::vector<std::uint32_t>& jobs)
{
    return jobs.size() == 1 ? jobs.front() : 0;
}

std::string Answers(int count)
{
    return std::to_string(count) + (count == 1 ? " answer" : " answers");
}

}  // namespace

TRepliesFetch FetchRepliesIntoCatalogue(TCatalogueConnection& catalogue, TFTPClient& client, std::uint32_t jobReference,
                                        const std::string& path, const std::string& jobFolder,
                                        const std::function<void(const std::string& skipped)>& skipped)
{
    TRepliesFetch fetch;
    std::optional<std::string> content;
    try {
        content = client.Retrieve(path, MaxRepliesFileBytes, nullptr);
    } catch (const EFTPTooLarge&) {
        fetch.Outcome = TRepliesFetch::TOutcome::TooLarge;
        return fetch;
    } catch (const EFTPError& error) {
        fetch.Problem = Trimmed(error.what());
        return fetch;
    }
    if (!content) {
        fetch.Outcome = TRepliesFetch::TOutcome::NoFile;
        return fetch;
    }
    // Anyone who can write the file can fill it with damage: a few lines
    // tell it, however much there is.
    const TAnswerReading reading = ReadRepliesFile(*content, jobFolder);
    for (const std::string& line : reading.Skipped)
        skipped(" " + line);
    if (reading.SkippedCount > reading.Skipped.size())
        skipped(": " + SkippedLines(reading).back() + ".");
    fetch.OnServer = static_cast<int>(reading.Answers.size());
    try {
        fetch.Added = AddProofAnswers(catalogue, jobReference, reading.Answers);
    } catch (const std::exception& error) {
        fetch.Outcome = TRepliesFetch::TOutcome::NotStored;
        fetch.Problem = error.what();
        return fetch;
    }
    fetch.Outcome = TRepliesFetch::TOutcome::Stored;
    return fetch;
}

TAnswersThread::TAnswersThread(TMessageTarget& target, const TTaskContext& context,
                               std::vector<std::uint32_t> jobReferences)
    : TTaskThread(target, ReportedReference(jobReferences), WM_ANSWERS_DONE),
      Context(context.ForJob(ReportedReference(jobReferences))), Jobs(std::move(jobReferences))
{
}

void TAnswersThread::LogOnForFiles()
{
    Session->Connect();
    // The files as stored, byte for byte: no line ends changed on the way.
    Session->Client().Command("TYPE", "I", {200});
}

void TAnswersThread::NotDone(const std::string& problem)
{
    PostLogText(problem, -1);
    Problems.push_back(problem);
}

void TAnswersThread::RefreshJob(std::uint32_t jobReference, const std::string& jobsFolder)
{
    const std::string job = "Job " + std::to_string(jobReference);
    TJobDetailRecord record;
    LoadJobDetail(Context.Catalogue(), static_cast<std::int32_t>(jobReference), record);
    if (record.ID <= 0) {
        NotDone(job + " is not in the catalogue; its answers were not fetched.");
        return;
    }
    HideInLog(record.Secret);
    std::string folder;
    try {
        folder = RemoteJobFolderName(record.UniqueID, record.Secret);
    } catch (const std::invalid_argument& error) {
        NotDone(job + ": " + error.what() + "; its answers were not fetched.");
        return;
    }
    const std::string path = jobsFolder + folder + "/replies.jsonl";
    try {
        if (!Session->Connected())
            LogOnForFiles();
    } catch (const EFTPError& error) {
        NotDone(job + ": could not fetch " + path + ": " + Trimmed(error.what()));
        return;
    }
    const TRepliesFetch fetch = FetchRepliesIntoCatalogue(
        Context.Catalogue(), Session->Client(), jobReference, path, folder,
        [&](const std::string& skipped) { PostLogText(job + ": replies.jsonl" + skipped, -1); });
    switch (fetch.Outcome) {
    case TRepliesFetch::TOutcome::NoFile: PostLogText(job + ": no answers yet.", -1); break;
    case TRepliesFetch::TOutcome::TooLarge:
        NotDone(job + ": the replies file " + path + " is larger than 1 MB, which no answer endpoint writes; " +
                "it was skipped.");
        break;
    case TRepliesFetch::TOutcome::NotFetched: NotDone(job + ": could not fetch " + path + ": " + fetch.Problem); break;
    case TRepliesFetch::TOutcome::NotStored:
        NotDone(job + ": the answers could not be stored: " + fetch.Problem);
        break;
    case TRepliesFetch::TOutcome::Stored:
        PostLogText(job + ": " + Answers(fetch.OnServer) + " on the server, " + std::to_string(fetch.Added) + " new.",
                    -1);
        break;
    }
}

/*
 * 1. Log on once.
 * 2. Each job's replies file, in turn; a lost session is opened again for
 *    the next job.
 * 3. Everything that could not be fetched fails the task, all of it named.
 */
void TAnswersThread::Run()
{
    PostLogText("Fetching the answers of " + std::to_string(Jobs.size()) + (Jobs.size() == 1 ? " job." : " jobs."), 0);
    Session.emplace(
        Context.Settings(),
        TaskSessionReports([this](const std::string& text, int progress) { PostLogText(text, progress); },
                           [this](const std::string& text, int progress) { PostTaskText(text, progress); }));
    try {
        LogOnForFiles();
    } catch (const EFTPError& error) {
        const std::string reason = "Could not log on to the FTP server: " + std::string(error.what());
        PostLogText(reason, 100);
        Session.reset();
        Fail(reason);
        return;
    }
    const std::string jobsFolder = WithSingleTrailingSlash(Session->RootPath() + "tavrin/");
    const auto count = static_cast<std::int64_t>(Jobs.size());
    for (std::int64_t index = 0; index < count; ++index) {
        RefreshJob(Jobs[static_cast<std::size_t>(index)], jobsFolder);
        PostLogText("", RoundedPercent(index + 1, count));
    }
    Session->Disconnect();
    Session.reset();
    PostLogText("", 100);
    if (Problems.size() == 1)
        Fail(Problems.front());
    else if (!Problems.empty())
        Fail(std::to_string(Problems.size()) + " problems while fetching the answers; the log names each.");
}

}  // namespace tavrin
