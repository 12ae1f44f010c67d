// ICMP echo on real sockets inside the test bed's namespaces.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "diag/ping.h"
#include "net/netns_fixture.h"
#include "platform/icmp_linux.h"
#include "ports/colors.h"
#include "support/scripted_dialogs.h"

namespace nms {
namespace {

using nettest::Testbed;
using platform::LinuxIcmp;
namespace es = ports::echo_status;

constexpr std::uint8_t kHello[5] = {'h', 'e', 'l', 'l', 'o'};

struct Outcome {
    std::optional<ports::EchoResult> result;
    bool calledInsideEcho = false;
    std::chrono::steady_clock::time_point at;
};

// Sends one echo and waits for its outcome.
Outcome echoAndWait(LinuxIcmp& icmp, const std::string& ip, int timeoutMs) {
    Outcome o;
    bool inside = true;
    const auto id = icmp.echo(ip, kHello, timeoutMs, [&](ports::EchoResult r) {
        o.result = r;
        o.calledInsideEcho = inside;
        o.at = std::chrono::steady_clock::now();
    });
    inside = false;
    EXPECT_NE(id, 0u) << "nothing sent to " << ip;
    nettest::spinUntil([&] { return o.result.has_value(); }, timeoutMs + 2000);
    return o;
}

class IcmpNet : public ::testing::TestWithParam<LinuxIcmp::SocketKind> {
protected:
    void SetUp() override {
        NMS_REQUIRE_TESTBED();
        bed = std::make_unique<Testbed>(1);
        ASSERT_TRUE(bed->ok()) << bed->error();
        // The kernel offers datagram ICMP sockets only to the groups of ping_group_range (its
        // default "1 0" admits nobody, so root falls back to a raw socket).
        const bool datagram = GetParam() == LinuxIcmp::SocketKind::Datagram;
        ASSERT_TRUE(bed->setSysctl(bed->station().ns, "net/ipv4/ping_group_range", datagram ? "0 2147483647" : "1 0"));
        bed->inNamespace(bed->station().ns, [&] {
            icmp = std::make_unique<LinuxIcmp>();
            ASSERT_TRUE(icmp->available());
        });
        ASSERT_EQ(icmp->socketKind(), GetParam());
    }
    void TearDown() override {
        icmp.reset();
        bed.reset();
    }

    std::unique_ptr<Testbed> bed;
    std::unique_ptr<LinuxIcmp> icmp;
};

TEST_P(IcmpNet, EchoToAnElementHostSucceedsWithItsRoundTrip) {
    const auto o = echoAndWait(*icmp, bed->element(1).ip, 3000);
    ASSERT_TRUE(o.result);
    EXPECT_FALSE(o.calledInsideEcho);
    EXPECT_EQ(o.result->status, es::kSuccess);
    EXPECT_LT(o.result->roundTripMs, 3000u);
    std::printf("echo round trip to %s: %u ms\n", bed->element(1).ip.c_str(), o.result->roundTripMs);
    EXPECT_EQ(icmp->inFlight(), 0u);
}

TEST_P(IcmpNet, EchoToAnAddressWithNoHostTimesOut) {
    // A neighbour entry that no host owns: the request leaves and nothing answers.
    const std::string vacant = bed->vacantAddress();
    ASSERT_EQ(bed->run(bed->station().ns, "ip neigh replace " + vacant + " lladdr 02:cb:00:00:00:99 nud permanent dev " +
                                              bed->station().interface),
              0);
    const auto sent = std::chrono::steady_clock::now();
    const auto o = echoAndWait(*icmp, vacant, 400);
    ASSERT_TRUE(o.result);
    EXPECT_EQ(o.result->status, es::kTimedOut);
    EXPECT_GE(o.at - sent, std::chrono::milliseconds(400));
}

TEST_P(IcmpNet, FailedAddressResolutionReportsHostUnreachable) {
    const std::string dev = "net/ipv4/neigh/" + bed->station().interface + "/";
    const std::string& st = bed->station().ns;
    ASSERT_TRUE(bed->setSysctl(st, dev + "mcast_solicit", "1"));
    ASSERT_TRUE(bed->setSysctl(st, dev + "ucast_solicit", "0"));
    ASSERT_TRUE(bed->setSysctl(st, dev + "app_solicit", "0"));
    ASSERT_TRUE(bed->setSysctl(st, dev + "retrans_time_ms", "100"));
    const auto o = echoAndWait(*icmp, "10.203.1.251", 2500);
    ASSERT_TRUE(o.result);
    EXPECT_EQ(o.result->status, es::kDestHostUnreachable);
}

TEST_P(IcmpNet, NoRouteReportsNetUnreachableLater) {
    const auto o = echoAndWait(*icmp, "10.203.77.1", 1000);
    ASSERT_TRUE(o.result);
    EXPECT_FALSE(o.calledInsideEcho);
    EXPECT_EQ(o.result->status, es::kDestNetUnreachable);
}

TEST_P(IcmpNet, ConcurrentEchoesAreMatchedToTheirOwnRequests) {
    const std::string vacant = bed->vacantAddress();
    ASSERT_EQ(bed->run(bed->station().ns, "ip neigh replace " + vacant + " lladdr 02:cb:00:00:00:99 nud permanent dev " +
                                              bed->station().interface),
              0);
    std::optional<ports::EchoResult> toVacant, toElement, cancelled;
    icmp->echo(vacant, kHello, 500, [&](ports::EchoResult r) { toVacant = r; });
    const auto cancelId = icmp->echo(bed->element(1).ip, kHello, 500, [&](ports::EchoResult r) { cancelled = r; });
    icmp->echo(bed->element(1).ip, kHello, 500, [&](ports::EchoResult r) { toElement = r; });
    icmp->cancel(cancelId);
    nettest::spinUntil([&] { return toVacant && toElement; }, 3000);
    nettest::spinFor(50);
    ASSERT_TRUE(toVacant && toElement);
    EXPECT_EQ(toElement->status, es::kSuccess);
    EXPECT_EQ(toVacant->status, es::kTimedOut);
    EXPECT_FALSE(cancelled) << "a cancelled echo reported";
}

INSTANTIATE_TEST_SUITE_P(SocketKinds, IcmpNet,
                         ::testing::Values(LinuxIcmp::SocketKind::Raw, LinuxIcmp::SocketKind::Datagram),
                         [](const auto& p) {
                             return p.param == LinuxIcmp::SocketKind::Raw ? std::string("Raw") : std::string("Datagram");
                         });

TEST(PingNet, ButtonShowsTheRoundTripAndTheWireCarriesHello) {
    NMS_REQUIRE_TESTBED();
    Testbed bed(1);
    ASSERT_TRUE(bed.ok()) << bed.error();

    // A raw socket on the element's side sees the request as it arrived.
    int sniffer = -1;
    bed.inNamespace(bed.element(1).ns, [&] { sniffer = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK, IPPROTO_ICMP); });
    ASSERT_GE(sniffer, 0);

    std::unique_ptr<LinuxIcmp> icmp;
    bed.inNamespace(bed.station().ns, [&] { icmp = std::make_unique<LinuxIcmp>(); });
    testing::ScriptedDialogs dialogs;
    ports::EventGate gate;
    ports::Button cmdPing{"cmdPing"};
    ports::TextBox txtElementIP{"txtElementIP"};
    diag::Ping ping(*icmp, dialogs, gate, cmdPing, txtElementIP);

    txtElementIP.setText(bed.element(1).ip);
    ping.cmdPing_Click();
    EXPECT_EQ(cmdPing.caption(), "Trying...");
    ASSERT_TRUE(nettest::spinUntil([&] { return cmdPing.caption() != "Trying..."; }, 4000));
    EXPECT_EQ(cmdPing.backColor(), ports::kGreen);
    EXPECT_NE(cmdPing.caption().find(" ms"), std::string::npos) << cmdPing.caption();

    std::uint8_t packet[256];
    bool sawRequest = false;
    for (;;) {
        const ssize_t n = ::recv(sniffer, packet, sizeof packet, 0);
        if (n < 0) break;
        const std::size_t ip = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
        if (static_cast<std::size_t>(n) < ip + 8 || packet[ip] != 8) continue;  // echo requests only
        sawRequest = true;
        EXPECT_EQ(static_cast<std::size_t>(n) - ip - 8, 5u);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(packet + ip + 8), static_cast<std::size_t>(n) - ip - 8), "hello");
    }
    ::close(sniffer);
    EXPECT_TRUE(sawRequest);
}

}  // namespace
}  // namespace nms
