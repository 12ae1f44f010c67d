// The plant monitor's cycle on a large plant of simulated elements: each request ends at its own
// deadline, the places grow with the plant, elements offline for several cycles are asked in a
// slow lane that does not hold the others back, and a cycle longer than the interval is counted
// and said instead of silently doubling the period.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "monitor/metrics.h"
#include "monitor/plant_monitor.h"
#include "sim/virtual_lan.h"
#include "support/crowd_element.h"
#include "support/station_on_fakes.h"

namespace nms::testing {
namespace {

using monitor::PlantMonitor;

class MonitorCycle : public ::testing::Test {
protected:
    // `silent(i)`: element i is found in the database but never answers its statistics.
    void plant(int elements, const std::function<bool(int)>& silent) {
        lan_ =
            std::make_unique<sim::VirtualLan>(station.time, station.time, crowdOptions(200, 2000));
        std::string database;
        for (int i = 0; i < elements; ++i) {
            const auto id = crowdElement(i, 0x72, sim::Role::Encoder);
            auto& e = lan_->addElement(id, {});
            if (silent(i)) {
                e.faults.onlyForPort = 2978;
                e.faults.drop = -1;
            }
            database += "[" + crowdElementKey(i, 0x72) + "]\nname=" + id.name + "\nip=" + ipOf(i) +
                        "\nrole=1\n";
        }
        lan_->onFrame = [this](const sim::VirtualLan::Frame& f) {
            if (f.destinationPort == 2978 && f.bytes.size() == 8) ++asked_[f.destinationIp];
        };
        station.files.editExternally("/db/nms.ini", database);
        station.create({"/db/nms.ini", lan_.get()});
        station.load();
        mon().cycleEnded.connect([this] { ++ended_; });
    }
    static std::string ipOf(int i) {
        const int host = i + 2;
        return "10.20." + std::to_string(host >> 8) + "." + std::to_string(host & 0xFF);
    }
    PlantMonitor& mon() { return station.main->plantMonitor(); }
    // Runs until the monitor has ended `n` more cycles.
    void cycles(int n) {
        const int until = ended_ + n;
        for (int guard = 0; ended_ < until && guard < 100000; ++guard) station.time.advance(10);
    }
    void TearDown() override {
        if (lan_) lan_->onFrame = nullptr;
        station.destroy();
    }

    StationOnFakes<> station;
    std::unique_ptr<sim::VirtualLan> lan_;
    std::map<std::string, int> asked_;
    int ended_ = 0;
};

// Every tenth of 400 elements silent: each silent one holds a place for its 500 ms and no more,
// and the plant has places enough for all of them at once, so the cycle ends at their deadline
// (32 places and a 50 ms tick made it two rounds, over a second). Only what is not online at the
// first reading goes to the journal. A second watcher of the monitor's events hears them beside
// the fixture's own.
TEST_F(MonitorCycle, SilentElementsEndAtTheirOwnDeadlineAndTheFirstReadingJournalsOnlyTrouble) {
    plant(400, [](int i) { return i % 10 == 5; });
    int endedSeen = 0, healthChanges = 0;
    mon().cycleEnded.connect([&] { ++endedSeen; });
    mon().healthChanged.connect(
        [&](const PlantMonitor::Element&, monitor::Health) { ++healthChanges; });
    station.operatorDoes([&] { station.main->setPlantMonitoring(true); });
    cycles(1);
    EXPECT_EQ(endedSeen, 1);
    EXPECT_EQ(healthChanges, 400);
    const auto& c = mon().lastCycle();
    EXPECT_EQ(c.asked, 400);
    EXPECT_EQ(c.missed, 40);
    EXPECT_EQ(c.places, 400 / PlantMonitor::kElementsPerPlace);
    EXPECT_GE(c.durationMs, PlantMonitor::kReplyTimeoutMs);
    EXPECT_LT(c.durationMs, PlantMonitor::kReplyTimeoutMs + 50);
    const auto events = mon().journal().query(0, "");
    EXPECT_EQ(events.size(), 40u);
    for (const auto& e : events) EXPECT_EQ(e.from, "unknown");
}

// A segment of 300 elements down among 1200: once offline for several cycles it goes to the slow
// lane, the answering elements are all judged within a moment of the cycle's start, the cycle
// ends within the slow lane's window, and every silent element is still asked every few cycles.
TEST_F(MonitorCycle, ASegmentLongOfflineIsAskedInASlowLaneThatDoesNotHoldTheOthersBack) {
    plant(1200, [](int i) { return i >= 200 && i < 500; });
    station.operatorDoes([&] { station.main->setPlantMonitoring(true); });
    cycles(PlantMonitor::kSlowLaneMisses);
    asked_.clear();
    for (int r = 0; r < 5; ++r) {
        cycles(1);
        const auto& c = mon().lastCycle();
        EXPECT_EQ(c.slowLane, 300);
        EXPECT_LE(c.durationMs, PlantMonitor::kSlowLaneWindowMs + PlantMonitor::kReplyTimeoutMs);
    }
    // The last cycle: everyone answering was heard within 200 ms of its start, although 300
    // silent elements stood before 700 of them.
    const std::int64_t startUnixMs = station.time.unixTimeMs() - mon().lastCycle().durationMs;
    for (const auto& e : mon().elements()) {
        if (e.misses > 0) continue;
        EXPECT_LT(e.lastSeenUnixMs - startUnixMs, 200) << e.name;
    }
    for (int i = 200; i < 500; ++i) EXPECT_GE(asked_[ipOf(i)], 1) << ipOf(i);
    EXPECT_EQ(mon().overruns(), 0);
}

// A cycle longer than the 2 s interval is counted, said in the status and in the metrics, and
// the next cycle starts as it ends rather than at the tick after.
TEST_F(MonitorCycle, ACycleLongerThanTheIntervalIsAnOverrunAndTheNextFollowsAtOnce) {
    plant(800, [](int i) { return i < 500; });  // five rounds of 100 places, 500 ms each
    station.operatorDoes([&] { station.main->setPlantMonitoring(true); });
    mon().setInterval(2);
    cycles(1);
    EXPECT_GT(mon().lastCycle().durationMs, 2000);
    EXPECT_EQ(mon().overruns(), 1);
    EXPECT_NE(mon().status().find("1 cycle took longer than the 2 s interval."), std::string::npos)
        << mon().status();
    EXPECT_NE(monitor::prometheusText(mon(), 0).find("vantrelo_monitor_cycle_overruns_total 1\n"),
              std::string::npos);
    const auto endedAt = station.time.monotonicMs();
    cycles(1);
    // It started within a moment of the last one's end, not at the interval's next tick.
    EXPECT_LT(station.time.monotonicMs() - endedAt - mon().lastCycle().durationMs, 50);
    EXPECT_EQ(mon().overruns(), 2);
}

}  // namespace
}  // namespace nms::testing
