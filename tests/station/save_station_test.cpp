// Saving a configuration to a simulated element on the in-process network: the element applies
// the packet of its own layout and answers, and the station confirms and stores what it said.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/frm_main.h"
#include "app/frm_waiting.h"
#include "discovery/paging.h"
#include "protocol/address.h"
#include "sim/demo_plant.h"
#include "store/profile_store.h"
#include "support/fakes.h"
#include "support/memory_file_store.h"
#include "support/scripted_dialogs.h"
#include "support/virtual_time.h"

namespace nms::testing {
namespace {

class SaveStation : public ::testing::Test {
protected:
    static constexpr const char* kDb = "/demo/nms.ini";
    VirtualTime time;
    ports::EventGate gate;
    ScriptedDialogs dialogs;
    MemorySettings settings;
    FakeInstanceLock lock;
    FakeLifecycle lifecycle;
    MemoryFileStore files;
    sim::DemoPlant plant{time, time};
    store::ProfileStore db{files, time};
    station::StationEnv env{time, time, gate, dialogs, settings, lock, lifecycle, plant.network(), db, kDb, ""};
    app::frmMain main{env};

    void SetUp() override {
        settings.set(station::settings::kApp, station::settings::kSection, "EULA1", "1");
        dialogs.expect(ports::Answer::Ok, "Local database is empty.");
        gate.dispatch(ports::EventGate::Kind::Posted, [&] { main.Form_Load(); });
        ASSERT_TRUE(main.running());
    }
    sim::Element& element(const std::string& name) {
        for (auto* e : plant.lan().elements())
            if (e->identity().name == name) return *e;
        throw std::runtime_error("no element " + name);
    }
    void discover() {
        gate.dispatch(ports::EventGate::Kind::Operator, [&] { main.Toolbar1.click(1); });
        time.advance(6000);
        ASSERT_FALSE(main.paging().scanning());
    }
    void show(const std::string& name) {
        const auto& nodes = main.TreeView1.nodes();
        const auto it = std::find_if(nodes.begin(), nodes.end(),
                                     [&](const auto& n) { return n.text.rfind(name, 0) == 0; });
        ASSERT_NE(it, nodes.end()) << name;
        gate.dispatch(ports::EventGate::Kind::Operator,
                      [&] { main.TreeView1.clickNode(static_cast<int>(it - nodes.begin())); });
    }
    void save() {
        dialogs.expect(ports::Answer::Yes, "Are you sure?");
        gate.dispatch(ports::EventGate::Kind::Operator, [&] { main.Toolbar1.click(4); });
    }
    std::string stored(const std::string& name, const std::string& key) {
        const auto mac = protocol::FormatMAC(element(name).identity().mac, ":");
        return db.ReadFromINI(protocol::Encode_MAC(mac), key, kDb, "<missing>");
    }
};

struct Layout {
    const char* element;
    int minor;
    std::size_t packetLength;
};

class SaveEachLayout : public SaveStation, public ::testing::WithParamInterface<Layout> {};

TEST_P(SaveEachLayout, TheElementConfirmsAndTheRecordIsUpdated) {
    const Layout layout = GetParam();
    auto& e = element(layout.element);
    e.identity().minor = static_cast<std::uint8_t>(layout.minor);
    discover();
    show(layout.element);
    main.panel.txtElementName.setText("Renamed", ports::Origin::Operator);
    main.panel.txtElementName.lostFocus();
    const bool decoder = e.isDecoder();
    if (decoder) main.panel.scrlBuffer.setValue(7, ports::Origin::Operator);
    save();
    dialogs.expect(ports::Answer::Ok, "New configuration has been sucessfuly saved and loaded!");
    time.advance(1500);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(e.identity().name, "RENAMED");
    EXPECT_EQ(stored("RENAMED", "name"), "RENAMED         ");
    if (decoder) {
        EXPECT_EQ(stored("RENAMED", "buf"), "7");
    }
    EXPECT_TRUE(main.Toolbar1.buttonEnabled(4));
    EXPECT_EQ(main.TreeView1.nodeCount(), 5);
    time.advance(5000);  // no time-out after the answer
    EXPECT_TRUE(dialogs.allUsed());
}

INSTANTIATE_TEST_SUITE_P(ByRoleAndFirmware, SaveEachLayout,
                         ::testing::Values(Layout{"STUDIO A LR", 40, 37}, Layout{"STUDIO A LR", 60, 38},
                                           Layout{"STUDIO B MPX", 72, 39}, Layout{"TX NORTH", 69, 41},
                                           Layout{"TX EAST SFN", 72, 42}));

TEST_F(SaveStation, AnElementThatDoesNotAnswerTimesOutOnceAndNothingIsStored) {
    discover();
    show("TX NORTH");
    const std::string section = main.context().shownSection();
    element("TX NORTH").faults.drop = -1;
    main.panel.txtElementName.setText("Silent", ports::Origin::Operator);
    save();
    time.advance(2999);
    EXPECT_TRUE(dialogs.allUsed());
    dialogs.expect(ports::Answer::Ok, "Waiting for a response from Network Element has timed out!");
    time.advance(1);
    time.advance(10000);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(db.ReadFromINI(section, "name", kDb, ""), "TX NORTH        ");
}

TEST_F(SaveStation, AnElementThatKeepsOneSettingIsReportedForThatSettingAndTheRestIsStored) {
    discover();
    show("STUDIO A LR");
    // The element answers with its gateway's last byte changed.
    auto& e = element("STUDIO A LR");
    e.faults.onlyForPort = 2976;
    e.faults.overwriteByte = std::make_pair(std::size_t{11}, std::uint8_t{99});
    main.panel.txtElementName.setText("Studio Z", ports::Origin::Operator);
    save();
    dialogs.expect(ports::Answer::Ok, "An error occured while saving 'Element GW':");
    time.advance(1500);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(dialogs.last().text, "An error occured while saving 'Element GW':\rFeedback is corrupted.");
    EXPECT_EQ(stored("STUDIO Z", "name"), "STUDIO Z        ");
    EXPECT_EQ(stored("STUDIO Z", "gw"), "192.168.50.1");
}

}  // namespace
}  // namespace nms::testing
