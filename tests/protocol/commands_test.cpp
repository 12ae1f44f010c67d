#include "protocol/commands.h"

#include <gtest/gtest.h>

#include "protocol/delay.h"
#include "protocol/level.h"
#include "protocol/statistics.h"

namespace nms::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(CommandByte, IsTheValueAndAZero) {
    EXPECT_EQ(encodeCommandByte(200), (std::array<std::uint8_t, 2>{200, 0}));
    EXPECT_EQ(encodeCommandByte(55), (std::array<std::uint8_t, 2>{55, 0}));
    EXPECT_EQ(decodeCommandByte(Bytes{200, 0}), 200);
    EXPECT_FALSE(decodeCommandByte(Bytes{200}));
    EXPECT_FALSE(decodeCommandByte(Bytes{'V', 'O', 'L'}));
    EXPECT_FALSE(decodeCommandByte(Bytes{}));
}

TEST(TextRequests, AreTheirAsciiBytesExactly) {
    EXPECT_EQ(requestBytes(kLevelRequest), (Bytes{0x56, 0x4F, 0x4C}));
    EXPECT_EQ(requestBytes(kGetStatsRequest).size(), 8u);
    EXPECT_EQ(requestBytes(kResetStatsRequest).size(), 8u);
    EXPECT_EQ(requestBytes(kGetDelayRequest).size(), 6u);
    EXPECT_TRUE(isRequest(Bytes{'V', 'O', 'L'}, kLevelRequest));
    EXPECT_FALSE(isRequest(Bytes{'V', 'O', 'L', 0}, kLevelRequest));
    EXPECT_FALSE(isRequest(Bytes{'v', 'o', 'l'}, kLevelRequest));
    EXPECT_FALSE(isRequest(requestBytes("GetStat"), kGetStatsRequest));
}

}  // namespace
}  // namespace nms::protocol
