// The plant monitor on the demo plant: every element judged each cycle, an alarm raised by an
// element turns it red within one cycle and writes one event, and the monitor leaves port 2978
// to the statistics window while it is open.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>

#include "monitor/memory_journal.h"
#include "monitor/metrics.h"
#include "monitor/plant_monitor.h"
#include "protocol/statistics.h"
#include "sfn/frm_adjust.h"
#include "station/demo_station.h"
#include "stats/frm_statistics.h"

namespace nms::testing {
namespace {

using monitor::Health;

class MonitorStation : public DemoStation {
protected:
    void SetUp() override {
        DemoStation::SetUp();
        discover();
    }
    monitor::PlantMonitor& mon() { return main->plantMonitor(); }
    Health health(const std::string& name) {
        for (const auto& e : mon().elements())
            if (e.name == name) return e.health;
        return Health::Unknown;
    }
    void TearDown() override { plant.lan().onFrame = nullptr; }
    std::size_t statsRequestsTo(const std::string& ip) const {
        const auto it = requests_.find(ip);
        return it == requests_.end() ? 0 : it->second;
    }
    void countRequests() {
        plant.lan().onFrame = [this](const sim::VirtualLan::Frame& f) {
            if (f.destinationPort == 2978 && f.bytes.size() == 8) ++requests_[f.destinationIp];
        };
    }
    std::map<std::string, std::size_t> requests_;
};

TEST_F(MonitorStation, OffUntilTurnedOnAndThenEveryElementIsJudgedEachCycle) {
    time.advance(30000);
    EXPECT_EQ(mon().cycles(), 0);
    EXPECT_TRUE(mon().elements().empty());

    main->setPlantMonitoring(true);
    time.advance(1000);
    ASSERT_EQ(mon().cycles(), 1);
    EXPECT_EQ(health("STUDIO A LR"), Health::Online);
    EXPECT_EQ(health("STUDIO B MPX"), Health::Alarm);  // its 10 MHz reference
    EXPECT_EQ(health("TX NORTH"), Health::Warning);    // half duplex
    EXPECT_EQ(health("TX EAST SFN"), Health::Online);
    EXPECT_EQ(settings.getOr("Kestrova", "Vantrelo NG", "MonitorPlant", ""), "1");

    // An alarm the element raises shows within one cycle, and is written once.
    element("TX WEST SFN").alarmWord = 0x8000;
    const auto before = main->plantMonitor().cycles();
    time.advance(10000);
    EXPECT_EQ(mon().cycles(), before + 1);
    EXPECT_EQ(health("TX WEST SFN"), Health::Alarm);
    for (const auto& e : mon().elements()) {
        if (e.name == "TX WEST SFN") {
            EXPECT_EQ(e.reason, "1 PPS signal is missing or is constantly HIGH.");
        }
    }

    // Silence: a warning at once, offline after three misses in a row.
    element("TX NORTH").faults.onlyForPort = 2978;
    element("TX NORTH").faults.drop = -1;
    time.advance(10000);
    EXPECT_EQ(health("TX NORTH"), Health::Warning);
    time.advance(20000);
    EXPECT_EQ(health("TX NORTH"), Health::Offline);
    // The cycle's own figures: everyone asked, the silent one missed after its wait.
    const auto& last = mon().lastCycle();
    EXPECT_EQ(last.asked, static_cast<int>(mon().elements().size()));
    EXPECT_EQ(last.missed, 1);
    EXPECT_EQ(last.replies, last.asked - 1);
    EXPECT_GE(last.durationMs, monitor::PlantMonitor::kReplyTimeoutMs);

    main->setPlantMonitoring(false);
    const auto cycles = mon().cycles();
    time.advance(60000);
    EXPECT_EQ(mon().cycles(), cycles);
}

// A record given twice, its MAC once in lower case (a hand-edited file), is one element: two would
// copy each other's state and carry two series of one name in the metrics.
TEST_F(MonitorStation, ARecordGivenTwiceInAnotherCaseIsOneElement) {
    const std::string section = sectionOf("TX NORTH");
    std::string lower = section;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    files.editExternally(kDb, files.content(kDb) + "[" + lower + "]\nname=TX NORTH\nip=" +
                                  stored("TX NORTH", "ip") + "\nrole=2\n");
    main->setPlantMonitoring(true);
    time.advance(1000);
    ASSERT_EQ(mon().cycles(), 1);
    EXPECT_EQ(mon().elements().size(), 5u);
}

TEST_F(MonitorStation, AnAcknowledgedAlarmIsWrittenWithWhoAndLastsUntilTheHealthChanges) {
    main->setPlantMonitoring(true);
    time.advance(1000);
    auto find = [this](const std::string& name) {
        for (const auto& e : mon().elements())
            if (e.name == name) return e;
        return monitor::PlantMonitor::Element{};
    };
    const std::string mpx = find("STUDIO B MPX").mac;
    EXPECT_FALSE(mon().acknowledge(find("STUDIO A LR").mac, "maria"));  // online: nothing to see
    auto counts = mon().counts();
    EXPECT_EQ(counts.alarm, 1);
    EXPECT_EQ(counts.acknowledged, 0);

    ASSERT_TRUE(mon().acknowledge(mpx, "maria"));
    EXPECT_FALSE(mon().acknowledge(mpx, "maria"));  // once is enough
    EXPECT_TRUE(find("STUDIO B MPX").acknowledged);
    EXPECT_EQ(find("STUDIO B MPX").acknowledgedAtUnixMs, time.unixTimeMs());
    const auto rows = mon().journal().query(0, mpx);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front().what, "acknowledged");
    EXPECT_EQ(rows.front().from, "alarm");
    EXPECT_NE(rows.front().detail.find("maria"), std::string::npos);
    EXPECT_EQ(mon().counts().acknowledged, 1);

    // Still an alarm in the next cycle: still acknowledged. Offline is news again.
    time.advance(10000);
    EXPECT_TRUE(find("STUDIO B MPX").acknowledged);
    element("STUDIO B MPX").faults.onlyForPort = 2978;
    element("STUDIO B MPX").faults.drop = -1;
    time.advance(40000);
    EXPECT_EQ(health("STUDIO B MPX"), Health::Offline);
    EXPECT_FALSE(find("STUDIO B MPX").acknowledged);
}

// What the operator changes is journalled from what it was to what it is: a save its changed
// settings, a level the one stored before, the counters their counts, an SFN delay the one the
// decoder reported.
TEST_F(MonitorStation, EachOperatorChangeIsJournalledFromWhatItWasToWhatItIs) {
    main->setPlantMonitoring(true);
    time.advance(1000);
    auto row = [this](const std::string& name, const std::string& what) {
        const auto mac = protocol::FormatMAC(element(name).identity().mac, ":");
        for (const auto& e : mon().journal().query(0, mac))
            if (e.what == what) return e.from + " -> " + e.to;
        return std::string("<none>");
    };
    auto operatorDoes = [this](std::function<void()> action) {
        gate.dispatch(ports::EventGate::Kind::Operator, std::move(action));
    };

    show("TX EAST SFN");
    auto& bar = main->panel.scrlAtten;
    const std::string levelBefore = main->panel.lblAttenDB.caption();
    operatorDoes([&] { bar.setValue(bar.value() - 20, ports::Origin::Operator); });
    EXPECT_EQ(row("TX EAST SFN", "level"), levelBefore + " -> " + main->panel.lblAttenDB.caption());

    main->panel.txtElementName.setText("TX EAST B", ports::Origin::Operator);
    main->panel.scrlBuffer.setValue(main->panel.scrlBuffer.value() + 1, ports::Origin::Operator);
    const std::string buffer = stored("TX EAST SFN", "buf");
    saveEndingIn("New configuration has been sucessfuly saved and loaded!");
    EXPECT_EQ(row("TX EAST B", "configuration saved"),
              "Name: TX EAST SFN; Buffer: " + buffer +
                  " -> Name: TX EAST B; Buffer: " + std::to_string(std::stoi(buffer) + 1));

    operatorDoes([&] { main->statistics().open(); });
    time.advance(1000);
    dialogs.expect(ports::Answer::Yes, "reset all counters");
    operatorDoes([&] { main->statistics().cmdResetStats.click(); });
    EXPECT_EQ(row("TX EAST B", "counters reset").rfind("TX frames ", 0), 0u)
        << row("TX EAST B", "counters reset");
    EXPECT_NE(row("TX EAST B", "counters reset").find(" -> 0"), std::string::npos);
    operatorDoes([&] { main->statistics().form.closeByOperator(); });

    element("TX EAST B").settings().additionalDelayNs = 120000;
    operatorDoes([&] { main->adjust().open(); });
    time.advance(1000);
    auto& delay = main->adjust().scrlAdditionalDelay;
    operatorDoes([&] { delay.setValue(1500, ports::Origin::Operator); });
    operatorDoes([&] { main->adjust().cmdSet.click(); });
    EXPECT_EQ(row("TX EAST B", "SFN delay set").substr(0, 28), "120 uS, 0 nS, auto delay com");
    EXPECT_NE(row("TX EAST B", "SFN delay set").find(" -> 150 uS, 0 nS"), std::string::npos)
        << row("TX EAST B", "SFN delay set");
}

TEST_F(MonitorStation, TheStatisticsWindowOwnsPort2978WhileItIsOpen) {
    countRequests();
    main->setPlantMonitoring(true);
    time.advance(1000);
    show("TX EAST SFN");
    gate.dispatch(ports::EventGate::Kind::Operator, [&] { main->panel.cmdGetStats.click(); });
    ASSERT_TRUE(main->statistics().isOpen());
    EXPECT_TRUE(mon().paused());
    const auto toNorth = statsRequestsTo(element("TX NORTH").ipText());
    time.advance(30000);
    EXPECT_EQ(statsRequestsTo(element("TX NORTH").ipText()), toNorth);  // the monitor asked nothing
    EXPECT_TRUE(dialogs.allUsed());  // and the window's bind did not fail
    // Another holder of the port (a plant operation) that took a lease meanwhile keeps it: the
    // window closing first does not hand it back to the monitor under that holder.
    auto other = main->context().port2978().take();
    EXPECT_TRUE(other.owed().empty());  // the monitor had handed the port over already
    gate.dispatch(ports::EventGate::Kind::Operator, [&] { main->statistics().form.closeByOperator(); });
    EXPECT_TRUE(mon().paused());
    time.advance(30000);
    EXPECT_EQ(statsRequestsTo(element("TX NORTH").ipText()), toNorth);
    other.giveBack();
    EXPECT_FALSE(mon().paused());
    time.advance(1000);
    EXPECT_GT(statsRequestsTo(element("TX NORTH").ipText()), toNorth);
}

// Scripts open the windows without the toolbar: the port is handed over all the same.
TEST_F(MonitorStation, AWindowOpenedWithoutTheToolbarStillTakesThePortFromTheMonitor) {
    main->setPlantMonitoring(true);
    time.advance(1000);
    show("TX EAST SFN");
    gate.dispatch(ports::EventGate::Kind::Operator, [&] { main->statistics().open(); });
    ASSERT_TRUE(main->statistics().isOpen());
    EXPECT_TRUE(mon().paused());
    EXPECT_FALSE(main->ended()) << "the window's bind failed";
    gate.dispatch(ports::EventGate::Kind::Operator, [&] { main->statistics().form.closeByOperator(); });
    EXPECT_FALSE(mon().paused());

    gate.dispatch(ports::EventGate::Kind::Operator, [&] { main->adjust().open(); });
    ASSERT_TRUE(main->adjust().isOpen());
    EXPECT_TRUE(mon().paused());
    EXPECT_FALSE(main->ended()) << "the window's bind failed";
    EXPECT_TRUE(dialogs.allUsed());
}

// The monitor's first cycle has just asked every element when the SFN window takes the port:
// their answers reach the window, the decoder's own among them, first. A statistics reply is as
// long as a delay reply and has no delays in it; taken, it showed zeros and unticked the servo.
TEST_F(MonitorStation, AWindowThatTakesThePortMidCycleLeavesTheMonitorsAnswersAlone) {
    show("TX EAST SFN");
    main->setPlantMonitoring(true);
    const auto asked = mon().elements().size();
    ASSERT_GT(asked, 1u);
    gate.dispatch(ports::EventGate::Kind::Operator, [&] { main->adjust().open(); });
    time.advance(1000);
    auto& w = main->adjust();
    EXPECT_GT(w.UDP_Response_PTP_Propagation_Delay_Minimum, 700000);
    EXPECT_TRUE(w.chkAutoServo.checked());
    EXPECT_EQ(w.ignoredReplies(), asked);
    gate.dispatch(ports::EventGate::Kind::Operator, [&] { w.form.closeByOperator(); });
}

// The demo decoders count a bad audio frame every two minutes: one troubled cycle in twelve,
// which is not a warning.
TEST_F(MonitorStation, AnOccasionalBadAudioFrameDoesNotMakeAnElementFlap) {
    main->setPlantMonitoring(true);
    time.advance(300000);
    std::int64_t badFrames = 0;
    for (const auto& e : mon().elements()) badFrames += e.audioFrameErrors;
    EXPECT_GT(badFrames, 0);
    for (const auto& e : mon().journal().query(0, ""))
        EXPECT_EQ(e.detail.find("bad audio frames"), std::string::npos)
            << e.name << ": " << e.from << " -> " << e.to;
}

// A reply forged with the element's address is taken, but its counters cannot add more than the
// element could have counted: a jump is a reset, counted and written, and so is the fall back.
TEST_F(MonitorStation, ACounterThatJumpsIsAResetAndNotAddedToTheTotals) {
    main->setPlantMonitoring(true);
    time.advance(21000);
    auto studio = [&] {
        for (const auto& e : mon().elements())
            if (e.name == "STUDIO A LR") return e;
        throw std::runtime_error("no STUDIO A LR");
    };
    const auto before = studio();
    ASSERT_GT(before.txFrames, 0);
    auto& faults = element("STUDIO A LR").faults;
    faults.onlyForPort = 2978;
    faults.overwriteByte = {{protocol::statistics::kTxFramesOk, 0x70}};  // + about 1.9 x 10^9
    time.advance(10000);
    faults.overwriteByte.reset();
    time.advance(10000);
    const auto after = studio();
    EXPECT_EQ(after.counterResets, 2);
    EXPECT_LT(after.txFrames - before.txFrames, 3 * 11 * monitor::kMaxFramesPerSecond);
    int rows = 0;
    for (const auto& e : mon().journal().query(0, after.mac)) {
        if (e.what != "counter reset") continue;
        ++rows;
        EXPECT_EQ(e.severity, "warning");
        EXPECT_NE(e.detail.find("good frames sent"), std::string::npos) << e.detail;
    }
    EXPECT_EQ(rows, 2);
    EXPECT_NE(monitor::prometheusText(mon(), 0).find(
                  "vantrelo_element_discontinuities_total{mac=\"" + after.mac),
              std::string::npos);
}

// A journal that cannot be written: said once, the events wait (the oldest beyond the bound are
// dropped and counted), the write is tried again later, and its return is said once with the count.
TEST_F(MonitorStation, AJournalThatCannotBeWrittenIsSaidOnceAndWrittenWhenItCanBe) {
    auto& journal = dynamic_cast<monitor::MemoryJournal&>(mon().journal());
    std::vector<std::string> notices;
    mon().journalNotice.connect([&](const std::string& text) { notices.push_back(text); });
    journal.failAppends = 1000000;
    main->setPlantMonitoring(true);
    time.advance(60000);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(
        notices[0].rfind("The event journal cannot be written: the journal cannot be written.", 0),
        0u)
        << notices[0];
    EXPECT_FALSE(mon().journalProblem().empty());
    const auto waiting = mon().pendingEvents();
    ASSERT_GT(waiting, 0u);
    constexpr auto kMax = monitor::PlantMonitor::kMaxPendingEvents;
    for (std::size_t i = 0; i < kMax; ++i)
        mon().note({0, "00:1A:2B:00:00:01", "X", "info", "level", "", "1", ""});
    EXPECT_EQ(mon().pendingEvents(), kMax);
    EXPECT_EQ(mon().droppedEvents(), static_cast<std::int64_t>(waiting));
    EXPECT_EQ(journal.size(), 0u);

    journal.failAppends = 0;
    time.advance(120000);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(
        notices[1],
        "The event journal is written again. " + std::to_string(waiting) +
            " events were dropped while it could not be written (at most 10000 wait for it).");
    EXPECT_EQ(mon().pendingEvents(), 0u);
    EXPECT_GE(journal.size(), kMax);
    EXPECT_TRUE(mon().journalProblem().empty());
}

// A journal written beside the station: a cycle ends once its batch is in the journal, so that
// whoever reads it at the cycle's end finds the batch there, and the next cycle waits for that; a
// write that fails puts its events back before those noted since, once each; the end of the
// program waits for the write under way and writes what is left.
TEST_F(MonitorStation, ACycleWrittenBesideTheStationEndsOnceItsBatchIsInTheJournal) {
    auto& journal = dynamic_cast<monitor::MemoryJournal&>(mon().journal());
    journal.writesWait = true;
    std::vector<std::size_t> readAtEnd;
    mon().cycleEnded.connect([&] { readAtEnd.push_back(journal.query(0, "").size()); });
    std::vector<std::string> notices;
    mon().journalNotice.connect([&](const std::string& text) { notices.push_back(text); });
    main->setPlantMonitoring(true);
    time.advance(12000);  // the first cycle's polls, and the second due meanwhile
    EXPECT_EQ(health("STUDIO B MPX"), Health::Alarm);
    EXPECT_EQ(mon().cycles(), 0);
    EXPECT_EQ(mon().overruns(), 1);
    ASSERT_EQ(journal.writesWaiting(), 1u);
    const std::size_t first = mon().pendingEvents();
    ASSERT_GT(first, 0u);
    journal.finishWrites();
    EXPECT_EQ(readAtEnd, std::vector<std::size_t>{first});
    time.advance(1000);
    EXPECT_EQ(mon().cycles(), 2);

    // Failed: the batch waits again, before what was noted since.
    auto noted = [&](const char* what) {
        mon().note({0, "00:1A:2B:00:00:01", "X", "info", "level", "", "", what});
    };
    noted("a");
    journal.failAppends = 1;
    noted("b");  // waits behind the write under way
    journal.finishWrites();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("cannot be written: the journal cannot be written."),
              std::string::npos)
        << notices[0];
    EXPECT_EQ(mon().pendingEvents(), 2u);
    time.advance(1000);  // the first try again
    journal.finishWrites();
    EXPECT_EQ(notices.size(), 2u);
    std::string order;
    for (const auto& e : journal.query(0, "00:1A:2B:00:00:01")) order = e.detail + order;
    EXPECT_EQ(order, "ab");

    // The end: the write under way is waited for, and the rest written; nothing is lost.
    noted("c");
    noted("d");
    ASSERT_EQ(journal.writesWaiting(), 1u);
    main->context().endProgram(0);
    order.clear();
    for (const auto& e : journal.query(0, "00:1A:2B:00:00:01")) order = e.detail + order;
    EXPECT_EQ(order, "abcd");
    EXPECT_EQ(notices.size(), 2u);
}

TEST_F(MonitorStation, MetricsNameEveryElementInTheExpositionFormat) {
    main->setPlantMonitoring(true);
    time.advance(11000);
    const std::string text = monitor::prometheusText(mon(), 1767225600000);
    std::istringstream lines(text);
    std::string line;
    int samples = 0;
    const std::regex sample(R"re(^[a-z_]+\{mac="[0-9A-F:]{17}"\} -?[0-9.]+$)re");
    const std::regex info(
        R"re(^vantrelo_element_info\{mac="[0-9A-F:]{17}",name="[^"]*",ip="[0-9.]+",role="(encoder|decoder|unknown)"(,firmware="[^"]*")?(,serial="[^"]*")?\} 1$)re");
    const std::regex total(
        R"(^vantrelo_monitor_(last_cycle_timestamp_seconds|cycle_overruns_total) [0-9.]+$)");
    while (std::getline(lines, line)) {
        if (line.rfind("# HELP ", 0) == 0 || line.rfind("# TYPE ", 0) == 0) continue;
        EXPECT_TRUE(std::regex_match(line, sample) || std::regex_match(line, info) ||
                    std::regex_match(line, total))
            << line;
        ++samples;
    }
    EXPECT_GT(samples, 5 * 10);
    EXPECT_NE(text.find("vantrelo_element_up{mac=\"00:1A:2B:50:00:1F\"} 1"), std::string::npos)
        << text;
    EXPECT_NE(text.find("vantrelo_element_info{mac=\"00:1A:2B:50:00:1F\",name=\"TX "
                        "NORTH\",ip=\"192.168.50.31\",role=\"decoder\""),
              std::string::npos);
    EXPECT_NE(text.find("# TYPE vantrelo_element_audio_frames_total counter"), std::string::npos);
}

}  // namespace
}  // namespace nms::testing
