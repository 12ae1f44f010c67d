#pragma once

#include <functional>
#include <string>

#include "ports/dialogs.h"
#include "ports/event_gate.h"
#include "ports/instance_lock.h"
#include "ports/journal.h"
#include "ports/lifecycle.h"
#include "ports/network.h"
#include "ports/scheduler.h"
#include "ports/settings.h"
#include "store/profile_store.h"

namespace nms::station {

// The outside world of one station: every port, the database engine and where the database is.
// A real station gets Qt and Linux adapters; a test or the demo gets fakes and the virtual LAN.
struct StationEnv {
    ports::Scheduler& scheduler;
    ports::Clock& clock;
    ports::EventGate& gate;
    ports::Dialogs& dialogs;
    ports::SettingsStore& settings;
    ports::InstanceLock& instanceLock;
    ports::Lifecycle& lifecycle;
    ports::Network& network;
    store::ProfileStore& db;
    std::string databasePath;  // full path of nms.ini
    std::string commandLine;   // the option word(s), as typed
    // Runs once the instance lock is held, before anything else is read or written: clean-ups
    // of the database folder belong here, so that a second station, which will not get the
    // lock, never touches the files of the one that runs.
    std::function<void()> afterInstanceLock;
    // The event journal of the plant monitor and of the operator's changes; none: one in memory.
    ports::EventJournal* journal = nullptr;
    // Whether the plant monitor starts with the station when the operator left it on. A station
    // without a window runs it only when asked to monitor: a choice made in the window must not
    // make every command poll the whole plant.
    bool monitorAsRemembered = true;
};

// The title a message box shows when its caller names none.
inline constexpr const char* kApplicationTitle = "Kestrova Vantrelo NG Manager";

// Exit statuses of a station that ended because of an error.
inline constexpr int kExitSocketFailure = 2;
inline constexpr int kExitAlreadyRunning = 3;
inline constexpr int kExitInterfaceList = 4;
// The instance lock could not be created (not another station: its folder cannot take it).
inline constexpr int kExitLockUnavailable = 1;

}  // namespace nms::station
