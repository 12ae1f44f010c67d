#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/plant_monitor.h"

namespace nms::monitor {

// The monitor's figures in the Prometheus text exposition format, for node_exporter's textfile
// collector: each element's series labelled mac only, and one vantrelo_element_info per element
// with its name, ip, role, firmware and serial.
std::string prometheusText(const PlantMonitor& monitor, std::int64_t nowUnixMs);
// The same from a copy of the monitor's elements (what the web service serves between cycles);
// `lastCycleUnixMs` 0 leaves the time of the last cycle out.
std::string prometheusText(const std::vector<PlantMonitor::Element>& elements,
                           std::int64_t overruns, std::int64_t lastCycleUnixMs);
// A label value: valid UTF-8, backslash and double quote escaped, control characters dropped.
std::string labelValue(const std::string& v);

}  // namespace nms::monitor
