#include "diag/level_meter.h"

#include <cmath>

#include "protocol/commands.h"
#include "protocol/level.h"
#include "protocol/paging.h"
#include "protocol/rounding.h"
#include "protocol/text.h"
#include "station/main_toolbar.h"

namespace nms::diag {

namespace {
constexpr int kIntervalMs = 50;
constexpr const char* kSilent = "-oodBFS";
}  // namespace

LevelMeter::LevelMeter(station::StationContext& context, editor::PropertiesPanel& panel,
                       ports::Toolbar& toolbar, station::ElementSocket& mainSocket)
    : tmrVolume(context.scheduler(), context.gate(), kIntervalMs),
      context_(context),
      panel_(panel),
      toolbar_(toolbar),
      socket_(mainSocket) {
    tmrVolume.onTimer = [this] { RequestVolume(); };
    context.atEnd([this] { tmrVolume.setEnabled(false); });
}

void LevelMeter::chkGetVolume_Click() {
    if (panel_.chkGetVolume.checked()) {
        tmrVolume.setEnabled(true);
    } else {
        tmrVolume.setEnabled(false);
        panel_.lblVolume.setCaption(kSilent);
        panel_.VUMeter.setWidth(0);
    }
}

void LevelMeter::stop() {
    panel_.chkGetVolume.setChecked(false);
    tmrVolume.setEnabled(false);
}

void LevelMeter::RequestVolume() {
    static const std::string kPrefix = "104 - Unable to use UDP port 2976: ";
    const auto request = protocol::requestBytes(protocol::kLevelRequest);
    const auto result =
        socket_.sendToShown(request, protocol::kPortLevelAndDecoderCommand, {kPrefix, true});
    if (result != station::ElementSocket::Result::NoAddress &&
        result != station::ElementSocket::Result::SendFailed)
        return;
    // Stopped (before the box opens, where it is ours to open), so no tick queued behind it can
    // ask again: a failure is said once, not 20 times a second.
    stop();
    toolbar_.setButtonEnabled(station::toolbar::kStartMonitoring, context_.hasShownElement());
    toolbar_.setButtonEnabled(station::toolbar::kStopMonitoring, false);
    if (result == station::ElementSocket::Result::NoAddress) socket_.sayNoAddress(kPrefix);
}

double LevelMeter::Log10(double x) {
    return std::log(x) / std::log(10.0);
}

void LevelMeter::ShowAudioLevel(const std::vector<std::uint8_t>& datagram) {
    const std::int32_t peak = protocol::levelPeak(datagram);
    if (!tmrVolume.enabled() || peak == 0) {
        panel_.VUMeter.setWidth(0);
        panel_.lblVolume.setCaption(kSilent);
        return;
    }
    const double r = peak / 8388608.0;
    panel_.VUMeter.setWidth(static_cast<int>(protocol::roundHalfEven(r * 2100.0)));
    const double db = protocol::roundHalfEven(20.0 * Log10(r) * 10.0) / 10.0;
    panel_.lblVolume.setCaption(protocol::text::shortestNumber(db) + "dBFS");
}

}  // namespace nms::diag
