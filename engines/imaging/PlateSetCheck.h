#pragma once

#include "base/pagebuffer/PGBObject.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// One page buffer file of a page, its header read (headers and band tables
// only, no band).
struct TPagePlate {
    std::string Source;                  // the file's name in the page buffer folder
    std::unique_ptr<TPGBObject> Header;  // null when the file cannot be read
    std::string Unreadable;              // why it cannot be read
    std::uint64_t FileSize = 0;          // when the header was read
    bool Catalogued = true;              // false: the last scan left it out of the job list
    std::string LeftOutBecause;          // the scan's reason, for a file it left out
};

// What the master of every page of a job takes from the job record.
struct TMasterGeometry {
    int ImageWidth = 0;
    int ImageHeight = 0;
    int DataWidth = 0;
    int XResolution = 0;
    int YResolution = 0;
    bool ImageNegate = false;
    bool MarginNegate = false;
};

// The most plates a master holds: four process colours and four spot colours.
constexpr std::size_t MaxProcessPlates = 4;
constexpr std::size_t MaxSpotPlates = 4;

// Whether two plates of a page are the same ink: colour names compared
// without regard to case, spot colours as well as process colours.
bool SameInk(const std::string& a, const std::string& b);

// Reads the header of inputFolder + source; an unreadable file gives a
// plate without header and the reader's reason.
TPagePlate ReadPagePlate(const std::string& inputFolder, const std::string& source, bool catalogued = true);

// The plates of one page of a job as the master would take them: the files
// PlateList names for the page, then each file the last scan left out for
// this page (or for no known page) that is still in the folder and does not
// now read as another page's or job's.
std::vector<TPagePlate> ReadJobPagePlates(TCatalogueConnection& catalogue, std::uint32_t jobReference, int page,
                                          const std::string& inputFolder);

// The pages of a job to check: 1 to pageCount, and on to the highest page of
// a file the last scan left out that is still in the folder (a damaged file
// may be the only one of its page).
int PagesToCheck(TCatalogueConnection& catalogue, std::uint32_t jobReference, int pageCount,
                 const std::string& inputFolder);

// The files the last scan left out of a job whose page it could not tell,
// that are still in the folder and still cannot be read, as problems of the job.
std::vector<std::string> JobPlateProblems(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                                          const std::string& inputFolder);

// Everything that keeps one page's plate set from making a true master, one
// line each, naming the page and the plate file(s): a file that cannot be
// read or left out by the scan, a header that cannot describe the plate's
// rows, two plates of one ink, more plates than a master holds, plates that
// differ in size, resolution, band layout or negation, and (when master is
// given) plates that differ from the job's master. Empty when the page can
// be mastered whole. Reads no band.
std::vector<std::string> PagePlateProblems(std::uint32_t jobReference, int page, const std::vector<TPagePlate>& plates,
                                           const TMasterGeometry* master);

}  // namespace tavrin
