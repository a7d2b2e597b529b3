#include "engines/imaging/SpotColor.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

TEST(ColorValueToByte, RoundsToNearestButNeverUpTo255)
{
    const struct {
        std::uint16_t Value;
        int Expected;
    } cases[] = {{0, 0},   {63, 0},  {64, 1},      {127, 1},     {128, 1},
                 {191, 1}, {192, 2}, {16384, 128}, {32576, 254}, {32767, 255}};
    for (const auto& c : cases)
        EXPECT_EQ(ColorValueToByte(c.Value), c.Expected) << c.Value;

    // The half step that would round 254 up does not; only 255 x 128 on reads as full ink.
    for (unsigned value = 254 * 128; value < 255 * 128; ++value)
        ASSERT_EQ(ColorValueToByte(static_cast<std::uint16_t>(value)), 254) << value;
    for (unsigned value = 255 * 128; value <= 32767; ++value)
        ASSERT_EQ(ColorValueToByte(static_cast<std::uint16_t>(value)), 255) << value;
}

}  // namespace
}  // namespace tavrin
