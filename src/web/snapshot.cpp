#include "web/snapshot.h"

#include <algorithm>
#include <array>

#include "monitor/metrics.h"
#include "plant/json_reader.h"
#include "protocol/element_key.h"
#include "protocol/text.h"
#include "stats/statistics_decoder.h"

namespace nms::web {

namespace {

using plant::json::quote;
using Element = monitor::PlantMonitor::Element;

std::string number(std::int64_t v) {
    return std::to_string(v);
}

// The order of the list: by name, then MAC.
std::vector<std::size_t> byName(const Snapshot& s) {
    std::vector<std::size_t> order(s.elements.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const auto& x = s.listings[a];
        const auto& y = s.listings[b];
        return x.name != y.name ? x.name < y.name : x.mac < y.mac;
    });
    return order;
}

}  // namespace

std::string macDigits(const std::string& text) {
    // An element behind a router is named by its role and serial number instead.
    if (protocol::IsSerialKey(text)) return protocol::ElementKey(text);
    std::string out;
    for (char c : text) {
        if (c == ':' || c == '-') continue;
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return {};
        out += c;
    }
    return out.size() == 12 ? out : std::string();
}

std::string journalEventJson(const ports::JournalEvent& e) {
    return "{\"time\": " + quote(protocol::text::isoUtcTime(e.unixTimeMs, true)) +
           ", \"mac\": " + quote(e.mac) + ", \"name\": " + quote(e.name) +
           ", \"severity\": " + quote(e.severity) + ", \"what\": " + quote(e.what) +
           ", \"from\": " + quote(e.from) + ", \"to\": " + quote(e.to) +
           ", \"detail\": " + quote(e.detail) + "}";
}

std::string elementJson(const Element& e, const plant::ElementListing& listing) {
    std::string extra =
        ", \"health\": " + quote(monitor::healthWord(e.health)) + ", \"reasons\": [";
    if (!e.reason.empty()) extra += quote(e.reason);
    extra += "], \"acknowledged\": ";
    extra += e.acknowledged ? "true" : "false";
    extra += ", \"acknowledged_by\": " + (e.acknowledged ? quote(e.acknowledgedBy) : "null");
    extra += ", \"last_seen\": ";
    extra += e.lastSeenUnixMs ? quote(protocol::text::isoUtcTime(e.lastSeenUnixMs, true)) : "null";
    extra += ", \"replies\": " + number(e.replies) + ", \"missed\": " + number(e.missed);
    if (!e.site.empty()) extra += ", \"site\": " + quote(e.site);
    // The last reply's counters as the element counts them, named as `nms-cli stats --json`.
    extra += ", \"counters\": ";
    if (!e.counted) {
        extra += "null";
    } else {
        extra += "{" + stats::readingJsonMembers(e.reading, false) + "}";
    }
    return plant::elementListingJson(listing, extra);
}

std::shared_ptr<const std::string> Snapshot::metrics() const {
    std::call_once(metricsOnce_, [this] {
        auto out = std::make_shared<std::string>(
            monitor::prometheusText(elements, overruns, lastCycleUnixMs));
        auto& o = *out;
        o +=
            "# HELP vantrelo_monitor_cycle_duration_seconds How long the last cycle took, from its "
            "first request to its last answer or miss.\n"
            "# TYPE vantrelo_monitor_cycle_duration_seconds gauge\n"
            "vantrelo_monitor_cycle_duration_seconds " +
            protocol::text::fixedNumber(static_cast<double>(cycleDurationMs) / 1000.0, 3) + "\n";
        o += "# HELP vantrelo_monitor_up 1 while the monitor cycles.\n"
             "# TYPE vantrelo_monitor_up gauge\n"
             "vantrelo_monitor_up " +
             std::string(running ? "1" : "0") + "\n";
        // station_name, not station: Prometheus's target label `station` would rename it.
        o += "# HELP vantrelo_station_info The station that serves these figures.\n"
             "# TYPE vantrelo_station_info gauge\n"
             "vantrelo_station_info{station_name=\"" +
             monitor::labelValue(facts.station) + "\",version=\"" +
             monitor::labelValue(facts.version) + "\",interface=\"" +
             monitor::labelValue(facts.interfaceName) + "\"} 1\n";
        metrics_ = std::move(out);
    });
    return metrics_;
}

std::shared_ptr<const std::string> Snapshot::elementsJson() const {
    std::call_once(elementsOnce_, [this] {
        auto out = std::make_shared<std::string>("[");
        bool first = true;
        for (std::size_t i : byName(*this)) {
            *out += first ? "\n  " : ",\n  ";
            first = false;
            *out += web::elementJson(elements[i], listings[i]);
        }
        *out += first ? "]\n" : "\n]\n";
        elements_ = std::move(out);
    });
    return elements_;
}

std::shared_ptr<const std::string> Snapshot::elementJson(const std::string& mac) const {
    const std::string wanted = macDigits(mac);
    if (wanted.empty()) return nullptr;
    for (std::size_t i = 0; i < elements.size(); ++i)
        if (macDigits(elements[i].mac) == wanted)
            return std::make_shared<const std::string>(web::elementJson(elements[i], listings[i]) +
                                                       "\n");
    return nullptr;
}

std::string Snapshot::stationJson() const {
    std::array<int, 5> counts{};
    for (const auto& e : elements) ++counts[static_cast<std::size_t>(e.health)];
    std::string out =
        "{\"station\": " + quote(facts.station) + ", \"version\": " + quote(facts.version) +
        ", \"interface\": " + quote(facts.interfaceName) +
        ", \"simulated\": " + (facts.simulated ? "true" : "false") +
        ", \"monitor_running\": " + (running ? "true" : "false") + ", \"paused_since\": " +
        (facts.pausedSinceUnixMs ? quote(protocol::text::isoUtcTime(facts.pausedSinceUnixMs, true))
                                 : std::string("null")) +
        ", \"interval_seconds\": " + number(intervalSeconds) + ", \"cycles\": " + number(cycles) +
        ", \"last_cycle\": " +
        (lastCycleUnixMs ? quote(protocol::text::isoUtcTime(lastCycleUnixMs, true))
                         : std::string("null")) +
        ", \"elements\": " + number(static_cast<std::int64_t>(elements.size())) + ", \"counts\": {";
    for (std::size_t h = 0; h < counts.size(); ++h) {
        if (h) out += ", ";
        out +=
            quote(monitor::healthWord(static_cast<monitor::Health>(h))) + ": " + number(counts[h]);
    }
    return out + "}}\n";
}

}  // namespace nms::web
