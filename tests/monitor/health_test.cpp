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

// The demo decoder's one bad audio frame every two minutes made it flap between online and
// warning; a cycle's counts now need a second troubled cycle, and recovery two clean ones.
TEST(Health, OneTroubledCycleDoesNotWarnAndOneCleanCycleDoesNotRecover) {
    constexpr std::int32_t kGoodLink = 0x0500;
    auto clean = answered(0, kGoodLink);
    auto badFrame = clean;
    badFrame.audioFrameErrors = 1;
    CycleResult missed;
    missed.missesInARow = 1;
    const struct {
        const char* what;
        Health shown;
        CycleResult cycle;
        Health expected;
    } steps[] = {
        {"first cycle", Health::Unknown, clean, Health::Online},
        {"one bad frame", Health::Online, badFrame, Health::Online},
        {"clean again", Health::Online, clean, Health::Online},
        {"one bad frame", Health::Online, badFrame, Health::Online},
        {"and one missed reply", Health::Online, missed, Health::Warning},
        {"one clean cycle", Health::Warning, clean, Health::Warning},
        {"a second", Health::Warning, clean, Health::Online},
        {"a half-duplex link is a state: at once", Health::Online, answered(0, 0x0100),
         Health::Warning},
        {"an alarm: at once", Health::Warning, answered(0x8000, kGoodLink), Health::Alarm},
        {"one clean cycle", Health::Alarm, clean, Health::Alarm},
        {"a second", Health::Alarm, clean, Health::Online},
    };
    Trend trend;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        const auto seen = assess(step.cycle);
        EXPECT_EQ(settle(step.shown, seen, trend), step.expected);
    }
    EXPECT_EQ(assess(badFrame).reason, "1 bad audio frames in the last cycle.");
}

// A counter grows modulo 2^32 as the element counts; backwards or beyond what a 100 Mbit/s port
// can carry since the previous reply is a reset (or a forged reply), never growth.
TEST(Health, ACounterThatWentBackOrJumpedFurtherThanTheElementCanCountIsAReset) {
    const auto tenSeconds = counterLimit(10000);
    EXPECT_EQ(tenSeconds, 11 * kMaxFramesPerSecond);
    EXPECT_EQ(counterGrowth(100, 150, tenSeconds), 50);
    EXPECT_EQ(counterGrowth(100, 100, tenSeconds), 0);
    EXPECT_EQ(counterGrowth(2147483600, -2147483600, tenSeconds), 96);  // past 2^31
    EXPECT_EQ(counterGrowth(-1, 5, tenSeconds), 6);                     // past 2^32
    EXPECT_EQ(counterGrowth(100, 7, tenSeconds), std::nullopt);         // went back
    EXPECT_EQ(counterGrowth(100, 100 + 2000000000, tenSeconds), std::nullopt);
    EXPECT_EQ(counterGrowth(100, 100 + 11 * kMaxFramesPerSecond, tenSeconds),
              11 * kMaxFramesPerSecond);
    EXPECT_EQ(counterGrowth(100, 101 + 11 * kMaxFramesPerSecond, tenSeconds), std::nullopt);
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
    j.prune(1500, 0);
    EXPECT_EQ(j.size(), 1u);
}

}  // namespace
}  // namespace nms::monitor
