#include "protocol/configuration.h"

#include <gtest/gtest.h>

#include "protocol/address.h"

namespace nms::protocol {
namespace {

ConfigurationFields studio() {
    ConfigurationFields f;
    f.ip = IPBytes("192.168.001.010");
    f.mask = IPBytes("255.255.255.0");
    f.gateway = IPBytes("192.168.1.1");
    f.remote = IPBytes("239.192.50.1");
    f.input = 1;
    f.typeCode = 32;  // MPX HD
    f.narrowband = true;
    f.flac = true;
    f.tx = 1;
    f.sfn = 1;
    f.name = configurationName("Studio");
    f.lowLatency = 1;
    f.sampleWidth = 24;
    f.buffer = 9;
    f.silenceMode = 3;
    f.silenceLevel = 40;
    f.silenceTime = 12;
    return f;
}

TEST(ConfigurationPacket, HeadIsTheSameForBothLayouts) {
    const std::vector<std::uint8_t> head = {192, 168, 1, 10, 255, 255, 255, 0, 192, 168, 1, 1, 239, 192, 50, 1,
                                            1, 224, 1, 1, 'S', 'T', 'U', 'D', 'I', 'O', ' ', ' ', ' ', ' ',
                                            ' ', ' ', ' ', ' ', ' ', ' '};
    for (bool decoder : {false, true}) {
        const auto d = encodeConfiguration(studio(), decoder, 3.7f);
        ASSERT_GE(d.size(), head.size());
        EXPECT_EQ(std::vector<std::uint8_t>(d.begin(), d.begin() + 36), head) << decoder;
    }
}

TEST(ConfigurationPacket, EncoderLengthAndTailFollowTheFirmware) {
    // No stored version reads as 2.0.
    auto v20 = encodeConfiguration(studio(), false, 2.0f);
    ASSERT_EQ(v20.size(), 37u);
    EXPECT_EQ(v20[36], 1);
    EXPECT_EQ(v20[17], 32);  // no flag bits before 3.7

    auto v348 = encodeConfiguration(studio(), false, 3.48f);
    EXPECT_EQ(v348.size(), 37u);

    auto v349 = encodeConfiguration(studio(), false, 3.49f);
    ASSERT_EQ(v349.size(), 38u);
    EXPECT_EQ(v349[37], 1);

    auto v369 = encodeConfiguration(studio(), false, 3.69f);
    ASSERT_EQ(v369.size(), 38u);
    EXPECT_EQ(v369[17], 32);

    auto v370 = encodeConfiguration(studio(), false, 3.70f);
    ASSERT_EQ(v370.size(), 39u);
    EXPECT_EQ(v370[37], 1);
    EXPECT_EQ(v370[38], 24);
    EXPECT_EQ(v370[17], 224);  // MPX HD + narrowband + FLAC
}

TEST(ConfigurationPacket, DecoderLengthAndTailFollowTheFirmware) {
    auto v20 = encodeConfiguration(studio(), true, 2.0f);
    EXPECT_EQ(v20, encodeConfiguration(studio(), true, 3.69f));
    ASSERT_EQ(v20.size(), 41u);
    EXPECT_EQ(v20[17], 32);
    EXPECT_EQ(std::vector<std::uint8_t>(v20.begin() + 36, v20.end()), (std::vector<std::uint8_t>{9, 3, 40, 12, 1}));

    auto v370 = encodeConfiguration(studio(), true, 3.7f);
    ASSERT_EQ(v370.size(), 42u);
    EXPECT_EQ(v370[41], 24);
    EXPECT_EQ(v370[17], 224);
}

TEST(ConfigurationPacket, VersionsBetweenTheBoundsNeverWritePastTheEnd) {
    // 3.485 is above 3.48 (byte 37) but below 3.49 (length 38); 3.695 likewise for byte 38.
    auto a = encodeConfiguration(studio(), false, 3.485f);
    EXPECT_EQ(a.size(), 37u);
    auto b = encodeConfiguration(studio(), false, 3.695f);
    ASSERT_EQ(b.size(), 38u);
    EXPECT_EQ(b[37], 1);
    EXPECT_EQ(b[17], 224);
}

TEST(ConfigurationPacket, NameIsUpperCaseBlankPaddedAndCut) {
    const auto studioName = configurationName("Studio");
    EXPECT_EQ(std::string(studioName.begin(), studioName.end()), "STUDIO          ");
    const auto longName = configurationName("a very long element name");
    EXPECT_EQ(std::string(longName.begin(), longName.end()), "A VERY LONG ELEM");
    const auto latin = configurationName("Sendeanlage \xC3\xBC");  // ü → Ü, one byte
    EXPECT_EQ(latin[12], 0xDC);
    // Beyond Latin-1 each character goes out as the low 8 bits of its code, as the element
    // reads it: U+0141 goes out as 0x41.
    const auto beyond = configurationName("\xC5\x81");
    EXPECT_EQ(beyond[0], 0x41);
}

TEST(ConfigurationPacket, ElementReadsWhatTheStationWroteAtEveryLength) {
    for (float v : {2.0f, 3.49f, 3.7f}) {
        const auto bytes = encodeConfiguration(studio(), false, v);
        const auto d = decodeConfiguration(bytes, false);
        ASSERT_TRUE(d) << v;
        EXPECT_EQ(d->fields.ip, studio().ip);
        EXPECT_EQ(d->fields.name, studio().name);
        EXPECT_EQ(d->fields.lowLatency, 1);
        EXPECT_EQ(d->hasConstant, v >= 3.49f);
        EXPECT_EQ(d->hasSampleWidth, v >= 3.7f);
        EXPECT_EQ(d->fields.flac, v >= 3.7f);
    }
    for (float v : {3.69f, 3.7f}) {
        const auto d = decodeConfiguration(encodeConfiguration(studio(), true, v), true);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->fields.buffer, 9);
        EXPECT_EQ(d->fields.silenceMode, 3);
        EXPECT_EQ(d->fields.silenceLevel, 40);
        EXPECT_EQ(d->fields.silenceTime, 12);
        EXPECT_EQ(d->fields.lowLatency, 1);
        EXPECT_EQ(d->hasSampleWidth, v > 3.69f);
    }
    std::vector<std::uint8_t> tooShort(36, 0);
    EXPECT_FALSE(decodeConfiguration(tooShort, false));
    tooShort.resize(40);
    EXPECT_FALSE(decodeConfiguration(tooShort, true));
    EXPECT_TRUE(decodeConfiguration(tooShort, false));
}

}  // namespace
}  // namespace nms::protocol
