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

// VerifyJobPlates, and the result kept in the catalogue with each plate
// file's size and modification time as they are now, replacing what an
// earlier check kept; verifiedAt is the local time of the check
// ("2026-12-10 09:26:41"). Raises the catalogue's error.
TPlateVerification VerifyAndRecordJobPlates(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                            const std::string& inputFolder, const std::string& verifiedAt);

// Whether the job's last recorded check found every page the same and no
// problem, and still holds without hashing anything: every plate file it
// checked has the size and modification time it had then, and the
// catalogue lists no plate of the job it did not check. Raises the
// catalogue's error.
bool PlatesStillVerified(TCatalogueConnection& catalogue, std::uint32_t jobReference, const std::string& inputFolder);

// The check as the operator reads it, one line each: "page 1 same",
// "page 2 changed: Cyan (differs)", then "refused: PROBLEM" for each problem;
// a job without a proof fingerprint gets one line saying so instead of pages.
std::vector<std::string> PlateVerificationLines(std::uint32_t jobReference, const TPlateVerification& verification);

// The answer status of a post-queue job whose every page is approved and
// whose plates still verify the same.
inline const std::string ReadyForPlatesStatus = "Ready for plates";

// Whether the check found every page the same and no problem.
bool PlatesVerifiedSame(const TPlateVerification& verification);

}  // namespace tavrin
