#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace nms::monitor {
class PlantMonitor;
}
namespace nms::ports {
class EventJournal;
}
namespace nms::station {
class StationContext;
}

namespace nms::runtime {

// The monitor's web service as either front end runs it: the service, the publisher on the
// station's thread, the HTTP server, and a reader of its own of the journal for the HTTP
// threads' reads.
class WebStatus {
public:
    struct Options {
        std::string listen;     // "ADDR:PORT", "PORT" or "" (127.0.0.1:9821)
        std::string webConfig;  // node_exporter's web configuration file, or ""
        std::string station;    // "" : the host name
        std::string version;
        bool simulated = false;  // the demo plant
        unsigned idleSeconds = 10;
    };

    // `journal` is the station's: the service opens a reader of its own of it.
    WebStatus(ports::EventJournal& journal, monitor::PlantMonitor& monitor,
              station::StationContext& context);
    ~WebStatus();
    WebStatus(const WebStatus&) = delete;
    WebStatus& operator=(const WebStatus&) = delete;

    // Serves; the reason, in words, when it cannot.
    std::string start(const Options& options);
    void stop();
    bool running() const;
    // Where it serves: "http://127.0.0.1:9821/".
    std::string url() const;
    // Told to the page, the live feed and /healthz at once, without a new start: the
    // station's new name ("" : the host name), the service's pause (0: not paused).
    void setStation(const std::string& station);
    void setPausedSince(std::int64_t unixMs);

    struct Parts;

private:
    ports::EventJournal& journal_;
    monitor::PlantMonitor& monitor_;
    station::StationContext& context_;
    std::unique_ptr<Parts> parts_;
};

// The name a station goes by when the operator gives none: the host's.
std::string defaultStationName();

}  // namespace nms::runtime
