#include "protocol/statistics.h"

#include <gtest/gtest.h>

namespace nms::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(StatisticsReply, WordsSitWhereTheRoleHasThem) {
    StatisticsFields f;
    f.txFramesOk = 1197;
    f.txFramesErr = 3;
    f.rxFramesOk = -1;
    f.audioFramesOk = 120000;
    f.additionalLatency = 120000;
    f.alarmWord = 0x8C00;
    f.ethernetWord = 0x0500;
    const auto enc = encodeStatistics(f, false);
    const auto dec = encodeStatistics(f, true);
    for (const auto* d : {&enc, &dec}) {
        ASSERT_EQ(d->size(), 66u);
        EXPECT_EQ(GetLongFromReply(*d, 0), 1197);
        EXPECT_EQ(GetLongFromReply(*d, 4), -1);
        EXPECT_EQ(GetLongFromReply(*d, 8), 3);
        EXPECT_EQ(GetLongFromReply(*d, 32), 120000);
        EXPECT_EQ(GetLongFromReply(*d, 52), 120000);
    }
    EXPECT_EQ(GetWordFromReply(enc, 40), 0x8C00);
    EXPECT_EQ(GetWordFromReply(enc, 42), 0x0500);
    EXPECT_EQ(GetWordFromReply(enc, 61), 0);
    EXPECT_EQ(GetWordFromReply(dec, 61), 0x8C00);
    EXPECT_EQ(GetWordFromReply(dec, 63), 0x0500);
    EXPECT_EQ(GetWordFromReply(dec, 40), 0);
}

TEST(ReplyReaders, AFieldNotWhollyInsideReadsAsZero) {
    const Bytes d = {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x01, 0xAB};
    EXPECT_EQ(GetLongFromReply(d, 0), -1);
    EXPECT_EQ(GetLongFromReply(d, 4), 16777217);
    EXPECT_EQ(GetLongFromReply(d, 5), 427);
    EXPECT_EQ(GetLongFromReply(d, 6), 0);
    EXPECT_EQ(GetLongFromReply(d, 9), 0);
    EXPECT_EQ(GetLongFromReply(d, 1000), 0);
    EXPECT_EQ(GetWordFromReply(d, 7), 0x01AB);
    EXPECT_EQ(GetWordFromReply(d, 8), 0);
    EXPECT_EQ(GetWordFromReply(d, static_cast<std::size_t>(-1)), 0);
    EXPECT_EQ(GetLongFromReply(Bytes{}, 0), 0);
}

}  // namespace
}  // namespace nms::protocol
