#include "runtime/service_config.h"

#include <sstream>

#include "protocol/text.h"
#include "station/settings_keys.h"

namespace nms::runtime {

namespace {

namespace keys = station::settings;

// A number within the range the station's setting of the same meaning takes; the usage (kept
// in `usage`, which outlives the call) when it is not one.
const char* wholeIn(const std::string& value, const keys::Key& key, const char* name, const char* unit,
                    int& out, std::string& usage) {
    long long n = 0;
    if (protocol::text::parseInteger(value, n) && n >= key.low && n <= key.high) {
        out = static_cast<int>(n);
        return nullptr;
    }
    usage = std::string(name) + " takes " + unit + " from " + std::to_string(key.low) + " to " +
            std::to_string(key.high);
    return usage.c_str();
}

// What the line's value makes of the key; the usage when it is not one the key takes.
const char* apply(ServiceConfig& c, const std::string& key, const std::string& value, std::string& usage) {
    using Start = ServiceConfig::DiscoverAtStart;
    if (key == "listen") c.listen = value;
    else if (key == "station") c.station = value;
    else if (key == "web_config") c.webConfig = value;
    else if (key == "metrics_file") c.metricsFile = value;
    else if (key == "state_directory") c.stateDirectory = value;
    else if (key == "interval")
        return wholeIn(value, keys::kMonitorInterval, "interval", "seconds", c.intervalSeconds, usage);
    else if (key == "journal_days")
        return wholeIn(value, keys::kJournalDays, "journal_days", "days", c.journalDays, usage);
    else if (key == "journal_megabytes")
        return wholeIn(value, keys::kJournalMegabytes, "journal_megabytes", "megabytes", c.journalMegabytes, usage);
    else if (key == "discover_every") {
        const auto seconds = parseSchedule(value);
        if (!seconds) return "discover_every takes a time of a minute or more (30m, 6h, 1d) or off";
        c.discoverEverySeconds = *seconds;
    } else if (key == "discover_at_start") {
        if (value == "yes") c.discoverAtStart = Start::Yes;
        else if (value == "no") c.discoverAtStart = Start::No;
        else if (value == "when-empty") c.discoverAtStart = Start::WhenEmpty;
        else return "discover_at_start takes yes, no or when-empty";
    } else {
        return "is not a key of this file";
    }
    return nullptr;
}

}  // namespace

std::optional<std::int64_t> parseSchedule(const std::string& text) {
    const std::string t = protocol::text::trim(text);
    if (t == "off" || t == "0") return 0;
    if (t.empty()) return std::nullopt;
    std::int64_t unit = 1;
    std::string digits = t;
    switch (t.back()) {
        case 's': unit = 1; break;
        case 'm': unit = 60; break;
        case 'h': unit = 3600; break;
        case 'd': unit = 86400; break;
        default: break;
    }
    if (t.back() < '0' || t.back() > '9') digits.pop_back();
    long long n = 0;
    // At most a year: a longer schedule is a typo, and the product stays far from overflow.
    if (!protocol::text::parseInteger(digits, n) || n <= 0 || n * unit > 366LL * 86400) return std::nullopt;
    if (n * unit < 60) return std::nullopt;
    return n * unit;
}

std::optional<ServiceConfig> parseServiceConfig(const std::string& text, std::string& problem) {
    ServiceConfig config;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        // A comment is a whole line: a value may hold "#" (a station called "NOC #2").
        const std::string trimmed = protocol::text::trim(line);
        if (trimmed.empty() || trimmed.front() == '#') continue;
        const auto equals = trimmed.find('=');
        const std::string where = "line " + std::to_string(number) + ": ";
        if (equals == std::string::npos) {
            problem = where + "not a key = value line";
            return std::nullopt;
        }
        const std::string key = protocol::text::trim(trimmed.substr(0, equals));
        const std::string value = protocol::text::trim(trimmed.substr(equals + 1));
        for (unsigned char ch : value)
            if (ch < 0x20 || ch == 0x7F) {
                problem = where + key + " holds a control character";
                return std::nullopt;
            }
        std::string kept;
        if (const char* usage = apply(config, key, value, kept)) {
            problem = where + (std::string(usage).rfind(key, 0) == 0 ? usage : key + " " + usage);
            return std::nullopt;
        }
    }
    return config;
}

}  // namespace nms::runtime
