// The plant monitor over 1000 simulated elements on the virtual LAN: how long a cycle takes (in
// the plant's own time: 32 requests at a time, each answered within 0.2 to 10 ms), how many
// replies and misses it counts, and the station's processor time for it, against the same
// stretch of time with the monitor off, as a ratio.

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "discovery/paging.h"
#include "monitor/plant_monitor.h"
#include "sim/virtual_lan.h"
#include "support/station_on_fakes.h"

namespace {

using namespace nms;

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

int main() {
    constexpr int kElements = 1000;
    constexpr int kCycles = 10;
    testing::StationOnFakes<> station;
    station.dialogs.allowUnexpected = true;
    auto& time = station.time;
    sim::VirtualLan::Options options;
    options.stationAddresses = {"10.20.0.1"};
    options.netmask = "255.255.0.0";
    options.minLatencyUs = 200;
    options.maxLatencyUs = 10000;
    sim::VirtualLan lan(time, time, options);
    std::string database;
    for (int i = 0; i < kElements; ++i) {
        sim::ElementIdentity id;
        id.name = "ELEMENT " + std::to_string(i);
        id.role = i % 2 ? sim::Role::Decoder : sim::Role::Encoder;
        const int host = i + 2;
        id.ip = {10, 20, static_cast<std::uint8_t>(host >> 8), static_cast<std::uint8_t>(host & 0xFF)};
        id.mac = {0x00, 0x1A, 0x2B, 0x71, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i & 0xFF)};
        sim::ElementSettings s;
        s.sfn = static_cast<std::uint8_t>(i % 4 == 1);
        lan.addElement(id, s);
        char mac[13];
        std::snprintf(mac, sizeof mac, "001A2B71%02X%02X", i >> 8, i & 0xFF);
        database += std::string("[") + mac + "]\nname=" + id.name + "\nip=10.20." + std::to_string(host >> 8) + "." +
                    std::to_string(host & 0xFF) + "\nrole=" + (i % 2 ? "2" : "1") + "\nsfn=" + (i % 4 == 1 ? "1" : "0") +
                    "\n";
    }
    station.files.editExternally("/bench/nms.ini", database);
    station.create({"/bench/nms.ini", &lan});
    station.load();
    auto& main = *station.main;

    // The same stretch of time with the monitor off: timers and the station idle.
    const double idleStart = cpuMs();
    time.advance(kCycles * 10000);
    const double idleMs = cpuMs() - idleStart;

    auto& monitor = main.plantMonitor();
    std::int64_t cycleStart = 0, longestCycle = 0;
    monitor.cycleEnded.connect([&] { longestCycle = std::max(longestCycle, time.monotonicMs() - cycleStart); });
    const double busyStart = cpuMs();
    for (int c = 0; c < kCycles; ++c) {
        cycleStart = time.monotonicMs();
        if (c == 0) main.setPlantMonitoring(true);
        time.advance(10000);
    }
    const double busyMs = cpuMs() - busyStart;
    std::int64_t replies = 0, misses = 0;
    int online = 0;
    for (const auto& e : monitor.elements()) {
        replies += e.replies;
        misses += e.missed;
        online += e.health == monitor::Health::Online;
    }
    std::printf("plant monitor, %d elements on the virtual LAN, a cycle every 10 s, %d cycles\n", kElements, kCycles);
    std::printf("  cycles run %d, longest cycle %lld ms (plant time), replies %lld, missed %lld, online %d\n",
                monitor.cycles(), static_cast<long long>(longestCycle), static_cast<long long>(replies),
                static_cast<long long>(misses), online);
    std::printf("  station CPU per cycle %.2f ms = %.3f%% of a core at one cycle per 10 s\n", busyMs / kCycles,
                busyMs / kCycles / 100.0);
    // On virtual time an idle station costs next to nothing, so the ratio says mostly how small
    // the idle figure is; the share of a core above is the figure to read.
    std::printf("  idle over the same time %.2f ms of CPU; monitoring / idle = %.0fx\n", idleMs,
                idleMs > 0 ? busyMs / idleMs : 0.0);
    station.destroy();
    return 0;
}
