#include "runtime/station_runtime.h"

#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

#include <future>
#include <system_error>

#include "platform/database_location.h"
#include "platform/file_store_linux.h"
#include "platform/linux_network.h"
#include "platform/qt_instance_lock.h"
#include "platform/qt_lifecycle.h"
#include "platform/qt_scheduler.h"
#include "platform/port_rendezvous.h"
#include "platform/qt_settings.h"
#include "platform/sqlite_journal.h"
#include "runtime/yielding_network.h"
#include "sim/demo_plant.h"
#include "store/profile_store.h"

namespace nms::runtime {

StationOptions parseStationOptions(int argc, const char* const* argv) {
    StationOptions o;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--demo") {
            o.demo = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--database") {
            if (i + 1 < argc) ++i;
            else o.error = "--database needs a path";
        } else if (a.rfind("--database=", 0) == 0) {
            // taken by the database location
        } else if (a.rfind("-", 0) == 0) {
            o.error = "unknown option " + a;
        } else {
            words.push_back(a);
        }
    }
    for (std::size_t i = 0; i < words.size(); ++i) o.optionWord += (i ? " " : "") + words[i];
    return o;
}

std::string stationUsage(const char* program) {
    return std::string("usage: ") + program +
           " [GPS | LL] [--demo] [--database PATH]\n"
           "  GPS              GPSDO version (buffer up to 23 steps)\n"
           "  LL               low-latency option (buffer up to 44 steps)\n"
           "  --demo           run on the simulated demo plant, apart from the real database and settings\n"
           "  --database PATH  use this nms.ini (also: environment variable NMS_DATABASE)\n"
           "  --version        print the version and end\n"
           "  -h, --help       print this help and end\n";
}

struct StationRuntime::Parts {
    platform::QtScheduler scheduler;
    ports::EventGate gate;
    std::unique_ptr<platform::QtSettings> settings;
    std::unique_ptr<platform::QtInstanceLock> lock;
    platform::QtLifecycle lifecycle;
    platform::LinuxFileStore files;
    std::unique_ptr<ports::Network> realNetwork;
    std::unique_ptr<sim::DemoPlant> plant;
    std::unique_ptr<store::ProfileStore> db;
    std::unique_ptr<platform::SqliteJournal> journal;
    std::unique_ptr<YieldingNetwork> yielding;
    // Held while this person's station runs: the host's service has lent it the element ports.
    std::unique_ptr<platform::PortClaim> portClaim;
    // The demo plant's units as the last station that held the lock left them.
    std::string demoStatePath;
    bool demoStateOurs = false;
};

namespace {

// The demo keeps everything in a folder of its own, per user.
QString demoFolder() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty()) base = QDir::tempPath();
    return base + QString("/vantrelo-nms-demo-%1").arg(::getuid());
}

}  // namespace

StationRuntime::StationRuntime(const StationOptions& options, ports::Dialogs& dialogs, int argc,
                               const char* const* argv)
    : parts_(std::make_unique<Parts>()) {
    auto& p = *parts_;
    std::string dbPath;
    ports::Network* network = nullptr;
    if (options.demo) {
        const QString folder =
            options.demoFolder.empty() ? demoFolder() : QString::fromStdString(options.demoFolder);
        QDir().mkpath(folder);
        p.settings = std::make_unique<platform::QtSettings>(folder);
        p.lock = std::make_unique<platform::QtInstanceLock>(folder + "/nms.lock");
        p.plant = std::make_unique<sim::DemoPlant>(p.scheduler, p.scheduler);
        p.plant->startIncidents();
        network = &p.plant->network();
        dbPath = (folder + "/nms.ini").toStdString();
        p.demoStatePath = (folder + "/demo-plant.state").toStdString();
    } else {
        p.settings = std::make_unique<platform::QtSettings>();
        p.lock = std::make_unique<platform::QtInstanceLock>();
        p.realNetwork = std::make_unique<platform::LinuxNetwork>();
        network = p.realNetwork.get();
        auto location = platform::locateDatabase(platform::currentProcessInputs(argc, argv), p.files);
        dbPath = location.path;
        databaseProblem_ = location.error;
    }
    if (options.service) {
        p.yielding = std::make_unique<YieldingNetwork>(*network);
        network = p.yielding.get();
    } else if (options.askServiceForPorts) {
        p.portClaim = platform::PortClaim::ask(platform::portsRendezvousName(options.demo));
    }
    p.db = std::make_unique<store::ProfileStore>(p.files, p.scheduler);
    // The database is read and parsed while the window is built; the read needs no lock, and
    // what changes before the first use (the demo's fresh start) is seen by its stamp.
    try {
        p.db->readAhead(dbPath, std::async(std::launch::async, [dbPath] {
            platform::LinuxFileStore files;
            return store::ProfileStore::readAndParse(files, dbPath);
        }));
    } catch (const std::system_error&) {
        // No thread to be had (a process at its limit): the first use reads the file itself.
    }
    // The event journal lives beside the database.
    const auto slash = dbPath.rfind('/');
    p.journal = std::make_unique<platform::SqliteJournal>(
        (slash == std::string::npos ? std::string(".") : dbPath.substr(0, slash)) + "/nms-events.sqlite");
    p.db->followEvents(p.gate);
    env_ = std::make_unique<station::StationEnv>(station::StationEnv{p.scheduler, p.scheduler, p.gate, dialogs, *p.settings,
                                                             *p.lock, p.lifecycle, *network, *p.db, dbPath,
                                                             options.optionWord});
    env_->journal = p.journal.get();
    // Only the station that holds the lock may clean up: a second one must leave the files of
    // the running one alone (a temporary file may be a save in progress).
    env_->afterInstanceLock = [&p, dbPath, demo = options.demo, fresh = options.freshDemoDatabase] {
        if (demo) {
            // A demo starts from an empty database, as a freshly installed station would, and
            // its plant as shipped; commands of a script work on the plant the last one left.
            if (fresh) {
                p.files.remove(dbPath);
                p.files.remove(p.demoStatePath);
            } else if (const auto state = p.files.read(p.demoStatePath, nullptr)) {
                p.plant->restoreState(*state);
            }
            p.demoStateOurs = true;
            // The demo plant lives on one network: offer it, not the interface the operator
            // chose for the real station.
            p.settings->set(station::settings::kApp, station::settings::kInterface.section,
                            station::settings::kInterface.name, "0.0.0.0");
        }
        p.files.removeStaleTemporaries(dbPath);
    };
}

StationRuntime::~StationRuntime() {
    if (parts_ && parts_->db) parts_->db->flush();
    if (parts_ && parts_->plant && parts_->demoStateOurs)
        parts_->files.replace(parts_->demoStatePath, parts_->plant->stateText());
}

ports::EventJournal& StationRuntime::journal() { return *parts_->journal; }

ports::FileStore& StationRuntime::files() { return parts_->files; }

std::string StationRuntime::lockHolder() const {
    const auto& lock = *parts_->lock;
    if (lock.holder().empty()) return {};
    return lock.holder() + ", lock " + lock.path().toStdString();
}

QString StationRuntime::settingsFolder() const { return parts_->settings->folder(); }

QString StationRuntime::settingsFile() const {
    return parts_->settings->fileOf(station::settings::kApp);
}

YieldingNetwork* StationRuntime::yieldingNetwork() { return parts_->yielding.get(); }

int StationRuntime::exitStatus(int execResult) const { return parts_->lifecycle.finalStatus(execResult); }

}  // namespace nms::runtime
