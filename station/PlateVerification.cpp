#include "station/PlateVerification.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/ProofFingerprint.h"
#include "base/text/SHA256Digest.h"
#include "engines/imaging/PlateSetCheck.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <stdexcept>

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
        for (const auto& [colorName, source] : now)
            checked.Changes.push_back(colorName + " (new)");
    }
    return result;
}

}  // namespace tavrin
