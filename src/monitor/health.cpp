#include "monitor/health.h"

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

std::int64_t counterGrowth(std::int64_t before, std::int64_t now) {
    return now >= before ? now - before : now;
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
            if ((c.ethernetWord & kEthFullDuplex) == 0) add(warning, "Half duplex link.");
            if (c.ethernetWord & kEth10Mbit) add(warning, "10 Mbit/s link.");
        }
    }
    if (c.answered && c.audioFrameErrors > 0)
        add(warning, std::to_string(c.audioFrameErrors) + " bad audio frames in the last cycle.");
    if (c.answered && c.sfn == 1 && c.ptpSyncErrors > 0)
        add(warning, std::to_string(c.ptpSyncErrors) + " bad PTP syncs in the last cycle.");
    if (!alarm.empty()) return {Health::Alarm, alarm + (warning.empty() ? "" : " " + warning)};
    if (!warning.empty()) return {Health::Warning, warning};
    return {Health::Online, "Replies, no alarm."};
}

}  // namespace nms::monitor
