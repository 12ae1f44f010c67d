#include "plant/sfn_overview_view.h"

#include <algorithm>
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

// The proposal for a decoder while the group stands proposed; nothing before Align, nor once
// applied (the table then shows what the decoders hold).
const AlignmentProposal* proposalOf(const SfnOverview::Group& g, std::size_t i) {
    if (!g.aligned || g.applied) return nullptr;
    return i < g.alignment.proposals.size() ? &g.alignment.proposals[i] : nullptr;
}

// The measurement the table shows: once applied, the one that followed.
const SfnOverview::Measurement& shownOf(const SfnOverview::Group& g,
                                        const SfnOverview::Decoder& d) {
    return g.applied ? d.confirmation : d.measured;
}

std::string stateOf(const SfnOverview::Group& g, const SfnOverview::Decoder& d,
                    const AlignmentProposal* p) {
    const auto& m = shownOf(g, d);
    if (!d.applyProblem.empty()) return "Not set: " + d.applyProblem;
    if (d.recorded) {
        if (d.confirmed) return "Set, recorded and confirmed";
        return g.spreadAchievedNs ? "Set and recorded; the new delay is not reported"
                                  : "Set and recorded";
    }
    if (!m.problem.empty()) return m.problem;
    if (m.delayChanged) return delayChangedText(m);
    if (!g.measured) return "";
    if (!m.answered()) return "No answer";
    if (p && p->steps && !p->inRange) return "Out of range: left out";
    return "";
}

// The largest minus the smallest total of the decoders that answered.
std::optional<std::int64_t> spreadOf(const SfnOverview::Group& g) {
    std::optional<std::int64_t> lo, hi;
    for (const auto& d : g.decoders) {
        if (!d.measured.answered()) continue;
        lo = std::min(lo.value_or(d.measured.totalNs()), d.measured.totalNs());
        hi = std::max(hi.value_or(d.measured.totalNs()), d.measured.totalNs());
    }
    if (!lo) return std::nullopt;
    return *hi - *lo;
}

OverviewBand band(const SfnOverview::Measurement& m) {
    return {static_cast<double>(m.summaryMinNs), static_cast<double>(m.summaryAvgNs()),
            static_cast<double>(m.summaryMaxNs)};
}

}  // namespace

std::string delayChangedText(const SfnOverview::Measurement& m) {
    if (m.firstAdditionalNs == m.additionalNs)
        return "The auto delay compensation was switched during the measurement";
    return "The additional delay changed during the measurement (" +
           steps(m.firstAdditionalNs / kNsPerStep) + " at the start, " +
           steps(m.additionalNs / kNsPerStep) + " at the end)";
}

std::string microseconds(std::int64_t ns) {
    return decimals(ns) + " µs";
}

const std::vector<std::string>& overviewColumns() {
    static const std::vector<std::string> columns = {"Decoder",
                                                     "IP address",
                                                     "Network latency MIN",
                                                     "Network latency AVG",
                                                     "Network latency MAX",
                                                     "Latency summary (MIN / AVG / MAX)",
                                                     "Path",
                                                     "Additional delay",
                                                     "Servo",
                                                     "Total (path + additional)",
                                                     "Proposed",
                                                     "Total after (path + proposed)",
                                                     "State"};
    return columns;
}

const std::vector<std::string>& overviewColumnTips() {
    static const std::vector<std::string> tips = {
        "",
        "",
        "As the SFN window shows it: the network delay the decoder measured + its additional "
        "delay + its servo correction; the smallest of the measurement",
        "As the SFN window shows it: the network delay the decoder measured + its additional "
        "delay + its servo correction; the mean of the measurement",
        "As the SFN window shows it: the network delay the decoder measured + its additional "
        "delay + its servo correction; the largest of the measurement",
        "Network latency + MAC and audio interface latencies (396.098 µs)",
        "What the additional delay makes up for: the largest latency summary less the additional "
        "delay in effect at that reply (measured network delay + servo correction + interface "
        "latencies)",
        "In effect at the last reply, in steps of 100 ns",
        "Auto delay compensation at the last reply, and its correction",
        "Path + the additional delay in effect: the largest latency summary the decoder gives as "
        "it is set",
        "The additional delay that brings the total to the target",
        "Path + the proposed additional delay",
        ""};
    return tips;
}

std::vector<OverviewRow> overviewRows(const SfnOverview::Group& g) {
    std::vector<OverviewRow> rows;
    for (std::size_t i = 0; i < g.decoders.size(); ++i) {
        const auto& d = g.decoders[i];
        const auto& m = shownOf(g, d);
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
            c.push_back(microseconds(m.pathNs()));
            c.push_back(steps(m.additionalNs / kNsPerStep));
            c.push_back(m.autoServo ? "on, " + microseconds(m.servoCorrectionNs) : "off");
            c.push_back(microseconds(m.totalNs()));
            if (p && p->steps) {
                c.push_back(steps(*p->steps));
                c.push_back(p->inRange ? microseconds(p->totalAfterNs) : "");
            } else {
                c.insert(c.end(), 2, "");
            }
        } else {
            c.insert(c.end(), 10, "");
        }
        c.push_back(stateOf(g, d, p));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string overviewSummary(const SfnOverview::Group& g) {
    const auto& a = g.alignment;
    const auto spread = spreadOf(g);
    if (!g.measured)
        return spread ? "The figures so far: the measurement has not ended." : "Not measured yet.";
    if (!spread) return std::string(kNoneAnswered);
    if (!g.aligned)
        return "Spread of totals " + microseconds(*spread) +
               ". Align proposes the additional delays that close it.";
    std::string text;
    if (a.error.empty() || a.targetNs > 0)
        text =
            "Target " + microseconds(a.targetNs) + " (margin " + microseconds(a.marginNs) + "); ";
    if (!g.applied) {
        text += "spread of totals " + microseconds(*spread) + " now";
        if (a.spreadAfterNs) text += ", " + microseconds(*a.spreadAfterNs) + " once applied";
        text += ".";
        if (!a.error.empty()) text += " " + a.error;
        return text;
    }
    text += "spread of totals " + microseconds(*spread) + " before the apply";
    text += g.spreadAchievedNs ? ", " + microseconds(*g.spreadAchievedNs) + " measured after it."
                               : "; measuring again...";
    if (g.applyToLastConfirmationMs)
        text += " Last decoder confirmed " + std::to_string(*g.applyToLastConfirmationMs) +
                " ms after the apply.";
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
    can.align = idle && g.measured && !g.applied && spreadOf(g).has_value();
    can.apply = can.align && g.aligned && g.alignment.error.empty();
    can.exportData = g.measured;
    return can;
}

OverviewPlot overviewPlot(const SfnOverview::Group& g) {
    OverviewPlot plot;
    plot.afterMeasured = g.applied;
    if (g.aligned && g.alignment.spreadBeforeNs && g.alignment.error.empty())
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
        "summary_min_ns,summary_avg_ns,summary_max_ns,path_ns,additional_steps,servo,"
        "servo_correction_ns,total_ns,"
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
        // What was proposed stays in the export once applied, beside what followed.
        const AlignmentProposal* p =
            g.aligned && i < g.alignment.proposals.size() ? &g.alignment.proposals[i] : nullptr;
        const bool ok = m.answered();
        auto n = [ok](std::int64_t v) { return ok ? std::to_string(v) : std::string(); };
        csv += quoted(g.stream) + "," + quoted(d.mac) + "," + quoted(d.name) + "," + quoted(d.ip) +
               "," + (ok ? "1" : "0") + "," + n(m.networkMinNs) + "," + n(m.networkAvgNs()) + "," +
               n(m.networkMaxNs) + "," + n(m.summaryMinNs) + "," + n(m.summaryAvgNs()) + "," +
               n(m.summaryMaxNs) + "," + n(m.pathNs()) + "," + n(m.additionalNs / kNsPerStep) +
               "," + (ok ? (m.autoServo ? "1" : "0") : "") + "," + n(m.servoCorrectionNs) + "," +
               n(m.totalNs()) + ",";
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
