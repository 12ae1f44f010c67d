#pragma once

#include <cstdint>
#include <string>

// What a program run by systemd tells it, without linking libsystemd: the notification socket
// named in NOTIFY_SOCKET and the watchdog interval in WATCHDOG_USEC.
namespace nms::platform {

// Sends one notification ("READY=1", "STATUS=...", "WATCHDOG=1", lines joined by "\n"); false
// when no service manager asked for them or the datagram could not be sent.
bool notifyServiceManager(const std::string& state);

// How often the service manager wants WATCHDOG=1, in ms (half its timeout, so that one late
// feed is not a missed one); 0 when it watches nothing or the watch is meant for another
// process.
std::int64_t watchdogFeedIntervalMs();

// Journald's priorities, as a line's "<N>" prefix gives them.
enum class LogPriority : int { Error = 3, Warning = 4, Notice = 5, Info = 6 };

// One line on standard error, prefixed with its priority when the error stream goes to the
// journal (JOURNAL_STREAM names it), as is when it goes to a terminal.
void logLine(LogPriority priority, const std::string& text);

}  // namespace nms::platform
