#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// What a proof was made from: the SHA-256 of each plate's page buffer file as
// mastering read it. A customer's answer carries the job's fingerprint, so an
// answer can always be tied to the very plates it saw, and the plates in the
// folder can be checked against the proof before they are made.
struct TPlateFingerprint {
    std::int32_t Page = 0;
    std::string ColorName;  // as on the plate
    std::string Source;     // the page buffer file's name, as PlateListSource holds it
    std::string SHA256;     // 64 lower-case hex digits of the file's bytes
};

// A page's fingerprint: SHA-256 over each plate's colour name, a line feed,
// its hash and a line feed, in the given (plate) order.
std::string PageFingerprint(const std::vector<TPlateFingerprint>& plates);

// A job's fingerprint: SHA-256 over each page fingerprint and a line feed, in
// page order.
std::string JobFingerprint(const std::vector<std::string>& pageFingerprints);

// Replaces the rows of one page of a job with these (all of that page), in one
// transaction, in plate order. Raises the catalogue's error; the old rows then stay.
void ReplacePageFingerprints(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page,
                             const std::vector<TPlateFingerprint>& plates);

// Removes the rows of one page of a job; of every page outside 1 to pageCount;
// of the whole job. Raise the catalogue's error.
void RemovePageFingerprints(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t page);
void RemoveFingerprintsBeyondPages(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::int32_t pageCount);
void RemoveJobFingerprints(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// A job's plate rows in page order, plate order within a page, as stored;
// empty for a job mastered before fingerprints were kept. Raises the
// catalogue's error.
std::vector<TPlateFingerprint> LoadPlateFingerprints(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// One page's fingerprint and plates, from LoadPlateFingerprints.
struct TPageFingerprint {
    std::int32_t Page = 0;
    std::string Fingerprint;
    std::vector<TPlateFingerprint> Plates;
};

// The fingerprints of pages 1 to pageCount of a job and the job's; Job is
// empty unless every one of those pages has its plates recorded (a proof
// only partly fingerprinted cannot vouch for the whole job). A page with a
// damaged row is left out.
struct TProofFingerprint {
    std::string Job;
    std::vector<TPageFingerprint> Pages;  // only the pages that have rows, in page order
};
TProofFingerprint LoadProofFingerprint(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                       std::int32_t pageCount);

// The job's fingerprint as LoadProofFingerprint gives it, the page count read
// from the job's record; empty for a job without one. Raises the catalogue's error.
std::string LoadJobFingerprint(TCatalogueConnection& catalogue, std::uint32_t jobReference);

}  // namespace tavrin
