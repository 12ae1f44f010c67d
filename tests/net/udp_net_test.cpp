// The station's UDP socket and interface list on real sockets inside the test bed.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QTimer>

#include "net/netns_fixture.h"
#include "platform/interfaces_linux.h"
#include "platform/udp_socket_qt.h"

namespace nms {
namespace {

using nettest::Testbed;
using platform::QtUdpSocket;

const std::string kPaging = "IPMPXSTL KESTROVA PAGING REQUEST";

std::span<const std::uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// A socket in a namespace that keeps what it receives.
struct Listener {
    std::unique_ptr<QtUdpSocket> socket = std::make_unique<QtUdpSocket>();
    std::vector<ports::Datagram> got;

    Listener(const Testbed& bed, const std::string& ns, const std::string& address, std::uint16_t port) {
        bed.inNamespace(ns, [&] { EXPECT_TRUE(socket->bind(address, port)) << socket->errorString(); });
        socket->onDatagram = [this](ports::Datagram d) { got.push_back(std::move(d)); };
    }
};

class UdpNet : public nettest::TestbedTest {
protected:
    // Two networks: elements 1 and 3 on the first, 2 on the second.
    void SetUp() override { makeBed(3, 2); }
};

TEST_F(UdpNet, BoundToAllInterfacesThePagingReachesEveryNetworkWithoutADefaultRoute) {
    std::vector<std::unique_ptr<Listener>> elements;
    for (int i = 1; i <= 3; ++i) elements.push_back(std::make_unique<Listener>(*bed, bed->element(i).ns, "0.0.0.0", 1901));
    Listener station(*bed, bed->station().ns, "0.0.0.0", 2976);

    ASSERT_TRUE(station.socket->sendTo("255.255.255.255", 1901, bytesOf(kPaging))) << station.socket->errorString();
    EXPECT_EQ(station.socket->lastBroadcastCopies(), 2);
    nettest::spinUntil([&] {
        for (auto& e : elements)
            if (e->got.empty()) return false;
        return true;
    }, 2000);
    nettest::spinFor(100);  // a second copy would have arrived by now

    for (int i = 1; i <= 3; ++i) {
        const auto& got = elements[static_cast<std::size_t>(i - 1)]->got;
        ASSERT_EQ(got.size(), 1u) << "element " << i;
        EXPECT_EQ(std::string(got[0].bytes.begin(), got[0].bytes.end()), kPaging);
        EXPECT_EQ(got[0].senderAddress, bed->station(bed->element(i).network).ip) << "element " << i;
        EXPECT_EQ(got[0].senderPort, 2976);
    }
}

TEST_F(UdpNet, BoundToOneInterfaceThePagingStaysOnItsNetwork) {
    Listener onFirst(*bed, bed->element(1).ns, "0.0.0.0", 1901);
    Listener onSecond(*bed, bed->element(2).ns, "0.0.0.0", 1901);
    Listener station(*bed, bed->station(2).ns, bed->station(2).ip, 2976);

    ASSERT_TRUE(station.socket->sendTo("255.255.255.255", 1901, bytesOf(kPaging))) << station.socket->errorString();
    EXPECT_TRUE(nettest::spinUntil([&] { return !onSecond.got.empty(); }, 2000));
    nettest::spinFor(150);
    EXPECT_EQ(onSecond.got.size(), 1u);
    EXPECT_TRUE(onFirst.got.empty());
    ASSERT_FALSE(onSecond.got.empty());
    EXPECT_EQ(onSecond.got[0].senderAddress, bed->station(2).ip);
}

TEST_F(UdpNet, EveryDatagramArrivesWholeAndInOrder) {
    Listener station(*bed, bed->station().ns, "0.0.0.0", 2976);
    Listener element(*bed, bed->element(1).ns, "0.0.0.0", 2977);
    const std::vector<std::size_t> sizes{0, 1, 3, 4, 5, 56, 57, 1201, 1202, 1472, 8000, 65507};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::vector<std::uint8_t> d(sizes[i]);
        for (std::size_t b = 0; b < d.size(); ++b) d[b] = static_cast<std::uint8_t>(b * 7 + i);
        ASSERT_TRUE(element.socket->sendTo(bed->station().ip, 2976, d)) << element.socket->errorString();
    }
    ASSERT_TRUE(nettest::spinUntil([&] { return station.got.size() == sizes.size(); }, 2000)) << station.got.size();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        ASSERT_EQ(station.got[i].bytes.size(), sizes[i]);
        for (std::size_t b = 0; b < sizes[i]; ++b)
            ASSERT_EQ(station.got[i].bytes[b], static_cast<std::uint8_t>(b * 7 + i)) << "datagram " << i;
        EXPECT_EQ(station.got[i].senderAddress, bed->element(1).ip);
        EXPECT_EQ(station.got[i].senderPort, 2977);
    }
}

TEST_F(UdpNet, BurstBeyondTheBufferCountsEveryDatagramAsReceivedOrDropped) {
    Listener station(*bed, bed->station().ns, "0.0.0.0", 2976);
    std::printf("receive buffer granted: %d bytes\n", station.socket->receiveBufferBytes());
    EXPECT_GE(station.socket->receiveBufferBytes(), QtUdpSocket::kWantedReceiveBuffer);  // root may force it

    Listener element(*bed, bed->element(1).ns, "0.0.0.0", 2977);
    // Large datagrams, sent while the station's loop does not run, fill even a big buffer.
    const std::vector<std::uint8_t> big(8000, 0x55);
    int sent = 0;
    for (int i = 0; i < 4000; ++i)
        if (element.socket->sendTo(bed->station().ip, 2976, big)) ++sent;
    nettest::spinFor(300);
    // The kernel reports drops with the next datagram it queues.
    const std::vector<std::uint8_t> marker{1, 2, 3};
    ASSERT_TRUE(element.socket->sendTo(bed->station().ip, 2976, marker));
    ASSERT_TRUE(nettest::spinUntil([&] { return !station.got.empty() && station.got.back().bytes == marker; }, 2000));
    const auto received = station.got.size() - 1;
    std::printf("burst of %d: %zu received, %llu dropped\n", sent, received,
                static_cast<unsigned long long>(station.socket->droppedDatagrams()));
    EXPECT_GT(station.socket->droppedDatagrams(), 0u);
    EXPECT_EQ(received + station.socket->droppedDatagrams(), static_cast<std::uint64_t>(sent));
}

TEST_F(UdpNet, ABurstIsDeliveredInSlicesWithTheEventLoopTurningBetween) {
    Listener station(*bed, bed->station().ns, "0.0.0.0", 2976);
    Listener element(*bed, bed->element(1).ns, "0.0.0.0", 2977);
    // Resolved first, so that no datagram of the burst waits for the station's MAC.
    ASSERT_TRUE(element.socket->sendTo(bed->station().ip, 2976, bytesOf("warm")));
    ASSERT_TRUE(nettest::spinUntil([&] { return station.got.size() == 1; }, 2000));

    constexpr int kBurst = 3 * QtUdpSocket::kDatagramsPerSlice + 40;
    for (int i = 0; i < kBurst; ++i) {
        const std::string n = std::to_string(i);
        ASSERT_TRUE(element.socket->sendTo(bed->station().ip, 2976, bytesOf(n))) << element.socket->errorString();
    }
    // A timer due at every turn of the loop sees how far the delivery has come.
    std::vector<std::size_t> seen{station.got.size()};
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, [&] { seen.push_back(station.got.size()); });
    turn.start(0);
    ASSERT_TRUE(nettest::spinUntil([&] { return station.got.size() == kBurst + 1u; }, 3000)) << station.got.size();
    turn.stop();

    std::size_t largestRun = 0, turnsInside = 0;
    seen.push_back(station.got.size());
    for (std::size_t i = 1; i < seen.size(); ++i) {
        largestRun = std::max(largestRun, seen[i] - seen[i - 1]);
        if (seen[i] > 1 && seen[i] < kBurst + 1u && seen[i] != seen[i - 1]) ++turnsInside;
    }
    EXPECT_LE(largestRun, static_cast<std::size_t>(QtUdpSocket::kDatagramsPerSlice));
    EXPECT_GE(turnsInside, 3u);
    for (int i = 0; i < kBurst; ++i) {
        const auto& bytes = station.got[static_cast<std::size_t>(i) + 1].bytes;
        ASSERT_EQ(std::string(bytes.begin(), bytes.end()), std::to_string(i));
    }
    EXPECT_EQ(station.socket->droppedDatagrams(), 0u);
}

TEST_F(UdpNet, HandlerThatClosesTheSocketStopsTheDelivery) {
    Listener station(*bed, bed->station().ns, "0.0.0.0", 2976);
    Listener element(*bed, bed->element(1).ns, "0.0.0.0", 2977);
    int delivered = 0;
    station.socket->onDatagram = [&](ports::Datagram) {
        ++delivered;
        station.socket->close();
    };
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(element.socket->sendTo(bed->station().ip, 2976, bytesOf("abc")));
    nettest::spinFor(100);  // all five are queued before the loop runs
    nettest::spinUntil([&] { return delivered > 0; }, 1000);
    nettest::spinFor(50);
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(station.socket->state(), ports::UdpSocket::State::Closed);

    // And one that destroys it.
    Listener again(*bed, bed->station().ns, "0.0.0.0", 2976);
    again.socket->onDatagram = [&](ports::Datagram) {
        ++delivered;
        again.socket.reset();
    };
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(element.socket->sendTo(bed->station().ip, 2976, bytesOf("abc")));
    nettest::spinFor(100);
    EXPECT_EQ(delivered, 2);
}

TEST_F(UdpNet, BindFailuresAreReportedInTheSocketLayersWords) {
    Listener first(*bed, bed->station().ns, "0.0.0.0", 2976);
    bed->inNamespace(bed->station().ns, [&] {
        QtUdpSocket second;
        EXPECT_FALSE(second.bind("0.0.0.0", 2976));
        EXPECT_EQ(second.errorString(), "Address already in use");
        EXPECT_EQ(second.state(), ports::UdpSocket::State::Error);
        EXPECT_FALSE(second.sendTo(bed->element(1).ip, 1, bytesOf("x")));

        QtUdpSocket foreign;
        EXPECT_FALSE(foreign.bind("10.203.9.9", 2976));  // not an address of this host
        EXPECT_EQ(foreign.errorString(), "Cannot assign requested address");
    });
}

TEST_F(UdpNet, InterfaceListGivesTheHostsAddressesInAscendingOrder) {
    ASSERT_EQ(bed->run(bed->station().ns, "ip addr add 10.203.1.5/24 dev eth0"), 0);
    platform::LinuxInterfaceList list;
    ports::InterfaceList::Result result;
    bed->inNamespace(bed->station().ns, [&] { result = list.localAddresses(); });
    EXPECT_EQ(result.error, 0);
    EXPECT_EQ(result.addresses, (std::vector<std::string>{"10.203.1.1", "10.203.1.5", "10.203.2.1", "127.0.0.1"}));
}

}  // namespace
}  // namespace nms
