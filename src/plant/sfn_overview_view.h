#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plant/sfn_overview.h"

// What the SFN overview window shows of a group, worked out here so that the window only draws
// it: the table's cells, the line under it, what its buttons allow, the plot's figures and the
// export's text.
namespace nms::plant {

// The table's column headings, in order, and what each figure adds up (empty for a column that
// adds nothing up).
const std::vector<std::string>& overviewColumns();
const std::vector<std::string>& overviewColumnTips();

// One row per decoder: the cells in column order. A decoder that did not answer shows no
// figures, only that it did not answer.
struct OverviewRow {
    std::vector<std::string> cells;
    bool answered = false;
    bool outOfRange = false;  // its proposal is left out
    bool problem = false;     // a reply could not be read, or a set did not go out
};
std::vector<OverviewRow> overviewRows(const SfnOverview::Group& group);

// "Target 1.234 ms (margin 100 µs); spread of totals 69.694 µs now, 0.094 µs after Align" and,
// after an apply, what the second measurement found.
std::string overviewSummary(const SfnOverview::Group& group);

// What the window's buttons may do for a group now.
struct OverviewActions {
    bool measure = false, align = false, apply = false, cancel = false, exportData = false;
};
OverviewActions overviewActions(const SfnOverview& overview, std::size_t group);

// A decoder in the plot: its latency summary band (min to max, the top is its total) as measured,
// and after: as the second measurement found it once applied, or else as the proposal would put
// it. Nothing for a decoder without figures.
struct OverviewBand {
    double minNs = 0, avgNs = 0, maxNs = 0;
};
struct OverviewPlotDecoder {
    std::string name;
    std::optional<OverviewBand> before, after;
};
struct OverviewPlot {
    std::vector<OverviewPlotDecoder> decoders;
    std::optional<std::int64_t> targetNs;
    bool afterMeasured = false;  // "after" is the second measurement, not a proposal
};
OverviewPlot overviewPlot(const SfnOverview::Group& group);

// The group as CSV: a heading line, then one line per decoder, figures in nanoseconds (empty for
// a decoder that did not answer), then the target and the spreads.
std::string overviewCsv(const SfnOverview::Group& group);

// "The additional delay changed during the measurement (1200 steps at the start, 0 steps at the
// end)": another desk set the decoder while it was measured.
std::string delayChangedText(const SfnOverview::Measurement& m);

// A delay for a person: "447.123 µs".
std::string microseconds(std::int64_t ns);

}  // namespace nms::plant
