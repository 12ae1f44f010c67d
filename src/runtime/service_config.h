#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nms::runtime {

// The system service's configuration: one `key = value` a line, `#` starts a comment. Read at
// start and again on reload; a key the service does not know is refused, so that a misspelt one
// is said rather than silently doing nothing.
struct ServiceConfig {
    enum class DiscoverAtStart { Yes, No, WhenEmpty };

    std::string listen = "127.0.0.1:9821";  // empty: no web service
    std::string station;                    // empty: the host name
    int intervalSeconds = 10;
    std::string webConfig;
    int journalDays = 90;
    int journalMegabytes = 256;
    std::string metricsFile;
    std::int64_t discoverEverySeconds = 24 * 3600;  // 0: never
    DiscoverAtStart discoverAtStart = DiscoverAtStart::WhenEmpty;
    std::string stateDirectory;  // empty: $STATE_DIRECTORY, else /var/lib/vantrelo-nms

    bool operator==(const ServiceConfig&) const = default;
};

// The configuration in `text`; nothing, with `problem` naming the line and what it takes, when a
// line is not one the service can follow.
std::optional<ServiceConfig> parseServiceConfig(const std::string& text, std::string& problem);

// "30m", "6h", "1d", "90" (seconds) or "off": seconds, 0 for off; nothing when it is none of
// those or shorter than a minute.
std::optional<std::int64_t> parseSchedule(const std::string& text);

}  // namespace nms::runtime
