#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "editor/configuration_exchange.h"
#include "diag/level_meter.h"
#include "station/main_toolbar.h"
#include "support/station_on_fakes.h"

namespace nms::testing {

// A whole main window on fakes: virtual time, scripted dialogs, in-memory settings and files,
// and a network whose traffic the test sees and makes.
class StationTest : public ::testing::Test, protected StationOnFakes<> {
protected:
    static constexpr const char* kDb = "/db/nms.ini";

    void create(const std::string& commandLine = "") {
        StationOnFakes::create({kDb, nullptr, nullptr, commandLine});
    }

    // Creates and starts the station; the database file's content is given (nothing: no file).
    void start(std::optional<std::string> database = std::string(),
               const std::string& commandLine = "") {
        if (database) files.editExternally(kDb, *database);
        if (database && database->empty()) {
            // An empty file shows the empty-database message.
            dialogs.expect(ports::Answer::Ok, "Please click the 'Auto Discover' icon");
        }
        if (!database) dialogs.expect(ports::Answer::Ok, "Please click 'Auto Discover' icon");
        create(commandLine);
        load();
    }

    // Starts on the given database; the station must be running.
    void startRunning(const std::string& database) {
        start(database);
        ASSERT_TRUE(main->running());
    }
    void show(int node) {
        operatorDoes([&] { main->TreeView1.clickNode(node); });
    }
    // The toolbar's "Save changes".
    void save() {
        operatorDoes([&] { main->Toolbar1.click(station::toolbar::kSave); });
    }

    std::string read(const std::string& section, const std::string& key) {
        return db->ReadFromINI(section, key, kDb, "<missing>");
    }
    // Hands the station a datagram on its main port, through the gate as a real one would.
    void receive(std::vector<std::uint8_t> bytes) { network.deliver(2976, std::move(bytes)); }
};

}  // namespace nms::testing
