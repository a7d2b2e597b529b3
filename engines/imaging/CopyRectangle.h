#pragma once

#include <cstdint>
#include <limits>

namespace tavrin {

// The rectangles of one copy from a master into a libgd image, in the
// argument order of libgd's copy functions.
struct TCopyRectangle {
    int DstX = 0;
    int DstY = 0;
    int SrcX = 0;
    int SrcY = 0;
    int DstW = 0;
    int DstH = 0;
    int SrcW = 0;
    int SrcH = 0;
};

// False for a source size the copies refuse: negative, or four times it
// beyond a signed 32-bit integer.
inline bool SourceSizeAccepted(const TCopyRectangle& rect)
{
    constexpr int limit = std::numeric_limits<std::int32_t>::max() / 4;
    return rect.SrcW >= 0 && rect.SrcH >= 0 && rect.SrcW <= limit && rect.SrcH <= limit;
}

}  // namespace tavrin
