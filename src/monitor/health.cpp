#include "monitor/health.h"

#include <algorithm>

#include "protocol/statistics.h"

namespace nms::monitor {

using namespace protocol::statistics;

const char* healthWord(Health health) {
    switch (health) {
        case Health::Online:
            return "online";
        case Health::Warning:
            return "warning";
        case Health::Alarm:
            return "alarm";
        case Health::Offline:
            return "offline";
        case Health::Unknown:
            break;
    }
    return "unknown";
}

std::optional<std::int64_t> counterGrowth(std::int32_t before, std::int32_t now,
                                          std::int64_t limit) {
    const std::uint32_t growth =
        static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(before);
    if (static_cast<std::int64_t>(growth) > limit) return std::nullopt;
    return static_cast<std::int64_t>(growth);
}

std::int64_t counterLimit(std::int64_t elapsedMs) {
    return kMaxFramesPerSecond * (std::max<std::int64_t>(elapsedMs, 0) + 1000) / 1000;
}

Health settle(Health shown, const Assessment& seen, Trend& trend) {
    constexpr int kEnough = 1000;  // only "at least two" matters; this keeps the counts small
    if (seen.health == Health::Online) {
        trend.clean = std::min(trend.clean + 1, kEnough);
        trend.troubled = 0;
    } else {
        trend.troubled = std::min(trend.troubled + 1, kEnough);
        trend.clean = 0;
    }
    switch (seen.health) {
        case Health::Online:
            if (shown == Health::Unknown || trend.clean >= kCyclesToRecover) return Health::Online;
            return shown;
        case Health::Warning:
            if (shown != Health::Online) return Health::Warning;
            if (!seen.transient || trend.troubled >= kCyclesToWarn) return Health::Warning;
            return Health::Online;
        default:
            return seen.health;
    }
}

namespace {

void add(std::string& text, const std::string& sentence) {
    if (!text.empty()) text += ' ';
    text += sentence;
}

}  // namespace

Assessment assess(const CycleResult& c) {
    if (c.missesInARow >= kMissesForOffline)
        return {Health::Offline,
                "No reply to the last " + std::to_string(c.missesInARow) + " requests."};
    std::string alarm, warning;
    bool stateWarning = false;
    if (!c.answered) add(warning, "No reply to the last request.");
    const bool alarmWord = c.answered && c.alarmWord < 65535;
    if (alarmWord) {
        if (c.alarmWord & kAlarmAudio) {
            if (c.sdm == 0)
                add(alarm, "Silence detector is triggered.");
            else if (c.sdm == 3)
                add(alarm, "Packet loss detector is triggered.");
        }
        if (c.sfn == 1) {
            if (c.alarmWord & kAlarmReferenceMask)
                add(alarm, "10 MHz signal is problematic. See next error code. (" +
                               std::to_string(c.alarmWord & kAlarmReferenceMask) + ")");
            if (c.alarmWord >= kAlarm1ppsMissing)
                add(alarm, "1 PPS signal is missing or is constantly HIGH.");
        }
    }
    if (c.answered && c.ethernetWord < 65535) {
        if ((c.ethernetWord & kEthLinkUp) == 0) {
            add(alarm, "Not connected.");
        } else {
            const bool halfDuplex = (c.ethernetWord & kEthFullDuplex) == 0;
            const bool slow = (c.ethernetWord & kEth10Mbit) != 0;
            if (halfDuplex) add(warning, "Half duplex link.");
            if (slow) add(warning, "10 Mbit/s link.");
            stateWarning = halfDuplex || slow;
        }
    }
    if (c.answered && c.audioFrameErrors > 0)
        add(warning, std::to_string(c.audioFrameErrors) + " bad audio frames in the last cycle.");
    if (c.answered && c.sfn == 1 && c.ptpSyncErrors > 0)
        add(warning, std::to_string(c.ptpSyncErrors) + " bad PTP syncs in the last cycle.");
    if (!alarm.empty()) return {Health::Alarm, alarm + (warning.empty() ? "" : " " + warning)};
    if (!warning.empty()) return {Health::Warning, warning, !stateWarning};
    return {Health::Online, "Replies, no alarm."};
}

}  // namespace nms::monitor
