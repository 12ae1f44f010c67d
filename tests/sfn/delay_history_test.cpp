#include "sfn/delay_history.h"

#include <gtest/gtest.h>

namespace nms::sfn {
namespace {

DelayHistory historyOf(std::initializer_list<std::int32_t> averages, std::size_t capacity = 100) {
    DelayHistory h(capacity);
    std::int64_t at = 0;
    for (const auto ns : averages) h.add({++at, 0, ns, 0, 0, 0, false});
    return h;
}

TEST(DelayHistory, StatisticsDescribeTheAverageDelayOfTheKeptPoints) {
    EXPECT_EQ(historyOf({}).statistics().count, 0u);
    const auto s = historyOf({1000, 1200, 800, 1000}).statistics();
    EXPECT_EQ(s.count, 4u);
    EXPECT_EQ(s.minimumNs, 800);
    EXPECT_EQ(s.maximumNs, 1200);
    EXPECT_DOUBLE_EQ(s.meanNs, 1000);
    EXPECT_DOUBLE_EQ(s.standardDeviationNs, 141.4213562373095);
    // A small spread far from zero: a 32-bit sum would wrap, a sum of squares would lose it.
    const auto high = historyOf({2147483000, 2147483002, 2147483000, 2147483002}).statistics();
    EXPECT_DOUBLE_EQ(high.meanNs, 2147483001);
    EXPECT_DOUBLE_EQ(high.standardDeviationNs, 1);
}

TEST(DelayHistory, KeepsOnlyTheLatestPointsOnceFull) {
    EXPECT_EQ(DelayHistory().capacity(), 86400u);
    const auto h = historyOf({100, 200, 300, 400, 500}, 3);
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h.points().front().unixTimeMs, 3);
    EXPECT_EQ(h.statistics().minimumNs, 300);
}

TEST(DelayHistory, CsvHasAHeaderThenOneLinePerPointWithItsUtcTime) {
    DelayHistory h;
    h.add({1767225605250, 900, 1000, 1100, 123400, 0, false});
    h.add({1835481599999, -2147483647 - 1, 2147483647, -5, 0, -250, true});
    EXPECT_EQ(h.csv(),
              "time_utc,network_delay_min_ns,network_delay_avg_ns,network_delay_max_ns,"
              "additional_delay_ns,servo_correction_ns,auto_servo\r\n"
              "2026-01-01T00:00:05.250Z,900,1000,1100,123400,0,0\r\n"
              "2028-02-29T23:59:59.999Z,-2147483648,2147483647,-5,0,-250,1\r\n");
    EXPECT_EQ(isoUtcTime(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(isoUtcTime(-1), "1969-12-31T23:59:59.999Z");
}

}  // namespace
}  // namespace nms::sfn
