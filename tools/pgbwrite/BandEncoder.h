#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrin {

// Encodes one band in compression 7: the compression number, then codes from
// the whole set (copies with 1 to 3 literals, inverted copies with a literal,
// masked runs, literal runs, one- and two-byte counts of plain and inverted
// copies) and the end code 255 when the rest of the band is zero. The first
// line is coded against a zero line. band holds bytesInBand bytes.
std::vector<std::uint8_t> EncodeBand(const std::uint8_t* band, std::size_t bytesInBand, std::size_t bytesInLine);

}  // namespace tavrin
