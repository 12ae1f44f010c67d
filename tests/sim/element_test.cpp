#include "sim/element.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "protocol/commands.h"
#include "protocol/delay.h"
#include "protocol/level.h"
#include "protocol/paging.h"
#include "protocol/statistics.h"
#include "sim_test_util.h"

namespace nms::sim {
namespace {

using testing::ascii;
using testing::hex;

constexpr const char* kStation = "192.168.50.10";

// An encoder of current firmware with settings that make every byte of its answer tell.
Element studioEncoder() {
    return Element({.name = "Studio",
                    .role = Role::Encoder,
                    .serial = 0x01020304,
                    .minor = 70,
                    .ip = {192, 168, 50, 21}},
                   {.remote = {192, 168, 50, 31},
                    .input = 1,
                    .type = 144,  // FLAC, L/R HD
                    .tx = 0,
                    .buffer = 2,
                    .lowLatency = 1,
                    .level = 200});
}

Element sfnDecoder() {
    return Element({.name = "TX EAST SFN",
                    .role = Role::Decoder,
                    .serial = 720032,
                    .minor = 75,
                    .ip = {192, 168, 50, 32}},
                   {.remote = {239, 192, 50, 1},
                    .type = 32,
                    .tx = 1,
                    .sfn = 1,
                    .buffer = 5,
                    .silenceMode = 3,
                    .silenceLevel = 40,
                    .silenceTime = 10,
                    .level = 245,
                    .additionalDelayNs = 120000});
}

std::vector<OutDatagram> page(Element& e, std::int64_t now = 0) {
    return e.receive(protocol::kPortPaging, ascii(protocol::kPagingRequest), kStation, 2976, now);
}

const auto kEncoderAnswer = hex(
    "C0 A8 32 15  FF FF FF 00  C0 A8 32 01  C0 A8 32 1F"  // addresses
    " 01 90 00"                                          // input, type, tx
    " 53 54 55 44 49 4F 20 20 20 20 20 20 20 20 20 20"   // STUDIO + 10 blanks
    " 01  01 02 03 04"                                   // role, serial
    " 03 46 00 02 01 00 37");                            // 3.70, sfn, buf, llo, -, 255-200

const auto kDecoderAnswer = hex(
    "C0 A8 32 20  FF FF FF 00  C0 A8 32 01  EF C0 32 01"
    " 00 20 01"
    " 54 58 20 45 41 53 54 20 53 46 4E 20 20 20 20 20"  // TX EAST SFN
    " 02  00 0A FC A0"                                  // role, serial 720032
    " F5 03 4B 01 05 03 28 0A"                          // level 245, 3.75, sfn, buf, sdm, sdl, sdt
    " 00 01 D4 C0  00  00");                            // 120000 ns, -, llo

TEST(ElementPaging, EncoderAnswersWithOneFeedbackToTheSendersPort2976) {
    Element e = studioEncoder();
    const auto out = page(e);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].destinationIp, kStation);
    EXPECT_EQ(out[0].destinationPort, 2976);
    EXPECT_EQ(out[0].sourcePort, 1901);
    EXPECT_TRUE(out[0].sourceIp.empty());
    EXPECT_EQ(out[0].delayMs, 0);
    EXPECT_EQ(out[0].bytes, kEncoderAnswer);
}

TEST(ElementPaging, DecoderAnswersInTheDecoderLayout) {
    Element e = sfnDecoder();
    const auto out = page(e);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes, kDecoderAnswer);
}

TEST(ElementPaging, AnythingButTheExactRequestIsIgnored) {
    Element e = studioEncoder();
    auto shortText = ascii(protocol::kPagingRequest.substr(0, 31));
    auto longer = ascii(std::string(protocol::kPagingRequest) + "\0");
    longer.push_back(0);
    auto lower = ascii("ipmpxstl kestrova paging request");
    for (const auto& bytes : {shortText, longer, lower}) {
        EXPECT_TRUE(e.receive(1901, bytes, kStation, 2976, 0).empty());
    }
    // The request on another port is not a page either.
    EXPECT_TRUE(e.receive(2978, ascii(protocol::kPagingRequest), kStation, 2976, 0).empty());
}

TEST(ElementPaging, OlderFirmwareSendsTheShorterLayouts) {
    struct Case {
        Role role;
        std::uint8_t major, minor;
        std::size_t length;
    };
    const Case cases[] = {
        {Role::Encoder, 3, 70, 47}, {Role::Encoder, 4, 0, 47},  {Role::Encoder, 3, 69, 45},
        {Role::Encoder, 3, 49, 45}, {Role::Encoder, 3, 48, 44}, {Role::Encoder, 2, 0, 44},
        {Role::Decoder, 3, 70, 54}, {Role::Decoder, 3, 69, 52}, {Role::Decoder, 3, 49, 52},
        {Role::Decoder, 3, 48, 48}, {Role::Decoder, 2, 10, 48},
    };
    for (const auto& c : cases) {
        ElementIdentity id;
        id.role = c.role;
        id.major = c.major;
        id.minor = c.minor;
        Element e(id);
        const auto out = page(e);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].bytes.size(), c.length) << int(c.major) << "." << int(c.minor);
        EXPECT_EQ(out[0].bytes[protocol::feedback::kRole], static_cast<std::uint8_t>(c.role));
    }
    // The station reads the older encoder's version and leaves the level it knew.
    ElementIdentity id;
    id.major = 3;
    id.minor = 49;
    Element older(id);
    protocol::FeedbackRecord before;
    before.att = 77;
    const auto r = protocol::decodeFeedback(page(older)[0].bytes, before);
    EXPECT_EQ(r.versionText(), "3.49");
    EXPECT_EQ(r.att, 77);
}

// A configuration for the encoder, written out from the encoder layout at firmware 3.70.
const auto kEncoderConfiguration = hex(
    "C0 A8 32 2A  FF FF 00 00  C0 A8 32 FE  EF 01 02 03"  // 192.168.50.42 ...
    " 02 E0 01 01"                                        // input 2, MPX HD + flags, tx 1, sfn 1
    " 4E 45 57 20 4E 41 4D 45 20 20 20 20 20 20 20 20"    // NEW NAME
    " 00 01 18");                                         // low latency 0, constant 1, width 24

TEST(ElementConfiguration, EncoderAppliesThePacketAndAnswersWithWhatItNowHolds) {
    Element e = studioEncoder();
    const auto out = e.receive(2976, kEncoderConfiguration, kStation, 2976, 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].destinationIp, kStation);
    EXPECT_EQ(out[0].destinationPort, 2976);
    EXPECT_EQ(out[0].sourcePort, 2976);
    EXPECT_EQ(out[0].bytes, hex("C0 A8 32 2A  FF FF 00 00  C0 A8 32 FE  EF 01 02 03"
                                " 02 E0 01"
                                " 4E 45 57 20 4E 41 4D 45 20 20 20 20 20 20 20 20"
                                " 01  01 02 03 04"
                                " 03 46 01 02 00 00 37"));
    EXPECT_EQ(e.ipText(), "192.168.50.42");
    EXPECT_EQ(e.identity().name, "NEW NAME");
    EXPECT_EQ(e.settings().sampleWidth, 24);
}

TEST(ElementConfiguration, EveryLengthOfBothLayoutsIsApplied) {
    for (std::size_t length : {37u, 38u, 39u}) {
        Element e = studioEncoder();
        auto packet = kEncoderConfiguration;
        packet.resize(length);
        packet[36] = 1;
        const auto out = e.receive(2976, packet, kStation, 2976, 0);
        ASSERT_EQ(out.size(), 1u) << length;
        EXPECT_EQ(e.settings().lowLatency, 1);
        EXPECT_EQ(e.settings().tx, 1);
        EXPECT_EQ(e.ipText(), "192.168.50.42");
    }
    const auto decoderPacket = hex(
        "C0 A8 32 21  FF FF FF 00  C0 A8 32 01  EF C0 32 02"
        " 00 60 01 00"
        " 53 49 54 45 20 32 20 20 20 20 20 20 20 20 20 20"
        " 07 03 50 1E 01 10");  // buffer 7, sdm 3, sdl 80, sdt 30, llo 1, width 16
    for (std::size_t length : {41u, 42u}) {
        Element e = sfnDecoder();
        auto packet = decoderPacket;
        packet.resize(length);
        const auto out = e.receive(2976, packet, kStation, 2976, 0);
        ASSERT_EQ(out.size(), 1u) << length;
        const auto& fb = out[0].bytes;
        EXPECT_EQ(fb.size(), 54u);
        EXPECT_EQ(fb[17], 0x60);  // MPX HD with narrowband
        EXPECT_EQ(fb[43], 0);     // sfn off now
        EXPECT_EQ(fb[44], 7);
        EXPECT_EQ(fb[45], 3);
        EXPECT_EQ(fb[46], 80);
        EXPECT_EQ(fb[47], 30);
        EXPECT_EQ(fb[53], 1);
        EXPECT_EQ(e.settings().sampleWidth, length == 42 ? 16 : 24);
        // The level and the SFN delay are not part of a configuration.
        EXPECT_EQ(fb[40], 245);
        EXPECT_EQ(protocol::GetLongFromReply(fb, 48), 120000);
    }
}

TEST(ElementConfiguration, TooShortAPacketIsNotAppliedNorAnswered) {
    Element enc = studioEncoder();
    auto packet = kEncoderConfiguration;
    packet.resize(36);
    EXPECT_TRUE(enc.receive(2976, packet, kStation, 2976, 0).empty());
    EXPECT_EQ(enc.ipText(), "192.168.50.21");
    Element dec = sfnDecoder();
    packet.resize(40);
    EXPECT_TRUE(dec.receive(2976, packet, kStation, 2976, 0).empty());
    EXPECT_EQ(dec.ipText(), "192.168.50.32");
}

TEST(ElementConfiguration, FirmwareBeforeThreeSevenKeepsOnlyTheTypeCode) {
    ElementIdentity id;
    id.major = 3;
    id.minor = 49;
    Element e(id);
    auto packet = kEncoderConfiguration;
    packet.resize(38);
    ASSERT_EQ(e.receive(2976, packet, kStation, 2976, 0).size(), 1u);
    EXPECT_EQ(e.settings().type, 32);
}

TEST(ElementLevel, AttenuationCommandsSetTheLevelOnTheirRolesPortWithoutAnswer) {
    Element dec = sfnDecoder();
    EXPECT_TRUE(dec.receive(2977, protocol::encodeCommandByte(200), kStation, 2976, 0).empty());
    EXPECT_EQ(dec.settings().level, 200);
    dec.receive(2979, protocol::encodeCommandByte(100), kStation, 2976, 0);  // not a decoder's port
    EXPECT_EQ(dec.settings().level, 200);

    Element enc = studioEncoder();
    EXPECT_TRUE(enc.receive(2979, protocol::encodeCommandByte(55), kStation, 2976, 0).empty());
    EXPECT_EQ(enc.settings().level, 200);  // 255 minus the value
    enc.receive(2977, protocol::encodeCommandByte(0), kStation, 2976, 0);  // not an encoder's port
    EXPECT_EQ(enc.settings().level, 200);
    enc.receive(2979, std::vector<std::uint8_t>{1, 0, 0}, kStation, 2976, 0);  // not a command
    EXPECT_EQ(enc.settings().level, 200);
    // The feedback carries the new level: 255 minus it for an encoder.
    EXPECT_EQ(enc.feedback()[46], 55);
}

TEST(ElementLevel, LevelReplyIsATonePeakingWithTheLevelSetting) {
    Element enc = studioEncoder();
    enc.liveProgramme = false;
    enc.programmeDbfs = -6.0;
    auto peakAt = [&](std::uint8_t level) {
        enc.settings().level = level;
        const auto out = enc.receive(2977, ascii("VOL"), kStation, 2976, 1000);
        EXPECT_EQ(out.size(), 1u);
        if (out.empty()) return 0.0;
        EXPECT_EQ(out[0].destinationPort, 2976);
        EXPECT_EQ(out[0].sourcePort, 2977);
        EXPECT_EQ(out[0].bytes.size(), 1203u);
        return static_cast<double>(protocol::levelPeak(out[0].bytes)) / protocol::kFullScale;
    };
    EXPECT_NEAR(peakAt(255), 0.501, 0.01);   // -6 dBFS
    EXPECT_NEAR(peakAt(243), 0.251, 0.01);   // 6 dB lower
    EXPECT_NEAR(peakAt(15), 0.0, 0.0001);    // -120 dB: a few counts
    EXPECT_GT(peakAt(15), 0.0);
    EXPECT_EQ(peakAt(14), 0.0);              // mute: silence
    // A live programme moves but never above its nominal level.
    enc.liveProgramme = true;
    enc.settings().level = 255;
    double lo = 1, hi = 0;
    for (std::int64_t t = 0; t < 10000; t += 250) {
        const auto out = enc.receive(2977, ascii("VOL"), kStation, 2976, t);
        const double p = static_cast<double>(protocol::levelPeak(out[0].bytes)) / protocol::kFullScale;
        lo = std::min(lo, p);
        hi = std::max(hi, p);
    }
    EXPECT_LE(hi, 0.51);
    EXPECT_LT(lo, hi - 0.05);
}

TEST(ElementStatistics, CountersGrowWithTimeAndStartAgainAfterReset) {
    Element dec = sfnDecoder();
    dec.resetCounters(0);
    auto stats = [&](std::int64_t now) {
        const auto out = dec.receive(2978, ascii("GetStats"), kStation, 2978, now);
        EXPECT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].destinationPort, 2978);
        EXPECT_EQ(out[0].sourcePort, 2978);
        EXPECT_LE(out[0].bytes.size(), 66u);
        return out[0].bytes;
    };
    const auto a = stats(10000);
    const auto b = stats(20000);
    using protocol::GetLongFromReply;
    EXPECT_GT(GetLongFromReply(a, 4), 0);
    EXPECT_GT(GetLongFromReply(b, 4), GetLongFromReply(a, 4));
    EXPECT_GT(GetLongFromReply(b, 32), GetLongFromReply(a, 32));
    EXPECT_GT(GetLongFromReply(b, 16), GetLongFromReply(a, 16));  // PTP sync of an SFN decoder
    // About 1000 audio frames a second, as a rate the station can show.
    EXPECT_NEAR(GetLongFromReply(b, 32) - GetLongFromReply(a, 32), 10000, 100);
    const std::int32_t delay = GetLongFromReply(a, 28);
    EXPECT_GT(delay, 100000);
    EXPECT_LT(delay, 2000000);
    EXPECT_LT(std::abs(GetLongFromReply(a, 24)), 1000);
    EXPECT_EQ(GetLongFromReply(a, 52), 120000);

    EXPECT_TRUE(dec.receive(2978, ascii("RstStats"), kStation, 2978, 30000).empty());
    const auto c = stats(30000);
    EXPECT_EQ(GetLongFromReply(c, 4), 0);
    EXPECT_EQ(GetLongFromReply(c, 32), 0);
    EXPECT_GT(GetLongFromReply(stats(31000), 4), 0);
}

TEST(ElementStatistics, AlarmAndEthernetWordsAreSettableAndSitAtTheRolesOffsets) {
    Element dec = sfnDecoder();
    dec.alarmWord = 0x8C00;
    dec.ethernetWord = 0x0100;
    const auto d = dec.receive(2978, ascii("GetStats"), kStation, 2978, 0)[0].bytes;
    EXPECT_EQ(protocol::GetWordFromReply(d, 61), 0x8C00);
    EXPECT_EQ(protocol::GetWordFromReply(d, 63), 0x0100);
    Element enc = studioEncoder();
    const auto e = enc.receive(2978, ascii("GetStats"), kStation, 2978, 5000)[0].bytes;
    EXPECT_EQ(protocol::GetWordFromReply(e, 40), 0);
    EXPECT_EQ(protocol::GetWordFromReply(e, 42), 0x0500);  // link up, 100 Mbit/s, full duplex
    EXPECT_EQ(protocol::GetLongFromReply(e, 16), 0);       // no PTP without SFN
}

TEST(ElementDelay, SetCommandAppliesDelayAndServoAndTheReplyShowsThem) {
    Element dec = sfnDecoder();
    EXPECT_TRUE(dec.receive(2978, protocol::encodeDelaySet({2500000, true}), kStation, 2978, 0).empty());
    EXPECT_EQ(dec.settings().additionalDelayNs, 2500000);
    EXPECT_TRUE(dec.settings().autoServo);
    const auto out = dec.receive(2978, ascii("GetDel"), kStation, 2978, 4000);
    ASSERT_EQ(out.size(), 1u);
    const auto& d = out[0].bytes;
    ASSERT_GE(d.size(), 61u);
    ASSERT_LE(d.size(), 66u);
    using protocol::GetLongFromReply;
    const auto avg = GetLongFromReply(d, 40), min = GetLongFromReply(d, 44), max = GetLongFromReply(d, 48);
    EXPECT_LE(min, avg);
    EXPECT_LE(avg, max);
    EXPECT_GT(min, 0);
    EXPECT_EQ(GetLongFromReply(d, 52), 2500000);
    EXPECT_NE(GetLongFromReply(d, 56), 0);
    EXPECT_EQ(d[60], 1);
    // The feedback's delay field follows the setting too.
    EXPECT_EQ(GetLongFromReply(dec.feedback(), 48), 2500000);

    dec.receive(2978, protocol::encodeDelaySet({1234 * 100, false}), kStation, 2978, 0);
    const auto off = dec.receive(2978, ascii("GetDel"), kStation, 2978, 5000)[0].bytes;
    EXPECT_EQ(GetLongFromReply(off, 52), 123400);
    EXPECT_EQ(off[60], 0);
}

TEST(ElementFaults, DropDelayTwiceAndForgedSender) {
    Element e = studioEncoder();
    e.faults.drop = 2;
    EXPECT_TRUE(page(e).empty());
    EXPECT_TRUE(page(e).empty());
    EXPECT_EQ(page(e).size(), 1u);
    e.faults.drop = -1;
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(page(e).empty());
    e.faults = {};
    e.faults.delayMs = 2500;
    e.faults.answerTwice = true;
    e.faults.answerFrom = "192.168.50.99";
    const auto out = page(e);
    ASSERT_EQ(out.size(), 2u);
    for (const auto& d : out) {
        EXPECT_EQ(d.delayMs, 2500);
        EXPECT_EQ(d.sourceIp, "192.168.50.99");
        EXPECT_EQ(d.bytes, kEncoderAnswer);
    }
}

TEST(ElementFaults, CorruptShortAndOverlongAnswersOnlyWhereAsked) {
    Element e = studioEncoder();
    e.faults.onlyForPort = 2976;  // configuration answers only
    e.faults.overwriteByte = std::make_pair(std::size_t{18}, std::uint8_t{3});
    EXPECT_EQ(page(e)[0].bytes, kEncoderAnswer);
    auto config = e.receive(2976, kEncoderConfiguration, kStation, 2976, 0);
    ASSERT_EQ(config.size(), 1u);
    EXPECT_EQ(config[0].bytes[18], 3);
    EXPECT_EQ(e.settings().tx, 1);  // the element itself holds what it was sent

    e.faults = {};
    e.faults.truncateTo = 40;
    EXPECT_EQ(page(e)[0].bytes.size(), 40u);
    Element fresh = studioEncoder();
    fresh.faults.padTo = 57;
    const auto longer = page(fresh)[0].bytes;
    ASSERT_EQ(longer.size(), 57u);
    EXPECT_TRUE(std::equal(kEncoderAnswer.begin(), kEncoderAnswer.end(), longer.begin()));
    // Requests that get no answer stay unanswered whatever the faults.
    e.faults.answerTwice = true;
    EXPECT_TRUE(e.receive(2979, protocol::encodeCommandByte(1), kStation, 2976, 0).empty());
}

TEST(ElementAddresses, TextFormsParseStrictly) {
    EXPECT_EQ(parseIpv4("192.168.001.010"), (Ipv4{192, 168, 1, 10}));
    EXPECT_FALSE(parseIpv4("192.168.1"));
    EXPECT_FALSE(parseIpv4("192.168.1.256"));
    EXPECT_FALSE(parseIpv4("192.168.1.1 "));
    EXPECT_FALSE(parseIpv4("1.2.3.4.5"));
    EXPECT_EQ(parseMac("00:1a:2B:3c:4D:5e"), (Mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_EQ(parseMac("00-1A-2B-3C-4D-5E"), (Mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_FALSE(parseMac("0:1A:2B:3C:4D:5E"));
    EXPECT_FALSE(parseMac("00:1A:2B:3C:4D"));
    EXPECT_EQ(formatMac({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}), "00:1A:2B:3C:4D:5E");
}

}  // namespace
}  // namespace nms::sim
