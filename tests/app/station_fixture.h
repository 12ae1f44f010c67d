#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/frm_main.h"
#include "app/frm_waiting.h"
#include "diag/level_meter.h"
#include "ports/event_gate.h"
#include "store/profile_store.h"
#include "support/fake_network.h"
#include "support/fakes.h"
#include "support/memory_file_store.h"
#include "support/scripted_dialogs.h"
#include "support/virtual_time.h"

namespace nms::testing {

// A whole main window on fakes: virtual time, scripted dialogs, in-memory settings and files,
// and a network whose traffic the test sees and makes.
class StationTest : public ::testing::Test {
protected:
    static constexpr const char* kDb = "/db/nms.ini";

    VirtualTime time;
    ports::EventGate gate;
    ScriptedDialogs dialogs;
    MemorySettings settings;
    FakeInstanceLock lock;
    FakeLifecycle lifecycle;
    FakeNetwork network;
    MemoryFileStore files;
    std::unique_ptr<store::ProfileStore> db;
    std::unique_ptr<station::StationEnv> env;
    std::unique_ptr<app::frmMain> main;

    StationTest() {
        // The notice has been dismissed on this machine unless a test says otherwise.
        settings.set(station::settings::kApp, station::settings::kSection, "EULA1", "1");
    }

    void create(const std::string& commandLine = "") {
        db = std::make_unique<store::ProfileStore>(files, time);
        env = std::make_unique<station::StationEnv>(station::StationEnv{time, time, gate, dialogs, settings, lock, lifecycle,
                                                                network, *db, kDb, commandLine});
        main = std::make_unique<app::frmMain>(*env);
    }

    // Creates and starts the station; the database file's content is given (nothing: no file).
    void start(std::optional<std::string> database = std::string(), const std::string& commandLine = "") {
        if (database) files.editExternally(kDb, *database);
        if (database && database->empty()) {
            // An empty file shows the empty-database message.
            dialogs.expect(ports::Answer::Ok, "Please click the 'Auto Discover' icon");
        }
        if (!database) dialogs.expect(ports::Answer::Ok, "Please click 'Auto Discover' icon");
        create(commandLine);
        gate.dispatch(ports::EventGate::Kind::Posted, [&] { main->Form_Load(); });
    }

    std::string file() {
        db->flush();
        return files.exists(kDb) ? files.content(kDb) : "<missing>";
    }
    std::string read(const std::string& section, const std::string& key) {
        return db->ReadFromINI(section, key, kDb, "<missing>");
    }
    // Hands the station a datagram on its main port, through the gate as a real one would.
    void receive(std::vector<std::uint8_t> bytes) { network.deliver(2976, std::move(bytes)); }
    void operatorDoes(std::function<void()> action) { gate.dispatch(ports::EventGate::Kind::Operator, std::move(action)); }
};

}  // namespace nms::testing
