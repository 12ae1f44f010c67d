// nms-cli's commands that act on one element, against element daemons in their own network
// namespaces: a configuration saved and confirmed, statistics, and the SFN delay; and the same
// with elements on sites behind a router, found by a scan.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "net/netns_fixture.h"
#include "net/station_home.h"
#include "protocol/address.h"

namespace nms {
namespace {

using nettest::StationHome;
using nettest::Testbed;

class CliCommandsNet : public ::testing::Test {
protected:
    void SetUp() override {
        NMS_REQUIRE_ELEMENT_DAEMONS();
        bed = std::make_unique<Testbed>(3);
        ASSERT_TRUE(bed->ok()) << bed->error();
        ASSERT_NE(bed->startElementSim(1, {"--role", "encoder", "--name", "ENC", "--fw", "3.72",
                                           "--tx", "1", "--remote", "239.192.0.5"}),
                  0);
        decoder = bed->startElementSim(2, {"--role", "decoder", "--name", "DEC SFN", "--fw", "3.75",
                                           "--sfn", "1", "--delay", "120000"});
        ASSERT_NE(decoder, 0);
        silent = bed->startElementSim(3, {"--role", "decoder", "--name", "QUIET", "--fw", "3.70"});
        ASSERT_NE(silent, 0);
        ASSERT_TRUE(nettest::daemonsReady(*bed, {1, 2, 3}));
        ASSERT_EQ(run("discover --yes --timeout 2"), 0) << home.output("err.txt");
        ASSERT_EQ(home.records().sections().size(), 3u) << home.output();
    }
    int run(const std::string& args) { return bed->run(bed->station().ns, home.command(args)); }
    std::string mac(int i) { return bed->element(i).mac; }
    std::string stored(int i, const char* key) {
        return nettest::value(home.records(), protocol::Encode_MAC(mac(i)), key);
    }

    std::unique_ptr<Testbed> bed;
    StationHome home;
    pid_t decoder = 0;
    pid_t silent = 0;
};

TEST_F(CliCommandsNet, SetChangesAnElementAndTheElementConfirmsIt) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(run("set " + mac(1) + " name=\"On Air\" multi=239.192.0.9 --yes --json"), 0)
        << home.output("err.txt");
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("save round trip through nms-cli (process start to confirmation): %.0f ms\n", ms);
    const std::string out = home.output();
    EXPECT_NE(out.find("\"confirmed\": true"), std::string::npos) << out;
    EXPECT_NE(out.find("{\"key\": \"name\", \"from\": \"ENC\", \"to\": \"ON AIR\"}"),
              std::string::npos)
        << out;
    EXPECT_EQ(stored(1, "NAME"), "ON AIR          ");
    EXPECT_EQ(stored(1, "MULTI"), "239.192.0.9");

    ASSERT_EQ(run("set " + mac(2) + " buf=7 --yes"), 0) << home.output("err.txt");
    EXPECT_EQ(stored(2, "BUF"), "7");

    // Without --yes nothing is sent, and the status says it was refused.
    EXPECT_EQ(run("set " + mac(2) + " buf=9"), 3);
    EXPECT_EQ(stored(2, "BUF"), "7");
    // A value the control cannot take is refused before anything is sent, naming the key.
    EXPECT_EQ(run("set " + mac(2) + " sdm=9 --yes"), 3);
    EXPECT_NE(home.output("err.txt").find("sdm takes one of"), std::string::npos);
}

TEST_F(CliCommandsNet, SetOnASilentElementTimesOut) {
    bed->stop(silent);
    EXPECT_EQ(run("set " + mac(3) + " name=GONE --yes"), 5) << home.output("err.txt");
    EXPECT_NE(
        home.output("err.txt").find("Waiting for a response from Network Element has timed out!"),
        std::string::npos);
    EXPECT_EQ(stored(3, "NAME"), "QUIET           ");
}

// A cable out is said and survived: each command fails with 1, and a discovery that cannot page
// leaves the database as it was (the one before the last discovery is kept beside it).
TEST_F(CliCommandsNet, ALinkDownFailsTheCommandAndChangesNothing) {
    ASSERT_EQ(run("discover --yes --timeout 1"), 0) << home.output("err.txt");
    const std::string database = home.output("nms.ini");
    EXPECT_EQ(store::IniDocument::parse(home.output("nms.ini.bak")).sections().size(), 3u);
    ASSERT_EQ(bed->run(bed->station().ns, "ip link set dev " + bed->station().interface + " down"), 0);

    EXPECT_EQ(run("discover --yes --timeout 1"), 1) << home.output("err.txt");
    EXPECT_NE(home.output("err.txt").find("Unable to send the paging request: Network is unreachable"),
              std::string::npos)
        << home.output("err.txt");
    EXPECT_EQ(home.output("nms.ini"), database);

    EXPECT_EQ(run("set " + mac(1) + " name=GONE --yes"), 1) << home.output("err.txt");
    EXPECT_NE(home.output("err.txt").find("101 - Unable to use UDP port 2976: Network is unreachable"),
              std::string::npos)
        << home.output("err.txt");
    EXPECT_EQ(stored(1, "NAME"), "ENC             ");

    EXPECT_EQ(run("set-delay " + mac(2) + " 1500 --yes"), 1) << home.output("err.txt");
    EXPECT_NE(home.output("err.txt").find("Unable to use UDP port 2978: Network is unreachable"),
              std::string::npos)
        << home.output("err.txt");
    EXPECT_EQ(stored(2, "DLY"), "1200");
}

TEST_F(CliCommandsNet, StatsDelayAndSetDelayTalkToTheDecoderOnPort2978) {
    ASSERT_EQ(run("stats " + mac(2) + " --json"), 0) << home.output("err.txt");
    std::string out = home.output();
    EXPECT_NE(out.find("\"role\": \"DECODER\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"ethernet\": {\"state\": \"green\""), std::string::npos) << out;

    ASSERT_EQ(run("delay " + mac(2) + " --json"), 0) << home.output("err.txt");
    out = home.output();
    EXPECT_NE(out.find("\"additional_delay_ns\": 120000"), std::string::npos) << out;

    ASSERT_EQ(run("set-delay " + mac(2) + " 1500 --servo off --yes"), 0) << home.output("err.txt");
    EXPECT_EQ(stored(2, "DLY"), "1500");
    EXPECT_EQ(stored(2, "SRV"), "0");
    ASSERT_EQ(run("delay " + mac(2) + " --json"), 0);
    EXPECT_NE(home.output().find("\"additional_delay_ns\": 150000"), std::string::npos)
        << home.output();

    // The set has no answer of its own: a unit that did not take it is found by reading back.
    bed->stop(decoder);
    decoder = bed->startElementSim(2, {"--role", "decoder", "--name", "DEC SFN", "--fw", "3.75", "--sfn", "1",
                                       "--delay", "120000", "--keep-delay", "1"});
    ASSERT_TRUE(nettest::daemonsReady(*bed, {2}));
    EXPECT_EQ(run("set-delay " + mac(2) + " 1500 --servo off --yes"), 4) << home.output("err.txt");
    EXPECT_NE(home.output("err.txt").find("the element reports additional delay"), std::string::npos)
        << home.output("err.txt");

    // An encoder has no delay to measure; a silent element gives no statistics.
    EXPECT_EQ(run("delay " + mac(1)), 3);
    bed->stop(silent);
    EXPECT_EQ(run("stats " + mac(3)), 5);
}

// Port 2978 is open to anyone: while the silent element is asked, what another host sends there
// is not its figures. The command says it had no answer, and how much it ignored.
TEST_F(CliCommandsNet, StatsOfASilentElementTakeNoOtherHostsReply) {
    bed->stop(silent);
    platform::QtUdpSocket sprayer;
    bed->inNamespace(bed->element(1).ns, [&] { ASSERT_TRUE(sprayer.bind(bed->element(1).ip, 0)); });
    std::atomic<bool> done{false};
    std::thread spray([&] {
        const std::vector<std::uint8_t> reply(66, 0x11);
        while (!done) {
            sprayer.sendTo(bed->station().ip, 2978, reply);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const int status = run("stats " + mac(3) + " --json");
    done = true;
    spray.join();
    EXPECT_EQ(status, 5) << home.output();
    EXPECT_EQ(home.output(), "");
    EXPECT_NE(home.output("err.txt").find("other datagrams on port 2978 ignored"), std::string::npos)
        << home.output("err.txt");
}

}  // namespace
}  // namespace nms

namespace nms {
namespace {

TEST_F(CliCommandsNet, MonitorWatchesThePlantAndKeepsTheMetricsFile) {
    bed->stop(silent);
    const std::string metrics = home.database() + ".prom";
    ASSERT_EQ(run("monitor --interval 2 --cycles 3 --json --metrics-file " + metrics), 0)
        << home.output("err.txt");
    const std::string out = home.output();
    // One line per change: the answering elements come online, the silent one goes offline.
    EXPECT_NE(out.find("\"name\": \"ENC\", \"severity\": \"\", \"what\": \"health\", \"from\": "
                       "\"unknown\", \"to\": \"online\""),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\"to\": \"offline\""), std::string::npos) << out;
    std::ifstream f(metrics);
    std::stringstream text;
    text << f.rdbuf();
    EXPECT_NE(
        text.str().find("vantrelo_element_info{mac=\"" +
                        protocol::Decode_MAC(protocol::Encode_MAC(mac(2))) + "\",name=\"DEC SFN\""),
        std::string::npos)
        << text.str();
    // The journal keeps what happened.
    ASSERT_EQ(run("events --json --element " + mac(3)), 0);
    EXPECT_NE(home.output().find("\"to\": \"offline\""), std::string::npos) << home.output();
}

// The figure after `"key": ` in nms-cli's JSON, each time it appears.
std::vector<long long> figures(const std::string& json, const std::string& key) {
    std::vector<long long> out;
    const std::string tag = "\"" + key + "\": ";
    for (auto at = json.find(tag); at != std::string::npos; at = json.find(tag, at + 1))
        out.push_back(std::atoll(json.c_str() + at + tag.size()));
    return out;
}

// Three SFN decoders of one stream on paths tens of microseconds apart: one apply brings their
// totals within one step of 100 ns, as the decoders themselves report them afterwards.
TEST(SfnOverviewNet, OneApplyBringsTheDecodersTotalsWithinOneStep) {
    NMS_REQUIRE_ELEMENT_DAEMONS();
    Testbed bed(3);
    ASSERT_TRUE(bed.ok()) << bed.error();
    StationHome home;
    const char* paths[] = {"850000", "912345", "1003210"};
    for (int i = 1; i <= 3; ++i)
        ASSERT_NE(bed.startElementSim(i, {"--role", "decoder", "--name", "TX " + std::to_string(i),
                                          "--sfn", "1", "--tx", "1", "--remote", "239.192.50.1",
                                          "--delay", i == 2 ? "120000" : "0", "--net-delay",
                                          paths[i - 1]}),
                  0);
    ASSERT_TRUE(nettest::daemonsReady(bed, {1, 2, 3}));
    auto run = [&](const std::string& args) {
        return bed.run(bed.station().ns, home.command(args));
    };
    ASSERT_EQ(run("discover --yes --timeout 2"), 0) << home.output("err.txt");

    ASSERT_EQ(run("sfn --seconds 2 --apply --yes --json"), 0) << home.output("err.txt");
    const std::string out = home.output();
    EXPECT_EQ(figures(out, "answered").size(), 3u) << out;
    EXPECT_EQ(out.find("\"recorded\": false"), std::string::npos) << out;
    const auto before = figures(out, "spread_before_ns");
    const auto after = figures(out, "spread_after_ns");
    const auto achieved = figures(out, "spread_achieved_ns");
    const auto confirmedMs = figures(out, "apply_to_last_confirmation_ms");
    ASSERT_EQ(achieved.size(), 1u) << out;
    ASSERT_EQ(confirmedMs.size(), 1u) << out;
    EXPECT_GT(before.at(0), 100000);
    EXPECT_LT(after.at(0), 100);
    // Measured again after the apply: within one step of each other.
    EXPECT_LT(achieved.at(0), 100) << out;
    std::printf(
        "three decoders in namespaces: spread before %lld ns, proposed after %lld ns, measured "
        "after %lld ns; apply to last confirmation %lld ms\n",
        before.at(0), after.at(0), achieved.at(0), confirmedMs.at(0));
    // A decoder holds what was proposed for it.
    const std::string mac = protocol::Decode_MAC(protocol::Encode_MAC(bed.element(2).mac));
    const auto entry = out.find("{\"mac\": \"" + mac + "\"");
    ASSERT_NE(entry, std::string::npos) << out;
    const auto proposed = figures(out.substr(entry, out.find('}', entry) - entry), "proposed_steps");
    ASSERT_EQ(proposed.size(), 1u);
    ASSERT_EQ(run("delay " + mac + " --json"), 0) << home.output("err.txt");
    EXPECT_EQ(figures(home.output(), "additional_delay_ns"),
              std::vector<long long>{proposed.at(0) * 100})
        << home.output();
}

}  // namespace
}  // namespace nms

namespace nms {
namespace {

// Sites: subnets behind a router, which the station pages by unicast, one address at a time,
// and whose elements it knows by role and serial number (it never learns their MACs: no ARP
// crosses the router). Three sites of twenty crowd elements each (.1 to .20, serials from
// 1000001, every third a decoder) and two element daemons (site 1 and 2, at .201); five crowd
// elements beside the station, known by their MACs.
class SitesNet : public ::testing::Test {
protected:
    void SetUp() override {
        NMS_REQUIRE_ELEMENT_DAEMONS();
        if (Testbed::elementCrowdPath().empty()) GTEST_SKIP() << "vantrelo-element-crowd is not built";
        if (::access("/usr/sbin/nft", X_OK) != 0 && ::access("/sbin/nft", X_OK) != 0)
            GTEST_SKIP() << "nftables (nft) is not installed: the router cannot count";
        bed = std::make_unique<Testbed>(nettest::RoutedLayout{3, 2});
        ASSERT_TRUE(bed->ok()) << bed->error();
        ASSERT_NE(bed->startCrowd(bed->crowdBehindRouter(),
                                  {"--first", "10.211.1.1", "--mask", "255.255.255.0", "--per-subnet", "20",
                                   "--count", "60", "--mac-prefix", "02:ce", "--first-serial", "1000001"}),
                  0);
        ASSERT_NE(bed->startCrowd(bed->crowdBesideStation(),
                                  {"--first", "10.210.0.10", "--mask", "255.255.255.0", "--count", "5"}),
                  0);
        ASSERT_NE(bed->startElementSim(1, {"--role", "encoder", "--name", "SITE ENC", "--serial", "4241", "--mask",
                                           "255.255.255.0", "--gw", "10.211.1.254", "--tx", "1", "--remote",
                                           "239.192.0.5"}),
                  0);
        ASSERT_NE(bed->startElementSim(2, {"--role", "decoder", "--name", "SITE SFN", "--serial", "4242", "--mask",
                                           "255.255.255.0", "--gw", "10.211.2.254", "--sfn", "1", "--delay",
                                           "120000"}),
                  0);
        ASSERT_TRUE(nettest::daemonsReady(*bed, {1, 2}));
    }
    int run(const std::string& args) { return bed->run(bed->station().ns, home.command(args)); }
    std::vector<std::string> serialSections() {
        std::vector<std::string> out;
        const auto records = home.records();
        for (const auto& s : records.sections())
            if (s.name.find("-SN") != std::string::npos) out.push_back(s.name);
        return out;
    }

    std::unique_ptr<Testbed> bed;
    StationHome home;
};

TEST_F(SitesNet, AScanFindsTheSitesElementsBySerialAndWorksWithThemBesideTheLocalOnes) {
    ASSERT_EQ(run("discover --yes --timeout 2"), 0) << home.output("err.txt");
    ASSERT_EQ(home.records().sections().size(), 5u) << home.output();
    ASSERT_EQ(run("sites add north 10.211.1.0/24"), 0) << home.output("err.txt");
    ASSERT_EQ(run("sites add south 10.211.2.0/24"), 0) << home.output("err.txt");
    ASSERT_EQ(run("sites add east 10.211.3.0/24"), 0) << home.output("err.txt");
    ASSERT_TRUE(bed->declareSubnets({"10.211.1.0/24", "10.211.2.0/24", "10.211.3.0/24"}));

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(run("scan"), 0) << home.output("err.txt");
    std::printf("scan of three /24 sites: %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    // Every host address of the three sites once, none elsewhere (the router's own .254 on each
    // is paged too, but not forwarded).
    const auto count = bed->pagingCount();
    EXPECT_EQ(count.paged, 3 * 253);
    EXPECT_EQ(count.undeclared, 0);

    // The local ones stay under their MACs; the sites' under role and serial, every one of them.
    const auto records = home.records();
    EXPECT_EQ(records.sections().size(), 5u + 62u) << home.output();
    EXPECT_NE(records.find(protocol::Encode_MAC("02:cd:00:00:00:01")), nullptr);
    EXPECT_EQ(serialSections().size(), 62u);
    for (const char* key : {"ENCODER-SN0001000001", "DECODER-SN0001000003", "DECODER-SN0001000060",
                            "ENCODER-SN0000004241", "DECODER-SN0000004242"})
        EXPECT_NE(records.find(key), nullptr) << key << "\n" << home.output();
    ASSERT_EQ(run("list --json"), 0);
    EXPECT_NE(home.output().find("\"site\": \"south\""), std::string::npos) << home.output();

    // The station's kernel knows the router and the elements beside it, nothing behind it.
    const std::string neighbours = home.database() + ".neighbours";
    ASSERT_EQ(bed->run(bed->station().ns, "ip neigh show >" + neighbours), 0);
    const std::string table = home.file("nms.ini.neighbours");
    EXPECT_NE(table.find(bed->router().mac), std::string::npos) << table;
    for (const auto& behind : std::vector<std::string>{"10.211.", "02:ce:", bed->element(1).mac, bed->element(2).mac})
        EXPECT_EQ(table.find(behind), std::string::npos) << behind << " in\n" << table;

    // A remote element saved and confirmed, its statistics, an SFN delay set and read back.
    ASSERT_EQ(run("set ENCODER-SN0000004241 name=\"On Site\" --yes --json"), 0) << home.output("err.txt");
    EXPECT_NE(home.output().find("\"confirmed\": true"), std::string::npos) << home.output();
    EXPECT_EQ(nettest::value(home.records(), "ENCODER-SN0000004241", "NAME"), "ON SITE         ");
    ASSERT_EQ(run("stats DECODER-SN0000004242 --json"), 0) << home.output("err.txt");
    EXPECT_NE(home.output().find("\"role\": \"DECODER\""), std::string::npos) << home.output();
    ASSERT_EQ(run("stats ENCODER-SN0001000002 --json"), 0) << home.output("err.txt");
    ASSERT_EQ(run("set-delay DECODER-SN0000004242 1500 --servo off --yes"), 0) << home.output("err.txt");
    ASSERT_EQ(run("delay DECODER-SN0000004242 --json"), 0) << home.output("err.txt");
    EXPECT_NE(home.output().find("\"additional_delay_ns\": 150000"), std::string::npos) << home.output();

    // The plant monitor over the segment and the sites: every element answers every cycle.
    ASSERT_EQ(run("monitor --interval 2 --cycles 2 --stats"), 0) << home.output("err.txt");
    EXPECT_NE(home.output("err.txt").find("stats: cycle 2: elements 67, replies 67, missed 0"), std::string::npos)
        << home.output("err.txt");
}

// A site of a /28 inside a /24 whose elements also sit outside it: only the fourteen inside
// are paged and answer, and the router forwards nothing to the others.
TEST_F(SitesNet, AScanNeverPagesOutsideItsSubnets) {
    ASSERT_EQ(run("sites add narrow 10.211.2.0/28"), 0) << home.output("err.txt");
    ASSERT_TRUE(bed->declareSubnets({"10.211.2.0/28"}));
    ASSERT_EQ(run("scan narrow"), 0) << home.output("err.txt");
    const auto count = bed->pagingCount();
    EXPECT_EQ(count.paged, 14);
    EXPECT_EQ(count.undeclared, 0);
    // Site 2 holds elements 21 to 40 at .1 to .20: 21 to 34 inside.
    std::vector<std::string> expected;
    for (int i = 21; i <= 34; ++i)
        expected.push_back(std::string(i % 3 == 0 ? "DECODER" : "ENCODER") + "-SN00010000" + std::to_string(i));
    auto found = serialSections();
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.substr(10) < b.substr(10); });
    EXPECT_EQ(found, expected) << home.output();
    EXPECT_EQ(home.records().sections().size(), 14u);
}

}  // namespace
}  // namespace nms
