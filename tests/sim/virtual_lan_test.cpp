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

TEST_F(Lan, LatencyStaysWithinItsBoundsUnderVirtualTime) {
    lan.addElement(identity(21));
    auto s = station();
    for (int i = 0; i < 50; ++i) {
        received.clear();
        const auto sentAt = time.monotonicMs();
        ASSERT_TRUE(s->sendTo("192.168.50.21", 1901, ascii(protocol::kPagingRequest)));
        while (received.empty() && time.step()) {
        }
        ASSERT_EQ(received.size(), 1u);
        const auto rtt = time.monotonicMs() - sentAt;
        EXPECT_GE(rtt, 1);  // two trips of at least 0.2 ms
        EXPECT_LE(rtt, 5);  // two trips of at most 2 ms, rounded up
        time.advance(3);
    }
}

TEST_F(Lan, SocketsReceiveOnTheirBoundAddressOnly) {
    nms::testing::VirtualTime t;
    VirtualLan::Options o;
    o.stationAddresses = {"192.168.50.10", "192.168.50.11"};
    VirtualLan two(t, t, o);
    two.addElement(identity(21));
    std::vector<std::string> got;
    auto on10 = two.createUdpSocket();
    auto on11 = two.createUdpSocket();
    ASSERT_TRUE(on10->bind("192.168.50.10", 2976));
    ASSERT_TRUE(on11->bind("192.168.50.11", 2976));  // same port, other address: allowed
    on10->onDatagram = [&](ports::Datagram) { got.push_back("10"); };
    on11->onDatagram = [&](ports::Datagram) { got.push_back("11"); };
    ASSERT_TRUE(on11->sendTo("192.168.50.21", 1901, ascii(protocol::kPagingRequest)));
    t.advance(10);
    EXPECT_EQ(got, (std::vector<std::string>{"11"}));  // the answer goes back to .11
    EXPECT_EQ(two.interfaces().localAddresses().addresses,
              (std::vector<std::string>{"127.0.0.1", "192.168.50.10", "192.168.50.11"}));
}

TEST_F(Lan, BindingAnOccupiedPortFailsLikeASocket) {
    auto a = lan.createUdpSocket();
    ASSERT_TRUE(a->bind("0.0.0.0", 2978));
    auto b = lan.createUdpSocket();
    EXPECT_FALSE(b->bind("0.0.0.0", 2978));
    EXPECT_EQ(b->errorString(), "The bound address is already in use");
    EXPECT_NE(b->state(), ports::UdpSocket::State::Open);
    EXPECT_FALSE(b->bind("192.168.50.10", 2978));  // all addresses include this one
    EXPECT_TRUE(b->bind("0.0.0.0", 2979));
    b->close();
    EXPECT_EQ(b->state(), ports::UdpSocket::State::Closed);
    a.reset();  // destroying a socket frees its port
    EXPECT_TRUE(b->bind("192.168.50.10", 2978));
    auto c = lan.createUdpSocket();
    EXPECT_FALSE(c->bind("10.1.2.3", 2976));
    EXPECT_EQ(c->errorString(), "The address is not available");
    // Port 0 takes a free one; sending from an unbound socket binds one too.
    auto d = lan.createUdpSocket();
    EXPECT_TRUE(d->bind("0.0.0.0", 0));
    auto e = lan.createUdpSocket();
    EXPECT_TRUE(e->sendTo("192.168.50.21", 2976, ascii("x")));
    EXPECT_EQ(e->state(), ports::UdpSocket::State::Open);
    EXPECT_FALSE(e->sendTo("not an address", 2976, ascii("x")));
}

TEST_F(Lan, NeighbourTableLearnsAnElementOnceTrafficPassed) {
    lan.addElement(identity(21));
    lan.addElement(identity(22));
    auto s = station();
    EXPECT_FALSE(lan.neighbours().lookup("192.168.50.21"));
    page(*s);
    time.advance(10);
    const auto mac = lan.neighbours().lookup("192.168.50.21");
    ASSERT_TRUE(mac);
    EXPECT_EQ(*mac, (std::vector<std::uint8_t>{0x00, 0x1A, 0x2B, 0x00, 0x00, 21}));
    // A miss on a host of the segment starts resolution; the next lookup finds it.
    lan.flushNeighbours();
    EXPECT_FALSE(lan.neighbours().lookup("192.168.50.22"));
    time.advance(2);
    EXPECT_TRUE(lan.neighbours().lookup("192.168.50.22"));
    // An address with no host never resolves.
    EXPECT_FALSE(lan.neighbours().lookup("192.168.50.77"));
    time.advance(100);
    EXPECT_FALSE(lan.neighbours().lookup("192.168.50.77"));
}

TEST_F(Lan, NeighbourWatchesEndOnceAsTheKernelsWould) {
    using State = ports::NeighbourTable::State;
    lan.addElement(identity(23));
    auto& table = lan.neighbours();
    std::vector<std::pair<std::string, ports::NeighbourTable::Entry>> ended;
    auto watch = [&](const std::string& ip, std::int64_t timeoutMs) {
        return table.whenResolved(ip, timeoutMs, [&ended, ip](ports::NeighbourTable::Entry e) {
            ended.emplace_back(ip, std::move(e));
        });
    };
    watch("192.168.50.23", 5000);
    watch("192.168.50.78", 5000);  // nobody there
    watch("192.168.50.79", 500);   // nobody there, and less patience than the kernel's
    const auto cancelled = watch("192.168.50.23", 5000);
    table.cancelWatch(cancelled);
    EXPECT_TRUE(ended.empty());  // never from inside the call

    time.advance(1);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].second.state, State::Complete);
    EXPECT_EQ(ended[0].second.linkAddress, (std::vector<std::uint8_t>{0x00, 0x1A, 0x2B, 0x00, 0x00, 23}));
    time.advance(499);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[1].first, "192.168.50.79");
    EXPECT_EQ(ended[1].second.state, State::Resolving);
    time.advance(2500);
    ASSERT_EQ(ended.size(), 3u);
    EXPECT_EQ(ended[2].first, "192.168.50.78");
    EXPECT_EQ(ended[2].second.state, State::Unreachable);
    time.advance(10000);
    EXPECT_EQ(ended.size(), 3u);

    // Known already: reported on the next turn, complete.
    watch("192.168.50.23", 5000);
    EXPECT_EQ(ended.size(), 3u);
    time.advance(0);
    ASSERT_EQ(ended.size(), 4u);
    EXPECT_EQ(ended[3].second.state, State::Complete);
}

TEST_F(Lan, ForgedSenderIsWhatTheStationSeesButNotWhatItsKernelLearns) {
    Element& e = lan.addElement(identity(21));
    e.faults.answerFrom = "192.168.50.99";
    auto s = station();
    page(*s);
    time.advance(10);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].senderAddress, "192.168.50.99");
    EXPECT_FALSE(lan.neighbours().lookup("192.168.50.99"));
}

TEST_F(Lan, DelayedAndDuplicatedAnswersArriveAsInjected) {
    Element& e = lan.addElement(identity(21));
    e.faults.delayMs = 3500;
    e.faults.answerTwice = true;
    auto s = station();
    page(*s);
    time.advance(3000);
    EXPECT_TRUE(received.empty());
    time.advance(1000);
    EXPECT_EQ(received.size(), 2u);
}

TEST_F(Lan, EchoAnswersFromAnElementAndTimesOutWithoutHost) {
    lan.addElement(identity(21));
    Element& deaf = lan.addElement(identity(22));
    deaf.faults.answerPing = false;
    std::vector<std::pair<std::string, ports::EchoResult>> results;
    auto ping = [&](const std::string& ip) {
        return lan.icmp().echo(ip, ascii("hello"), 3000, [&, ip](ports::EchoResult r) { results.emplace_back(ip, r); });
    };
    EXPECT_TRUE(lan.icmp().available());
    EXPECT_NE(ping("192.168.50.21"), 0u);
    ping("192.168.50.22");
    ping("192.168.50.77");
    EXPECT_TRUE(results.empty());  // never from inside echo()
    time.advance(10);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].first, "192.168.50.21");
    EXPECT_EQ(results[0].second.status, ports::echo_status::kSuccess);
    EXPECT_LE(results[0].second.roundTripMs, 4u);
    EXPECT_TRUE(lan.neighbours().lookup("192.168.50.21"));  // the echo resolved it
    time.advance(2980);
    EXPECT_EQ(results.size(), 1u);
    time.advance(20);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[1].second.status, ports::echo_status::kTimedOut);
    EXPECT_EQ(results[2].second.status, ports::echo_status::kTimedOut);

    const auto id = ping("192.168.50.77");
    lan.icmp().cancel(id);
    time.advance(5000);
    EXPECT_EQ(results.size(), 3u);
    lan.setIcmpAvailable(false);
    EXPECT_FALSE(lan.icmp().available());
    EXPECT_EQ(ping("192.168.50.21"), 0u);
}

TEST_F(Lan, AHandlerMayDestroyItsSocketWhileAnswersAreStillTravelling) {
    for (std::uint8_t h = 21; h < 26; ++h) lan.addElement(identity(h));
    auto s = lan.createUdpSocket();
    ASSERT_TRUE(s->bind("0.0.0.0", 2976));
    int got = 0;
    s->onDatagram = [&](ports::Datagram) {
        ++got;
        s.reset();
    };
    page(*(s.get()));
    time.advance(10);
    EXPECT_EQ(got, 1);
    EXPECT_EQ(lan.framesUnclaimed(), 4u);
    // The port is free again.
    EXPECT_TRUE(lan.createUdpSocket()->bind("0.0.0.0", 2976));
}

TEST_F(Lan, SocketOutlivingTheLanFailsQuietly) {
    std::unique_ptr<ports::UdpSocket> orphan;
    {
        nms::testing::VirtualTime t;
        VirtualLan temporary(t, t);
        orphan = temporary.createUdpSocket();
        ASSERT_TRUE(orphan->bind("0.0.0.0", 2976));
    }
    EXPECT_FALSE(orphan->sendTo("192.168.50.21", 2976, ascii("x")));
    orphan.reset();
}

TEST_F(Lan, FourThousandElementsAnsweringOnePageAreAllDelivered) {
    VirtualLan::Options o;
    o.stationAddresses = {"10.20.0.1"};
    o.netmask = "255.255.0.0";
    nms::testing::VirtualTime t;
    VirtualLan big(t, t, o);
    for (int i = 0; i < 4000; ++i) {
        ElementIdentity id;
        id.role = i % 3 == 0 ? Role::Decoder : Role::Encoder;
        id.serial = 1 + i;
        id.ip = {10, 20, static_cast<std::uint8_t>(1 + i / 250), static_cast<std::uint8_t>(1 + i % 250)};
        id.mac = {0x02, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
        big.addElement(id);
    }
    auto s = big.createUdpSocket();
    ASSERT_TRUE(s->bind("0.0.0.0", 2976));
    std::set<std::string> from;
    std::int64_t last = 0;
    s->onDatagram = [&](ports::Datagram d) {
        from.insert(protocol::decodeFeedback(d.bytes, {}).ip);
        last = t.monotonicMs();
    };
    ASSERT_TRUE(s->sendTo("255.255.255.255", 1901, ascii(protocol::kPagingRequest)));
    t.advance(1000);
    EXPECT_EQ(from.size(), 4000u);
    EXPECT_LE(last, 10);
    EXPECT_EQ(big.framesInFlight(), 0u);
    EXPECT_TRUE(big.neighbours().lookup("10.20.16.250"));
}

}  // namespace
}  // namespace nms::sim
