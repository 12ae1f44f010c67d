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
    const std::pair<std::size_t, std::int32_t> longs[] = {
        {0, 1197}, {4, -1}, {8, 3}, {32, 120000}, {52, 120000}};
    for (const auto* d : {&enc, &dec}) {
        ASSERT_EQ(d->size(), 66u);
        for (const auto& [offset, value] : longs)
            EXPECT_EQ(GetLongFromReply(*d, offset), value) << offset;
    }
    // Each role's words at its own offsets; the other role's places hold nothing.
    const struct {
        const Bytes& reply;
        std::size_t offset;
        int word;
    } words[] = {{enc, 40, 0x8C00}, {enc, 42, 0x0500}, {enc, 61, 0},
                 {dec, 61, 0x8C00}, {dec, 63, 0x0500}, {dec, 40, 0}};
    for (const auto& w : words) EXPECT_EQ(GetWordFromReply(w.reply, w.offset), w.word) << w.offset;
}

TEST(ReplyReaders, AFieldNotWhollyInsideReadsAsZero) {
    const Bytes d = {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x01, 0xAB};
    const std::pair<std::size_t, std::int32_t> longs[] = {{0, -1}, {4, 16777217}, {5, 427},
                                                          {6, 0},  {9, 0},        {1000, 0}};
    for (const auto& [offset, value] : longs)
        EXPECT_EQ(GetLongFromReply(d, offset), value) << offset;
    EXPECT_EQ(GetWordFromReply(d, 7), 0x01AB);
    EXPECT_EQ(GetWordFromReply(d, 8), 0);
    EXPECT_EQ(GetWordFromReply(d, static_cast<std::size_t>(-1)), 0);
    EXPECT_EQ(GetLongFromReply(Bytes{}, 0), 0);
}

}  // namespace
}  // namespace nms::protocol
