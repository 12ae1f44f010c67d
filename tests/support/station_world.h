#pragma once

#include <string>

#include "ports/event_gate.h"
#include "station/station_context.h"
#include "store/profile_store.h"
#include "support/fake_network.h"
#include "support/fakes.h"
#include "support/memory_file_store.h"
#include "support/scripted_dialogs.h"
#include "support/virtual_time.h"

namespace nms::testing {

// Everything a window of the station stands on, made of fakes: virtual time, scripted dialogs,
// in-memory settings and files, a network the test sees, and the station context over them.
struct StationWorld {
    explicit StationWorld(std::string databasePath)
        : env{time, time, gate, dialogs, settings, lock, lifecycle, network, db, std::move(databasePath), ""} {}

    VirtualTime time;
    ports::EventGate gate;
    ScriptedDialogs dialogs;
    MemorySettings settings;
    FakeInstanceLock lock;
    FakeLifecycle lifecycle;
    FakeNetwork network;
    MemoryFileStore files;
    store::ProfileStore db{files, time};
    station::StationEnv env;
    station::StationContext ctx{env};
};

}  // namespace nms::testing
