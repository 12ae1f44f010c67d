#include "protocol/address.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/arp.h"
#include "support/fake_neighbour_table.h"

namespace nms::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

// --- MAC text and element key

TEST(ElementKey, EncodeRemovesColonsAndUpperCases) {
    EXPECT_EQ(Encode_MAC("00:1a:2b:3c:4d:5e"), "001A2B3C4D5E");
    EXPECT_EQ(Encode_MAC("00:1A:2B:3C:4D:5E"), "001A2B3C4D5E");
}

TEST(ElementKey, EncodeTakesOnlySeventeenCharacters) {
    const std::pair<const char*, const char*> cases[] = {
        {"001A2B3C4D5E", ""},
        {"00:1A:2B:3C:4D:5", ""},
        {"00:1A:2B:3C:4D:5E:", ""},
        {"", ""},
        // Other separators and other characters pass unchanged.
        {"00-1A-2B-3C-4D-5E", "00-1A-2B-3C-4D-5E"},
        {"zz:1a:2b:3c:4d:5e", "ZZ1A2B3C4D5E"}};
    for (const auto& [mac, key] : cases) EXPECT_EQ(Encode_MAC(mac), key) << mac;
}

TEST(ElementKey, DecodeSplitsTwelveCharactersIntoPairs) {
    const std::pair<const char*, const char*> cases[] = {{"001a2b3c4d5e", "00:1A:2B:3C:4D:5E"},
                                                         {"001A2B3C4D5", ""},
                                                         {"001A2B3C4D5E0", ""},
                                                         {"", ""}};
    for (const auto& [key, mac] : cases) EXPECT_EQ(Decode_MAC(key), mac) << key;
}

TEST(ElementKey, DecodeOfEncodeGivesTheMacTextInUpperCase) {
    const char* hex = "0123456789abcdefABCDEF";
    for (int seed = 0; seed < 500; ++seed) {
        std::string mac;
        for (int i = 0; i < 6; ++i) {
            if (i) mac += ':';
            mac += hex[(seed * 7 + i * 13) % 22];
            mac += hex[(seed * 3 + i * 5 + 1) % 22];
        }
        std::string upper = mac;
        for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        ASSERT_EQ(Decode_MAC(Encode_MAC(mac)), upper) << mac;
    }
}

TEST(ElementKey, FormatMacWritesSixOctetsAsUpperCaseHex) {
    const Bytes octets{0x00, 0x0A, 0xFF, 0x10, 0x01, 0x02};
    EXPECT_EQ(FormatMAC(octets, ":"), "00:0A:FF:10:01:02");
    EXPECT_EQ(FormatMAC(octets, ""), "000AFF100102");
    EXPECT_EQ(FormatMAC(octets, " - "), "00 - 0A - FF - 10 - 01 - 02");
    EXPECT_EQ(FormatMAC(Bytes{1, 2, 3, 4, 5}, ":"), "");
    EXPECT_EQ(FormatMAC(Bytes{1, 2, 3, 4, 5, 6, 7}, ":"), "");
    EXPECT_EQ(FormatMAC(Bytes{}, ":"), "");
}

// --- dotted IPv4 text

TEST(IpText, ValidAddressesHaveFourPartsFrom0To255) {
    for (const char* ok : {"192.168.1.10", "192.168.001.010", "0.0.0.0", "255.255.255.255", "000.0.00.1"})
        EXPECT_TRUE(IsValidIP(ok)) << ok;
    for (const char* bad : {"192.168.1", "192.168.1.1.1", "192.168.1.256", "192.168..1", "a.b.c.d", "", ".1.2.3",
                            "1.2.3.", " 1.2.3.4", "1.2.3.4 ", "+1.2.3.4", "-1.2.3.4", "1e2.1.1.1", "0x1.2.3.4",
                            "1.2.3.1000", "1.2.3.99999999999999999999"})
        EXPECT_FALSE(IsValidIP(bad)) << '"' << bad << '"';
}

TEST(IpText, SplitKeepsEveryPartIncludingEmptyOnes) {
    EXPECT_EQ(SplitIP("192.168.1.10"), (std::vector<std::string>{"192", "168", "1", "10"}));
    EXPECT_EQ(SplitIP("1..2"), (std::vector<std::string>{"1", "", "2"}));
    EXPECT_EQ(SplitIP("."), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(SplitIP("abc"), (std::vector<std::string>{"abc"}));
    EXPECT_TRUE(SplitIP("").empty());
}

TEST(IpText, AddressIsInNetworkByteOrderLikeInetAddr) {
    // First octet in the lowest byte of the value.
    EXPECT_EQ(IPTextToAddress("192.168.1.10"), 0x0A01A8C0u);
    EXPECT_EQ(IPTextToAddress("0.0.0.0"), 0u);
    EXPECT_EQ(IPTextToAddress("127.1"), 0x0100007Fu);
    EXPECT_EQ(IPTextToAddress("10.1.2"), 0x0200010Au);
    EXPECT_EQ(IPTextToAddress("0x7f.0.0.1"), 0x0100007Fu);
    EXPECT_EQ(IPTextToAddress("010.0.0.1"), 0x01000008u) << "a leading 0 is octal";
    for (const char* bad : {"", "1.2.3.256", "a.b.c.d", "1.2.3.4.5", "1..2.3", "09.1.1.1", "1.2.3.4 "})
        EXPECT_EQ(IPTextToAddress(bad), kInaddrNone) << '"' << bad << '"';
}

TEST(IpText, BytesAndTextRoundTrip) {
    EXPECT_EQ(IPBytes("192.168.001.010"), (std::array<std::uint8_t, 4>{192, 168, 1, 10}));
    const std::uint8_t b[4] = {10, 0, 255, 7};
    EXPECT_EQ(FormatIP(b), "10.0.255.7");
}

// --- element name

TEST(ElementName, IsPaddedOrCutToSixteenAndUpperCased) {
    EXPECT_EQ(FormatElementName("Studio"), "STUDIO          ");
    EXPECT_EQ(FormatElementName("abcdefghijklmnopqrst"), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(FormatElementName("abcdefghijklmnop"), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(FormatElementName(""), std::string(16, ' '));
}

TEST(ElementName, CountsCharactersNotBytes) {
    // "é" is two bytes of UTF-8 but one character of the 16.
    const std::string name = FormatElementName("caf\xc3\xa9");
    EXPECT_EQ(name, "CAF\xc3\x89" + std::string(12, ' '));
}

// --- big-endian numbers

TEST(BigEndian, ReadsCountBytesMostSignificantFirst) {
    EXPECT_EQ(BytesToLong(Bytes{0x00, 0x00, 0x01, 0x2C}, 0, 4), 300);
    EXPECT_EQ(BytesToLong(Bytes{0xFF, 0xFF, 0xFF, 0xFF}, 0, 4), -1);
    EXPECT_EQ(BytesToLong(Bytes{0x80, 0x00, 0x00, 0x00}, 0, 4), -2147483647 - 1);
    EXPECT_EQ(BytesToLong(Bytes{0x12, 0xFF, 0xFF, 0xFF}, 1, 3), 0xFFFFFF) << "fewer bytes are never negative";
    EXPECT_EQ(BytesToLong(Bytes{0x12, 0x34}, 0, 2), 0x1234);
    EXPECT_EQ(BytesToLong(Bytes{0x12}, 0, 0), 0);
}

TEST(BigEndian, AFieldOutsideTheDatagramReadsZero) {
    const Bytes d{1, 2, 3, 4, 5};
    EXPECT_EQ(BytesToLong(d, 1, 4), 0x02030405);
    EXPECT_EQ(BytesToLong(d, 2, 4), 0);
    EXPECT_EQ(BytesToLong(d, 5, 1), 0);
    EXPECT_EQ(BytesToLong(d, -1, 2), 0);
    EXPECT_EQ(BytesToLong(Bytes{}, 0, 1), 0);
}

// --- MAC lookup

class LookupMac : public ::testing::Test {
protected:
    nms::testing::FakeNeighbourTable table;
    std::string mac = "unchanged";
};

TEST_F(LookupMac, AKnownAddressGivesItsFormattedMac) {
    table.add("192.168.1.10", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
    EXPECT_TRUE(LookupMAC(table, "192.168.1.10", mac, ":"));
    EXPECT_EQ(mac, "00:1A:2B:3C:4D:5E");
    EXPECT_TRUE(LookupMAC(table, "192.168.1.10", mac, "-"));
    EXPECT_EQ(mac, "00-1A-2B-3C-4D-5E");
}

TEST_F(LookupMac, ShortFormsAreLookedUpInDottedForm) {
    table.add("127.0.0.1", {1, 2, 3, 4, 5, 6});
    EXPECT_TRUE(LookupMAC(table, "127.1", mac, ":"));
    EXPECT_EQ(table.lookups, std::vector<std::string>{"127.0.0.1"});
}

TEST_F(LookupMac, AMissingEntryFailsAndLeavesTheMac) {
    EXPECT_FALSE(LookupMAC(table, "192.168.1.99", mac, ":"));
    EXPECT_EQ(mac, "unchanged");
}

TEST_F(LookupMac, AnUnreadableOrZeroAddressIsNotLookedUp) {
    for (const char* ip : {"0.0.0.0", "", "not an address", "1.2.3.256"}) {
        EXPECT_FALSE(LookupMAC(table, ip, mac, ":")) << ip;
        EXPECT_EQ(mac, "unchanged");
    }
    EXPECT_TRUE(table.lookups.empty());
}

TEST_F(LookupMac, AnEntryWithoutARealAddressDoesNotCount) {
    table.add("10.0.0.1", {0, 0, 0, 0, 0x4D, 0x5E});
    table.add("10.0.0.2", {});
    EXPECT_FALSE(LookupMAC(table, "10.0.0.1", mac, ":"));
    EXPECT_FALSE(LookupMAC(table, "10.0.0.2", mac, ":"));
    EXPECT_EQ(mac, "unchanged");
    table.add("10.0.0.3", {0, 0, 0, 1, 0, 0});
    EXPECT_TRUE(LookupMAC(table, "10.0.0.3", mac, ":"));
}

// A tunnel's 4-byte or InfiniBand's 20-byte link address names no element: no MAC found.
TEST_F(LookupMac, AnAddressOfAnotherLengthIsNoMac) {
    for (std::size_t length : {4u, 5u, 7u, 8u, 20u}) {
        table.add("10.0.0.1", std::vector<std::uint8_t>(length, 0x2A));
        EXPECT_FALSE(LookupMAC(table, "10.0.0.1", mac, ":")) << length;
        EXPECT_EQ(mac, "unchanged");
    }
}

}  // namespace
}  // namespace nms::protocol
