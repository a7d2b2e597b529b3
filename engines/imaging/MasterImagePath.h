#pragma once

#include <string>

namespace tavrin {

// The master image of a page: the output folder, the job's unique id, the
// page number as "-%4.4d" and ".tif" (page 1 of ABC: output/ABC-0001.tif).
// Masters lie in the output folder itself, beside the job folders.
std::string MasterImagePath(const std::string& uniqueID, int page);

}  // namespace tavrin
