#include "plant/sfn_alignment.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace nms::plant {
namespace {

using Steps = std::optional<std::int64_t>;
constexpr std::int64_t kMs = 1000000;

struct Case {
    const char* what;
    std::vector<AlignmentInput> decoders;
    std::int64_t marginNs;
    std::int64_t targetNs;
    std::vector<Steps> steps;
    std::vector<bool> inRange;
    std::optional<std::int64_t> spreadBefore, spreadAfter;
    bool error;
};

AlignmentInput answered(std::int64_t pathNs, std::int64_t additionalNs = 0) {
    return {true, pathNs, additionalNs};
}
const AlignmentInput kSilent{false, 9 * kMs, 0};

TEST(SfnAlignment, TargetAndProposalsRoundUpStayInRangeAndIgnoreSilentDecoders) {
    const Case cases[] = {
        {"two paths on the step",
         {answered(1000000, 5000), answered(1037000)},
         100000,
         1137000,
         {1370, 1000},
         {true, true},
         32000,
         0,
         false},
        {"off the step: the target and every proposal round up, never below the target",
         {answered(1000050), answered(999999)},
         100000,
         1100100,
         {1001, 1002},
         {true, true},
         51,
         49,
         false},
        {"exactly 25000 steps is in range",
         {answered(3 * kMs), answered(500000)},
         0,
         3 * kMs,
         {0, 25000},
         {true, true},
         2500000,
         0,
         false},
        {"25001 steps is left out and keeps its total",
         {answered(3 * kMs), answered(499999, 700)},
         0,
         3 * kMs,
         {0, 25001},
         {true, false},
         2499301,
         2499301,
         false},
        {"a silent decoder is neither guessed nor the slowest",
         {kSilent, answered(1000000), answered(1000000, 300)},
         100,
         1000100,
         {std::nullopt, 1, 1},
         {false, true, true},
         300,
         0,
         false},
        {"a margin of exactly the range",
         {answered(1000000)},
         2500000,
         3500000,
         {25000},
         {true},
         0,
         0,
         false},
        {"a target that leaves every decoder out of range",
         {answered(1000000), answered(900000)},
         2500001,
         3500100,
         {25001, 26001},
         {false, false},
         100000,
         100000,
         true},
        {"no decoder answered",
         {kSilent, kSilent},
         100000,
         0,
         {std::nullopt, std::nullopt},
         {false, false},
         std::nullopt,
         std::nullopt,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Alignment a = alignGroup(c.decoders, c.marginNs);
        EXPECT_EQ(a.targetNs, c.targetNs);
        ASSERT_EQ(a.proposals.size(), c.decoders.size());
        for (std::size_t i = 0; i < c.decoders.size(); ++i) {
            EXPECT_EQ(a.proposals[i].steps, c.steps[i]) << i;
            EXPECT_EQ(a.proposals[i].inRange, c.inRange[i]) << i;
            if (a.proposals[i].inRange) {
                EXPECT_GE(a.proposals[i].totalAfterNs, a.targetNs) << i;
                EXPECT_LT(a.proposals[i].totalAfterNs, a.targetNs + kNsPerStep) << i;
            }
        }
        EXPECT_EQ(a.spreadBeforeNs, c.spreadBefore);
        EXPECT_EQ(a.spreadAfterNs, c.spreadAfter);
        EXPECT_EQ(!a.error.empty(), c.error) << a.error;
    }
}

}  // namespace
}  // namespace nms::plant
