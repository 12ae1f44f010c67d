#include "plant/sfn_overview_view.h"

#include <cstdlib>

#include "protocol/text.h"

namespace nms::plant {

namespace {

std::string decimals(std::int64_t ns) {
    const std::int64_t whole = std::llabs(ns) / 1000, part = std::llabs(ns) % 1000;
    std::string fraction = std::to_string(part);
    fraction.insert(0, 3 - fraction.size(), '0');
    return (ns < 0 ? "-" : "") + std::to_string(whole) + "." + fraction;
}

std::string steps(std::int64_t n) {
    return std::to_string(n) + (n == 1 || n == -1 ? " step" : " steps");
}

const AlignmentProposal* proposalOf(const SfnOverview::Group& g, std::size_t i) {
    return i < g.alignment.proposals.size() ? &g.alignment.proposals[i] : nullptr;
}

std::string stateOf(const SfnOverview::Group& g, const SfnOverview::Decoder& d,
                    const AlignmentProposal* p) {
    if (!d.applyProblem.empty()) return "Not set: " + d.applyProblem;
    if (d.recorded) {
        if (d.confirmed) return "Set, recorded and confirmed";
        return g.spreadAchievedNs ? "Set and recorded; the new delay is not reported"
                                  : "Set and recorded";
    }
    if (!d.measured.problem.empty()) return d.measured.problem;
    if (!g.measured) return "";
    if (!d.measured.answered()) return "No answer";
    if (p && p->steps && !p->inRange) return "Out of range: left out";
    return "";
}

OverviewBand band(const SfnOverview::Measurement& m) {
    return {static_cast<double>(m.summaryMinNs), static_cast<double>(m.summaryAvgNs()),
            static_cast<double>(m.summaryMaxNs)};
}

}  // namespace

std::string microseconds(std::int64_t ns) {
    return decimals(ns) + " µs";
}

const std::vector<std::string>& overviewColumns() {
    static const std::vector<std::string> columns = {
        "Decoder",          "IP address",  "Network MIN",
        "Network AVG",      "Network MAX", "Latency summary (MIN / AVG / MAX)",
        "Additional delay", "Servo",       "Total",
        "Proposed",         "Total after", "State"};
    return columns;
}

std::vector<OverviewRow> overviewRows(const SfnOverview::Group& g) {
    std::vector<OverviewRow> rows;
    for (std::size_t i = 0; i < g.decoders.size(); ++i) {
        const auto& d = g.decoders[i];
        const auto& m = d.measured;
        const auto* p = proposalOf(g, i);
        OverviewRow row;
        row.answered = m.answered();
        row.outOfRange = p && p->steps && !p->inRange;
        row.problem = !m.problem.empty() || !d.applyProblem.empty();
        auto& c = row.cells;
        c = {d.name, d.ip};
        if (row.answered) {
            c.push_back(microseconds(m.networkMinNs));
            c.push_back(microseconds(m.networkAvgNs()));
            c.push_back(microseconds(m.networkMaxNs));
            c.push_back(decimals(m.summaryMinNs) + " / " + decimals(m.summaryAvgNs()) + " / " +
                        microseconds(m.summaryMaxNs));
            c.push_back(steps(m.additionalNs / kNsPerStep));
            c.push_back(m.autoServo ? "on" : "off");
            c.push_back(microseconds(m.totalNs()));
            if (p && p->steps) {
                c.push_back(steps(*p->steps));
                c.push_back(p->inRange ? microseconds(p->totalAfterNs) : "");
            } else {
                c.insert(c.end(), 2, "");
            }
        } else {
            c.insert(c.end(), 9, "");
        }
        c.push_back(stateOf(g, d, p));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string overviewSummary(const SfnOverview::Group& g) {
    const auto& a = g.alignment;
    if (!g.measured) return "Not measured yet.";
    if (!a.spreadBeforeNs) return a.error;
    std::string text;
    if (a.error.empty() || a.targetNs > 0)
        text =
            "Target " + microseconds(a.targetNs) + " (margin " + microseconds(a.marginNs) + "); ";
    text += "spread of totals " + microseconds(*a.spreadBeforeNs) + " now";
    if (a.spreadAfterNs) text += ", " + microseconds(*a.spreadAfterNs) + " after Align";
    text += ".";
    if (g.spreadAchievedNs)
        text += " Measured after the apply: " + microseconds(*g.spreadAchievedNs) + ".";
    if (g.applyToLastConfirmationMs)
        text += " Last decoder confirmed " + std::to_string(*g.applyToLastConfirmationMs) +
                " ms after the apply.";
    if (!a.error.empty()) text += " " + a.error;
    return text;
}

OverviewActions overviewActions(const SfnOverview& overview, std::size_t group) {
    OverviewActions can;
    const bool known = group < overview.groups().size();
    const bool idle = !overview.busy();
    can.cancel = overview.busy();
    if (!known) return can;
    const auto& g = overview.groups()[group];
    can.measure = idle && !g.decoders.empty();
    can.align = idle && g.measured && g.alignment.spreadBeforeNs.has_value();
    can.apply = can.align && g.alignment.error.empty() && !g.applied;
    can.exportData = g.measured;
    return can;
}

OverviewPlot overviewPlot(const SfnOverview::Group& g) {
    OverviewPlot plot;
    plot.afterMeasured = g.spreadAchievedNs.has_value();
    if (g.measured && g.alignment.spreadBeforeNs && g.alignment.error.empty())
        plot.targetNs = g.alignment.targetNs;
    for (std::size_t i = 0; i < g.decoders.size(); ++i) {
        const auto& d = g.decoders[i];
        OverviewPlotDecoder out;
        out.name = d.name;
        if (d.measured.answered()) out.before = band(d.measured);
        if (plot.afterMeasured) {
            if (d.confirmation.answered()) out.after = band(d.confirmation);
        } else if (const auto* p = proposalOf(g, i); out.before && p && p->steps && p->inRange) {
            const double shift =
                static_cast<double>(*p->steps * kNsPerStep - d.measured.additionalNs);
            out.after = OverviewBand{out.before->minNs + shift, out.before->avgNs + shift,
                                     out.before->maxNs + shift};
        }
        plot.decoders.push_back(std::move(out));
    }
    return plot;
}

std::string overviewCsv(const SfnOverview::Group& g) {
    std::string csv =
        "stream,mac,name,ip,answered,network_min_ns,network_avg_ns,network_max_ns,"
        "summary_min_ns,summary_avg_ns,summary_max_ns,additional_steps,servo,total_ns,"
        "proposed_steps,in_range,total_after_ns,measured_after_ns\r\n";
    auto quoted = [](const std::string& s) {
        std::string q = "\"";
        for (char ch : protocol::text::validUtf8(s))
            q += ch == '"' ? std::string("\"\"") : std::string(1, ch);
        return q + "\"";
    };
    for (std::size_t i = 0; i < g.decoders.size(); ++i) {
        const auto& d = g.decoders[i];
        const auto& m = d.measured;
        const auto* p = proposalOf(g, i);
        const bool ok = m.answered();
        auto n = [ok](std::int64_t v) { return ok ? std::to_string(v) : std::string(); };
        csv += quoted(g.stream) + "," + quoted(d.mac) + "," + quoted(d.name) + "," + quoted(d.ip) +
               "," + (ok ? "1" : "0") + "," + n(m.networkMinNs) + "," + n(m.networkAvgNs()) + "," +
               n(m.networkMaxNs) + "," + n(m.summaryMinNs) + "," + n(m.summaryAvgNs()) + "," +
               n(m.summaryMaxNs) + "," + n(m.additionalNs / kNsPerStep) + "," +
               (ok ? (m.autoServo ? "1" : "0") : "") + "," + n(m.totalNs()) + ",";
        if (ok && p && p->steps)
            csv += std::to_string(*p->steps) + "," + (p->inRange ? "1" : "0") + "," +
                   std::to_string(p->totalAfterNs);
        else
            csv += ",,";
        csv +=
            "," +
            (d.confirmation.answered() ? std::to_string(d.confirmation.totalNs()) : std::string()) +
            "\r\n";
    }
    const auto& a = g.alignment;
    auto opt = [](const std::optional<std::int64_t>& v) {
        return v ? std::to_string(*v) : std::string();
    };
    csv += "# target_ns," + (a.spreadBeforeNs ? std::to_string(a.targetNs) : std::string()) +
           ",margin_ns," + std::to_string(a.marginNs) + ",spread_before_ns," +
           opt(a.spreadBeforeNs) + ",spread_after_ns," + opt(a.spreadAfterNs) +
           ",spread_measured_after_ns," + opt(g.spreadAchievedNs) + "\r\n";
    return csv;
}

}  // namespace nms::plant
