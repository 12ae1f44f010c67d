// nms-cli monitor and events: the plant monitor without a window, for a server that watches a
// plant and hands its figures to the site's own monitoring.

#include <cstdio>
#include <ctime>

#include "cli/cli.h"
#include "monitor/metrics.h"
#include "monitor/plant_monitor.h"
#include "protocol/text.h"
#include "platform/http_server.h"
#include "runtime/web_status.h"
#include "station/settings_keys.h"
#include "web/snapshot.h"
#include "web/web_service.h"

namespace nms::cli {

namespace {

// The same writer as the web service's journal rows.
using web::journalEventJson;

std::string eventLine(const ports::JournalEvent& e) {
    std::string line = protocol::text::isoUtcTime(e.unixTimeMs, false) + "  " + e.mac + "  " +
                       e.name + "  " + e.what;
    if (!e.from.empty())
        line += ": " + e.from + " -> " + e.to;
    else if (!e.to.empty())
        line += ": " + e.to;
    if (!e.detail.empty()) line += "  (" + e.detail + ")";
    return line;
}


const char* intervalRefused(const std::string& value) {
    static const std::string usage =
        "--interval takes seconds from " + std::to_string(station::settings::kMonitorInterval.low) +
        " to " + std::to_string(station::settings::kMonitorInterval.high);
    long long n = 0;
    const auto& key = station::settings::kMonitorInterval;
    return !protocol::text::parseInteger(value, n) || n < key.low || n > key.high ? usage.c_str()
                                                                                   : nullptr;
}

const char* cyclesRefused(const std::string& value) {
    long long n = 0;
    return !protocol::text::parseInteger(value, n) || n < 1 || n > 1000000
               ? "--cycles takes a number of cycles from 1"
               : nullptr;
}

// The whole number an option was given (checked as it was read), or 0 when it was not given.
int wholeNumber(const std::string& value) {
    long long n = 0;
    return protocol::text::parseInteger(value, n) ? static_cast<int>(n) : 0;
}

const char* listenRefused(const std::string& value) {
    std::string address;
    int port = 0;
    return platform::parseListenAddress(value, address, port).empty()
               ? nullptr
               : "--listen takes ADDR:PORT, [V6]:PORT or PORT, a port from 1 to 65535";
}

constexpr CommandOption kEventsOptions[] = {{"--since", true}, {"--element", true}};

constexpr CommandOption kMonitorOptions[] = {{"--interval", true, intervalRefused},
                                             {"--cycles", true, cyclesRefused},
                                             {"--metrics-file", true},
                                             {"--stats", false},
                                             {"--listen", true, listenRefused},
                                             {"--station", true},
                                             {"--web-config", true}};

}  // namespace

// How soon a stop signal or the last cycle is noticed.
constexpr int kStopPollMs = 200;

namespace {

// A line per health change, as it happens.
void printHealthChanges(Session& session, monitor::PlantMonitor& monitor, bool json) {
    monitor.healthChanged.connect(
        [&session, json](const monitor::PlantMonitor::Element& e, monitor::Health from) {
            const ports::JournalEvent event{session.env().clock.unixTimeMs(),
                                            e.mac,
                                            e.name,
                                            "",
                                            "health",
                                            monitor::healthWord(from),
                                            monitor::healthWord(e.health),
                                            e.reason};
            std::printf("%s\n", json ? journalEventJson(event).c_str() : eventLine(event).c_str());
            std::fflush(stdout);
        });
}

// The web service's options from the command's; `serve` when any of them asks for it.
runtime::WebStatus::Options webOptionsOf(const Arguments& args, bool& serve) {
    runtime::WebStatus::Options webOptions;
    for (const auto& [name, value] : args.commandOptions) {
        if (name == "--listen")
            webOptions.listen = value;
        else if (name == "--station")
            webOptions.station = value;
        else if (name == "--web-config")
            webOptions.webConfig = value;
        else
            continue;
        serve = true;
    }
    webOptions.version = NMS_VERSION;
    for (const char* a : args.stationArgs) webOptions.simulated |= std::string(a) == "--demo";
    return webOptions;
}

}  // namespace

int runMonitor(Session& session, const Arguments& args) {
    auto& main = session.main();
    auto& monitor = main.plantMonitor();
    const int interval = wholeNumber(args.value("--interval"));  // 0: the stored one
    const int cycles = wholeNumber(args.value("--cycles"));      // 0: until stopped
    const std::string metricsFile = args.value("--metrics-file");
    const bool stats = args.given("--stats");
    if (interval > 0) monitor.setInterval(interval);
    // What a killed run left beside the metrics file goes; a run still writing keeps its own.
    if (!metricsFile.empty()) session.runtime().files().removeStaleTemporaries(metricsFile);
    // Said as it happens, once each: the journal cannot be written, is written again, events lost.
    monitor.journalNotice.connect(
        [](const std::string& text) { std::fprintf(stderr, "nms-cli: %s\n", text.c_str()); });
    printHealthChanges(session, monitor, args.json);
    std::string lastStatus;
    int failures = 0;
    // Figures for scripts that measure a plant: each cycle's own, and the processor time this
    // process used since the previous cycle ended (the monitoring of one interval).
    double cpuAtLastCycleMs = processCpuMs();
    auto writeMetrics = [&] {
        if (metricsFile.empty()) return;
        const auto written = session.runtime().files().replace(
            metricsFile, monitor::prometheusText(monitor, session.env().clock.unixTimeMs()));
        if (!written.ok && failures++ == 0)
            std::fprintf(stderr, "nms-cli: %s cannot be written: %s\n", metricsFile.c_str(),
                         written.error.c_str());
    };
    monitor.cycleEnded.connect([&] {
        if (stats) {
            const auto& c = monitor.lastCycle();
            const double cpu = processCpuMs();
            std::fprintf(stderr,
                         "stats: cycle %d: elements %d, replies %d, missed %d, took %lld ms, "
                         "cpu since the last cycle %s ms\n",
                         monitor.cycles(), c.asked, c.replies, c.missed,
                         static_cast<long long>(c.durationMs),
                         protocol::text::fixedNumber(cpu - cpuAtLastCycleMs, 1).c_str());
            cpuAtLastCycleMs = cpu;
        }
        writeMetrics();
    });
    // The web service, when asked for: it reads what each cycle published, on threads of its own.
    runtime::WebStatus web(session.runtime().journal(), monitor, main.context());
    bool serve = false;
    const runtime::WebStatus::Options webOptions = webOptionsOf(args, serve);
    // Monitoring from the command line does not change the window's choice.
    monitor.start();
    if (serve) {
        if (const auto problem = web.start(webOptions); !problem.empty()) {
            std::fprintf(stderr, "nms-cli: the web service cannot start: %s\n", problem.c_str());
            monitor.stop();
            return 1;
        }
        std::fprintf(stderr, "nms-cli: web status at %s\n", web.url().c_str());
    }
    const int cycleMs = monitor.interval() * 1000;
    while (!stopRequested() && !main.ended()) {
        if (cycles > 0 && monitor.cycles() >= cycles) break;
        session.runUntil(
            [&] { return stopRequested() || (cycles > 0 && monitor.cycles() >= cycles); },
            std::min(cycleMs, 1000), kStopPollMs);
        if (monitor.status() != lastStatus) {
            lastStatus = monitor.status();
            std::fprintf(stderr, "nms-cli: %s\n", lastStatus.c_str());
        }
    }
    monitor.stop();
    // Stopped by a signal, mid-cycle perhaps: the figures as they stand are the last ones.
    if (stopRequested() && !main.ended()) writeMetrics();
    return main.ended() ? session.endedStatus() : 0;
}

int runEvents(Session& session, const Arguments& args) {
    const std::string sinceText = args.value("--since");
    const std::string element = args.value("--element");
    std::int64_t since = 0;
    if (!sinceText.empty()) {
        // The web service's reading: a day the month does not have is refused, not carried over.
        const auto parsed = web::parseIsoUtc(sinceText);
        if (!parsed) {
            std::fprintf(stderr,
                         "nms-cli: --since takes a UTC time such as 2026-12-08T10:00:00Z, not %s\n",
                         sinceText.c_str());
            return kExitUsage;
        }
        since = *parsed;
    }
    const std::string mac = element.empty() ? std::string() : macFromArgument(element);
    if (!element.empty() && mac.empty()) {
        std::fprintf(stderr, "nms-cli: --element takes a MAC, not %s\n", element.c_str());
        return kExitUsage;
    }
    auto& journal = session.runtime().journal();
    const auto events = journal.query(since, mac);
    // A journal that cannot be read is not a journal without events.
    if (!journal.error().empty()) {
        std::fprintf(stderr, "nms-cli: the event journal cannot be read: %s\n",
                     journal.error().c_str());
        return 1;
    }
    if (args.json) {
        std::printf("[");
        for (std::size_t i = 0; i < events.size(); ++i)
            std::printf("%s\n  %s", i ? "," : "", journalEventJson(events[i]).c_str());
        std::printf("%s]\n", events.empty() ? "" : "\n");
    } else {
        for (const auto& e : events) std::printf("%s\n", eventLine(e).c_str());
    }
    return 0;
}

constexpr CommandUsage kMonitorUsage[] = {
    {"[--interval S] [--cycles N] [--json] [--metrics-file PATH] [--stats]\n"
     "[--listen ADDR:PORT] [--station NAME] [--web-config FILE]",
     "watch every element's health: a line per change; with --metrics-file, the figures\n"
     "in the Prometheus text format after every cycle (for node_exporter's textfile\n"
     "collector); with --listen, a read-only web service of the monitor (status page,\n"
     "/metrics, JSON, a live feed) on ADDR:PORT (127.0.0.1 unless an address is given),\n"
     "--station NAME in its figures (the host name otherwise), --web-config FILE for TLS\n"
     "and users as node_exporter's; runs until SIGINT, SIGTERM or SIGHUP (or N cycles)"}};
constexpr CommandUsage kEventsUsage[] = {
    {"[--since ISO8601] [--element MAC] [--json]",
     "the event journal: health changes and the operator's changes, newest first"}};

extern const Command kMonitorCommand =
    Command("monitor", runMonitor, kMonitorUsage, kMonitorOptions);
extern const Command kEventsCommand =
    Command("events", runEvents, kEventsUsage, kEventsOptions).readingOnly();

}  // namespace nms::cli
