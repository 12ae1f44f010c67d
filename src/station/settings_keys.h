#pragma once

// The station's per-user settings: where each lives and what it is when nothing was stored.
namespace nms::station::settings {

inline constexpr const char* kApp = "Kestrova";
inline constexpr const char* kSection = "Vantrelo NG";
// The SFN window keeps its one setting in a section of its own.
inline constexpr const char* kSectionSfn = "Vantrelo";

struct Key {
    const char* section;
    const char* name;
    const char* fallback;
    // A whole number's range, for the settings that hold one (low == high: not a number). Every
    // reader takes it from here, so that the window, the monitor and the service agree on what a
    // stored value means.
    long long low = 0, high = 0;
};

inline constexpr Key kInterface{kSection, "NMS IP Address", "0.0.0.0"};
inline constexpr Key kNoticeAccepted{kSection, "EULA1", "0"};
inline constexpr Key kScanTimeout{kSection, "ScanTimeout", "6"};
inline constexpr Key kAutoClearCounters{kSectionSfn, "AutoClearCounters", "0"};
// The plant monitor: on or off, and the seconds between its cycles.
inline constexpr Key kMonitorPlant{kSection, "MonitorPlant", "0"};
inline constexpr Key kMonitorInterval{kSection, "MonitorInterval", "10", 2, 300};
// The Events panel shows times in UTC instead of local time; the folder its export last wrote to.
inline constexpr Key kEventTimesUtc{kSection, "EventTimesUtc", "0"};
inline constexpr Key kEventsExportFolder{kSection, "EventsExportFolder", ""};
// The element list grouped: "" (not), "health" or "role".
inline constexpr Key kTreeGrouping{kSection, "TreeGrouping", ""};
// The monitor's event journal keeps so many days, within so many megabytes.
inline constexpr Key kJournalDays{kSection, "JournalDays", "90", 1, 3650};
inline constexpr Key kJournalMegabytes{kSection, "JournalMegabytes", "256", 1, 65536};
// The monitor's web service in the window: on or off, and where it listens.
inline constexpr Key kWebStatus{kSection, "WebStatus", "0"};
inline constexpr Key kWebStatusAddress{kSection, "WebStatusAddress", "127.0.0.1:9821"};
// The plant's routed sites, each a name and its subnets ("North=10.1.0.0/24,10.1.1.0/24;South=..."),
// and how many paging requests a second a scan of them sends (a WAN link is not flooded).
inline constexpr Key kSites{kSection, "Sites", ""};
inline constexpr Key kSiteScanRate{kSection, "SiteScanRate", "500", 1, 10000};
// The folder an export of a plot last wrote to (empty: the user's documents folder).
inline constexpr Key kExportFolder{kSection, "ExportFolder", ""};

}  // namespace nms::station::settings
