#pragma once

#include <memory>

#include "monitor/plant_monitor.h"
#include "station/station_context.h"
#include "web/web_service.h"

namespace nms::web {

// The station's side of the web service, on the station's one thread: after every cycle it
// copies what the monitor shows into a new snapshot and hands it over whole (the HTTP threads
// never see the monitor itself), and it tells the live feed each health change as it happens,
// each new journal row and each cycle's end. Dropping the publisher stops all of that; the
// monitor's watchers then do nothing.
class WebPublisher {
public:
    WebPublisher(monitor::PlantMonitor& monitor, station::StationContext& context,
                 WebService& service, StationFacts facts);
    ~WebPublisher();
    WebPublisher(const WebPublisher&) = delete;
    WebPublisher& operator=(const WebPublisher&) = delete;

    // A snapshot of the monitor as it stands.
    void publish();
    // New facts (a new name, a pause), published at once and told to the live feed.
    void setFacts(StationFacts facts);
    const StationFacts& facts() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace nms::web
