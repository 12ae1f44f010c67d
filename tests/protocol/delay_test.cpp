#include "protocol/delay.h"

#include <gtest/gtest.h>

#include "protocol/statistics.h"

namespace nms::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(DelaySet, CarriesTheDelayBigEndianAndTheServoByte) {
    EXPECT_EQ(encodeDelaySet({123400, false}), (std::array<std::uint8_t, 6>{0x53, 0x00, 0x01, 0xE2, 0x08, 0x00}));
    EXPECT_EQ(encodeDelaySet({2500000, true}), (std::array<std::uint8_t, 6>{0x53, 0x00, 0x26, 0x25, 0xA0, 0x01}));
    EXPECT_EQ(decodeDelaySet(Bytes{0x53, 0x00, 0x26, 0x25, 0xA0, 0x01}), (DelaySetting{2500000, true}));
    EXPECT_EQ(decodeDelaySet(Bytes{0x53, 0xFF, 0xFF, 0xFF, 0xFF, 0x02}), (DelaySetting{-1, false}));
    EXPECT_FALSE(decodeDelaySet(Bytes{0x54, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(decodeDelaySet(Bytes{0x53, 0, 0, 0, 0}));
    EXPECT_FALSE(decodeDelaySet(Bytes{0x53, 0, 0, 0, 0, 0, 0}));
}

TEST(DelayReply, PutsEachFieldAtItsOffset) {
    DelayReplyFields f;
    f.averageNs = 1000;
    f.minimumNs = -5;
    f.maximumNs = 0x01000001;
    f.additionalNs = 3000000;
    f.servoCorrectionNs = 250;
    f.autoServo = true;
    const auto d = encodeDelayReply(f);
    ASSERT_LE(d.size(), 66u);
    ASSERT_GE(d.size(), 61u);
    EXPECT_EQ(GetLongFromReply(d, 40), 1000);
    EXPECT_EQ(GetLongFromReply(d, 44), -5);
    EXPECT_EQ((Bytes{d[48], d[49], d[50], d[51]}), (Bytes{0x01, 0x00, 0x00, 0x01}));
    EXPECT_EQ(GetLongFromReply(d, 52), 3000000);
    EXPECT_EQ(GetLongFromReply(d, 56), 250);
    EXPECT_EQ(d[60], 1);
}

}  // namespace
}  // namespace nms::protocol
