#pragma once

#include <cstdint>
#include <vector>

#include "editor/properties_panel.h"
#include "ports/controls.h"
#include "station/element_socket.h"
#include "station/station_context.h"

namespace nms::diag {

// The audio level meter of the Diagnostics frame: while the invisible switch chkGetVolume is on,
// tmrVolume asks the shown encoder for a block of samples every 50 ms, and each reply's peak is
// shown as a bar and in dBFS.
class LevelMeter {
public:
    LevelMeter(station::StationContext& context, editor::PropertiesPanel& panel,
               ports::Toolbar& toolbar, station::ElementSocket& mainSocket);

    ports::Timer tmrVolume;

    void chkGetVolume_Click();
    // One level request to the shown element. A request that cannot be sent stops monitoring
    // and is said once, never on every tick.
    void RequestVolume();
    void ShowAudioLevel(const std::vector<std::uint8_t>& datagram);
    // Monitoring stops (the switch's own rule stops the timer and clears the display).
    void stop();
    static double Log10(double x);

private:
    station::StationContext& context_;
    editor::PropertiesPanel& panel_;
    ports::Toolbar& toolbar_;
    station::ElementSocket& socket_;
};

}  // namespace nms::diag
