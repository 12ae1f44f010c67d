#include "sim/crowd.h"

#include <gtest/gtest.h>

#include "protocol/commands.h"
#include "protocol/paging.h"
#include "protocol/statistics.h"

namespace nms::sim {
namespace {

const Mac kStationMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const Ipv4 kStationIp{10, 204, 255, 1};

// Twelve elements from 10.204.0.2 (element i at .i+1); every fourth and the last three silent.
Crowd twelve() {
    CrowdOptions o;
    o.count = 12;
    o.silentEvery = 4;
    o.silentFrom = 10;
    return Crowd(o);
}

Frame getStats(const Crowd& crowd, int number) {
    const auto& id = crowd.element(number).identity();
    const auto request = protocol::requestBytes(protocol::kGetStatsRequest);
    return udpFrame(id.mac, kStationMac, kStationIp, id.ip, protocol::kPortStatistics,
                    protocol::kPortStatistics, request);
}

std::uint16_t at16(const Frame& f, std::size_t i) {
    return static_cast<std::uint16_t>((f[i] << 8) | f[i + 1]);
}
Mac macAt(const Frame& f, std::size_t i) {
    return {f[i], f[i + 1], f[i + 2], f[i + 3], f[i + 4], f[i + 5]};
}
Ipv4 ipAt(const Frame& f, std::size_t i) {
    return {f[i], f[i + 1], f[i + 2], f[i + 3]};
}

TEST(Crowd, AnElementAnswersGetStatsWithItsOwnReplyFromItsOwnAddressAndMac) {
    Crowd crowd = twelve();
    const auto handled = crowd.handle(getStats(crowd, 3), 90000);
    ASSERT_EQ(handled.kind, Crowd::Kind::Request);
    ASSERT_EQ(handled.answers.size(), 1u);
    ASSERT_EQ(handled.answers[0].size(), 1u);
    const Frame& f = handled.answers[0][0];
    const auto& id = crowd.element(3).identity();
    const auto expected = crowd.element(3).statisticsReply(90000);
    ASSERT_EQ(f.size(), 42 + expected.size());
    EXPECT_EQ(macAt(f, 0), kStationMac);
    EXPECT_EQ(macAt(f, 6), id.mac);
    EXPECT_EQ(at16(f, 12), 0x0800);
    // A header the station's kernel takes: its checksum sums to 0xFFFF with itself.
    std::uint32_t sum = 0;
    for (std::size_t i = 14; i < 34; i += 2) sum += at16(f, i);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    EXPECT_EQ(sum, 0xFFFFu);
    EXPECT_EQ(ipAt(f, 26), id.ip);
    EXPECT_EQ(ipAt(f, 30), kStationIp);
    EXPECT_EQ(at16(f, 34), protocol::kPortStatistics);
    EXPECT_EQ(at16(f, 36), protocol::kPortStatistics);
    EXPECT_EQ(at16(f, 38), 8 + expected.size());
    EXPECT_EQ(Frame(f.begin() + 42, f.end()), expected);
    EXPECT_EQ(crowd.requestsAnswered, 1u);
}

TEST(Crowd, SilentElementsAreFoundByPagingAndArpButNeverAnswerTheirStatistics) {
    Crowd crowd = twelve();
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(crowd.silent(i), i == 4 || i == 8 || i >= 10) << "element " << i;

    const auto paging = protocol::requestBytes(protocol::kPagingRequest);
    const auto page = crowd.handle(
        udpFrame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, kStationMac, kStationIp,
                 {255, 255, 255, 255}, protocol::kPortFeedback, protocol::kPortPaging, paging),
        0);
    EXPECT_EQ(page.kind, Crowd::Kind::Paging);
    EXPECT_EQ(page.answers.size(), 12u);

    // An ARP request of the station for element 8's address.
    const auto& silent = crowd.element(8).identity();
    Frame arp(42, 0);
    for (int i = 0; i < 6; ++i) arp[static_cast<std::size_t>(i)] = 0xFF;
    std::copy(kStationMac.begin(), kStationMac.end(), arp.begin() + 6);
    const std::uint8_t header[] = {0x08, 0x06, 0, 1, 0x08, 0x00, 6, 4, 0, 1};
    std::copy(std::begin(header), std::end(header), arp.begin() + 12);
    std::copy(kStationMac.begin(), kStationMac.end(), arp.begin() + 22);
    std::copy(kStationIp.begin(), kStationIp.end(), arp.begin() + 28);
    std::copy(silent.ip.begin(), silent.ip.end(), arp.begin() + 38);
    const auto resolved = crowd.handle(arp, 0);
    ASSERT_EQ(resolved.answers.size(), 1u);
    EXPECT_EQ(macAt(resolved.answers[0][0], 22), silent.mac);

    int answered = 0;
    for (int i = 1; i <= 12; ++i) {
        const auto handled = crowd.handle(getStats(crowd, i), 5000);
        EXPECT_EQ(handled.kind, crowd.silent(i) ? Crowd::Kind::Silent : Crowd::Kind::Request);
        answered += static_cast<int>(handled.answers.size());
    }
    EXPECT_EQ(answered, 7);
    EXPECT_EQ(crowd.requestsIgnored, 5u);
}

// Sites behind a router: each element answers a paging request sent to its own address, alone,
// toward the router's MAC, and asks nothing of the station's address (not on its link). An
// address the crowd does not hold, sent to the crowd's link, is not answered by anyone.
TEST(Crowd, ARoutedPagingRequestIsAnsweredByItsElementAloneThroughTheRouter) {
    CrowdOptions o;
    o.first = {10, 211, 1, 1};
    o.mask = {255, 255, 255, 0};
    o.count = 5;
    o.perSubnet = 2;
    o.firstSerial = 7000;
    Crowd crowd(o);
    EXPECT_EQ(crowd.element(2).identity().ip, (Ipv4{10, 211, 1, 2}));
    EXPECT_EQ(crowd.element(3).identity().ip, (Ipv4{10, 211, 2, 1}));
    EXPECT_EQ(crowd.element(5).identity().ip, (Ipv4{10, 211, 3, 1}));
    EXPECT_EQ(crowd.element(5).identity().serial, 7004);

    const Mac router{0x02, 0x00, 0x00, 0x00, 0x00, 0xFE};
    const Ipv4 station{10, 210, 0, 1};
    const auto paging = protocol::requestBytes(protocol::kPagingRequest);
    const auto& id = crowd.element(4).identity();
    const auto page = crowd.handle(udpFrame(id.mac, router, station, id.ip, protocol::kPortFeedback,
                                            protocol::kPortPaging, paging),
                                   0);
    ASSERT_EQ(page.answers.size(), 1u);
    ASSERT_EQ(page.answers[0].size(), 1u);  // the feedback datagram, no ARP request before it
    const Frame& f = page.answers[0][0];
    EXPECT_EQ(macAt(f, 0), router);
    EXPECT_EQ(ipAt(f, 26), id.ip);
    EXPECT_EQ(ipAt(f, 30), station);
    EXPECT_EQ(crowd.pagingAnswered, 1u);

    const auto stray = crowd.handle(udpFrame(id.mac, router, station, {10, 211, 2, 9},
                                             protocol::kPortFeedback, protocol::kPortPaging, paging),
                                    0);
    EXPECT_TRUE(stray.answers.empty());
}

}  // namespace
}  // namespace nms::sim
