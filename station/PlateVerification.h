#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// One page compared with the plates its proof was made from.
struct TPageVerification {
    std::int32_t Page = 0;
    // Each plate that is not as proofed: "Cyan (differs)", "Black (missing)",
    // "PANTONE 300 C (new)", "Cyan (unreadable: reason)"; empty when the page is the same.
    std::vector<std::string> Changes;
};

struct TPlateVerification {
    std::string JobFingerprint;  // empty when the proof was not fingerprinted whole
    std::vector<TPageVerification> Pages;
    // What keeps the plates in the folder now from making a proof (two plates
    // of one ink, a file that cannot be read, ...), as the mastering task
    // would refuse them, one line each; plates missing from the folder are
    // left to the pages' changes.
    std::vector<std::string> Problems;
};

// Hashes the page buffers the catalogue now lists for the job's pages (in the
// page buffer folder) and compares them, plate by plate, with the digests
// mastering recorded; a page the proof did not have lists its plates as new,
// one the folder no longer has its plates as missing. No pages when the proof
// has no whole fingerprint; the problems always. Raises the catalogue's error.
TPlateVerification VerifyJobPlates(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                   const std::string& inputFolder);

}  // namespace tavrin
