#include "base/catalogue/ProofFingerprint.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/PageRowTable.h"
#include "base/text/SHA256Digest.h"

#include <algorithm>

namespace tavrin {

namespace {

const TPageRowTable FingerprintList("FingerprintList",
                                    "FingerprintListPlateColor, FingerprintListSource, FingerprintListSHA256");

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

void ReplacePageFingerprints(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page,
                             const std::vector<TPlateFingerprint>& plates)
{
    std::vector<std::string> rows;
    for (const TPlateFingerprint& plate : plates)
        rows.push_back(QuoteText(plate.ColorName) + ", " + QuoteText(plate.Source) + ", " + QuoteText(plate.SHA256));
    FingerprintList.ReplacePage(catalogue, jobReference, page, rows);
}

void RemovePageFingerprints(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page)
{
    FingerprintList.RemovePage(catalogue, jobReference, page);
}

void RemoveFingerprintsBeyondPages(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t pageCount)
{
    FingerprintList.RemoveBeyondPages(catalogue, jobReference, pageCount);
}

void RemoveJobFingerprints(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    FingerprintList.RemoveJob(catalogue, jobReference);
}

std::vector<TPlateFingerprint> LoadPlateFingerprints(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    TRecordSet rows;
    FingerprintList.OpenJobRows(catalogue, rows, jobReference);
    std::vector<TPlateFingerprint> plates;
    for (; !rows.Eof(); rows.MoveNext()) {
        TPlateFingerprint plate;
        plate.ColorName = FieldValue(rows, "FingerprintListPlateColor");
        plate.Source = FieldValue(rows, "FingerprintListSource");
        plate.SHA256 = FieldValue(rows, "FingerprintListSHA256");
        if (ParseFieldNumber(FieldValue(rows, "FingerprintListPageNumber"), plate.Page) && plate.Page > 0)
            plates.push_back(std::move(plate));
    }
    CloseQuery(rows);
    return plates;
}

TProofFingerprint LoadProofFingerprint(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                       std::int32_t pageCount)
{
    TProofFingerprint proof;
    for (TPlateFingerprint& plate : LoadPlateFingerprints(catalogue, jobReference)) {
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

std::string LoadJobFingerprint(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    TJobDetailRecord job;
    LoadJobDetail(catalogue, static_cast<std::int32_t>(jobReference), job);
    if (job.ID <= 0)
        return {};
    return LoadProofFingerprint(catalogue, jobReference, job.PageCount).Job;
}

}  // namespace tavrin
