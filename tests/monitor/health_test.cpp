// The health rules of the plant monitor and the figures it hands to the site's monitoring.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "monitor/health.h"
#include "monitor/memory_journal.h"

namespace nms::monitor {
namespace {

CycleResult answered(std::int32_t alarm, std::int32_t eth, int sfn = 1, int sdm = 0) {
    CycleResult c;
    c.answered = true;
    c.alarmWord = alarm;
    c.ethernetWord = eth;
    c.sfn = sfn;
    c.sdm = sdm;
    return c;
}

TEST(Health, EachConditionGivesItsStateAndSaysWhyInTheWindowsWords) {
    constexpr std::int32_t kGoodLink = 0x0500;  // connected, 100 Mbit/s, full duplex
    const struct {
        CycleResult cycle;
        Health health;
        const char* reason;
    } cases[] = {
        {answered(0, kGoodLink), Health::Online, "Replies, no alarm."},
        {answered(0x8000, kGoodLink), Health::Alarm,
         "1 PPS signal is missing or is constantly HIGH."},
        {answered(0x0C00, kGoodLink), Health::Alarm,
         "10 MHz signal is problematic. See next error code. (3072)"},
        {answered(0x0100, kGoodLink, 0, 0), Health::Alarm, "Silence detector is triggered."},
        {answered(0x0100, kGoodLink, 0, 3), Health::Alarm, "Packet loss detector is triggered."},
        {answered(0x0100, kGoodLink, 0, 1), Health::Online, "Replies, no alarm."},  // detector off
        {answered(0x8C00, kGoodLink, 0), Health::Online, "Replies, no alarm."},  // no SFN: no clock
        {answered(0, 0x0000), Health::Alarm, "Not connected."},
        {answered(0, 0x0100), Health::Warning, "Half duplex link."},
        {answered(0, 0x0700), Health::Warning, "10 Mbit/s link."},
        {answered(65535, 65535), Health::Online, "Replies, no alarm."},  // words not received
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        const auto a = assess(c.cycle);
        EXPECT_EQ(a.health, c.health);
        EXPECT_EQ(a.reason, c.reason);
    }
}

TEST(Health, MissedRepliesWarnAndThreeInARowAreOffline) {
    CycleResult c;
    c.missesInARow = 1;
    EXPECT_EQ(assess(c).health, Health::Warning);
    c.missesInARow = 2;
    EXPECT_EQ(assess(c).health, Health::Warning);
    c.missesInARow = 3;
    EXPECT_EQ(assess(c).health, Health::Offline);
    EXPECT_EQ(assess(c).reason, "No reply to the last 3 requests.");
}

TEST(Health, NewErrorsInTheCycleWarnAndAnAlarmOutranksThem) {
    auto c = answered(0, 0x0500);
    c.audioFrameErrors = 4;
    EXPECT_EQ(assess(c).health, Health::Warning);
    EXPECT_EQ(assess(c).reason, "4 bad audio frames in the last cycle.");
    c.audioFrameErrors = 0;
    c.ptpSyncErrors = 2;
    EXPECT_EQ(assess(c).reason, "2 bad PTP syncs in the last cycle.");
    c.alarmWord = 0x8000;
    EXPECT_EQ(assess(c).health, Health::Alarm);
    EXPECT_EQ(assess(c).reason,
              "1 PPS signal is missing or is constantly HIGH. 2 bad PTP syncs in the last cycle.");
}

TEST(Health, ACounterThatWentDownWasResetAndCountsFromZero) {
    EXPECT_EQ(counterGrowth(100, 150), 50);
    EXPECT_EQ(counterGrowth(100, 100), 0);
    EXPECT_EQ(counterGrowth(100, 7), 7);
    EXPECT_EQ(counterGrowth(-2147483648LL, 2147483647LL), 4294967295LL);
}

TEST(MemoryJournal, KeepsBatchesWholeAndReadsNewestFirst) {
    MemoryJournal j;
    ASSERT_TRUE(j.append({{1000, "A", "ONE", "info", "health", "unknown", "online", ""},
                          {2000, "B", "TWO", "alarm", "health", "online", "alarm", ""}}));
    j.failAppends = 1;
    EXPECT_FALSE(j.append({{3000, "A", "ONE", "warning", "health", "online", "warning", ""}}));
    EXPECT_FALSE(j.error().empty());
    EXPECT_EQ(j.size(), 2u);
    const auto all = j.query(0, "");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].mac, "B");
    EXPECT_EQ(j.query(0, "A").size(), 1u);
    EXPECT_EQ(j.query(1500, "").size(), 1u);
    j.prune(1500);
    EXPECT_EQ(j.size(), 1u);
}

}  // namespace
}  // namespace nms::monitor
