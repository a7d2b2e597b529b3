#include "station/JobAnswers.h"

#include "base/catalogue/CarriedAnswers.h"
#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/JobSecret.h"
#include "base/catalogue/ProofFingerprint.h"
#include "engines/delivery/AnswerReading.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace tavrin {

namespace {

// Every control character but the line feed becomes "?".
std::string Printable(const std::string& text)
{
    std::string shown = text;
    for (char& c : shown)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F)
            c = '?';
    return shown;
}

// A text of several lines under its label, continued at the same indent.
void AddIndented(std::vector<std::string>& lines, const std::string& label, const std::string& text)
{
    const std::string indent = "    ";
    std::string first = indent + label;
    std::size_t start = 0;
    for (bool opening = true; start <= text.size(); opening = false) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Printable(text.substr(start, end - start));
        lines.push_back(opening ? first + line : indent + std::string(label.size(), ' ') + line);
        start = end + 1;
    }
}

std::string Reviewer(const TProofAnswer& answer)
{
    if (answer.Name.empty() && answer.Email.empty())
        return "";
    std::string who = " by " + Printable(answer.Name);
    if (!answer.Email.empty())
        who += (answer.Name.empty() ? "<" : " <") + Printable(answer.Email) + ">";
    return who;
}

// The catalogued job whose web folder the name is, or 0.
std::uint32_t JobOfFolder(TCatalogueConnection& catalogue, const std::string& folder)
{
    const std::string uniqueID = folder.substr(0, 17);
    const std::string reference = FirstFieldValue(
        catalogue, "select JobListReference from JobList where JobListUniqueID = " + QuoteText(uniqueID),
        "JobListReference");
    const std::int32_t number = ValueAsInteger(reference, 0);
    if (number <= 0)
        return 0;
    TJobDetailRecord job;
    LoadJobDetail(catalogue, number, job);
    try {
        return RemoteJobFolderName(job.UniqueID, job.Secret) == folder ? static_cast<std::uint32_t>(number) : 0;
    } catch (const std::invalid_argument&) {
        return 0;
    }
}

}  // namespace

TJobAnswers LoadJobAnswers(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    TJobDetailRecord job;
    LoadJobDetail(catalogue, static_cast<std::int32_t>(jobReference), job);
    TJobAnswers answers;
    answers.Fingerprint = LoadProofFingerprint(catalogue, jobReference, job.PageCount).Job;
    answers.PageCount = job.PageCount;
    answers.Answers = LoadProofAnswers(catalogue, jobReference);
    answers.Carried = LoadCarriedAnswers(catalogue, jobReference);
    // A page's own answer about this proof outweighs what it carries.
    for (const auto& [page, answer] : LatestPageAnswers(answers.Answers, job.PageCount, answers.Fingerprint))
        answers.Carried.erase(page);
    answers.Summary = SummariseAnswers(answers.Answers, job.PageCount, answers.Fingerprint, answers.Carried);
    return answers;
}

namespace {

// The answer's first line up to its marks: page, decision, reviewer, time, proof and source.
std::string AnswerHeadLine(const TProofAnswer& answer)
{
    std::string line = "page " + std::to_string(answer.Page) + " " + answer.Decision + Reviewer(answer);
    if (!answer.Time.empty())
        line += " at " + answer.Time;
    line += answer.Fingerprint.empty() ? ", no proof fingerprint" : ", proof " + answer.Fingerprint.substr(0, 12);
    if (answer.Source == "mail")
        line += ", by mail";
    return line;
}

}  // namespace

std::vector<TAnswerItem> AnswerItems(const TJobAnswers& answers)
{
    std::vector<TAnswerItem> items;
    const auto addAnswer = [&](const TProofAnswer& answer, const std::string& head) {
        items.push_back(TAnswerItem{head, answer.Page, true, std::nullopt});
        const auto addText = [&](const std::string& label, const std::string& text,
                                 const std::optional<TAnswerNote>& note) {
            std::vector<std::string> lines;
            AddIndented(lines, label, text);
            std::string joined;
            for (const std::string& line : lines)
                joined += (joined.empty() ? "" : "\n") + line;
            items.push_back(TAnswerItem{joined, answer.Page, false, note});
        };
        if (!answer.Comment.empty())
            addText("comment: ", answer.Comment, std::nullopt);
        for (const TAnswerNote& note : answer.Notes)
            addText("note at " + std::to_string(note.X) + ", " + std::to_string(note.Y) + ": ", note.Text, note);
    };
    for (const TProofAnswer& answer : answers.Answers) {
        std::string line = AnswerHeadLine(answer);
        if (IsAboutEarlierProof(answer, answers.Fingerprint))
            line += " (earlier proof)";
        else if (answer.Page > answers.PageCount)
            line += " (no such page now)";
        addAnswer(answer, line);
    }
    for (const auto& [page, carried] : answers.Carried)
        addAnswer(carried.Answer,
                  AnswerHeadLine(carried.Answer) + " (round " + std::to_string(carried.Round) + ", unchanged)");
    return items;
}

std::vector<std::string> AnswerLines(const TJobAnswers& answers)
{
    std::vector<std::string> lines;
    for (const TAnswerItem& item : AnswerItems(answers)) {
        std::size_t start = 0;
        for (std::size_t end = item.Text.find('\n'); end != std::string::npos; end = item.Text.find('\n', start)) {
            lines.push_back(item.Text.substr(start, end - start));
            start = end + 1;
        }
        lines.push_back(item.Text.substr(start));
    }
    return lines;
}

TMailAnswers AddMailAnswers(TCatalogueConnection& catalogue, const std::string& mailText)
{
    const TAnswerReading reading = ReadMailAnswers(mailText);
    TMailAnswers result;
    // A pasted text may hold any number of bad blocks: the first few are
    // described, the rest counted in one line.
    result.Problems = reading.Skipped;
    std::size_t notTaken = reading.SkippedCount;
    std::map<std::uint32_t, std::vector<TProofAnswer>> byJob;
    for (const TProofAnswer& answer : reading.Answers) {
        const std::uint32_t job = JobOfFolder(catalogue, answer.Job);
        if (job != 0) {
            byJob[job].push_back(answer);
        } else if (++notTaken <= DescribedSkipsMax) {
            result.Problems.push_back("the answer for page " + std::to_string(answer.Page) + " names the web folder " +
                                      answer.Job + ", which no catalogued job has");
        }
    }
    if (notTaken > result.Problems.size())
        result.Problems.push_back(std::to_string(notTaken - result.Problems.size()) +
                                  " more answer blocks were not taken");
    for (const auto& [job, answers] : byJob) {
        const int added = AddProofAnswers(catalogue, job, answers);
        result.Added += added;
        result.Known += static_cast<int>(answers.size()) - added;
        result.Jobs.push_back(job);
    }
    return result;
}

}  // namespace tavrin
