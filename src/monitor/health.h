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
// previous reply.
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
    // The warning comes only from what this one cycle counted (a missed reply, new bad audio
    // frames or PTP syncs), not from a state the element reports (its link, its alarms).
    bool transient = false;
};

// What this one cycle shows, on its own.
Assessment assess(const CycleResult& cycle);

// Cycles in a row whose own assessment was online (clean) or not (troubled).
struct Trend {
    int clean = 0;
    int troubled = 0;
};

// The health shown after a cycle, from the health shown before and the cycle's own assessment,
// so that one stray error does not make an element flap between online and warning:
// - alarm and offline are shown in the cycle they are seen, and so is a warning from the state
//   the element reports (half duplex, 10 Mbit/s);
// - a warning from what a cycle counted (a missed reply, bad audio frames, bad PTP syncs) needs
//   trouble in two cycles in a row;
// - back to online needs two clean cycles in a row.
// An element not judged yet takes what its first cycle shows.
inline constexpr int kCyclesToWarn = 2;
inline constexpr int kCyclesToRecover = 2;
Health settle(Health shown, const Assessment& seen, Trend& trend);

// Growth of a counter from one reply to the next, as the element counts: modulo 2^32, so that a
// counter that passes 2^31 or 2^32 keeps counting. Nothing when the counter went back, or on
// further than `limit`, more than the element can count in the time between the two replies:
// the counter was reset, or the reply was not the element's.
std::optional<std::int64_t> counterGrowth(std::int32_t before, std::int32_t now,
                                          std::int64_t limit);

// The most frames an element can count in one second: its port is 100 Mbit/s at most, and a
// minimal Ethernet frame takes 84 bytes on the wire (64, the preamble and the gap), which makes
// 148,810 frames a second. Every counter of a statistics reply counts frames (audio frames and
// PTP syncs arrive in frames), so none can grow faster.
inline constexpr std::int64_t kMaxFramesPerSecond = 148810;

// The growth a counter may show after `elapsedMs` between two replies, with one second more for
// the replies' own delays.
std::int64_t counterLimit(std::int64_t elapsedMs);

}  // namespace nms::monitor
