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

#include "sfn/delay_chart.h"

namespace nms::sfn {
namespace {

std::deque<DelayPoint> repliesAt(std::initializer_list<std::int64_t> times) {
    std::deque<DelayPoint> points;
    for (const auto t : times) points.push_back({t, 900, 1000, 1100, 0, 0, false});
    return points;
}

TEST(DelayPlot, LinesBreakWhereRepliesWereMissingAndALoneReplyIsARunOfItsOwn) {
    using Runs = std::vector<PlotRun>;
    const struct {
        std::initializer_list<std::int64_t> times;
        Runs runs;
    } cases[] = {
        {{}, {}},
        {{5000}, {{0, 1}}},
        // Late replies (up to two and a half periods) stay joined; one later is a gap.
        {{0, 1000, 2100, 4600, 7101, 8100}, {{0, 4}, {4, 6}}},
        // A clock that went back does not draw a line back in time.
        {{10000, 11000, 9000, 10000}, {{0, 2}, {2, 4}}},
        // Replies asked by hand, far apart: each is a point.
        {{0, 60000, 120000}, {{0, 1}, {1, 2}, {2, 3}}},
    };
    for (const auto& c : cases) {
        const auto d = delayPlotData(repliesAt(c.times), 600, 1000);
        EXPECT_EQ(d.runs, c.runs) << c.times.size() << " replies";
        EXPECT_EQ(d.samples.size(), c.times.size());
    }
    // Only the latest are shown; the runs count from the first shown.
    const auto last = delayPlotData(repliesAt({0, 1000, 9000, 10000}), 3, 1000);
    EXPECT_EQ(last.runs, (Runs{{0, 1}, {1, 3}}));
    EXPECT_EQ(last.samples.front().unixTimeMs, 1000);
}

TEST(DelayPlot, EverySeriesIsInMicrosecondsOnTheOneDelayAxis) {
    std::deque<DelayPoint> points{{0, 800000, 812000, 816100, 120000, 0, false}};
    const auto d = delayPlotData(points, 600, 1000);
    ASSERT_EQ(d.samples.size(), 1u);
    const auto& s = d.samples[0];
    EXPECT_DOUBLE_EQ(s.averageUs, 812);
    EXPECT_DOUBLE_EQ(s.summaryUs, 1208.098);  // the average and the fixed 396098 ns
    EXPECT_DOUBLE_EQ(d.lowUs, 120);           // the additional delay
    EXPECT_DOUBLE_EQ(d.highUs, 1208.098);
}

TEST(DelayPlot, AxesTickAtRoundValues) {
    const struct {
        double low, high;
        double first, last, step;
        int count, decimals;
    } cases[] = {
        {812.3, 1208.1, 800, 1300, 100, 6, 0}, {811.96, 812.04, 811.96, 812.04, 0.02, 5, 2},
        {812, 812, 811, 813, 0.5, 5, 1},  // one value: an axis around it
        {-3.5, 4.2, -4, 6, 2, 6, 0},           {0, 2500, 0, 2500, 500, 6, 0},
    };
    for (const auto& c : cases) {
        const auto t = niceTicks(c.low, c.high);
        EXPECT_NEAR(t.first, c.first, 1e-9) << c.low << ".." << c.high;
        EXPECT_NEAR(t.last, c.last, 1e-9) << c.low << ".." << c.high;
        EXPECT_NEAR(t.step, c.step, 1e-9) << c.low << ".." << c.high;
        EXPECT_EQ(t.count, c.count) << c.low << ".." << c.high;
        EXPECT_EQ(t.decimals, c.decimals) << c.low << ".." << c.high;
    }

    const std::int64_t at = 1796817041000;  // 2026-12-09T11:50:41Z
    using Ticks = std::vector<TimeTick>;
    EXPECT_EQ(timeTicks(at, at + 25000), (Ticks{{at + 4000, "11:50:45"},
                                                {at + 9000, "11:50:50"},
                                                {at + 14000, "11:50:55"},
                                                {at + 19000, "11:51:00"},
                                                {at + 24000, "11:51:05"}}));
    const auto minutes = timeTicks(at, at + 600000);
    ASSERT_FALSE(minutes.empty());
    EXPECT_EQ(minutes.front(), (TimeTick{at + 79000, "11:52"}));
    // Over more than a day the date stands in front, and no two labels are alike.
    const auto days = timeTicks(at, at + 30 * 3600000LL);
    ASSERT_GE(days.size(), 2u);
    EXPECT_EQ(days.front().label, "12-09 12:00");
    for (std::size_t i = 1; i < days.size(); ++i) EXPECT_NE(days[i].label, days[i - 1].label);
}

TEST(DelayPlot, ExportsAreNamedAndTitledForTheElementAndTheTime) {
    const std::int64_t at = 1796817041000;  // 2026-12-09T11:50:41Z
    EXPECT_EQ(plotTitle("TX EAST SFN     ", at, at + 269000),
              "TX EAST SFN: 2026-12-09 11:50:41 to 11:55:10 UTC");
    EXPECT_EQ(plotTitle("TX", at, at + 86400000),
              "TX: 2026-12-09 11:50:41 to 2026-12-10 11:50:41 UTC");
    EXPECT_EQ(exportBaseName("sfn-delay", "TX EAST SFN     ", at),
              "sfn-delay-TX-EAST-SFN-2026-12-09");
    // A name that reads as a path stays one plain file name.
    EXPECT_EQ(exportBaseName("sfn-delay", "../../etc/Stüdio", at),
              "sfn-delay-etc-St-dio-2026-12-09");
    EXPECT_EQ(exportBaseName("sfn-overview", " / ", at), "sfn-overview-2026-12-09");
}

}  // namespace
}  // namespace nms::sfn
