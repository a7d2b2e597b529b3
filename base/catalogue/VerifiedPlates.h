#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// What the last plate check of a job found, kept so that the post queue can
// tell whether it still holds without hashing the plates again. A row with a
// source is a plate file as it was checked; one without is a finding that
// belongs to no file now there (a missing plate, a refused set).
struct TVerifiedPlate {
    std::int32_t Page = 0;
    std::string Source;         // the file's name in the page buffer folder; empty for a finding
    std::int64_t Size = -1;     // bytes; -1 when the file was not there
    std::int64_t Modified = 0;  // the file's modification time in the file system's own ticks
    std::string Result;         // "same", or what was found instead
    std::string VerifiedAt;     // local time of the check: "2026-12-10 09:26:41"
};

// The result a row holds when its plate is as proofed.
inline const std::string VerifiedSame = "same";

// Replaces the job's rows with these, in one transaction. Raises the catalogue's error; the old rows then stay.
void SaveVerifiedPlates(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                        const std::vector<TVerifiedPlate>& plates);

// The job's rows in the order stored. Raises the catalogue's error.
std::vector<TVerifiedPlate> LoadVerifiedPlates(TCatalogueConnection& catalogue, std::uint32_t jobReference);

}  // namespace tavrin
