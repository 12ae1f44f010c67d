// nms-cli on the plant: the SFN alignment of the demo's decoders, and a backup restored after a
// discovery replaced the database.

#include <filesystem>
#include <string>

#include "cli/cli_fixture.h"

namespace nms {
namespace {

TEST_F(CliTest, SfnMeasuresTheDemoDecodersOfAStreamAndAppliesOnlyWithYes) {
    ASSERT_EQ(run("discover --demo --yes --timeout 1").status, 0);
    auto r = run("sfn --demo --json --seconds 2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"groups\": [{\"stream\": \"239.192.50.1\", \"target_ns\": ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"margin_ns\": 100000,"), std::string::npos) << r.out;
    for (const char* name : {"TX EAST SFN", "TX WEST SFN"})
        EXPECT_NE(r.out.find("\"name\": \"" + std::string(name) + "\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"answered\": true, \"network_min_ns\": "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"in_range\": true}"), std::string::npos) << r.out;  // no apply fields
    EXPECT_EQ(r.out.find("\"sent\""), std::string::npos);

    r = run("sfn --demo --apply --seconds 1");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(run("sfn --demo --group 239.1.1.1").status, 3);
    EXPECT_EQ(run("sfn --demo --margin-us -1").status, 2);

    r = run("sfn --demo --apply --yes --json --seconds 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"sent\": true, \"recorded\": true}, {"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"spread_achieved_ns\": "), std::string::npos) << r.out;
}

TEST_F(CliTest, ARestoreAfterADiscoveryGivesBackTheDatabaseByteForByte) {
    ASSERT_EQ(run("discover --demo --yes --timeout 1").status, 0);
    ASSERT_EQ(run("set 00:1A:2B:50:00:15 name=RENAMED --demo --yes").status, 0);
    const std::string folder = "run/vantrelo-nms-demo-" + std::to_string(::getuid());
    const std::string before = read((folder + "/nms.ini").c_str());
    const std::string file = root_ + "/plant.json";
    auto r = run("backup " + file + " --demo");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(run("discover --demo --yes --timeout 1").status, 0);
    const std::string discovered = read((folder + "/nms.ini").c_str());
    ASSERT_NE(discovered, before);

    r = run("restore " + file + " --demo");  // says what it would replace, changes nothing
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.out.find("1 changed"), std::string::npos) << r.out;
    EXPECT_EQ(read((folder + "/nms.ini").c_str()), discovered);
    r = run("restore " + file + " --demo --yes");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read((folder + "/nms.ini").c_str()), before);
    EXPECT_EQ(read((folder + "/nms.ini.bak").c_str()), discovered);

    // A record applied to another element: one of another role, or one nobody has, is refused
    // before anything is sent.
    r = run("set 00:1A:2B:50:00:1F --from " + file + ":00:1A:2B:50:00:15 --demo --yes");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("is an encoder, the shown element a decoder"), std::string::npos) << r.err;
    r = run("set 00:1A:2B:50:00:1F --from 00:1A:2B:50:00:99 --demo --yes");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("the database holds no element 00:1A:2B:50:00:99"), std::string::npos)
        << r.err;
    EXPECT_EQ(run("set 00:1A:2B:50:00:1F --from nonsense --demo --yes").status, 2);
    EXPECT_EQ(read((folder + "/nms.ini").c_str()), before);

    std::string bad = read("plant.json");
    bad.replace(bad.find("\"ROLE\": 1"), 9, "\"ROLE\": 5");
    std::ofstream(file) << bad;
    r = run("restore " + file + " --demo --yes");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("role 5 is neither"), std::string::npos) << r.err;
    EXPECT_EQ(read((folder + "/nms.ini").c_str()), before);
    // A hand-edited backup is no source of settings either.
    r = run("set 00:1A:2B:50:00:1F --from " + file + ":00:1A:2B:50:00:20 --demo --yes");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("role 5 is neither"), std::string::npos) << r.err;
    EXPECT_EQ(read((folder + "/nms.ini").c_str()), before);
}

// The demo's transmitter site behind a router: declared, scanned at its pace, its elements known
// by serial number for every command, kept by the broadcast's discovery and by a backup.
TEST_F(CliTest, ASiteBehindARouterIsScannedAndItsElementsServedBySerialNumber) {
    ASSERT_EQ(run("discover --demo --yes --timeout 1").status, 0);
    auto r = run("sites add HILLTOP 10.50.7.0/24 --demo");
    ASSERT_EQ(r.status, 0) << r.err;
    r = run("sites add VALE 10.50.7.128/25 --demo");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("overlaps 10.50.7.0/24 of site HILLTOP"), std::string::npos) << r.err;
    r = run("scan --demo --rate 5000 --timeout 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("pages 254 addresses, 5000 a second"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("DECODER-SN0000730041"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("2 answered: 2 new"), std::string::npos) << r.err;
    r = run("list --json --demo");
    EXPECT_NE(r.out.find("\"key\": \"DECODER-SN0000730042\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"site\": \"HILLTOP\""), std::string::npos);
    EXPECT_NE(r.out.find("\"site\": \"\""), std::string::npos);

    r = run("set DECODER-SN0000730041 name=HILLTOP-1 --demo --yes");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(run("stats decoder-sn0000730041 --demo").status, 0);
    ASSERT_EQ(run("discover --demo --yes --timeout 1").status, 0);
    const std::string file = root_ + "/plant.json";
    ASSERT_EQ(run("backup " + file + " --demo").status, 0);
    ASSERT_EQ(run("sites remove HILLTOP --demo").status, 0);
    r = run("restore " + file + " --demo --yes");
    ASSERT_EQ(r.status, 0) << r.err;
    r = run("list --demo");
    EXPECT_NE(r.out.find("HILLTOP-1"), std::string::npos) << r.out;
    EXPECT_NE(run("sites --demo").out.find("10.50.7.0/24"), std::string::npos);
}

// A script's demo is one plant from command to command, as a real one is: what set-delay sent,
// the next delay reads back; the window's reminder to save is no line for a script.
TEST_F(CliTest, TheDemoPlantKeepsWhatOneCommandSetForTheNext) {
    ASSERT_EQ(run("discover --demo --yes --timeout 1").status, 0);
    auto r = run("set-delay 00:1A:2B:50:00:21 1500 --yes --demo");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Don't forget"), std::string::npos) << r.err;
    r = run("delay 00:1A:2B:50:00:21 --demo --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"additional_delay_ns\": 150000,"), std::string::npos) << r.out;
    // The link's speed and duplex as the window shows them; no rate from a single reading.
    r = run("stats 00:1A:2B:50:00:1F --demo");
    EXPECT_NE(r.out.find("ETH (100 Half)"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(" pps)"), std::string::npos) << r.out;
    EXPECT_NE(run("stats 00:1A:2B:50:00:1F --demo --json").out.find("\"audio_rate_pps\": null"),
              std::string::npos);
}

}  // namespace
}  // namespace nms
