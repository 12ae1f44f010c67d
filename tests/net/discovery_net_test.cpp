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
#include "platform/udp_socket_qt.h"
#include "protocol/address.h"
#include "store/ini_document.h"

namespace nms {
namespace {

using nettest::Testbed;

// A station home of its own: database, settings and lock never touch the machine's.
class StationHome {
public:
    StationHome() {
        char tmpl[] = "/tmp/nms-net-station-XXXXXX";
        root_ = ::mkdtemp(tmpl);
        std::filesystem::create_directories(root_ + "/cfg/vantrelo-nms");
        std::filesystem::create_directories(root_ + "/run");
        std::filesystem::permissions(root_ + "/run", std::filesystem::perms::owner_all);
        setting("EULA1", "1");
    }
    ~StationHome() { std::filesystem::remove_all(root_); }
    void setting(const char* key, const std::string& value) {
        QSettings s(QString::fromStdString(root_ + "/cfg/vantrelo-nms/Kestrova.ini"), QSettings::IniFormat);
        s.setValue(QString("Vantrelo NG/") + key, QString::fromStdString(value));
        s.sync();
    }
    std::string database() const { return root_ + "/nms.ini"; }
    std::string command(const std::string& args) const {
        return "env HOME=" + root_ + " XDG_CONFIG_HOME=" + root_ + "/cfg XDG_RUNTIME_DIR=" + root_ +
               "/run NMS_DATABASE=" + database() + " " + NMS_CLI + " " + args + " >" + root_ + "/out.txt 2>" +
               root_ + "/err.txt";
    }
    std::string output(const char* which = "out.txt") const {
        std::ifstream f(root_ + "/" + which);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    store::IniDocument records() const {
        std::ifstream f(database());
        std::stringstream s;
        s << f.rdbuf();
        return store::IniDocument::parse(s.str());
    }

private:
    std::string root_;
};

// Waits until every element daemon answers a paging request from the station's namespace.
bool daemonsReady(Testbed& bed, const std::vector<int>& indexes, int network = 1) {
    platform::QtUdpSocket probe;
    bool bound = false;
    // Another port than the station's: the station itself binds 2976 later.
    bed.inNamespace(bed.station(network).ns, [&] { bound = probe.bind(bed.station(network).ip, 2976); });
    if (!bound) return false;
    std::vector<std::string> seen;
    probe.onDatagram = [&](ports::Datagram d) { seen.push_back(d.senderAddress); };
    const std::string request = "IPMPXSTL KESTROVA PAGING REQUEST";
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(request.data()), request.size());
    auto all = [&] {
        for (int i : indexes)
            if (std::find(seen.begin(), seen.end(), bed.element(i).ip) == seen.end()) return false;
        return true;
    };
    for (int attempt = 0; attempt < 20 && !all(); ++attempt) {
        probe.sendTo("255.255.255.255", 1901, bytes);
        nettest::spinUntil(all, 250);
    }
    probe.close();
    return all();
}

std::size_t keyCount(const store::IniDocument& doc, const std::string& section) {
    const auto* s = doc.find(section);
    return s ? s->entries.size() : 0;
}
std::string value(const store::IniDocument& doc, const std::string& section, const std::string& key) {
    const auto* e = doc.find(section, key);
    return e ? e->value : "<missing>";
}

TEST(DiscoveryNet, NmsCliFindsEveryElementWithItsRecordAndASecondScanReplacesTheDatabase) {
    NMS_REQUIRE_TESTBED();
    if (Testbed::elementSimPath().empty()) GTEST_SKIP() << "vantrelo-element-sim is not built";
    nettest::ensureQtApplication();
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
    NMS_REQUIRE_TESTBED();
    if (Testbed::elementSimPath().empty()) GTEST_SKIP() << "vantrelo-element-sim is not built";
    nettest::ensureQtApplication();
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

}  // namespace
}  // namespace nms
