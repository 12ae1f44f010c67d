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
#include "crowd.h"

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
    MonitoredCrowd plant(kElements, 10000);
    auto& station = plant.station;
    auto& time = station.time;
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
