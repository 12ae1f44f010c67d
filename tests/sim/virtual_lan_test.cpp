#include "sim/virtual_lan.h"

#include <gtest/gtest.h>

#include <set>

#include "protocol/feedback.h"
#include "protocol/paging.h"
#include "sim_test_util.h"
#include "support/virtual_time.h"

namespace nms::sim {
namespace {

using testing::ascii;

ElementIdentity identity(std::uint8_t host, Role role = Role::Encoder) {
    ElementIdentity id;
    id.name = "E" + std::to_string(host);
    id.role = role;
    id.serial = 1000 + host;
    id.ip = {192, 168, 50, host};
    id.mac = {0x00, 0x1A, 0x2B, 0x00, 0x00, host};
    return id;
}

struct Lan : ::testing::Test {
    nms::testing::VirtualTime time;
    VirtualLan lan{time, time};
    std::vector<ports::Datagram> received;

    std::unique_ptr<ports::UdpSocket> station(std::uint16_t port = 2976, const std::string& address = "0.0.0.0") {
        auto s = lan.createUdpSocket();
        EXPECT_TRUE(s->bind(address, port)) << s->errorString();
        s->onDatagram = [this](ports::Datagram d) { received.push_back(std::move(d)); };
        return s;
    }
    void page(ports::UdpSocket& s) {
        ASSERT_TRUE(s.sendTo("255.255.255.255", 1901, ascii(protocol::kPagingRequest)));
    }
};

TEST_F(Lan, BroadcastPageReachesEveryElementAndTheAnswersArriveLater) {
    for (std::uint8_t h = 21; h < 26; ++h) lan.addElement(identity(h));
    auto s = station();
    page(*s);
    EXPECT_TRUE(received.empty());  // never from inside sendTo
    time.runDue();
    EXPECT_TRUE(received.empty());  // nothing travels in no time
    time.advance(10);
    ASSERT_EQ(received.size(), 5u);
    std::set<std::string> senders;
    for (const auto& d : received) {
        senders.insert(d.senderAddress);
        EXPECT_EQ(d.senderPort, 1901);
        EXPECT_EQ(d.bytes.size(), 47u);
        const auto r = protocol::decodeFeedback(d.bytes, {});
        EXPECT_EQ(r.ip, d.senderAddress);
    }
    EXPECT_EQ(senders.size(), 5u);
}

TEST_F(Lan, ConfigurationAnswerComesBackFromTheElementsNewAddress) {
    lan.addElement(identity(21));
    auto s = station();
    std::vector<std::uint8_t> config(39, 0);  // an encoder packet moving it to .99
    config[0] = 192, config[1] = 168, config[2] = 50, config[3] = 99;
    ASSERT_TRUE(s->sendTo("192.168.50.21", 2976, config));
    time.advance(10);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].senderAddress, "192.168.50.99");
    EXPECT_EQ(protocol::decodeFeedback(received[0].bytes, {}).ip, "192.168.50.99");
    EXPECT_EQ(lan.elementAt("192.168.50.21"), nullptr);
    EXPECT_NE(lan.elementAt("192.168.50.99"), nullptr);
}

}  // namespace
}  // namespace nms::sim
