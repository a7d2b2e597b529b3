#include "base/catalogue/ProofFingerprint.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/text/SHA256Digest.h"

#include <algorithm>
#include <charconv>

namespace tavrin {

namespace {

std::string JobCondition(std::uint32_t jobReference)
{
    return " where FingerprintListJobReference = " + std::to_string(jobReference);
}

std::string PageCondition(std::uint32_t jobReference, std::int32_t page)
{
    return JobCondition(jobReference) + " and FingerprintListPageNumber = " + std::to_string(page);
}

bool IsHexDigest(const std::string& text)
{
    if (text.size() != 64)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

}  // namespace

std::string PageFingerprint(const std::vector<TPlateFingerprint>& plates)
{
    std::string text;
    for (const TPlateFingerprint& plate : plates)
        text += plate.ColorName + "\n" + plate.SHA256 + "\n";
    return TextSHA256(text);
}

std::string JobFingerprint(const std::vector<std::string>& pageFingerprints)
{
    std::string text;
    for (const std::string& page : pageFingerprints)
        text += page + "\n";
    return TextSHA256(text);
}

void ReplacePageFingerprints(std::uint32_t jobReference, std::int32_t page,
                             const std::vector<TPlateFingerprint>& plates)
{
    CatalogueConnection->BeginTrans();
    try {
        ExecuteStatement("delete from FingerprintList" + PageCondition(jobReference, page));
        for (const TPlateFingerprint& plate : plates)
            ExecuteStatement("insert into FingerprintList (FingerprintListJobReference, FingerprintListPageNumber, "
                             "FingerprintListPlateColor, FingerprintListSource, FingerprintListSHA256) values (" +
                             std::to_string(jobReference) + ", " + std::to_string(page) + ", " +
                             QuoteText(plate.ColorName) + ", " + QuoteText(plate.Source) + ", " +
                             QuoteText(plate.SHA256) + ")");
        CatalogueConnection->CommitTrans();
    } catch (...) {
        CatalogueConnection->RollbackTrans();
        throw;
    }
}

void RemovePageFingerprints(std::uint32_t jobReference, std::int32_t page)
{
    ExecuteStatement("delete from FingerprintList" + PageCondition(jobReference, page));
}

void RemoveFingerprintsBeyondPages(std::uint32_t jobReference, std::int32_t pageCount)
{
    ExecuteStatement("delete from FingerprintList" + JobCondition(jobReference) +
                     " and (FingerprintListPageNumber is null or FingerprintListPageNumber < 1 or "
                     "FingerprintListPageNumber > " +
                     std::to_string(pageCount) + ")");
}

void RemoveJobFingerprints(std::uint32_t jobReference)
{
    ExecuteStatement("delete from FingerprintList" + JobCondition(jobReference));
}

std::vector<TPlateFingerprint> LoadPlateFingerprints(std::uint32_t jobReference)
{
    TRecordSet rows;
    OpenQuery(CatalogueConnection.get(), rows,
              "select * from FingerprintList" + JobCondition(jobReference) +
                  " order by FingerprintListPageNumber, FingerprintListID");
    std::vector<TPlateFingerprint> plates;
    for (; !rows.Eof(); rows.MoveNext()) {
        TPlateFingerprint plate;
        const std::string pageText = FieldValue(rows, "FingerprintListPageNumber");
        const auto [end, error] = std::from_chars(pageText.data(), pageText.data() + pageText.size(), plate.Page);
        plate.ColorName = FieldValue(rows, "FingerprintListPlateColor");
        plate.Source = FieldValue(rows, "FingerprintListSource");
        plate.SHA256 = FieldValue(rows, "FingerprintListSHA256");
        if (error == std::errc() && end == pageText.data() + pageText.size() && plate.Page > 0)
            plates.push_back(std::move(plate));
    }
    CloseQuery(rows);
    return plates;
}

TProofFingerprint LoadProofFingerprint(std::uint32_t jobReference, std::int32_t pageCount)
{
    TProofFingerprint proof;
    for (TPlateFingerprint& plate : LoadPlateFingerprints(jobReference)) {
        if (plate.Page > pageCount)
            continue;
        if (proof.Pages.empty() || proof.Pages.back().Page != plate.Page)
            proof.Pages.push_back(TPageFingerprint{plate.Page, {}, {}});
        proof.Pages.back().Plates.push_back(std::move(plate));
    }
    // A page with a row that cannot be what mastering wrote vouches for nothing.
    std::erase_if(proof.Pages, [](const TPageFingerprint& page) {
        return std::any_of(page.Plates.begin(), page.Plates.end(),
                           [](const TPlateFingerprint& plate) { return !IsHexDigest(plate.SHA256); });
    });
    std::vector<std::string> pageFingerprints;
    for (TPageFingerprint& page : proof.Pages) {
        page.Fingerprint = PageFingerprint(page.Plates);
        pageFingerprints.push_back(page.Fingerprint);
    }
    if (pageCount > 0 && proof.Pages.size() == static_cast<std::size_t>(pageCount))
        proof.Job = JobFingerprint(pageFingerprints);
    return proof;
}

std::string LoadJobFingerprint(std::uint32_t jobReference)
{
    TJobDetailRecord job;
    LoadJobDetail(static_cast<std::int32_t>(jobReference), job);
    if (job.ID <= 0)
        return {};
    return LoadProofFingerprint(jobReference, job.PageCount).Job;
}

}  // namespace tavrin
