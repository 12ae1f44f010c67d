#include "ports/udp_client.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_network.h"

namespace nms::ports {
namespace {

using Kind = EventGate::Kind;

TEST(UdpClient, ARefusedDatagramNeverReachesTheQueue) {
    testing::FakeNetwork network;
    EventGate gate;
    UdpClient client(network, gate, 2976, 2976);
    std::vector<std::size_t> arrived;
    client.onDataArrival = [&](const Datagram& d) { arrived.push_back(d.bytes.size()); };
    client.acceptIncoming = [](const Datagram& d) { return d.bytes.size() % 2 == 1; };
    ASSERT_TRUE(client.bind("0.0.0.0"));

    // While a handler is busy (a box is open), as many datagrams arrive as the kernel holds.
    gate.dispatch(Kind::Operator, [&] {
        for (std::size_t n = 0; n < 1000; ++n)
            network.deliver(2976, std::vector<std::uint8_t>(n % 10));
        EXPECT_EQ(gate.queued(), EventGate::kDatagramQueueLimit);
    });
    EXPECT_EQ(client.refusedDatagrams(), 500u);
    EXPECT_EQ(gate.dropped(Kind::Datagram), 500u - EventGate::kDatagramQueueLimit);
    ASSERT_EQ(arrived.size(), EventGate::kDatagramQueueLimit);
    for (auto n : arrived) EXPECT_EQ(n % 2, 1u);

    // Outside any handler the judgement is the same.
    arrived.clear();
    network.deliver(2976, {1, 2});
    network.deliver(2976, {1});
    EXPECT_EQ(arrived, std::vector<std::size_t>{1});
}

// A watcher (a script reading replies) sees what the owner was handed, after it, without taking
// the owner's place; what was refused or dropped it never sees.
TEST(UdpClient, WatchersSeeEachDeliveredDatagramAfterItsOwner) {
    testing::FakeNetwork network;
    EventGate gate;
    UdpClient client(network, gate, 2976, 2976);
    std::vector<std::string> seen;
    client.onDataArrival = [&](const Datagram& d) {
        seen.push_back("owner " + std::to_string(d.bytes.size()));
    };
    client.dataArrived.connect(
        [&](const Datagram& d) { seen.push_back("watcher " + std::to_string(d.bytes.size())); });
    client.acceptIncoming = [](const Datagram& d) { return !d.bytes.empty(); };
    ASSERT_TRUE(client.bind("0.0.0.0"));
    network.deliver(2976, {});
    network.deliver(2976, {7, 7});
    EXPECT_EQ(seen, (std::vector<std::string>{"owner 2", "watcher 2"}));
    EXPECT_EQ(client.deliveredDatagrams(), 1u);
    EXPECT_EQ(client.refusedDatagrams(), 1u);
}

}  // namespace
}  // namespace nms::ports
