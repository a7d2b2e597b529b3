#include "engines/imaging/SpotColor.h"

namespace tavrin {

std::uint8_t ColorValueToByte(std::uint16_t Value)
{
    unsigned r = Value / 128;
    // Bit 6 is the half step below the divisor; 254 stays 254 so that only a
    // value of 255 x 128 or more reads as full ink.
    if (r < 254 && (Value & 64) != 0)
        ++r;
    return static_cast<std::uint8_t>(r % 256);
}

}  // namespace tavrin
