// The element simulator daemon answering the station's paging on real sockets.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/netns_fixture.h"
#include "platform/udp_socket_qt.h"
#include "protocol/feedback.h"

namespace nms {
namespace {

using nettest::Testbed;

TEST(ElementDaemonNet, ElementsAnswerAPagingBroadcastOnEveryNetwork) {
    NMS_REQUIRE_ELEMENT_DAEMONS();
    Testbed bed(2, 2);
    ASSERT_TRUE(bed.ok()) << bed.error();
    ASSERT_NE(bed.startElementSim(1, {"--role", "encoder", "--name", "ENC ONE", "--fw", "3.70", "--tx", "0"}), 0);
    ASSERT_NE(bed.startElementSim(2, {"--role", "decoder", "--name", "DEC TWO", "--fw", "3.70"}), 0);

    platform::QtUdpSocket station;
    bed.inNamespace(bed.station().ns, [&] { ASSERT_TRUE(station.bind("0.0.0.0", 2976)) << station.errorString(); });
    std::vector<ports::Datagram> got;
    station.onDatagram = [&](ports::Datagram d) { got.push_back(std::move(d)); };

    auto answeredBy = [&](const std::string& ip) {
        for (const auto& d : got)
            if (d.senderAddress == ip) return &d;
        return static_cast<const ports::Datagram*>(nullptr);
    };
    const std::string request = "IPMPXSTL KESTROVA PAGING REQUEST";
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(request.data()), request.size());
    // The daemons need a moment to bind their ports; page again until both have answered.
    for (int attempt = 0; attempt < 20 && !(answeredBy(bed.element(1).ip) && answeredBy(bed.element(2).ip)); ++attempt) {
        ASSERT_TRUE(station.sendTo("255.255.255.255", 1901, bytes)) << station.errorString();
        nettest::spinUntil([&] { return answeredBy(bed.element(1).ip) && answeredBy(bed.element(2).ip); }, 250);
    }

    for (int i : {1, 2}) {
        const auto* answer = answeredBy(bed.element(i).ip);
        ASSERT_NE(answer, nullptr) << "element " << i << " did not answer";
        EXPECT_LE(answer->bytes.size(), 56u);
        EXPECT_NE(answer->bytes.size(), 4u);
        const auto record = protocol::decodeFeedback(answer->bytes, {});
        EXPECT_EQ(record.ip, bed.element(i).ip);
        EXPECT_EQ(record.role, i == 1 ? 1 : 2);
        EXPECT_EQ(record.name.substr(0, 7), i == 1 ? "ENC ONE" : "DEC TWO");
    }
}

}  // namespace
}  // namespace nms
