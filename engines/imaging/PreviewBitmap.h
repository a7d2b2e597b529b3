#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// A 24-bit picture in memory: rows top to bottom, three bytes per pixel in
// the order red, green, blue, rows packed without padding.
struct TPreviewBitmap {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::vector<std::uint8_t> Bytes;

    bool Empty() const { return Width == 0 || Height == 0; }
    // The pixel as a colour value with red in the low byte (0x00BBGGRR).
    std::uint32_t ColorValue(std::uint32_t x, std::uint32_t y) const;
};

// Reads an overview PNG into a 24-bit picture the caller owns; alpha is
// dropped. Raises std::runtime_error "Cannot read FILE: reason" when the
// file cannot be read, is empty or is no PNG picture.
TPreviewBitmap LoadPreviewBitmap(const std::string& fileName);

}  // namespace tavrin
