// nms-cli against element daemons in their own network namespaces: one paging scan exactly as the
// window runs it, on real sockets, broadcast and neighbour table.

#include <QSettings>
#include <QString>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/netns_fixture.h"
#include "net/station_home.h"
#include "platform/udp_socket_qt.h"
#include "protocol/address.h"
#include "store/ini_document.h"

namespace nms {
namespace {

using nettest::Testbed;
using nettest::StationHome;
using nettest::daemonsReady;
using nettest::keyCount;
using nettest::value;

TEST(DiscoveryNet, NmsCliFindsEveryElementWithItsRecordAndASecondScanReplacesTheDatabase) {
    NMS_REQUIRE_ELEMENT_DAEMONS();
    Testbed bed(3);
    ASSERT_TRUE(bed.ok()) << bed.error();
    ASSERT_NE(bed.startElementSim(1, {"--role", "encoder", "--name", "ENC UNICAST", "--fw", "3.70", "--tx", "0"}), 0);
    ASSERT_NE(bed.startElementSim(2, {"--role", "encoder", "--name", "ENC MULTI", "--fw", "3.72", "--tx", "1"}), 0);
    const pid_t decoder = bed.startElementSim(3, {"--role", "decoder", "--name", "DEC SFN", "--fw", "3.75"});
    ASSERT_NE(decoder, 0);
    ASSERT_TRUE(daemonsReady(bed, {1, 2, 3}));

    StationHome home;
    ASSERT_EQ(bed.run(bed.station().ns, home.command("discover --yes --timeout 2")), 0) << home.output("err.txt");
    auto doc = home.records();
    ASSERT_EQ(doc.sections().size(), 3u) << home.output() << home.output("err.txt");
    const std::string enc1 = protocol::Encode_MAC(bed.element(1).mac);
    const std::string enc2 = protocol::Encode_MAC(bed.element(2).mac);
    const std::string dec = protocol::Encode_MAC(bed.element(3).mac);
    EXPECT_EQ(keyCount(doc, enc1), 15u);
    EXPECT_EQ(value(doc, enc1, "IP"), bed.element(1).ip);
    EXPECT_EQ(value(doc, enc1, "NAME"), "ENC UNICAST     ");
    EXPECT_EQ(value(doc, enc1, "ROLE"), "1");
    EXPECT_EQ(value(doc, enc1, "VER"), "3.70");
    EXPECT_NE(value(doc, enc1, "REMOTE"), "<missing>");
    EXPECT_EQ(value(doc, enc1, "MULTI"), "<missing>");
    EXPECT_EQ(keyCount(doc, enc2), 15u);
    EXPECT_NE(value(doc, enc2, "MULTI"), "<missing>");
    EXPECT_EQ(value(doc, enc2, "REMOTE"), "<missing>");
    EXPECT_EQ(keyCount(doc, dec), 19u);
    EXPECT_EQ(value(doc, dec, "ROLE"), "2");
    EXPECT_NE(value(doc, dec, "MULTI"), "<missing>");
    EXPECT_EQ(value(doc, dec, "REMOTE"), "<missing>");
    EXPECT_NE(home.output().find("\n3 elements\n"), std::string::npos) << home.output();

    // Without --yes the confirmation is answered No: no scan, and the exit status says so.
    EXPECT_NE(bed.run(bed.station().ns, home.command("discover --timeout 2")), 0);
    EXPECT_NE(home.output("err.txt").find("Are you sure?"), std::string::npos);
    EXPECT_EQ(home.records().sections().size(), 3u);

    // The second scan replaces the database: the decoder is gone from the network.
    bed.stop(decoder);
    ASSERT_EQ(bed.run(bed.station().ns, home.command("discover --yes --timeout 2 --json")), 0);
    doc = home.records();
    EXPECT_EQ(doc.sections().size(), 2u);
    EXPECT_EQ(doc.find(dec), nullptr);
    EXPECT_NE(home.output().find("\"key\": \"" + enc1 + "\""), std::string::npos) << home.output();
}

TEST(DiscoveryNet, AStationBoundToOneInterfacePagesOnlyThatNetwork) {
    NMS_REQUIRE_ELEMENT_DAEMONS();
    Testbed bed(2, 2);
    ASSERT_TRUE(bed.ok()) << bed.error();
    ASSERT_NE(bed.element(1).network, bed.element(2).network);
    ASSERT_NE(bed.startElementSim(1, {"--role", "encoder", "--name", "NET ONE"}), 0);
    ASSERT_NE(bed.startElementSim(2, {"--role", "decoder", "--name", "NET TWO"}), 0);
    ASSERT_TRUE(daemonsReady(bed, {bed.element(1).network == 1 ? 1 : 2}, 1));

    StationHome home;
    home.setting("NMS IP Address", bed.station(1).ip);
    ASSERT_EQ(bed.run(bed.station(1).ns, home.command("discover --yes --timeout 2")), 0) << home.output("err.txt");
    const auto doc = home.records();
    ASSERT_EQ(doc.sections().size(), 1u) << home.output();
    const int onOne = bed.element(1).network == 1 ? 1 : 2;
    EXPECT_NE(doc.find(protocol::Encode_MAC(bed.element(onOne).mac)), nullptr);

    // Bound to all interfaces, the same station finds both.
    home.setting("NMS IP Address", "0.0.0.0");
    ASSERT_EQ(bed.run(bed.station(1).ns, home.command("discover --yes --timeout 2")), 0);
    EXPECT_EQ(home.records().sections().size(), 2u) << home.output();
}

// An element that already knows the station answers without asking for its address, so the
// station's kernel may hold no entry for it (flushed, or crowded out of a full table). The scan
// resolves the address itself instead of reporting the element without a MAC.
TEST(DiscoveryNet, AnElementMissingFromTheStationsNeighbourTableIsStillFound) {
    NMS_REQUIRE_ELEMENT_DAEMONS();
    Testbed bed(2);
    ASSERT_TRUE(bed.ok()) << bed.error();
    ASSERT_NE(bed.startElementSim(1, {"--role", "encoder", "--name", "KNOWN"}), 0);
    ASSERT_NE(bed.startElementSim(2, {"--role", "decoder", "--name", "ALSO KNOWN"}), 0);
    ASSERT_TRUE(daemonsReady(bed, {1, 2}));

    StationHome home;
    ASSERT_EQ(bed.run(bed.station().ns, home.command("discover --yes --timeout 2")), 0) << home.output("err.txt");
    ASSERT_EQ(home.records().sections().size(), 2u) << home.output("err.txt");
    // The elements keep the station's address; the station forgets theirs.
    ASSERT_EQ(bed.run(bed.station().ns, "ip neigh flush all >/dev/null 2>&1"), 0);
    ASSERT_EQ(bed.run(bed.station().ns, home.command("discover --yes --timeout 2")), 0) << home.output("err.txt");
    const auto doc = home.records();
    EXPECT_EQ(doc.sections().size(), 2u) << home.output("err.txt");
    EXPECT_NE(doc.find(protocol::Encode_MAC(bed.element(1).mac)), nullptr);
    EXPECT_NE(doc.find(protocol::Encode_MAC(bed.element(2).mac)), nullptr);
    EXPECT_EQ(home.output("err.txt").find("'Element MAC'"), std::string::npos) << home.output("err.txt");
}

}  // namespace
}  // namespace nms
