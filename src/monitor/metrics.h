#pragma once

#include <cstdint>
#include <string>

#include "monitor/plant_monitor.h"

namespace nms::monitor {

// The monitor's figures in the Prometheus text exposition format, for node_exporter's textfile
// collector: one series per element with the labels mac, name, ip and role.
std::string prometheusText(const PlantMonitor& monitor, std::int64_t nowUnixMs);

}  // namespace nms::monitor
