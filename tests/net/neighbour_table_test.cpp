#include "platform/neighbour_table_linux.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/netns_fixture.h"
#include "protocol/arp.h"

namespace nms::platform {
namespace {

using nettest::Testbed;
using State = ports::NeighbourTable::State;
using Entry = ports::NeighbourTable::Entry;

std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The station's table of a test bed: made inside the station's namespace, so its sockets ask
// that namespace's kernel wherever the test thread is afterwards.
class NeighbourTableNet : public nettest::TestbedTest {
protected:
    void SetUp() override {
        // Element 1 on the first network, element 2 on the second: two interfaces.
        makeBed(2, 2);
        if (!bedReady()) return;
        bed->inNamespace(bed->station().ns,
                         [&] { table = std::make_unique<LinuxNeighbourTable>(); });
        // A host that does not answer is given up after one probe of 100 ms, not three of a
        // second each.
        for (const char* itf : {"eth0", "eth1"}) {
            ASSERT_TRUE(bed->setSysctl(
                bed->station().ns, std::string("net/ipv4/neigh/") + itf + "/mcast_solicit", "1"));
            ASSERT_TRUE(bed->setSysctl(bed->station().ns,
                                       std::string("net/ipv4/neigh/") + itf + "/retrans_time_ms",
                                       "100"));
        }
    }

    // Waits (on the event loop) for a watch to end; its entry, or nothing when it never did.
    std::optional<Entry> resolve(const std::string& ip, int timeoutMs = 2000) {
        auto result = std::make_shared<std::optional<Entry>>();
        auto calls = std::make_shared<int>(0);
        table->whenResolved(ip, timeoutMs, [result, calls](Entry e) {
            ++*calls;
            *result = std::move(e);
        });
        EXPECT_EQ(*calls, 0) << "called from inside whenResolved";
        nettest::spinUntil([&] { return *calls > 0; }, timeoutMs + 2000);
        calls_.push_back(calls);
        return *result;
    }

    void TearDown() override {
        // Every watch of the test has ended by now; none may have been called twice.
        for (const auto& c : calls_) EXPECT_LE(*c, 1);
        table.reset();
        bed.reset();
    }

    std::string elementMac(int i) const { return upper(bed->element(i).mac); }

    std::unique_ptr<LinuxNeighbourTable> table;
    std::vector<std::shared_ptr<int>> calls_;
};

std::string formatted(const Entry& e) {
    std::string mac = "none";
    if (e.linkAddress.size() == 6) {
        char text[18];
        std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", e.linkAddress[0],
                      e.linkAddress[1], e.linkAddress[2], e.linkAddress[3], e.linkAddress[4],
                      e.linkAddress[5]);
        mac = text;
    }
    return mac;
}

TEST_F(NeighbourTableNet, AMissingAddressIsResolvedOnTheNetworkAndReportedOnce) {
    // Nothing has been sent to the element: the table has no entry yet.
    EXPECT_EQ(table->query(bed->element(1).ip).state, State::Resolving);
    EXPECT_GE(table->resolutionsStarted(), 1u);
    const auto e = resolve(bed->element(1).ip);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->state, State::Complete);
    EXPECT_EQ(formatted(*e), elementMac(1));

    // From now on the look-up answers at once, as the station's MAC look-up reads it.
    std::string mac = "unchanged";
    EXPECT_TRUE(protocol::LookupMAC(*table, bed->element(1).ip, mac, ":"));
    EXPECT_EQ(mac, elementMac(1));
    EXPECT_EQ(table->query(bed->element(1).ip).state, State::Complete);
}

TEST_F(NeighbourTableNet, EachAddressIsAskedOnTheInterfaceItIsReachedBy) {
    const auto first = resolve(bed->element(1).ip);
    const auto second = resolve(bed->element(2).ip);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(formatted(*first), elementMac(1));
    EXPECT_EQ(formatted(*second), elementMac(2));

    // Among many entries (here permanent ones nobody answers for), the one asked for is found.
    ASSERT_EQ(bed->run(bed->station().ns,
                       "for i in $(seq 100 199); do echo \"neigh add 10.203.1.$i lladdr "
                       "02:00:00:00:01:$(printf %02x "
                       "$i) dev eth0 nud permanent\"; done | ip -batch -"),
              0);
    const Entry e = table->query("10.203.1.150");
    EXPECT_EQ(e.state, State::Complete);
    EXPECT_EQ(formatted(e), "02:00:00:00:01:96");
    // The same address on the other network has no entry there.
    EXPECT_NE(table->query("10.203.2.150").state, State::Complete);
}

TEST_F(NeighbourTableNet, AnAddressWhereNobodyAnswersEndsUnreachable) {
    const auto e = resolve(bed->vacantAddress(1));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->state, State::Unreachable);
    EXPECT_TRUE(e->linkAddress.empty());
    std::string mac = "unchanged";
    EXPECT_FALSE(protocol::LookupMAC(*table, bed->vacantAddress(1), mac, ":"));
    EXPECT_EQ(mac, "unchanged");
}

TEST_F(NeighbourTableNet, AddressesOffTheLocalLinksAreUnreachableAtOnce) {
    // No route at all, a broadcast, an address of the station itself, and text that is no address.
    for (const std::string& ip :
         std::vector<std::string>{"192.0.2.7", "10.203.1.255", bed->station().ip, "10.203.1", ""}) {
        EXPECT_EQ(table->query(ip).state, State::Unreachable) << ip;
        const auto e = resolve(ip);
        ASSERT_TRUE(e) << ip;
        EXPECT_EQ(e->state, State::Unreachable) << ip;
    }
    // Behind a gateway: the element's address has no entry of its own.
    ASSERT_EQ(bed->run(bed->station().ns, "ip route add 198.51.100.0/24 via " + bed->element(1).ip),
              0);
    EXPECT_EQ(table->query("198.51.100.9").state, State::Unreachable);
}

TEST_F(NeighbourTableNet, ACancelledWatchIsNeverCalledAndTheTimeOutReportsTheStateThen) {
    bool called = false;
    const auto id = table->whenResolved(bed->element(1).ip, 2000, [&](Entry) { called = true; });
    table->cancelWatch(id);
    // A second watch of the same address ends when the first would have.
    const auto e1 = resolve(bed->element(1).ip);
    ASSERT_TRUE(e1);
    EXPECT_EQ(e1->state, State::Complete);
    EXPECT_FALSE(called);
    table->cancelWatch(id);  // harmless

    // A time-out shorter than the kernel's probe: the watch ends still resolving.
    const auto e = resolve(bed->vacantAddress(2), 20);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->state, State::Resolving);
}

}  // namespace
}  // namespace nms::platform
