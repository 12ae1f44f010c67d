#include "sim/element.h"

#include <gtest/gtest.h>

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
    ElementIdentity id;
    id.name = "Studio";
    id.role = Role::Encoder;
    id.serial = 0x01020304;
    id.major = 3;
    id.minor = 70;
    id.ip = {192, 168, 50, 21};
    id.mask = {255, 255, 255, 0};
    id.gateway = {192, 168, 50, 1};
    ElementSettings s;
    s.remote = {192, 168, 50, 31};
    s.input = 1;
    s.type = 144;  // FLAC, L/R HD
    s.tx = 0;
    s.buffer = 2;
    s.lowLatency = 1;
    s.level = 200;
    return Element(id, s);
}

Element sfnDecoder() {
    ElementIdentity id;
    id.name = "TX EAST SFN";
    id.role = Role::Decoder;
    id.serial = 720032;
    id.major = 3;
    id.minor = 75;
    id.ip = {192, 168, 50, 32};
    id.mask = {255, 255, 255, 0};
    id.gateway = {192, 168, 50, 1};
    ElementSettings s;
    s.remote = {239, 192, 50, 1};
    s.type = 32;
    s.tx = 1;
    s.sfn = 1;
    s.buffer = 5;
    s.level = 245;
    s.silenceMode = 3;
    s.silenceLevel = 40;
    s.silenceTime = 10;
    s.additionalDelayNs = 120000;
    return Element(id, s);
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

}  // namespace
}  // namespace nms::sim
