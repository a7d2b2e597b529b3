#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavrin {

// The index bit each plate of a page has in its master, for the plates'
// colour names in PlateList order: the first plate of each process colour
// (CYAN, MAGENTA, YELLOW, BLACK, in any case) that colour's bit, the first
// four other plates the spot bits 4 to 7 in turn; -1 for a plate the master
// leaves out (a second plate of a process colour, a fifth spot colour).
std::vector<int> PlateIndexBits(const std::vector<std::string>& colorNames);

// The plane of an index bit, in the order plates are composed and listed:
// cyan, magenta, yellow, black, spot 0 to 3.
std::size_t PlaneOfIndexBit(int bit);

}  // namespace tavrin
