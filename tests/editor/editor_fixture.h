#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "editor/element_editor.h"
#include "editor/properties_panel.h"
#include "protocol/address.h"
#include "store/profile_store.h"
#include "support/fake_network.h"
#include "support/fakes.h"
#include "support/memory_file_store.h"
#include "support/scripted_dialogs.h"
#include "support/station_on_fakes.h"
#include "support/virtual_time.h"

namespace nms::testing {

using Record = std::vector<std::pair<std::string, std::string>>;

inline const std::string kEncoderMac = "00:1A:2B:3C:4D:5E";
inline const std::string kDecoderMac = "00:1A:2B:3C:4D:6F";

// A record as an encoder's paging answer leaves it (15 keys), unicast, firmware 3.7.
inline Record encoderRecord() {
    return {{"name", "STUDIO A        "},
            {"ip", "192.168.1.20"},
            {"mask", "255.255.255.0"},
            {"gw", "192.168.1.1"},
            {"input", "1"},
            {"type", "16"},
            {"tx", "0"},
            {"remote", "192.168.1.30"},
            {"role", "1"},
            {"sn", "1234"},
            {"ver", "3.7"},
            {"sfn", "0"},
            {"buf", "1"},
            {"att", "200"},
            {"llo", "0"}};
}

// A decoder's record after paging (19 keys).
inline Record decoderRecord() {
    return {{"name", "TX SITE         "},
            {"ip", "192.168.1.30"},
            {"mask", "255.255.255.0"},
            {"gw", "192.168.1.1"},
            {"input", "0"},
            {"type", "32"},
            {"tx", "1"},
            {"multi", "239.200.1.5"},
            {"role", "2"},
            {"sn", "5678"},
            {"ver", "3.8"},
            {"sfn", "1"},
            {"buf", "10"},
            {"sdm", "0"},
            {"sdl", "10"},
            {"sdt", "10"},
            {"dly", "0"},
            {"att", "245"},
            {"llo", "0"}};
}

// Replaces (or adds) one key of a record.
inline Record with(Record r, const std::string& key, const std::string& value) {
    for (auto& kv : r)
        if (kv.first == key) {
            kv.second = value;
            return r;
        }
    r.emplace_back(key, value);
    return r;
}

inline Record without(Record r, const std::string& key) {
    std::erase_if(r, [&](const auto& kv) { return kv.first == key; });
    return r;
}

class EditorTest : public ::testing::Test, protected StationWorld {
protected:
    static constexpr const char* kPath = "/home/op/.local/share/nms/nms.ini";

    EditorTest() : StationWorld(kPath) {
        ctx.AudioTypes = protocol::AudioTypeTable::standard();
        using Kind = ports::Toolbar::Kind;
        toolbar.setItems({{Kind::Button, 1, "", true},
                          {Kind::Button, 2, "", true},
                          {Kind::Separator, 0, "", true},
                          {Kind::Button, 3, "", true},
                          {Kind::Separator, 0, "", true},
                          {Kind::Button, 4, "", true},
                          {Kind::Button, 5, "", true}});
        ui.cmbAudioType.addItems(ctx.AudioTypes.listNames());
        ui.cmbEncoders.addItems({"<None>", "STUDIO A", "STUDIO B"});
        // The level meter's switch, as the main window wires it.
        ui.chkGetVolume.onClick = [this](ports::Origin) { levelTimer.setEnabled(ui.chkGetVolume.checked()); };
    }

    // Writes the database as a hand-edited file: one section per element, in this order.
    void storeRecords(const std::vector<std::pair<std::string, Record>>& records) {
        // The station's own writes reach the file before the hand edit.
        time.advance(1000);
        std::string text;
        for (const auto& [mac, rec] : records) {
            text += "[" + protocol::Encode_MAC(mac) + "]\n";
            for (const auto& [k, v] : rec) text += k + "=" + v + "\n";
        }
        files.editExternally(kPath, text);
    }
    void storeRecord(const std::string& mac, const Record& rec) { storeRecords({{mac, rec}}); }

    void click(const std::string& mac) {
        editor.TreeView1_NodeClick({mac, "ELEMENT (" + mac + ")"});
    }
    void load(const std::string& mac, const Record& rec) {
        storeRecord(mac, rec);
        click(mac);
    }

    std::string stored(const std::string& mac, const std::string& key) {
        return db.ReadFromINI(protocol::Encode_MAC(mac), key, kPath, "<missing>");
    }

    // The one-byte commands that went out: value and element port.
    std::vector<std::pair<std::uint8_t, std::uint16_t>> sentCommands() const {
        std::vector<std::pair<std::uint8_t, std::uint16_t>> out;
        for (const auto& s : network.sent)
            if (s.bytes.size() == 2) out.emplace_back(s.bytes[0], s.port);
        return out;
    }

    ports::Toolbar toolbar;
    ports::Timer levelTimer{time, gate, 50};
    station::ElementSocket socket{ctx, 2976, 2976};
    editor::PropertiesPanel ui;
    editor::ElementEditor editor{ui, ctx, {toolbar, levelTimer, socket}};
};

}  // namespace nms::testing
