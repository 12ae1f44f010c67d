#pragma once

// The whole station on the in-process network with the demo plant, under virtual time.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "discovery/paging.h"
#include "protocol/address.h"
#include "sim/demo_plant.h"
#include "station/main_toolbar.h"
#include "support/station_on_fakes.h"

namespace nms::testing {

class DemoStation : public ::testing::Test, protected StationOnFakes<> {
protected:
    static constexpr const char* kDb = "/demo/nms.ini";
    sim::DemoPlant plant{time, time};

    DemoStation() { create({kDb, &plant.network()}); }
    ~DemoStation() override { destroy(); }

    void SetUp() override {
        dialogs.expect(ports::Answer::Ok, "Local database is empty.");
        load();
        ASSERT_TRUE(main->running());
    }
    void discover() {
        gate.dispatch(ports::EventGate::Kind::Operator,
                      [&] { main->Toolbar1.click(station::toolbar::kDiscover); });
        time.advance(6000);
        ASSERT_FALSE(main->paging().scanning());
    }
    std::set<std::string> keysOf(const std::string& section) {
        std::vector<std::string> keys;
        db->LoadIniSectionKeysLB(section, keys, kDb);
        return {keys.begin(), keys.end()};
    }
    sim::Element& element(const std::string& name) {
        for (auto* e : plant.lan().elements())
            if (e->identity().name == name) return *e;
        throw std::runtime_error("no element " + name);
    }
    void show(const std::string& name) {
        const auto& nodes = main->TreeView1.nodes();
        const auto it = std::find_if(nodes.begin(), nodes.end(),
                                     [&](const auto& n) { return n.text.rfind(name, 0) == 0; });
        ASSERT_NE(it, nodes.end()) << name;
        gate.dispatch(ports::EventGate::Kind::Operator,
                      [&] { main->TreeView1.clickNode(static_cast<int>(it - nodes.begin())); });
    }
    void save() {
        dialogs.expect(ports::Answer::Yes, "Are you sure?");
        gate.dispatch(ports::EventGate::Kind::Operator,
                      [&] { main->Toolbar1.click(station::toolbar::kSave); });
    }
    // Saves, and the element's answer (or its silence) ends in the box that says `result`.
    void saveEndingIn(const std::string& result) {
        save();
        dialogs.expect(ports::Answer::Ok, result);
        time.advance(1500);
        EXPECT_TRUE(dialogs.allUsed());
    }
    std::string stored(const std::string& name, const std::string& key) {
        const auto mac = protocol::FormatMAC(element(name).identity().mac, ":");
        return db->ReadFromINI(protocol::Encode_MAC(mac), key, kDb, "<missing>");
    }
    std::string sectionOf(const std::string& name) {
        for (auto* e : plant.lan().elements())
            if (e->identity().name == name) return protocol::Encode_MAC(protocol::FormatMAC(e->identity().mac, ":"));
        return {};
    }
};

}  // namespace nms::testing
