#include <gtest/gtest.h>

#include <cfenv>

#include "protocol/rounding.h"

namespace nms::protocol {
namespace {

// The meter, the editor, the statistics and the SFN window all round halves to even, and must
// do so whatever rounding mode another library left the floating-point environment in.
TEST(Rounding, HalvesGoToTheEvenNeighbourInEveryRoundingMode) {
    const int previous = std::fegetround();
    for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        EXPECT_EQ(roundHalfEven(2.5), 2.0);
        EXPECT_EQ(roundHalfEven(3.5), 4.0);
        EXPECT_EQ(roundHalfEven(-1.5), -2.0);
        EXPECT_EQ(roundHalfEven(1050.0000001), 1050.0);
        EXPECT_EQ(roundHalfEven(-60.2), -60.0);
    }
    std::fesetround(previous);
}

}  // namespace
}  // namespace nms::protocol
