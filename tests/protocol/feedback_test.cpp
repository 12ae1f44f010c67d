#include "protocol/feedback.h"

#include <gtest/gtest.h>

#include "app/packets.h"

using nms::protocol::decodeFeedback;
using nms::protocol::FeedbackRecord;
using nms::testing::ElementAnswer;

namespace {

std::vector<std::uint8_t> bytesOf(ElementAnswer a, std::size_t length) {
    a.length = length;
    return a.bytes();
}

TEST(FeedbackDecoding, EncoderAttenuationFollowsTheFirmwareVersion) {
    auto a = ElementAnswer::encoder();
    a.f.att = 200;  // byte 46 = 55
    auto r = decodeFeedback(bytesOf(a, 47), {});
    EXPECT_EQ(r.versionText(), "3.70");
    EXPECT_EQ(r.att, 200);

    a.f.minor = 49;
    FeedbackRecord previous;
    previous.att = 77;
    r = decodeFeedback(bytesOf(a, 47), previous);
    EXPECT_EQ(r.versionText(), "3.49");
    EXPECT_EQ(r.att, 77);  // left as it was

    a.f.minor = 70;
    for (std::size_t n : {45u, 46u}) {
        r = decodeFeedback(bytesOf(a, n), previous);
        EXPECT_EQ(r.att, 255) << n;
    }
}

TEST(FeedbackDecoding, VersionMinorIsHundredths) {
    auto a = ElementAnswer::encoder();
    a.f.minor = 7;
    auto r = decodeFeedback(bytesOf(a, 47), {});
    EXPECT_EQ(r.versionText(), "3.7");
    EXPECT_FLOAT_EQ(r.version, 3.07f);
    a.f.minor = 0;
    EXPECT_EQ(decodeFeedback(bytesOf(a, 47), {}).versionText(), "3.0");
}

TEST(FeedbackDecoding, DecoderDelayIsRoundedToHundredsOfNanosecondsHalvesToEven) {
    auto a = ElementAnswer::decoder();
    const std::pair<std::int32_t, std::int32_t> cases[] = {{0x3039, 123}, {150, 2}, {250, 2}, {-150, -2}, {0, 0}};
    for (auto [ns, dly] : cases) {
        a.f.delayNs = ns;
        EXPECT_EQ(decodeFeedback(bytesOf(a, 54), {}).dly, dly) << ns;
    }
}

TEST(FeedbackDecoding, ShortDecoderAnswersFallBackToDefaults) {
    auto a = ElementAnswer::decoder();
    auto r = decodeFeedback(bytesOf(a, 42), {});
    EXPECT_EQ(r.major, 3);
    EXPECT_EQ(r.minor, 0);
    EXPECT_EQ(r.sfn, 0);
    EXPECT_EQ(r.buf, 1);
    EXPECT_EQ(r.att, 245);

    // 45 to 53 bytes: llo comes from the encoder position 44.
    a.f.buf = 9;
    a.f.llo = 1;
    auto bytes = bytesOf(a, 50);
    r = decodeFeedback(bytes, {});
    EXPECT_EQ(r.llo, bytes[44]);
    EXPECT_EQ(r.buf, 9);
    EXPECT_EQ(r.dly, 0);  // bytes 48-51 not all there
}

TEST(FeedbackDecoding, SerialNumberIsSigned32BitBigEndian) {
    auto a = ElementAnswer::encoder();
    auto bytes = a.bytes();
    const std::pair<std::array<std::uint8_t, 4>, std::int32_t> cases[] = {
        {{0x80, 0, 0, 0}, INT32_MIN}, {{0x00, 0xFF, 0xFF, 0xFF}, 16777215}, {{0x01, 0, 0, 0x01}, 16777217}};
    for (const auto& [b, v] : cases) {
        std::copy(b.begin(), b.end(), bytes.begin() + 36);
        EXPECT_EQ(decodeFeedback(bytes, {}).sn, v);
    }
    bytes.resize(39);
    EXPECT_EQ(decodeFeedback(bytes, {}).sn, 0);
}

TEST(FeedbackDecoding, MissingBytesKeepThePreviousValues) {
    FeedbackRecord previous;
    previous.ip = "10.1.1.1";
    previous.mask = "255.0.0.0";
    previous.type = 33;
    previous.role = 2;
    std::vector<std::uint8_t> three = {192, 168, 1};
    auto r = decodeFeedback(three, previous);
    EXPECT_EQ(r.ip, "10.1.1.1");
    EXPECT_EQ(r.type, 33);
    EXPECT_EQ(r.name, "");
    // The first datagram ever of fewer than four bytes leaves the address empty.
    EXPECT_EQ(decodeFeedback(three, {}).ip, "");
}

TEST(FeedbackDecoding, NameBytesAreCharactersOfTheSameCode) {
    auto a = ElementAnswer::encoder();
    a.f.name[0] = 0xC4;  // Ä
    a.f.name[15] = 0x00;
    auto r = decodeFeedback(a.bytes(), {});
    EXPECT_EQ(r.name.substr(0, 2), "\xC3\x84");
    EXPECT_EQ(r.name.back(), '\0');
}

}  // namespace
