// nms-cli service: the plant monitor as the host's always-on system service. It runs from its
// configuration file alone, keeps its database and journal under its state folder, discovers
// (merging) on a schedule, tells systemd when it is ready and that it is alive, reads its
// configuration again on SIGHUP, and lends the element ports to a person's station of the host.

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "cli/cli.h"
#include "discovery/paging.h"
#include "monitor/metrics.h"
#include "monitor/plant_monitor.h"
#include "platform/file_store_linux.h"
#include "platform/http_server.h"
#include "platform/port_rendezvous.h"
#include "platform/qt_lifecycle.h"
#include "platform/service_manager.h"
#include "protocol/paging.h"
#include "runtime/service_config.h"
#include "runtime/web_status.h"
#include "runtime/yielding_network.h"
#include "station/main_toolbar.h"
#include "web/snapshot.h"

namespace nms::cli {

namespace {

using platform::LogPriority;
using platform::logLine;
using runtime::ServiceConfig;

constexpr const char* kDefaultConfig = "/etc/vantrelo-nms/monitor.conf";
constexpr const char* kDefaultState = "/var/lib/vantrelo-nms";
constexpr std::size_t kMaxConfigBytes = 64 * 1024;
// How often the service looks at its signals, schedules and the ports it lent.
constexpr int kTickMs = 200;
constexpr std::int64_t kRetryTakeBackMs = 2000;

std::optional<std::string> readSmallFile(const std::string& path, std::string& problem) {
    platform::LinuxFileStore files;
    auto read = files.readAtMost(path, kMaxConfigBytes);
    if (!read.content) {
        problem = path + (read.size > static_cast<std::int64_t>(kMaxConfigBytes) ? " is larger than 64 KiB"
                                                                                : " cannot be read");
        return std::nullopt;
    }
    return std::move(read.content);
}

std::optional<ServiceConfig> readConfig(const std::string& path, std::string& problem) {
    const auto text = readSmallFile(path, problem);
    if (!text) return std::nullopt;
    std::string why;
    auto config = runtime::parseServiceConfig(*text, why);
    if (!config) {
        problem = path + ": " + why;
        return std::nullopt;
    }
    std::string address;
    int port = 0;
    if (!config->listen.empty())
        if (const auto bad = platform::parseListenAddress(config->listen, address, port); !bad.empty()) {
            problem = path + ": listen: " + bad;
            return std::nullopt;
        }
    return config;
}

// What the configuration said when the service started; its run reads it again on SIGHUP.
struct Prepared {
    std::string path;
    ServiceConfig config;
    bool demo = false;
};
Prepared& prepared() {
    static Prepared p;
    return p;
}

std::string stateFolder(const ServiceConfig& c) {
    if (!c.stateDirectory.empty()) return c.stateDirectory;
    // systemd names it (StateDirectory=); the first of a list is ours.
    if (const char* dir = std::getenv("STATE_DIRECTORY"); dir && *dir) {
        const std::string all = dir;
        return all.substr(0, all.find(':'));
    }
    return kDefaultState;
}

void makeFolder(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0750);
        if (slash == std::string::npos) break;
    }
}

bool portFree(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;  // the station's own bind will say what is wrong
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    const bool free = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return free;
}

// A person's station that started before the service holds the element ports and asked no one
// for them: the service waits for it to end rather than failing its start over and over.
void waitForFreePorts() {
    bool said = false;
    while (!stopRequested() && !(portFree(protocol::kPortFeedback) && portFree(protocol::kPortStatistics))) {
        if (!said) {
            said = true;
            logLine(LogPriority::Notice, std::string("nms-cli: ") + web::kPausedText +
                                             " (the element ports are in use); waiting for it to end");
            platform::notifyServiceManager(std::string("READY=1\nSTATUS=") + web::kPausedText);
        }
        ::usleep(500 * 1000);
    }
}

// Before the station starts: its folders are the service's own, whatever user runs it.
int prepareService(Arguments& args, runtime::StationOptions& options) {
    // SIGHUP reads the configuration again; SIGTERM and SIGINT still end the service.
    platform::noteReloadSignals();
    auto& p = prepared();
    p.path = args.given("--config") ? args.value("--config") : kDefaultConfig;
    std::string problem;
    const auto config = readConfig(p.path, problem);
    if (!config) {
        logLine(LogPriority::Error, "nms-cli: " + problem);
        return 1;
    }
    p.config = *config;
    const std::string state = stateFolder(p.config);
    makeFolder(state);
    ::setenv("XDG_CONFIG_HOME", (state + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (state + "/data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (state + "/cache").c_str(), 1);
    const char* runtimeDir = std::getenv("RUNTIME_DIRECTORY");
    const std::string run = runtimeDir && *runtimeDir ? std::string(runtimeDir) : state + "/run";
    makeFolder(run);
    ::chmod(run.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    if (options.demo)
        options.demoFolder = state + "/demo";
    else
        ::setenv("NMS_DATABASE", (state + "/nms.ini").c_str(), 1);
    options.service = true;
    options.askServiceForPorts = false;
    p.demo = options.demo;
    args.yes = true;  // nobody is there to answer a question
    if (!options.demo) waitForFreePorts();
    return stopRequested() ? kExitInterrupted : 0;
}

class ServiceRun {
public:
    ServiceRun(Session& session, ServiceConfig config)
        : session_(session),
          main_(session.main()),
          monitor_(main_.plantMonitor()),
          web_(session.runtime().journal(), monitor_, main_.context()),
          config_(std::move(config)) {}

    int exec();

private:
    struct Alive {
        ServiceRun* run;
    };

    void applyConfig(bool first);
    void startWeb();
    void reload();
    void tick();
    void feedWatchdog(std::int64_t now);
    void scheduleDiscovery(bool atStart);
    // When the schedule's next discovery is due after `at` (0: never).
    std::int64_t scheduledAfter(std::int64_t at) const;
    void discover();
    void lend(const std::string& who);
    void takeBack();
    void writeMetrics();
    void status(const std::string& text);
    std::int64_t now() const { return session_.env().clock.monotonicMs(); }
    void watchMonitor();

    Session& session_;
    app::frmMain& main_;
    monitor::PlantMonitor& monitor_;
    runtime::WebStatus web_;
    ServiceConfig config_;
    std::string webConfigText_;
    platform::PortYieldListener listener_;
    std::shared_ptr<Alive> alive_ = std::make_shared<Alive>(Alive{this});
    int reloadsSeen_ = 0;
    bool ready_ = false;
    std::int64_t lastProgressMs_ = 0, nextFeedMs_ = 0, nextDiscoveryMs_ = 0;
    std::int64_t pausedSinceUnixMs_ = 0, takeBackDueMs_ = 0;
    std::string lastStatus_;
    int metricsFailures_ = 0;
};

void ServiceRun::status(const std::string& text) {
    if (text == lastStatus_) return;
    lastStatus_ = text;
    logLine(LogPriority::Info, "nms-cli: " + text);
    platform::notifyServiceManager("STATUS=" + text);
}

void ServiceRun::writeMetrics() {
    if (config_.metricsFile.empty()) return;
    const auto written = session_.runtime().files().replace(
        config_.metricsFile, monitor::prometheusText(monitor_, session_.env().clock.unixTimeMs()));
    if (written.ok) {
        metricsFailures_ = 0;
    } else if (metricsFailures_++ == 0) {
        logLine(LogPriority::Warning,
                "nms-cli: " + config_.metricsFile + " cannot be written: " + written.error);
    }
}

void ServiceRun::watchMonitor() {
    std::weak_ptr<Alive> weak = alive_;
    monitor_.cycleEnded.connect([weak] {
        auto a = weak.lock();
        if (!a) return;
        auto& run = *a->run;
        run.lastProgressMs_ = run.now();
        run.writeMetrics();
        if (!run.ready_) {
            run.ready_ = true;
            platform::notifyServiceManager("READY=1");
        }
        if (!run.pausedSinceUnixMs_) run.status(run.monitor_.status());
    });
    monitor_.journalNotice.connect([weak](const std::string& text) {
        if (weak.lock()) logLine(LogPriority::Warning, "nms-cli: " + text);
    });
    monitor_.healthChanged.connect([weak](const monitor::PlantMonitor::Element& e, monitor::Health from) {
        // That the plant is there at the first reading is no news.
        if (!weak.lock() || (from == monitor::Health::Unknown && e.health == monitor::Health::Online)) return;
        const bool worse = e.health == monitor::Health::Alarm || e.health == monitor::Health::Offline;
        logLine(worse ? LogPriority::Warning : LogPriority::Notice,
                "nms-cli: " + e.mac + " " + e.name + ": " + monitor::healthWord(from) + " -> " +
                    monitor::healthWord(e.health) + (e.reason.empty() ? "" : " (" + e.reason + ")"));
    });
}

void ServiceRun::applyConfig(bool first) {
    namespace keys = station::settings;
    auto& context = main_.context();
    monitor_.setInterval(config_.intervalSeconds);
    context.setSetting(keys::kJournalDays, std::to_string(config_.journalDays));
    context.setSetting(keys::kJournalMegabytes, std::to_string(config_.journalMegabytes));
    if (!config_.metricsFile.empty()) session_.runtime().files().removeStaleTemporaries(config_.metricsFile);
    scheduleDiscovery(first);
}

void ServiceRun::startWeb() {
    web_.stop();
    std::string problem;
    webConfigText_ = config_.webConfig.empty() ? std::string() : readSmallFile(config_.webConfig, problem).value_or("");
    if (config_.listen.empty()) return;
    runtime::WebStatus::Options o;
    o.listen = config_.listen;
    o.webConfig = config_.webConfig;
    o.station = config_.station;
    o.version = NMS_VERSION;
    o.simulated = prepared().demo;
    if (const auto failed = web_.start(o); !failed.empty()) {
        logLine(LogPriority::Error, "nms-cli: the web service cannot start: " + failed);
        return;
    }
    web_.setPausedSince(pausedSinceUnixMs_);
    logLine(LogPriority::Info, "nms-cli: web status at " + web_.url());
}

void ServiceRun::reload() {
    platform::notifyServiceManager("RELOADING=1");
    std::string problem;
    const auto fresh = readConfig(prepared().path, problem);
    if (!fresh) {
        // A broken edit keeps the service as it was, and says why.
        logLine(LogPriority::Error, "nms-cli: " + problem + "; the configuration in use is kept");
        platform::notifyServiceManager("READY=1");
        return;
    }
    const ServiceConfig before = config_;
    config_ = *fresh;
    if (config_.stateDirectory != before.stateDirectory)
        logLine(LogPriority::Warning, "nms-cli: state_directory takes effect at the next start");
    applyConfig(false);
    std::string webText;
    if (!config_.webConfig.empty()) webText = readSmallFile(config_.webConfig, problem).value_or("");
    // Only a new address or new web settings restart the web service: a reload keeps its clients.
    if (config_.listen != before.listen || config_.webConfig != before.webConfig || webText != webConfigText_)
        startWeb();
    else if (config_.station != before.station)
        web_.setStation(config_.station);
    logLine(LogPriority::Info, "nms-cli: configuration read again from " + prepared().path);
    platform::notifyServiceManager("READY=1");
}

void ServiceRun::scheduleDiscovery(bool atStart) {
    using Start = ServiceConfig::DiscoverAtStart;
    const bool empty = main_.context().databaseSections().empty();
    const std::int64_t at = now();
    const bool first = atStart && (config_.discoverAtStart == Start::Yes ||
                                   (config_.discoverAtStart == Start::WhenEmpty && empty));
    nextDiscoveryMs_ = first ? at : scheduledAfter(at);
}

std::int64_t ServiceRun::scheduledAfter(std::int64_t at) const {
    return config_.discoverEverySeconds > 0 ? at + config_.discoverEverySeconds * 1000 : 0;
}

void ServiceRun::discover() {
    auto& paging = main_.paging();
    if (paging.scanning()) return;
    paging.setMerge(true);  // the service never empties its database
    logLine(LogPriority::Info, "nms-cli: discovering (merging into the database)");
    session_.env().gate.dispatch(ports::EventGate::Kind::Operator,
                                 [this] { main_.StartAutoDiscovery(); });
}

void ServiceRun::lend(const std::string& who) {
    auto* network = session_.runtime().yieldingNetwork();
    if (main_.paging().scanning()) main_.paging().abandonScan();
    monitor_.stop();
    writeMetrics();  // the file says the monitor is off rather than showing its last cycle as now
    if (network) network->yieldPorts();
    takeBackDueMs_ = 0;
    pausedSinceUnixMs_ = session_.env().clock.unixTimeMs();
    web_.setPausedSince(pausedSinceUnixMs_);
    logLine(LogPriority::Notice, "nms-cli: the element ports are lent to " + who);
    status(web::kPausedText);
}

void ServiceRun::takeBack() {
    auto* network = session_.runtime().yieldingNetwork();
    if (network) {
        if (const auto problem = network->takeBack(); !problem.empty()) {
            takeBackDueMs_ = now() + kRetryTakeBackMs;  // the station may not have let go yet
            return;
        }
    }
    takeBackDueMs_ = 0;
    pausedSinceUnixMs_ = 0;
    web_.setPausedSince(0);
    lastProgressMs_ = now();
    monitor_.start();
    logLine(LogPriority::Notice, "nms-cli: the element ports are back; monitoring again");
}

void ServiceRun::feedWatchdog(std::int64_t now) {
    const std::int64_t every = platform::watchdogFeedIntervalMs();
    if (every <= 0 || now < nextFeedMs_) return;
    nextFeedMs_ = now + every;
    // A cycle that has not ended for three intervals (and a minute) is a stalled service:
    // the watchdog is left to restart it.
    const std::int64_t allowed = 3LL * monitor_.interval() * 1000 + 60000;
    const bool stalled = monitor_.running() && !pausedSinceUnixMs_ && now - lastProgressMs_ > allowed;
    if (!stalled) platform::notifyServiceManager("WATCHDOG=1");
}

void ServiceRun::tick() {
    const std::int64_t at = now();
    if (platform::reloadRequests() != reloadsSeen_) {
        reloadsSeen_ = platform::reloadRequests();
        reload();
    }
    if (takeBackDueMs_ && at >= takeBackDueMs_) takeBack();
    if (!pausedSinceUnixMs_ && nextDiscoveryMs_ && at >= nextDiscoveryMs_) {
        nextDiscoveryMs_ = scheduledAfter(at);
        discover();
    }
    feedWatchdog(at);
}

int ServiceRun::exec() {
    watchMonitor();
    auto& paging = main_.paging();
    paging.scanEnded.connect([weak = std::weak_ptr<Alive>(alive_), &paging] {
        if (!weak.lock()) return;
        logLine(LogPriority::Info, "nms-cli: discovery ended: " + std::to_string(paging.mergedNew().size()) +
                                       " new, " + std::to_string(paging.notFound().size()) +
                                       " not found (kept)");
    });
    if (const auto problem = listener_.listen(platform::portsRendezvousName(prepared().demo)); !problem.empty())
        logLine(LogPriority::Warning, "nms-cli: a person's station on this host cannot ask for the element ports: " +
                                          problem);
    listener_.onFirstAsked = [this](const std::string& who) { lend(who); };
    listener_.onLastLeft = [this] { takeBackDueMs_ = now(); };
    applyConfig(true);
    startWeb();
    reloadsSeen_ = platform::reloadRequests();
    lastProgressMs_ = now();
    monitor_.start();
    status(monitor_.status());
    while (!stopRequested() && !main_.ended()) {
        session_.runUntil([&] { return stopRequested() || platform::reloadRequests() != reloadsSeen_; }, 1000,
                          kTickMs);
        tick();
    }
    platform::notifyServiceManager("STOPPING=1");
    monitor_.stop();
    writeMetrics();
    web_.stop();
    return main_.ended() ? session_.endedStatus() : 0;
}

int runService(Session& session, const Arguments&) {
    ServiceRun run(session, prepared().config);
    return run.exec();
}

constexpr CommandOption kServiceOptions[] = {{"--config", true}};

}  // namespace

constexpr CommandUsage kServiceUsage[] = {
    {"[--config FILE]",
     "the plant monitor as the host's system service, from its configuration file\n"
     "(/etc/vantrelo-nms/monitor.conf): web status, metrics file, merging discovery on a\n"
     "schedule, its files under its state folder; SIGHUP reads the file again, SIGTERM\n"
     "ends it; it lends the element ports to a station a person starts on this host"}};

extern const Command kServiceCommand =
    Command("service", runService, kServiceUsage, kServiceOptions)
        .needingNoDatabase()
        .preparedBy(prepareService)
        .untilStopped();

}  // namespace nms::cli
