#pragma once

#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "station/settings_keys.h"
#include "station/station_env.h"
#include "ports/dialogs.h"
#include "ports/file_store.h"
#include "ports/journal.h"

namespace nms::runtime {

class YieldingNetwork;

// How a station process was asked to run.
struct StationOptions {
    bool demo = false;
    // The window's demo starts from an empty database each time; the command-line tool keeps
    // the demo database between calls so that `list` shows what `discover` found.
    bool freshDemoDatabase = true;
    // Where the demo keeps its database, settings and lock; empty: the user's demo folder.
    std::string demoFolder;
    std::string optionWord;            // "GPS", "LL" or anything else, joined as typed
    // The system service: its element ports can be lent to a person's station of the host.
    bool service = false;
    // A person's station that binds the element ports asks the host's service for them first.
    bool askServiceForPorts = true;
    bool help = false;
    bool version = false;
    std::string error;                 // an option the station does not know
};

StationOptions parseStationOptions(int argc, const char* const* argv);
std::string stationUsage(const char* program);

// Everything a station needs around its main window: the real adapters (Qt, Linux) or, for the
// demo, the simulated plant with a database and settings of its own that never touch the real
// ones. The dialogs are the caller's (windows for nms, the terminal for nms-cli).
class StationRuntime {
public:
    StationRuntime(const StationOptions& options, ports::Dialogs& dialogs, int argc, const char* const* argv);
    ~StationRuntime();

    station::StationEnv& env() { return *env_; }
    // Empty when the database folder can be used; otherwise the sentence to show once.
    const std::string& databaseProblem() const { return databaseProblem_; }
    const std::string& databasePath() const { return env_->databasePath; }
    // The folder of the per-user settings (the demo's own for the demo), and the station's file
    // in it.
    QString settingsFolder() const;
    QString settingsFile() const;
    // Who holds the instance lock when another station runs ("process 4242 (nms) on host"), and
    // the lock's path; empty when this station holds it or nobody does.
    std::string lockHolder() const;
    // The event journal beside the database.
    ports::EventJournal& journal();
    // The file store that replaces files atomically (the database's own).
    ports::FileStore& files();
    // The service's network, whose ports it lends; null for a person's station.
    YieldingNetwork* yieldingNetwork();
    // The exit status the program should end with, given what the event loop returned.
    int exitStatus(int execResult) const;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<station::StationEnv> env_;
    std::string databaseProblem_;
};

}  // namespace nms::runtime
