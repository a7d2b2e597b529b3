#pragma once

#include <cstdint>

namespace tavrin {

// part × 100 / whole rounded to the nearest integer, halves to the even
// neighbour (1 of 8 gives 12, 3 of 8 gives 38): the progress value every
// task reports. 0 when whole is not positive.
int RoundedPercent(std::int64_t part, std::int64_t whole);

}  // namespace tavrin
