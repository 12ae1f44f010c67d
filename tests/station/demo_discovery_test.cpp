// The whole station on the in-process network with the demo plant: discovery, the records it
// leaves, and an element's answer to a configuration, all under virtual time.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "editor/configuration_exchange.h"
#include "monitor/plant_monitor.h"
#include "protocol/configuration.h"
#include "station/demo_station.h"

namespace nms::testing {
namespace {

TEST_F(DemoStation, DiscoveryFindsThePlantAndStoresEachRecordWithItsKeys) {
    discover();
    EXPECT_TRUE(dialogs.allUsed());
    ASSERT_EQ(main->TreeView1.nodeCount(), 5);
    EXPECT_EQ(main->frmTreeView.caption(), "Select element: (5 items)");
    EXPECT_EQ(main->panel.cmbEncoders.listCount(), 3);  // "<None>" and the two encoders

    const std::set<std::string> common = {"NAME", "IP", "MASK", "GW", "INPUT", "TYPE", "TX", "ROLE",
                                          "SN", "VER", "SFN", "BUF", "ATT", "LLO"};
    auto with = [](std::set<std::string> s, std::initializer_list<const char*> more) {
        for (auto* k : more) s.insert(k);
        return s;
    };
    // An encoder sending unicast keeps the decoder's address under `remote`; one sending
    // multicast keeps its group under `multi`; a decoder always `multi` and its silence detector.
    EXPECT_EQ(keysOf(sectionOf("STUDIO A LR")), with(common, {"REMOTE"}));
    EXPECT_EQ(keysOf(sectionOf("STUDIO B MPX")), with(common, {"MULTI"}));
    for (const char* decoder : {"TX NORTH", "TX EAST SFN", "TX WEST SFN"})
        EXPECT_EQ(keysOf(sectionOf(decoder)), with(common, {"MULTI", "SDM", "SDL", "SDT", "DLY"})) << decoder;

    const auto a = sectionOf("STUDIO A LR");
    EXPECT_EQ(db->ReadFromINI(a, "name", kDb, ""), "STUDIO A LR     ");
    EXPECT_EQ(db->ReadFromINI(a, "ip", kDb, ""), "192.168.50.21");
    EXPECT_EQ(db->ReadFromINI(a, "remote", kDb, ""), "192.168.50.31");
    EXPECT_EQ(db->ReadFromINI(a, "role", kDb, ""), "1");
    EXPECT_EQ(db->ReadFromINI(sectionOf("TX EAST SFN"), "sfn", kDb, ""), "1");
    EXPECT_EQ(db->ReadFromINI(sectionOf("TX EAST SFN"), "dly", kDb, ""), "1200");
}

TEST_F(DemoStation, ASecondDiscoveryReplacesTheDatabase) {
    discover();
    plant.lan().elements().front()->faults.drop = -1;  // one element stops answering
    dialogs.expect(ports::Answer::Yes, "Are you sure?");
    discover();
    EXPECT_EQ(main->TreeView1.nodeCount(), 4);
    std::vector<std::string> sections;
    db->LoadIniSectionsLB(sections, kDb);
    EXPECT_EQ(sections.size(), 4u);
}

// A merging discovery never empties the database: an element new to it is added, one at a new
// address updated, one that did not answer kept; each is an event, and nothing is asked first.
TEST_F(DemoStation, AMergingDiscoveryAddsUpdatesAndKeepsWhatDidNotAnswer) {
    discover();
    element("TX NORTH").identity().ip = {192, 168, 50, 41};
    element("STUDIO B MPX").faults.drop = -1;
    sim::ElementIdentity spare;
    spare.role = sim::Role::Decoder;
    spare.ip = {192, 168, 50, 99};
    spare.mac = {0x00, 0x1A, 0x2B, 0x50, 0x00, 0x99};
    plant.lan().addElement(spare);
    main->paging().setMerge(true);
    discover();
    std::vector<std::string> sections;
    db->LoadIniSectionsLB(sections, kDb);
    EXPECT_EQ(sections.size(), 6u);
    EXPECT_EQ(main->TreeView1.nodeCount(), 6);
    EXPECT_EQ(stored("TX NORTH", "ip"), "192.168.50.41");
    EXPECT_EQ(stored("STUDIO B MPX", "ip"), "192.168.50.22");
    EXPECT_EQ(main->paging().mergedNew(), (std::vector<std::string>{"001A2B500099"}));
    EXPECT_EQ(main->paging().notFound(), (std::vector<std::string>{sectionOf("STUDIO B MPX")}));
    std::vector<std::string> said;
    for (const auto& e : main->plantMonitor().journal().query(0, ""))
        said.push_back(e.what + " " + e.from + " " + e.to);
    EXPECT_NE(std::find(said.begin(), said.end(), "address changed 192.168.50.31 192.168.50.41"),
              said.end());
    EXPECT_NE(std::find(said.begin(), said.end(), "found by discovery  192.168.50.99"), said.end());
    EXPECT_NE(std::find(said.begin(), said.end(), "not found by discovery 192.168.50.22 kept"),
              said.end());
}

TEST_F(DemoStation, AnElementConfirmsAConfigurationSettingBySetting) {
    discover();
    // Show STUDIO A LR and send it its own configuration with a new name.
    const auto& nodes = main->TreeView1.nodes();
    const auto it = std::find_if(nodes.begin(), nodes.end(),
                                 [](const auto& n) { return n.text.rfind("STUDIO A LR", 0) == 0; });
    ASSERT_NE(it, nodes.end());
    gate.dispatch(ports::EventGate::Kind::Operator, [&] { main->TreeView1.clickNode(static_cast<int>(it - nodes.begin())); });
    auto& ui = main->panel;
    ASSERT_EQ(ui.lblElementType.caption(), "ENCODER");
    ui.txtElementName.setText("ON AIR A", ports::Origin::Operator);

    protocol::ConfigurationFields f;
    f.ip = protocol::IPBytes(ui.txtElementIP.text());
    f.mask = protocol::IPBytes(ui.txtElementMask.text());
    f.gateway = protocol::IPBytes(ui.txtElementGW.text());
    f.remote = protocol::IPBytes(ui.txtRemoteIP.text());
    f.input = static_cast<std::uint8_t>(ui.cmbAudioInput.listIndex());
    f.typeCode = static_cast<std::uint8_t>(main->AudioTypes.row(ui.cmbAudioType.listIndex()).code);
    f.tx = static_cast<std::uint8_t>(ui.cmbAudioTX.listIndex());
    f.name = protocol::configurationName(ui.txtElementName.text());
    f.sampleWidth = static_cast<std::uint8_t>(main->AudioTypes.row(ui.cmbAudioType.listIndex()).width);
    const auto packet = protocol::encodeConfiguration(f, false, 3.72f);
    dialogs.expect(ports::Answer::Ok, "sucessfuly");
    ASSERT_TRUE(main->exchange().SendConfigurationBytes(packet));
    time.advance(1500);  // the answer, then the MAC wait's first look-up
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_FALSE(main->waiting().isOpen());
    EXPECT_EQ(db->ReadFromINI(sectionOf("ON AIR A"), "name", kDb, ""), "ON AIR A        ");
    time.advance(5000);  // the reply time-out was stopped by the answer
    EXPECT_TRUE(dialogs.allUsed());
}

}  // namespace
}  // namespace nms::testing
