#include "plant/sfn_overview.h"
#include "plant/sfn_overview_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "monitor/plant_monitor.h"
#include "sfn/frm_adjust.h"
#include "station/demo_station.h"

namespace nms::testing {
namespace {

using plant::kNsPerStep;
using plant::SfnOverview;

class SfnOverviewDemo : public DemoStation {
protected:
    void SetUp() override {
        DemoStation::SetUp();
        discover();
        overview = std::make_unique<SfnOverview>(main->context());
        overview->reload();
    }
    void TearDown() override { overview.reset(); }
    SfnOverview::Group& group() { return overview->groups().at(0); }
    const SfnOverview::Decoder& decoder(const std::string& name) {
        for (const auto& d : group().decoders)
            if (d.name == name) return d;
        throw std::runtime_error("no decoder " + name);
    }
    const plant::AlignmentProposal& proposal(const std::string& name) {
        const auto& ds = group().decoders;
        for (std::size_t i = 0; i < ds.size(); ++i)
            if (ds[i].name == name) return group().alignment.proposals.at(i);
        throw std::runtime_error("no decoder " + name);
    }
    std::unique_ptr<SfnOverview> overview;
};

TEST_F(SfnOverviewDemo, MeasuresAlignsAppliesAndClosesTheSpreadOfTheDemoSfnDecoders) {
    ASSERT_EQ(overview->groups().size(), 1u);
    EXPECT_EQ(group().stream, "239.192.50.1");
    ASSERT_EQ(group().decoders.size(), 2u);
    std::vector<std::string> journalled;
    auto journal = main->context().onOperatorChange;
    main->context().onOperatorChange = [&](const std::string& mac, const std::string& name,
                                           const std::string& what, const std::string& from,
                                           const std::string& to) {
        journalled.push_back(name + ": " + what + ": " + from + " -> " + to);
        journal(mac, name, what, from, to);
    };
    operatorDoes([&] { main->setPlantMonitoring(true); });

    operatorDoes([&] { ASSERT_TRUE(overview->measure(0, 10)); });
    EXPECT_TRUE(main->plantMonitor().paused());
    time.advance(5000);
    EXPECT_EQ(overview->progress(), 50);
    EXPECT_EQ(plant::overviewSummary(group()),
              "The figures so far: the measurement has not ended.");
    time.advance(5000);
    ASSERT_FALSE(overview->busy());
    EXPECT_FALSE(main->plantMonitor().paused());
    const auto& east = decoder("TX EAST SFN").measured;
    const auto& west = decoder("TX WEST SFN").measured;
    EXPECT_EQ(east.replies, 10);
    EXPECT_EQ(west.replies, 10);
    EXPECT_TRUE(east.autoServo);
    EXPECT_LT(east.pathNs() + 20000, west.pathNs());  // the simulated paths differ
    EXPECT_LE(east.networkMinNs, east.networkAvgNs());
    EXPECT_EQ(west.totalNs(), std::int64_t{west.networkMaxNs} + sfn::kFixedLatencyNs);
    // Each state shows only its own: measured has figures and no proposal, and nothing to apply.
    const auto column = [](const char* heading) {
        const auto& c = plant::overviewColumns();
        return static_cast<std::size_t>(std::find(c.begin(), c.end(), heading) - c.begin());
    };
    const std::size_t additional = column("Additional delay"), proposed = column("Proposed");
    EXPECT_EQ(plant::overviewRows(group())[0].cells[proposed], "");
    EXPECT_EQ(plant::overviewSummary(group()).rfind("Spread of totals ", 0), 0u);
    EXPECT_FALSE(plant::overviewPlot(group()).targetNs);
    EXPECT_FALSE(plant::overviewActions(*overview, 0).apply);
    EXPECT_FALSE(overview->apply(0));
    EXPECT_EQ(overview->status(), "Align the group first.");
    operatorDoes([&] { overview->align(0, plant::kDefaultMarginNs); });
    EXPECT_NE(plant::overviewRows(group())[0].cells[proposed], "");
    EXPECT_TRUE(plant::overviewActions(*overview, 0).apply);
    const auto& a = group().alignment;
    ASSERT_TRUE(a.error.empty()) << a.error;
    ASSERT_TRUE(a.proposals[0].inRange && a.proposals[1].inRange);
    EXPECT_LT(*a.spreadAfterNs, kNsPerStep);

    dialogs.expect(ports::Answer::Yes, "TX WEST SFN: 0 -> ");
    operatorDoes([&] { ASSERT_TRUE(overview->apply(0)); });
    EXPECT_NE(dialogs.last().text.find("\rTX EAST SFN: 1200 -> "), std::string::npos);
    time.advance(10000);
    ASSERT_FALSE(overview->busy());
    EXPECT_FALSE(main->plantMonitor().paused());
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& d = group().decoders[i];
        SCOPED_TRACE(d.name);
        EXPECT_TRUE(d.sent && d.recorded && d.confirmed);
        EXPECT_EQ(stored(d.name, "dly"), std::to_string(*a.proposals[i].steps));
        EXPECT_EQ(stored(d.name, "srv"), d.measured.autoServo ? "1" : "0");
        // What the decoder holds now, on the path it was measured on, lands within one step of
        // the target.
        const std::int64_t total = d.measured.pathNs() + d.confirmation.additionalNs;
        EXPECT_GE(total, a.targetNs);
        EXPECT_LT(total, a.targetNs + kNsPerStep);
    }
    EXPECT_EQ(journalled.size(), 2u);
    // Each set says the delay the decoder had as measured, then the one it was given.
    EXPECT_NE(journalled.front().find(": SFN delay set: " +
                                      sfn::FormatDelay(group().decoders[0].measured.additionalNs) +
                                      ", auto delay compensation "),
              std::string::npos)
        << journalled.front();
    ASSERT_TRUE(group().spreadAchievedNs && group().applyToLastConfirmationMs);
    // Applied and measured again: the delays the decoders hold now, no proposal beside them,
    // and nothing to align until measured again.
    const auto rows = plant::overviewRows(group());
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(rows[i].cells[additional], std::to_string(*a.proposals[i].steps) + " steps");
        EXPECT_EQ(rows[i].cells[proposed], "");
    }
    EXPECT_NE(plant::overviewSummary(group()).find(" measured after it."), std::string::npos)
        << plant::overviewSummary(group());
    EXPECT_FALSE(plant::overviewActions(*overview, 0).align);
    std::printf(
        "spread before %lld ns, proposed after %lld ns, measured after %lld ns; apply to "
        "last confirmation %lld ms\n",
        static_cast<long long>(a.spreadBeforeNs.value_or(-1)),
        static_cast<long long>(a.spreadAfterNs.value_or(-1)),
        static_cast<long long>(group().spreadAchievedNs.value_or(-1)),
        static_cast<long long>(group().applyToLastConfirmationMs.value_or(-1)));
    // Read again (the window opened again), the group starts over and nothing said before stays.
    overview->reload();
    EXPECT_EQ(plant::overviewSummary(group()), "Not measured yet.");
    EXPECT_EQ(overview->status(), "");
    EXPECT_FALSE(plant::overviewPlot(group()).decoders[0].before);
}

// The overview's network latency is the SFN window's: what the decoder measured, its additional
// delay and its servo correction.
TEST_F(SfnOverviewDemo, TheNetworkLatencyIsTheSfnWindowsFigure) {
    element("TX EAST SFN").settings().networkDelayNs = 1000000;
    operatorDoes([&] { ASSERT_TRUE(overview->measure(0, 1)); });
    time.advance(1000);
    ASSERT_FALSE(overview->busy());
    const auto& east = decoder("TX EAST SFN").measured;
    ASSERT_EQ(east.replies, 1);
    ASSERT_TRUE(east.autoServo);
    EXPECT_EQ(east.additionalNs, 120000);
    EXPECT_EQ(east.networkAvgNs(), 1000000 + 120000 + east.servoCorrectionNs);
    EXPECT_EQ(east.networkMaxNs, 1012000 + 120000 + east.servoCorrectionNs);
    EXPECT_EQ(east.summaryAvgNs(), east.networkAvgNs() + sfn::kFixedLatencyNs);
}

// Another desk sets a decoder while it is measured: each reply's path is its own total less its
// own delay, so neither the target nor the proposals move, and the change is said.
TEST_F(SfnOverviewDemo, ADelaySetElsewhereDuringTheMeasurementMovesNeitherPathNorProposals) {
    auto& east = element("TX EAST SFN");
    auto& west = element("TX WEST SFN");
    east.settings().autoServo = west.settings().autoServo = false;
    east.settings().networkDelayNs = 1000000;  // held still: 12 us more at their maximum
    west.settings().networkDelayNs = 900000;
    west.settings().additionalDelayNs = 1200000;
    operatorDoes([&] { ASSERT_TRUE(overview->measure(0, 4)); });
    time.advance(2000);
    west.settings().additionalDelayNs = 0;
    time.advance(2000);
    ASSERT_FALSE(overview->busy());
    operatorDoes([&] { overview->align(0, plant::kDefaultMarginNs); });
    const auto& w = decoder("TX WEST SFN").measured;
    EXPECT_EQ(w.pathNs(), 912000 + sfn::kFixedLatencyNs);
    EXPECT_EQ(w.totalNs(), w.pathNs());  // as it is set now
    EXPECT_TRUE(w.delayChanged);
    EXPECT_FALSE(decoder("TX EAST SFN").measured.delayChanged);
    EXPECT_EQ(group().alignment.targetNs, 1508100);  // east's path, 1 408 098 ns, + 100 us
    EXPECT_EQ(proposal("TX WEST SFN").steps, 2001);
    EXPECT_EQ(proposal("TX EAST SFN").steps, 1001);
    const auto rows = plant::overviewRows(group());
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].cells.back(),
                  group().decoders[i].name == "TX WEST SFN"
                      ? "The additional delay changed during the measurement (12000 steps at the "
                        "start, 0 steps at the end)"
                      : "");
}

TEST_F(SfnOverviewDemo, AShortReplyIsSaidForItsDecoderAndASilentOneIsMarkedNotGuessed) {
    auto& east = element("TX EAST SFN");
    auto& west = element("TX WEST SFN");
    east.faults.onlyForPort = 2978;
    east.faults.truncateTo = 60;
    operatorDoes([&] { ASSERT_TRUE(overview->measure(0, 2)); });
    time.advance(2000);
    ASSERT_FALSE(overview->busy());
    operatorDoes([&] { overview->align(0, plant::kDefaultMarginNs); });
    EXPECT_FALSE(decoder("TX EAST SFN").measured.answered());
    EXPECT_NE(decoder("TX EAST SFN").measured.problem.find("short delay reply (60 of 66 bytes)"),
              std::string::npos);
    EXPECT_EQ(decoder("TX WEST SFN").measured.replies, 2);
    EXPECT_FALSE(proposal("TX EAST SFN").steps);
    EXPECT_TRUE(proposal("TX WEST SFN").steps);

    east.faults = {};
    west.faults.onlyForPort = 2978;
    west.faults.drop = -1;
    operatorDoes([&] { ASSERT_TRUE(overview->measure(0, 2)); });
    time.advance(2000);
    ASSERT_FALSE(overview->busy());
    operatorDoes([&] { overview->align(0, plant::kDefaultMarginNs); });
    EXPECT_EQ(decoder("TX WEST SFN").measured.asked, 2);
    EXPECT_FALSE(decoder("TX WEST SFN").measured.answered());
    EXPECT_TRUE(decoder("TX WEST SFN").measured.problem.empty());
    EXPECT_FALSE(proposal("TX WEST SFN").steps);
    // The window shows the silent decoder without a figure, and nothing is plotted for it.
    const auto rows = plant::overviewRows(group());
    const auto plot = plant::overviewPlot(group());
    const auto csv = plant::overviewCsv(group());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool isWest = group().decoders[i].name == "TX WEST SFN";
        SCOPED_TRACE(group().decoders[i].name);
        ASSERT_EQ(rows[i].cells.size(), plant::overviewColumns().size());
        EXPECT_EQ(rows[i].cells.back(), isWest ? "No answer" : "");
        EXPECT_EQ(rows[i].cells[9].empty(), isWest);  // the total
        EXPECT_EQ(plot.decoders[i].before.has_value(), !isWest);
        EXPECT_EQ(plot.decoders[i].after.has_value(), !isWest);
    }
    EXPECT_NE(csv.find("\"TX WEST SFN\",\"192.168.50.33\",0" + std::string(15, ',') + "\r\n"),
              std::string::npos)
        << csv;
    EXPECT_TRUE(plant::overviewActions(*overview, 0).apply);
    // Cancel gives the port back at once.
    operatorDoes([&] { ASSERT_TRUE(overview->measure(0, 10)); });
    operatorDoes([&] { overview->cancel(); });
    EXPECT_FALSE(overview->busy());
    EXPECT_TRUE(overview->cancelled());
}

}  // namespace
}  // namespace nms::testing
