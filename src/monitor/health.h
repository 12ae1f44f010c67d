#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "stats/statistics_decoder.h"

// The health of one element, judged from its statistics replies cycle after cycle.
namespace nms::monitor {

enum class Health { Unknown, Online, Warning, Alarm, Offline };

// "unknown", "online", "warning", "alarm", "offline".
const char* healthWord(Health health);

// Misses in a row after which an element counts as offline.
inline constexpr int kMissesForOffline = 3;

// What one cycle learnt of an element: the reply decoded the way the statistics window decodes
// it (nothing when the element did not answer in time), and the counters' growth since the
// previous reply (a counter that went down was reset and counts from zero).
struct CycleResult {
    bool answered = false;
    int missesInARow = 0;
    int sfn = 0;
    int sdm = 0;
    std::int32_t alarmWord = 65535;     // 65535: not received
    std::int32_t ethernetWord = 65535;  // 65535: not received
    std::int64_t audioFrameErrors = 0;  // new in this cycle
    std::int64_t ptpSyncErrors = 0;     // new in this cycle
};

struct Assessment {
    Health health = Health::Unknown;
    std::string reason;  // in words, with the statistics window's texts
};

Assessment assess(const CycleResult& cycle);

// Growth of a counter from one reply to the next; a counter that went down was reset.
std::int64_t counterGrowth(std::int64_t before, std::int64_t now);

}  // namespace nms::monitor
