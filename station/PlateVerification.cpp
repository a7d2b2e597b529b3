#include "station/PlateVerification.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/ProofFingerprint.h"
#include "base/catalogue/VerifiedPlates.h"
#include "base/text/SHA256Digest.h"
#include "engines/imaging/PlateSetCheck.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace tavrin {

namespace {

// The plates the catalogue lists for a page now: colour name to file name.
std::map<std::string, std::string> PlatesNow(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                             std::int32_t page)
{
    TRecordSet rows;
    OpenQuery(catalogue, rows,
              "select * from PlateList where (PlateListJobReference = " + std::to_string(jobReference) +
                  ") and (PlateListPageNumber = " + std::to_string(page) + ")");
    std::map<std::string, std::string> plates;
    for (; !rows.Eof(); rows.MoveNext())
        plates[FieldValue(rows, "PlateListPlateColor")] = FieldValue(rows, "PlateListSource");
    CloseQuery(rows);
    return plates;
}

// Every plate file the catalogue lists for the job and the folder has: page
// and file name (a row outlives its file until a scan drops it).
std::vector<std::pair<std::int32_t, std::string>>
JobPlateFiles(TCatalogueConnection& catalogue, std::uint32_t jobReference, const std::string& inputFolder)
{
    TRecordSet rows;
    OpenQuery(catalogue, rows,
              "select * from PlateList where PlateListJobReference = " + std::to_string(jobReference) +
                  " order by PlateListPageNumber, PlateListSource");
    std::vector<std::pair<std::int32_t, std::string>> files;
    for (; !rows.Eof(); rows.MoveNext()) {
        std::string source = FieldValue(rows, "PlateListSource");
        std::error_code error;
        if (std::filesystem::exists(inputFolder + source, error))
            files.emplace_back(ValueAsInteger(FieldValue(rows, "PlateListPageNumber"), 0), std::move(source));
    }
    CloseQuery(rows);
    return files;
}

// A file's size and modification time; size -1 when it cannot be read.
std::pair<std::int64_t, std::int64_t> FileIdentity(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        return {-1, 0};
    const auto modified = std::filesystem::last_write_time(path, error);
    if (error)
        return {-1, 0};
    return {static_cast<std::int64_t>(size), static_cast<std::int64_t>(modified.time_since_epoch().count())};
}

std::string JoinedChanges(const std::vector<std::string>& changes)
{
    std::string joined;
    for (const std::string& change : changes)
        joined += (joined.empty() ? "" : ", ") + change;
    return joined;
}

}  // namespace

TPlateVerification VerifyJobPlates(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                   const std::string& inputFolder)
{
    TJobDetailRecord job;
    LoadJobDetail(catalogue, static_cast<std::int32_t>(jobReference), job);
    // The proof's pages as mastered, whatever the folder holds now: a job
    // that has gained or lost pages since is compared page by page.
    const std::vector<TPlateFingerprint> stored = LoadPlateFingerprints(catalogue, jobReference);
    const std::int32_t proofPages = stored.empty() ? 0 : stored.back().Page;
    const TProofFingerprint proof = LoadProofFingerprint(catalogue, jobReference, proofPages);
    TPlateVerification result;
    result.Problems = JobPlateProblems(catalogue, jobReference, inputFolder);
    const TMasterGeometry geometry{job.ImageWidth,  job.ImageHeight,     job.DataWidth,       job.XResolution,
                                   job.YResolution, job.ImageNegate > 0, job.MarginNegate > 0};
    const int pages = PagesToCheck(catalogue, jobReference, job.PageCount, inputFolder);
    for (std::int32_t number = 1; number <= pages; ++number) {
        std::vector<TPagePlate> plates = ReadJobPagePlates(catalogue, jobReference, number, inputFolder);
        std::erase_if(plates, [&](const TPagePlate& plate) {
            std::error_code error;
            return !std::filesystem::exists(inputFolder + plate.Source, error);
        });
        const std::vector<std::string> found = PagePlateProblems(jobReference, number, plates, &geometry);
        result.Problems.insert(result.Problems.end(), found.begin(), found.end());
    }
    result.JobFingerprint = proof.Job;
    if (proof.Job.empty())
        return result;
    for (std::int32_t number = 1; number <= std::max(proofPages, job.PageCount); ++number) {
        TPageVerification& checked = result.Pages.emplace_back();
        checked.Page = number;
        std::map<std::string, std::string> now = PlatesNow(catalogue, jobReference, number);
        const std::vector<TPlateFingerprint> none;
        const auto& plates = number <= proofPages ? proof.Pages[static_cast<std::size_t>(number - 1)].Plates : none;
        for (const TPlateFingerprint& plate : plates) {
            const auto found = now.find(plate.ColorName);
            // The catalogue keeps a plate's row until a scan drops it; the file decides.
            if (found == now.end() || !std::filesystem::exists(inputFolder + found->second)) {
                if (found != now.end())
                    now.erase(found);
                checked.Changes.push_back(plate.ColorName + " (missing)");
                continue;
            }
            try {
                if (FileSHA256(inputFolder + found->second) != plate.SHA256)
                    checked.Changes.push_back(plate.ColorName + " (differs)");
            } catch (const std::runtime_error& error) {
                checked.Changes.push_back(plate.ColorName + " (unreadable: " + error.what() + ")");
            }
            now.erase(found);
        }
        for (const auto& [colorName, source] : now) {
            std::error_code error;
            if (std::filesystem::exists(inputFolder + source, error))
                checked.Changes.push_back(colorName + " (new)");
        }
    }
    return result;
}

bool PlatesVerifiedSame(const TPlateVerification& verification)
{
    return !verification.JobFingerprint.empty() && verification.Problems.empty() &&
           std::all_of(verification.Pages.begin(), verification.Pages.end(),
                       [](const TPageVerification& page) { return page.Changes.empty(); });
}

TPlateVerification VerifyAndRecordJobPlates(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                            const std::string& inputFolder, const std::string& verifiedAt)
{
    // Each file's size and time before it is hashed: a file rewritten while
    // the check runs then no longer matches what is recorded for it.
    std::vector<TVerifiedPlate> rows;
    for (const auto& [page, source] : JobPlateFiles(catalogue, jobReference, inputFolder)) {
        TVerifiedPlate& row = rows.emplace_back();
        row.Page = page;
        row.Source = source;
        std::tie(row.Size, row.Modified) = FileIdentity(inputFolder + source);
        row.VerifiedAt = verifiedAt;
    }
    TPlateVerification verification = VerifyJobPlates(catalogue, jobReference, inputFolder);
    std::map<std::int32_t, const TPageVerification*> pages;
    for (const TPageVerification& page : verification.Pages)
        pages[page.Page] = &page;
    for (TVerifiedPlate& row : rows) {
        const auto found = pages.find(row.Page);
        row.Result = found == pages.end()             ? "not checked"
                     : found->second->Changes.empty() ? VerifiedSame
                                                      : "page changed";
    }
    // Findings no file stands for: a plate gone, a set the master would refuse.
    const auto finding = [&](std::int32_t page, std::string result) {
        rows.push_back({page, std::string(), -1, 0, std::move(result), verifiedAt});
    };
    if (verification.JobFingerprint.empty())
        finding(0, "no proof fingerprint");
    for (const TPageVerification& page : verification.Pages)
        if (!page.Changes.empty())
            finding(page.Page, "changed: " + JoinedChanges(page.Changes));
    for (const std::string& problem : verification.Problems)
        finding(0, "refused: " + problem);
    SaveVerifiedPlates(catalogue, jobReference, rows);
    return verification;
}

bool PlatesStillVerified(TCatalogueConnection& catalogue, std::uint32_t jobReference, const std::string& inputFolder)
{
    const std::vector<TVerifiedPlate> recorded = LoadVerifiedPlates(catalogue, jobReference);
    if (recorded.empty())
        return false;
    std::set<std::string> checked;
    for (const TVerifiedPlate& plate : recorded) {
        if (plate.Result != VerifiedSame || plate.Source.empty())
            return false;
        if (FileIdentity(inputFolder + plate.Source) != std::make_pair(plate.Size, plate.Modified))
            return false;
        checked.insert(plate.Source);
    }
    // A plate the job gained since (the folder scan catalogued it) was never checked.
    for (const auto& [page, source] : JobPlateFiles(catalogue, jobReference, inputFolder))
        if (!checked.count(source))
            return false;
    return true;
}

std::vector<std::string> PlateVerificationLines(std::uint32_t jobReference, const TPlateVerification& verification)
{
    std::vector<std::string> lines;
    if (verification.JobFingerprint.empty())
        lines.push_back("Job " + std::to_string(jobReference) +
                        " has no proof fingerprint: it is recorded when the job is mastered.");
    for (const TPageVerification& page : verification.Pages)
        lines.push_back("page " + std::to_string(page.Page) +
                        (page.Changes.empty() ? " same" : " changed: " + JoinedChanges(page.Changes)));
    for (const std::string& problem : verification.Problems)
        lines.push_back("refused: " + problem);
    return lines;
}

}  // namespace tavrin
