#include "base/catalogue/InkCoverage.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tavrin {
namespace {

TEST(CoveragePercentText, TwoDecimalsRoundedHalfUp)
{
    struct TCase {
        std::uint64_t Inked, Pixels;
        const char* Text;
    };
    const TCase cases[] = {
        {0, 1, "0.00"},
        {1, 1, "100.00"},
        {2341, 10000, "23.41"},
        {1, 3, "33.33"},
        {2, 3, "66.67"},
        {1, 8, "12.50"},
        {1, 40000, "0.00"},  // a quarter of a hundredth
        {1, 20000, "0.01"},  // half a hundredth rounds up
        {19998, 20000, "99.99"},
        {19999, 20000, "100.00"},
        {39999, 40000, "100.00"},
        {5, 0, "0.00"},  // no page: no share
        // Past what the exact product holds: 2400 dpi pages are far below it.
        {500000000000000000, 1000000000000000000, "50.00"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(CoveragePercentText(c.Inked, c.Pixels), c.Text) << c.Inked << " of " << c.Pixels;
}

}  // namespace
}  // namespace tavrin
