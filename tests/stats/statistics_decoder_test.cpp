#include "stats/statistics_decoder.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "protocol/statistics.h"

namespace nms::stats {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

Bytes reply(protocol::StatisticsFields f, bool decoderLayout, std::size_t length) {
    Bytes d = protocol::encodeStatistics(f, decoderLayout);
    d.resize(length, 0);
    return d;
}

Bytes words(std::uint16_t alarm, std::uint16_t eth, bool decoderLayout, std::size_t length) {
    protocol::StatisticsFields f;
    f.alarmWord = alarm;
    f.ethernetWord = eth;
    return reply(f, decoderLayout, length);
}

std::string show(const Indicator& i) {
    const char* state[] = {"neutral", "red", "green"};
    return std::string(state[static_cast<int>(i.state)]) + " " + i.toolTip;
}

TEST(DecodeStatistics, IndicatorsFollowTheWordsAtTheOffsetsOfTheRole) {
    const std::string unknown = "neutral Unknown state.";
    const std::string noSfn = "neutral Unknown state. SFN is disabled.";
    struct Case {
        const char* name;
        Bytes bytes;
        ElementFacts facts;  // role, sfn, sdm, shown as decoder
        std::string audio, clock, pps, eth, ethCaption;
        std::optional<std::string> alarms;
    };
    // clang-format off
    const Case cases[] = {
        {"encoder, 44 bytes", words(0x0100, 0x0500, false, 44), {1, 0, 0, false},
         "red Silence detector is triggered.", noSfn, noSfn, "green ETH connected.", " 100 Full ", {}},
        {"the same reply for a decoder record: too short", words(0x0100, 0x0500, false, 44), {2, 0, 0, true},
         unknown, unknown, unknown, unknown, " ETH ", {}},
        {"SFN decoder, 66 bytes", words(0x8C00, 0x0000, true, 66), {2, 1, 0, true},
         "green Silence detector is not triggered.", "red 10 MHz signal is problematic. See next error code.",
         "red 1 PPS signal is missing or is constantly HIGH.", "red Not connected.", " ETH ", "3072"},
        {"SFN all good, 10 Mbit/s half duplex", words(0x0000, 0x0300, true, 66), {2, 1, 3, true},
         "green Packet loss detector is not triggered.", "green 10 MHz signal is present and good.",
         "green 1 PPS signal is present.", "green ETH connected.", " 10 Half ", {}},
        {"packet loss", words(0x0100, 0x0100, false, 66), {1, 0, 3, false},
         "red Packet loss detector is triggered.", noSfn, noSfn, "green ETH connected.", " 100 Half ", {}},
        {"detector disabled", words(0x0100, 0x0500, false, 66), {1, 0, 2, false},
         "neutral Unknown state. Silence / packet loss detector is disabled.", noSfn, noSfn,
         "green ETH connected.", " 100 Full ", {}},
        {"0xFFFF reads as not received", words(0xFFFF, 0xFFFF, true, 66), {2, 1, 0, true},
         unknown, unknown, unknown, unknown, " ETH ", {}},
        {"decoder reply ending inside the Ethernet word", words(0x0000, 0x0500, true, 64), {2, 1, 0, true},
         "green Silence detector is not triggered.", "green 10 MHz signal is present and good.",
         "green 1 PPS signal is present.", unknown, " ETH ", {}},
        {"encoder reply ending inside the alarm word", words(0x0000, 0x0500, false, 41), {1, 0, 0, false},
         unknown, unknown, unknown, unknown, " ETH ", {}},
        {"no role, no words", words(0x0000, 0x0500, false, 66), {0, 1, 0, false},
         unknown, unknown, unknown, unknown, " ETH ", {}},
    };
    // clang-format on
    // One record for all: a word the previous reply carried must not outlive it.
    StatisticsRecord rec;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto v = decodeStatistics(c.bytes, c.facts, rec, 0);
        EXPECT_EQ(show(v.audio), c.audio);
        EXPECT_EQ(show(v.clock), c.clock);
        EXPECT_EQ(show(v.pps), c.pps);
        EXPECT_EQ(show(v.ethernet), c.eth);
        EXPECT_EQ(v.ethernet.caption, c.ethCaption);
        EXPECT_EQ(v.alarmsList, c.alarms);
    }
}

TEST(DecodeStatistics, CountersAreSignedAndRatiosRoundHalvesToEven) {
    Bytes d = {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x01};
    StatisticsRecord rec;
    auto v = decodeStatistics(d, {}, rec, 0);
    EXPECT_EQ(v.txFramesOk, "-1");
    EXPECT_EQ(v.rxFramesOk, "16777217");
    EXPECT_EQ(v.txFramesErr, "0 (0%)");
    // clang-format off
    const struct { std::int32_t ok, err; const char* text; } cases[] = {
        {0, 0, "0 (0%)"}, {1197, 3, "3 (0.25%)"}, {799, 1, "1 (0.12%)"}, {797, 3, "3 (0.38%)"},
        {1753, 247, "247 (12.35%)"}, {0, 7, "7 (100%)"}, {-1, 1, "1 (0%)"},  // a total of 0
        {kMax, kMax, "2147483647 (50%)"},  // a total beyond 32 bits
    };
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(errorRatioText(c.err, errorRatio(c.ok, c.err)), c.text);
    EXPECT_EQ(errorRatio(1753, 247), 12.35f);
}

TEST(DecodeStatistics, PtpFiguresForSfnOnlyAndTheDelayForADecoderOnly) {
    protocol::StatisticsFields f;
    f.ptpSyncOk = 10, f.ptpSyncErr = 2, f.ptpClockDifference = -40;
    f.measuredDelay = kMax, f.additionalLatency = kMax;
    StatisticsRecord rec;
    auto v = decodeStatistics(reply(f, true, 66), {2, 0, 0, true}, rec, 0);
    EXPECT_FALSE(v.ptpSyncOk || v.ptpSyncErr || v.ptpClockDifference || v.ptpLatency);
    v = decodeStatistics(reply(f, true, 66), {1, 1, 0, false}, rec, 0);
    EXPECT_EQ(v.ptpSyncOk, "10");
    EXPECT_EQ(v.ptpSyncErr, "2");
    EXPECT_EQ(v.ptpClockDifference, "-40 nS");
    EXPECT_FALSE(v.ptpLatency);
    v = decodeStatistics(reply(f, true, 66), {2, 1, 0, true}, rec, 0);
    EXPECT_EQ(v.ptpLatency, "4294967294 nS");  // the sum leaves 32 bits

    // The additional latency comes only with a reply of 57 bytes or more.
    f.measuredDelay = 1000, f.additionalLatency = 500;
    rec.UDP_Response_Additional_Latency = 7;
    v = decodeStatistics(reply(f, true, 56), {2, 1, 0, true}, rec, 0);
    EXPECT_EQ(v.ptpLatency, "1007 nS");
    v = decodeStatistics(reply(f, true, 57), {2, 1, 0, true}, rec, 0);
    EXPECT_EQ(v.ptpLatency, "1500 nS");
}

TEST(DecodeStatistics, FrameRateRoundsHalvesToEvenAndNeedsOnlyADecoder) {
    EXPECT_EQ(frameRate(1, 0, 2000, 0), 0);  // 0.5
    EXPECT_EQ(frameRate(3, 0, 2000, 0), 2);  // 1.5
    EXPECT_EQ(frameRate(kMax, kMin, 1000, 0), 4294967295LL);
    StatisticsRecord rec;
    protocol::StatisticsFields f;
    f.audioFramesOk = 99;
    const auto v = decodeStatistics(reply(f, false, 66), {1, 0, 0, false}, rec, 9000);
    EXPECT_EQ(v.audioFramesOk, "99");
    EXPECT_EQ(rec.UDP_Response_Tick_prev, 0u);
    EXPECT_EQ(rec.UDP_Response_Rx_Audio_Frames_OK_prev, 0);
}

TEST(DecodeStatistics, AnyLengthIsSafeAndMissingFieldsReadAsZero) {
    StatisticsRecord rec;
    rec.UDP_Response_Tx_Frames_OK = 5;
    const auto v = decodeStatistics({}, {2, 1, 0, true}, rec, 10);
    EXPECT_EQ(v.txFramesOk, "0");
    EXPECT_EQ(v.audioFramesOk, "0 (0 pps)");
    EXPECT_EQ(rec.UDP_Response_OM_Alarms_List, 65535);
    for (std::size_t n = 0; n <= 200; ++n)
        for (const ElementFacts& f : {ElementFacts{1, 1, 0, false}, ElementFacts{2, 1, 3, true}})
            decodeStatistics(Bytes(n, 0xA5), f, rec, static_cast<std::uint32_t>(n));
}

}  // namespace
}  // namespace nms::stats
