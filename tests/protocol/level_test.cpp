#include "protocol/level.h"

#include <gtest/gtest.h>

namespace nms::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(LevelReply, SamplesAreSigned24BitBigEndian) {
    const std::vector<std::int32_t> samples = {0, -8388608, 4194304, -1, 1, 9000000, -9000000};
    const auto d = encodeLevelReply(samples);
    EXPECT_EQ(d, (Bytes{0, 0, 0, 0x80, 0, 0, 0x40, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 1, 0x7F, 0xFF, 0xFF, 0x80, 0, 0}));
    EXPECT_EQ(levelSample(d, 1), -8388608);
    EXPECT_EQ(levelSample(d, 3), -1);
    EXPECT_EQ(levelSample(d, 5), 8388607);
    EXPECT_EQ(levelPeak(d), 8388608);
}

TEST(LevelReply, PeakIgnoresTrailingBytesShortOfASample) {
    Bytes d(1203, 0);
    d[1200] = 0x40;
    EXPECT_EQ(levelPeak(d), 4194304);
    d.push_back(0x7F);  // 1204 bytes: still 401 samples
    d.push_back(0x7F);  // 1205
    EXPECT_EQ(levelPeak(d), 4194304);
    EXPECT_EQ(levelPeak(Bytes(1203, 0)), 0);
    EXPECT_EQ(levelPeak(Bytes{0xFF, 0xFF, 0xFF}), 1);
}

}  // namespace
}  // namespace nms::protocol
