#include "sim/element_options.h"

#include <gtest/gtest.h>

namespace nms::sim {
namespace {

TEST(ElementOptions, LineGivesOneElementWithQuotedName) {
    const auto r = parseElementLine(
        R"(role=decoder name="TX NORTH" ip=10.0.0.2 mask=255.255.0.0 fw=3.7 sfn=1 tx=1 serial=42 delay=1500 servo=1)");
    ASSERT_TRUE(r.error.empty()) << r.error;
    ASSERT_TRUE(r.definition);
    const auto& s = *r.definition;
    EXPECT_EQ(s.identity.role, Role::Decoder);
    EXPECT_EQ(s.identity.name, "TX NORTH");
    EXPECT_EQ(s.identity.ip, (Ipv4{10, 0, 0, 2}));
    EXPECT_EQ(s.identity.major, 3);
    EXPECT_EQ(s.identity.minor, 70);
    EXPECT_EQ(s.identity.serial, 42);
    EXPECT_EQ(s.settings.sfn, 1);
    EXPECT_EQ(s.settings.additionalDelayNs, 1500);
    EXPECT_TRUE(s.settings.autoServo);
}

TEST(ElementOptions, BlankAndCommentLinesGiveNothingAndBadOnesSayWhy) {
    EXPECT_FALSE(parseElementLine("").definition);
    EXPECT_FALSE(parseElementLine("   # a comment").definition);
    EXPECT_TRUE(parseElementLine("role=encoder # trailing").definition);
    EXPECT_NE(parseElementLine("role=router").error.find("role"), std::string::npos);
    EXPECT_NE(parseElementLine("ip=300.1.1.1").error.find("ip"), std::string::npos);
    EXPECT_NE(parseElementLine("tx=2").error.find("tx"), std::string::npos);
    EXPECT_NE(parseElementLine("colour=red").error.find("unknown"), std::string::npos);
    EXPECT_FALSE(parseElementLine("justaword").error.empty());
    EXPECT_FALSE(parseElementLine("name=\"open").error.empty());
}

TEST(ElementOptions, FirmwareTextsReadAsMajorAndHundredths) {
    std::uint8_t ma = 0, mi = 0;
    ASSERT_TRUE(parseFirmware("3.70", ma, mi));
    EXPECT_EQ(mi, 70);
    ASSERT_TRUE(parseFirmware("3.7", ma, mi));
    EXPECT_EQ(mi, 70);
    ASSERT_TRUE(parseFirmware("3.07", ma, mi));
    EXPECT_EQ(mi, 7);
    ASSERT_TRUE(parseFirmware("4", ma, mi));
    EXPECT_EQ(ma, 4);
    EXPECT_EQ(mi, 0);
    EXPECT_FALSE(parseFirmware("3.700", ma, mi));
    EXPECT_FALSE(parseFirmware("three", ma, mi));
    EXPECT_FALSE(parseFirmware("3.", ma, mi));
}

TEST(ElementOptions, MissingMacSerialAndGatewayComeFromTheAddress) {
    auto a = parseElementLine("ip=10.0.1.2 mask=255.255.255.0").definition;
    auto b = parseElementLine("ip=10.0.1.3 mask=255.255.255.0").definition;
    ASSERT_TRUE(a && b);
    completeElementDefinition(*a);
    completeElementDefinition(*b);
    EXPECT_NE(a->identity.mac, b->identity.mac);
    EXPECT_NE(a->identity.serial, b->identity.serial);
    EXPECT_GT(a->identity.serial, 0);
    EXPECT_EQ(a->identity.gateway, (Ipv4{10, 0, 1, 1}));
    auto c = parseElementLine("ip=10.0.1.2 mac=00:1A:2B:3C:4D:5E gw=10.0.1.254 serial=7").definition;
    completeElementDefinition(*c);
    EXPECT_EQ(c->identity.mac, (Mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_EQ(c->identity.gateway, (Ipv4{10, 0, 1, 254}));
    EXPECT_EQ(c->identity.serial, 7);
}

}  // namespace
}  // namespace nms::sim
