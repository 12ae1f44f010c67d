#pragma once

#include <QCoreApplication>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/frm_main.h"
#include "cli/console_dialogs.h"
#include "plant/plant_backup.h"
#include "runtime/station_runtime.h"
#include "store/profile_store.h"

// nms-cli: the station without a window. Each command drives the same window models as the
// window does, on the same adapters, and prints what the windows would show.
namespace nms::cli {

// Exit statuses beyond 0 (done) and 1 (the station could not do it).
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRefused = 3;        // refused before anything was sent
inline constexpr int kExitNotConfirmed = 4;   // the element answered otherwise
inline constexpr int kExitTimedOut = 5;       // no answer in time
inline constexpr int kExitInterrupted = 130;  // SIGINT, SIGTERM or SIGHUP ended the command

// An option a command declares beside its code; the dispatcher only looks it up.
struct CommandOption {
    const char* name;
    bool takesValue;
    // The usage message for a value the option does not take, or nullptr when it takes it: a
    // value refused here ends nms-cli with kExitUsage before the station starts.
    const char* (*refuses)(const std::string& value) = nullptr;
};

struct Arguments {
    std::string command;
    std::vector<std::string> positional;
    // The options every command takes.
    bool yes = false, json = false, verbose = false;
    // The command's own options, as given: name and value ("" for a flag).
    std::vector<std::pair<std::string, std::string>> commandOptions;
    std::vector<const char*> stationArgs;  // what the station's own options parser takes

    // Whether the command's option `name` was given.
    bool given(std::string_view name) const {
        for (const auto& o : commandOptions)
            if (o.first == name) return true;
        return false;
    }
    // The value the command's option `name` was given last; empty when it was not given.
    std::string value(std::string_view name) const {
        std::string v;
        for (const auto& o : commandOptions)
            if (o.first == name) v = o.second;
        return v;
    }
};

// A station without a window, for one command.
class Session {
public:
    Session(const Arguments& args, const runtime::StationOptions& options, int argc, char** argv);
    ~Session();

    app::frmMain& main() { return *main_; }
    ConsoleDialogs& dialogs() { return dialogs_; }
    runtime::StationRuntime& runtime() { return runtime_; }
    station::StationEnv& env() { return runtime_.env(); }

    // Start-up, as the window's; false when the station ended during it.
    bool start();
    // For a command that only reads the database or the journal: the element list is loaded,
    // without the instance lock, the station's ports or any change to its files, so that it
    // works beside a running station.
    void startReadOnly();
    // Runs the event loop until `done` holds or `ms` have passed; true when done. `done` is asked
    // again every `pollMs`: short for a command that waits for an answer, long for one that runs
    // for days and would otherwise wake the processor hundreds of times a second for nothing.
    bool runUntil(const std::function<bool()>& done, int ms, int pollMs = 5);
    // Runs the event loop for `ms`.
    void runFor(int ms);
    // Shows the element of this MAC text or element key (any case, ":" or "-" or nothing
    // between the groups), as a click on its tree node; false (said on standard error) when
    // the database holds no such element.
    bool showElement(const std::string& macOrKey);
    // The status the program ends with after an error ended the station.
    int endedStatus();
    // Shuts the station down (the lock is released).
    void finish();

private:
    QCoreApplication& app_;
    ConsoleDialogs dialogs_;
    runtime::StationRuntime runtime_;
    std::unique_ptr<app::frmMain> main_;
    // What a command reads between two waits on the event loop is one turn: the database is
    // checked for another program's change once, not on every key.
    std::optional<store::ProfileStore::ReadTurn> readTurn_;
    bool finished_ = false;
};

std::string jsonString(const std::string& s);
// The processor time this process has used, user and system, in milliseconds.
double processCpuMs();
// The MAC text ("00:1A:2B:3C:4D:5E") of a MAC or element key given in any case, with ":" or
// "-" or nothing between the groups; empty when it is not one.
std::string macFromArgument(const std::string& macOrKey);
// The plant backup in the file at `path`; nothing when it is too large, cannot be read or is
// not a backup this station takes, said on standard error with `unchanged` after it.
std::optional<plant::PlantBackup> readBackupFile(Session& session, const std::string& path,
                                                 const char* unchanged);
// A number, or null when there is none.
std::string jsonNumber(const std::optional<long long>& v);
// " (N other datagrams on port 2978 ignored)": what a window took for no reply of its element;
// nothing when there was none.
std::string ignoredNote(std::uint64_t ignored);
// The refusal of a --timeout that is no time from 0.1 to 65 seconds, or nullptr.
const char* timeoutRefused(const std::string& value);

// One form of a command as its help shows it: what follows its name, a line per "\n" (the
// further ones under the first), and what it does, a line per "\n".
struct CommandUsage {
    const char* form;
    const char* description;
};

// A command, declared in its own file beside its code: its name, the options it takes besides
// those of every command, its help, and how it runs. The dispatcher only looks commands up by
// name, and builds the help from what they declare.
//
// A command is declared as one entry: what every command has, then only what sets it apart,
//   Command("backup", runBackup, kBackupUsage).readingOnly().taking("FILE", 1, 1)
struct Command {
    using Run = int (*)(Session& session, const Arguments& args);
    using Prepare = int (*)(Arguments& args, runtime::StationOptions& options);

    const char* name;
    Run run;
    std::span<const CommandUsage> usage;
    std::span<const CommandOption> options;
    // It only reads the database or the journal: no instance lock, no port of the station, no
    // change to its files, so that it works beside a running station.
    bool readOnly = false;
    // It works where there is no database yet (it makes one or brings one).
    bool withoutDatabase = false;
    // The words it takes after its name ("MAC STEPS"), and how many: checked before anything
    // else, so that a missing or extra one is a usage error whatever the station's state.
    const char* words = "";
    int minWords = 0, maxWords = 0;  // maxWords -1: any number
    // Runs before the station is made, to set where it keeps its files; a status other than 0
    // ends nms-cli with it.
    Prepare prepare = nullptr;
    // It runs until asked to stop: SIGTERM or SIGINT is its normal end (status 0), as a
    // service manager expects of a service it stops.
    bool runsUntilStopped = false;

    constexpr Command(const char* name, Run run, std::span<const CommandUsage> usage,
                      std::span<const CommandOption> options = {})
        : name(name), run(run), usage(usage), options(options) {}

    constexpr Command readingOnly() const { return with(&Command::readOnly, true); }
    constexpr Command needingNoDatabase() const { return with(&Command::withoutDatabase, true); }
    constexpr Command preparedBy(Prepare before) const { return with(&Command::prepare, before); }
    constexpr Command untilStopped() const { return with(&Command::runsUntilStopped, true); }
    constexpr Command taking(const char* wordsText, int least, int most) const {
        Command c = with(&Command::words, wordsText);
        c.minWords = least;
        c.maxWords = most;
        return c;
    }

    // The option `name` this command declares, or nothing.
    const CommandOption* option(std::string_view name) const {
        for (const auto& o : options)
            if (name == o.name) return &o;
        return nullptr;
    }

private:
    // This command with one thing of it set otherwise.
    template <class T>
    constexpr Command with(T Command::*field, T value) const {
        Command c = *this;
        c.*field = value;
        return c;
    }
};

extern const Command kDiscoverCommand;
extern const Command kListCommand;
extern const Command kSetCommand;
extern const Command kStatsCommand;
extern const Command kDelayCommand;
extern const Command kSetDelayCommand;
extern const Command kMonitorCommand;
extern const Command kEventsCommand;
extern const Command kSfnCommand;
extern const Command kBackupCommand;
extern const Command kRestoreCommand;
extern const Command kServiceCommand;
extern const Command kSitesCommand;
extern const Command kScanCommand;
// True once SIGINT, SIGTERM or SIGHUP asked the program to stop. Every wait of the session
// (runUntil, runFor) then returns at once; the command ends as on its normal end (its last
// figures written, nothing new sent, the lock released) and nms-cli exits with kExitInterrupted.
bool stopRequested();
// Installed once, before the session: from then on those signals only ask the command to stop.
void watchStopSignals();

}  // namespace nms::cli
