#pragma once

#include "base/catalogue/RoundChanges.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// One plate of a round's page: its name, its bit in the master's palette
// index and the digest of its rows (TPlateRowDigests).
struct TRoundPlate {
    std::string ColorName;
    int IndexBit = 0;
    std::string SHA256;
};

// One page of a round as mastering recorded it.
struct TRoundPage {
    int Page = 0;
    std::string MasterPath;
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t XResolution = 0;
    std::uint32_t YResolution = 0;
    std::vector<TRoundPlate> Plates;  // in index-bit order
};

// What the pixel compare of one page tells as it goes, so that what needs
// the changed pixels (the change map) takes them from the one decode of both
// masters.
class TCompareRowSink {
public:
    virtual ~TCompareRowSink() = default;
    // Before the first row, once the masters are known to be of one size.
    virtual void Begin(std::uint32_t width, std::uint32_t height) = 0;
    // A row with changed pixels, rows in order: changed[x] holds the bits of
    // the newer master's index whose plates changed at pixel x; first and
    // last are the row's first and last changed pixels (the bytes outside
    // them are not to be read).
    virtual void Changed(std::uint32_t y, const std::uint8_t* changed, std::uint32_t first, std::uint32_t last) = 0;
    // Rows 0 to rows - 1 are compared; told every few strips and at the end.
    virtual void Compared(std::uint32_t rows, std::uint32_t height) = 0;
};

// Raised when a round cannot be compared at all: its job is not catalogued,
// or a page has no plate digests.
class ERoundNotComparable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Compares one page of two rounds; either may be null (the page is new or
// removed). Pages of one size and resolution are compared pixel by pixel
// from their masters, strip by strip, plates matched by name (without regard
// to case); where either master no longer exists, by the plates' digests.
// The sink, when given, sees the rows of a pixel compare. Raises
// std::runtime_error naming the master when one cannot be read.
TPageComparison CompareRoundPages(const TRoundPage* older, const TRoundPage* newer, TCompareRowSink* sink = nullptr);

// The pages of a job as mastering recorded them, in page order, each with
// its master's path. Raises ERoundNotComparable when the job is not
// catalogued or a page has no digests (mastered before they were kept, or not
// at all), and the catalogue's errors.
std::vector<TRoundPage> LoadRoundPages(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// Every page of either round, in page order.
std::vector<TPageComparison> CompareRounds(TCatalogueConnection& catalogue, std::uint32_t olderJob,
                                           std::uint32_t newerJob);

// The line tavrin-cli compare prints for a page:
//   page 1 same
//   page 2 changed: BLACK 70 px, CYAN 3 px; area 20,30 to 29,36
//   page 3 new / page 4 removed
//   page 5 changed: size 600x400 to 620x400 (and/or: resolution 600x600 to 1200x1200 dpi)
//   page 6 changed: SPOT ORANGE (new), BLACK (gone)
// Compared by digests, plates carry no count, a changed plate gives "area
// unknown", and "; by plate digests" ends the line:
//   page 1 same; by plate digests
//   page 2 changed: BLACK, CYAN; area unknown; by plate digests
std::string ComparisonLine(const TPageComparison& page);

}  // namespace tavrin
