#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// A page buffer file that the last folder scan found for a job but could not
// catalogue as a plate: one it could not read, or a second file of a colour
// the page already has. Such a file still counts against its job: the job
// cannot be proofed while it is there.
struct TPlateFault {
    std::int32_t JobReference = 0;
    std::int32_t Page = 0;  // 0 when neither the header nor the file name tells
    std::string Source;     // the file's name in the page buffer folder
    std::string Reason;     // why the scan left it out
};

// Replaces every row with these, in the caller's transaction. Raises the catalogue's error.
void ReplacePlateFaults(TCatalogueConnection& catalogue, const std::vector<TPlateFault>& faults);

// The faults of one job, of every page, as the last scan left them. Raises the catalogue's error.
std::vector<TPlateFault> LoadPlateFaults(TCatalogueConnection& catalogue, std::uint32_t jobReference);

}  // namespace tavrin
