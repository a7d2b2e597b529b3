#include "base/tasking/RoundedPercent.h"

namespace tavrin {

int RoundedPercent(std::int64_t part, std::int64_t whole)
{
    if (whole <= 0)
        return 0;
    const std::int64_t scaled = part * 100;
    std::int64_t quotient = scaled / whole;
    const std::int64_t twiceRemainder = (scaled % whole) * 2;
    if (twiceRemainder > whole || (twiceRemainder == whole && quotient % 2 != 0))
        ++quotient;
    return static_cast<int>(quotient);
}

}  // namespace tavrin
