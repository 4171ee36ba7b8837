// What the progress gauge shows for a position: the filled pixels and the percentage.
#include "installer/gauge_math.h"

#include <gtest/gtest.h>

namespace {

TEST(GaugeMath, FilledPixelsAndPercentage)
{
    struct Case { long range, pos, width; unsigned filled, percent; };
    const Case cases[] = {
        {200, 50, 150, 37, 24},     // the text follows the pixels, not the raw position
        {100, 0, 150, 0, 0},
        {100, 100, 150, 150, 100},
        {100, 250, 150, 150, 100},  // above the range: full
        {100, 50, 0, 0, 100},       // a window of width 0 reads 100%
        {3, 1, 300, 100, 33},
        {0, 0, 150, 0, 0},          // nothing to divide by
        {0, 5, 150, 150, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.range << " " << c.pos << " " << c.width);
        unsigned filled = GaugeFilled(c.range, c.pos, c.width);
        EXPECT_EQ(c.filled, filled);
        EXPECT_EQ(c.percent, GaugePercent(filled, c.width));
    }
}

}  // namespace
