#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

// A spot colorant's appearance as a CMYK mix: 0 is no ink, 255 full ink.
struct TSpotColor {
    std::string Name;  // the separation name as the page buffer gives it
    std::uint8_t C = 0;
    std::uint8_t M = 0;
    std::uint8_t Y = 0;
    std::uint8_t K = 0;
};

// Converts one of a separation's header colour values (0..32767) to the
// 0..255 scale of TSpotColor, rounding to nearest but never from 254 up to
// 255. Values beyond 32767 are outside the header's range and wrap around.
std::uint8_t ColorValueToByte(std::uint16_t Value);

}  // namespace tavrin
