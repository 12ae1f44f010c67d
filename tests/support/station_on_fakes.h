#pragma once

// The one station on fakes that tests, benchmarks and fuzz targets stand on: virtual time, the
// event gate, dialogs of the caller's choice, in-memory settings, lock and lifecycle, a network
// (the fake one, or any other such as the virtual LAN) and a file store (in memory, or any other
// such as the real one), with the database engine, the environment and the main window on top.

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "app/frm_main.h"
#include "ports/event_gate.h"
#include "station/settings_keys.h"
#include "station/station_context.h"
#include "station/station_env.h"
#include "store/profile_store.h"
#include "support/fake_network.h"
#include "support/fakes.h"
#include "support/memory_file_store.h"
#include "support/scripted_dialogs.h"
#include "support/virtual_time.h"

namespace nms::testing {

// The ports every station stands on, made of fakes.
template <class DialogsT>
struct StationFakes {
    StationFakes() {
        // The notice has been dismissed on this machine unless a test says otherwise.
        settings.set(station::settings::kApp, station::settings::kSection, "EULA1", "1");
    }

    VirtualTime time;
    ports::EventGate gate;
    DialogsT dialogs;
    MemorySettings settings;
    FakeInstanceLock lock;
    FakeLifecycle lifecycle;
    FakeNetwork network;
    MemoryFileStore files;
};

// What differs between the stations on fakes: where the database is and what it is kept in, and
// what network the station talks to.
struct StationOptions {
    std::string databasePath = "/db/nms.ini";
    ports::Network* network = nullptr;  // none: the fake network
    ports::FileStore* files = nullptr;  // none: the files in memory
    std::string commandLine;
};

// A whole main window on the fakes. create() builds it (again), load() starts it through the gate.
template <class DialogsT = ScriptedDialogs>
class StationOnFakes : public StationFakes<DialogsT> {
public:
    ~StationOnFakes() { destroy(); }

    void create(StationOptions options = {}) {
        destroy();
        options_ = std::move(options);
        ports::FileStore& files = options_.files ? *options_.files : this->files;
        ports::Network& network = options_.network ? *options_.network : this->network;
        db = std::make_unique<store::ProfileStore>(files, this->time);
        env = std::make_unique<station::StationEnv>(station::StationEnv{this->time,
                                                                        this->time,
                                                                        this->gate,
                                                                        this->dialogs,
                                                                        this->settings,
                                                                        this->lock,
                                                                        this->lifecycle,
                                                                        network,
                                                                        *db,
                                                                        options_.databasePath,
                                                                        options_.commandLine,
                                                                        {}});
        main = std::make_unique<app::frmMain>(*env);
    }
    void load() {
        this->gate.dispatch(ports::EventGate::Kind::Posted, [this] { main->Form_Load(); });
    }
    void operatorDoes(std::function<void()> action) {
        this->gate.dispatch(ports::EventGate::Kind::Operator, std::move(action));
    }
    // The database file as it is on the (in-memory) disk once everything pending is written.
    std::string file(const std::string& missing = "<missing>") {
        db->flush();
        const auto& path = options_.databasePath;
        return this->files.exists(path) ? this->files.content(path) : missing;
    }

    // The window goes before the database it writes to, and before a network the caller owns.
    void destroy() {
        main.reset();
        env.reset();
        db.reset();
    }

    std::unique_ptr<store::ProfileStore> db;
    std::unique_ptr<station::StationEnv> env;
    std::unique_ptr<app::frmMain> main;

private:
    StationOptions options_;
};

// Everything a window of the station stands on without the main window: the fakes and the station
// context over them.
struct StationWorld : StationFakes<ScriptedDialogs> {
    explicit StationWorld(std::string databasePath)
        : env{time, time,      gate,    dialogs, settings,
              lock, lifecycle, network, db,      std::move(databasePath),
              "",   {}} {}

    store::ProfileStore db{files, time};
    station::StationEnv env;
    station::StationContext ctx{env};
};

}  // namespace nms::testing
