#include "monitor/metrics.h"

#include <algorithm>
#include <array>

#include "protocol/statistics.h"
#include "protocol/text.h"

namespace nms::monitor {

std::string labelValue(const std::string& raw) {
    // Prometheus refuses a whole scrape for one label that is not UTF-8; control characters
    // (C0, DEL and C1) are dropped, as JSON escapes them.
    const std::string v = protocol::text::validUtf8(raw);
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const auto c = static_cast<unsigned char>(v[i]);
        if (c == 0xC2 && i + 1 < v.size() && static_cast<unsigned char>(v[i + 1]) <= 0x9F) {
            ++i;
        } else if (c == '\\' || c == '"') {
            out += '\\';
            out += v[i];
        } else if (c >= 0x20 && c != 0x7F) {
            out += v[i];
        }
    }
    return out;
}

namespace {

using protocol::text::fixedNumber;
using E = PlantMonitor::Element;
namespace bits = protocol::statistics;

const char* roleWord(int role) {
    return role == 1 ? "encoder" : role == 2 ? "decoder" : "unknown";
}

std::string num(std::int64_t v) {
    return std::to_string(v);
}

// 1 while the bit is set; nothing while the word is unknown.
std::string bit(std::int32_t w, std::uint16_t mask) {
    if (w >= 65535) return {};
    return (w & mask) != 0 ? "1" : "0";
}

// The families of the elements' series, written one after another into one text.
class Exposition {
public:
    explicit Exposition(const std::vector<E>& elements) : elements_(elements) {
        // A series is named by the element's MAC alone, so that a rename or a new address keeps
        // its history; what the element is called stands once in vantrelo_element_info, joined
        // on mac.
        labels_.reserve(elements.size());
        for (const auto& e : elements) labels_.push_back("{mac=\"" + labelValue(e.mac) + "\"} ");
        out.reserve(elements.size() * 24 * 64 + elements.size() * 160);
    }

    // One family: its help and type, then a series per element that `value` gives a value.
    template <class Value>
    void family(const char* name, const char* type, const char* help, Value value) {
        out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
        for (std::size_t i = 0; i < elements_.size(); ++i) {
            const std::string v = value(elements_[i]);
            if (v.empty()) continue;
            out += name;
            out += labels_[i];
            out += v;
            out += '\n';
        }
    }

    void info() {
        out +=
            "# HELP vantrelo_element_info What the station knows the element as; join on mac for "
            "its name, address and role.\n"
            "# TYPE vantrelo_element_info gauge\n";
        for (const auto& e : elements_) {
            out += "vantrelo_element_info{mac=\"" + labelValue(e.mac) + "\",name=\"" +
                   labelValue(e.name) + "\",ip=\"" + labelValue(e.ip) + "\",role=\"" +
                   roleWord(e.role) + "\"";
            if (!e.firmware.empty()) out += ",firmware=\"" + labelValue(e.firmware) + "\"";
            if (!e.serial.empty()) out += ",serial=\"" + labelValue(e.serial) + "\"";
            if (!e.site.empty()) out += ",site=\"" + labelValue(e.site) + "\"";
            out += "} 1\n";
        }
    }

    // With sites declared: how many elements of each site stand in each health.
    void sites() {
        std::vector<std::pair<std::string, std::array<int, 5>>> counts;
        for (const auto& e : elements_) {
            if (e.site.empty()) continue;
            auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == e.site; });
            if (it == counts.end()) it = counts.insert(counts.end(), {e.site, {}});
            ++it->second[static_cast<std::size_t>(e.health)];
        }
        if (counts.empty()) return;
        out += "# HELP vantrelo_site_elements Elements of a declared site in each health.\n"
               "# TYPE vantrelo_site_elements gauge\n";
        for (const auto& [site, n] : counts)
            for (std::size_t h = 0; h < n.size(); ++h)
                out += "vantrelo_site_elements{site=\"" + labelValue(site) + "\",health=\"" + healthWord(static_cast<Health>(h)) + "\"} " +
                       std::to_string(n[h]) + "\n";
    }

    // Whether it answers, its health and the alarms of its alarm word.
    void healthAndAlarms() {
        family(
            "vantrelo_element_up", "gauge",
            "1 when the element answered the last statistics request.", [](const E& e) {
                return std::string(e.health == Health::Unknown ? "" : (e.misses == 0 ? "1" : "0"));
            });
        family("vantrelo_element_health", "gauge",
               "Health of the element: 0 unknown, 1 online, 2 warning, 3 alarm, 4 offline.",
               [](const E& e) { return num(static_cast<int>(e.health)); });
        family("vantrelo_element_audio_alarm", "gauge",
               "1 while the silence or packet loss detector is triggered.",
               [](const E& e) { return bit(e.alarmWord(), bits::kAlarmAudio); });
        family("vantrelo_element_reference_alarm", "gauge",
               "The 10 MHz reference problem code; 0 when it is good.", [](const E& e) {
                   return e.alarmWord() >= 65535 || e.sfn != 1
                              ? std::string()
                              : num(e.alarmWord() & bits::kAlarmReferenceMask);
               });
        family("vantrelo_element_pps_missing", "gauge",
               "1 while the 1 PPS signal is missing or constantly high.", [](const E& e) {
                   return e.sfn != 1 ? std::string() : bit(e.alarmWord(), bits::kAlarm1ppsMissing);
               });
    }

    // What its Ethernet word says of the link.
    void link() {
        family("vantrelo_element_link_up", "gauge", "1 while the Ethernet link is connected.",
               [](const E& e) { return bit(e.ethernetWord(), bits::kEthLinkUp); });
        family("vantrelo_element_link_full_duplex", "gauge", "1 for a full duplex link.",
               [](const E& e) { return bit(e.ethernetWord(), bits::kEthFullDuplex); });
        family("vantrelo_element_link_speed_bytes_per_second", "gauge",
               "Speed of the Ethernet link (1250000 for 10 Mbit/s, 12500000 for 100 Mbit/s).",
               [](const E& e) {
                   return e.ethernetWord() >= 65535
                              ? std::string()
                              : std::string((e.ethernetWord() & bits::kEth10Mbit) ? "1250000"
                                                                                : "12500000");
               });
    }

    // The counters' growth since monitoring began, and the replies.
    void counters() {
        const struct {
            const char* name;
            const char* help;
            std::int64_t E::*field;
        } counters[] = {
            {"vantrelo_element_tx_frames_total", "Good frames sent, since monitoring began.",
             &E::txFrames},
            {"vantrelo_element_rx_frames_total", "Good frames received, since monitoring began.",
             &E::rxFrames},
            {"vantrelo_element_tx_frame_errors_total", "Bad frames sent, since monitoring began.",
             &E::txFrameErrors},
            {"vantrelo_element_rx_frame_errors_total",
             "Bad frames received, since monitoring began.", &E::rxFrameErrors},
            {"vantrelo_element_audio_frames_total", "Good audio frames, since monitoring began.",
             &E::audioFrames},
            {"vantrelo_element_audio_frame_errors_total",
             "Bad audio frames, since monitoring began.", &E::audioFrameErrors},
            {"vantrelo_element_ptp_syncs_total", "Good PTP syncs, since monitoring began.",
             &E::ptpSyncs},
            {"vantrelo_element_ptp_sync_errors_total", "Bad PTP syncs, since monitoring began.",
             &E::ptpSyncErrors},
            {"vantrelo_element_replies_total", "Statistics replies received.", &E::replies},
            {"vantrelo_element_missed_replies_total",
             "Statistics requests not answered within 500 ms.", &E::missed},
            {"vantrelo_element_discontinuities_total",
             "Replies whose counters went back or grew faster than the element can count (reset, "
             "or a reply not the element's); they add nothing to the other totals.",
             &E::counterResets},
        };
        for (const auto& c : counters)
            family(c.name, "counter", c.help, [&](const E& e) { return num(e.*(c.field)); });
    }

    // Its PTP clock difference and when it last answered.
    void clockAndLastSeen() {
        family("vantrelo_element_ptp_clock_difference_seconds", "gauge",
               "PTP clock difference of an SFN element.", [](const E& e) {
                   const auto& ns = e.reading.ptpClockDifferenceNs;
                   if (e.sfn != 1 || !e.counted || !ns) return std::string();
                   return fixedNumber(*ns / 1e9, 9);
               });
        family("vantrelo_element_last_seen_timestamp_seconds", "gauge",
               "When the element last answered (Unix time).", [](const E& e) {
                   if (e.lastSeenUnixMs == 0) return std::string();
                   return fixedNumber(static_cast<double>(e.lastSeenUnixMs) / 1000.0, 3);
               });
    }

    // The monitor's own: its last cycle and its overruns.
    void monitor(std::int64_t overruns, std::int64_t nowUnixMs) {
        if (nowUnixMs != 0)
            out +=
                "# HELP vantrelo_monitor_last_cycle_timestamp_seconds When the monitor last "
                "finished a cycle.\n"
                "# TYPE vantrelo_monitor_last_cycle_timestamp_seconds gauge\n"
                "vantrelo_monitor_last_cycle_timestamp_seconds " +
                fixedNumber(static_cast<double>(nowUnixMs) / 1000.0, 3) + "\n";
        out +=
            "# HELP vantrelo_monitor_cycle_overruns_total Cycles still running when the next one "
            "was due.\n"
            "# TYPE vantrelo_monitor_cycle_overruns_total counter\n"
            "vantrelo_monitor_cycle_overruns_total " +
            std::to_string(overruns) + "\n";
    }

    std::string out;

private:
    const std::vector<E>& elements_;
    std::vector<std::string> labels_;
};

}  // namespace

std::string prometheusText(const PlantMonitor& monitor, std::int64_t nowUnixMs) {
    return prometheusText(monitor.elements(), monitor.overruns(), nowUnixMs);
}

std::string prometheusText(const std::vector<PlantMonitor::Element>& elements,
                           std::int64_t overruns, std::int64_t nowUnixMs) {
    Exposition text(elements);
    text.info();
    text.sites();
    text.healthAndAlarms();
    text.link();
    text.counters();
    text.clockAndLastSeen();
    text.monitor(overruns, nowUnixMs);
    return std::move(text.out);
}

}  // namespace nms::monitor
