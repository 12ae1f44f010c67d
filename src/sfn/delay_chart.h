#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "sfn/delay_history.h"

namespace nms::sfn {

// One reply as the delay plot draws it: its time and every figure in microseconds on the one
// delay axis (the latency summary is the average plus the element's fixed latencies).
struct PlotSample {
    std::int64_t unixTimeMs = 0;
    double minimumUs = 0, averageUs = 0, maximumUs = 0, additionalUs = 0, summaryUs = 0;
};

// Replies that follow one another without a gap: samples[first, end).
struct PlotRun {
    std::size_t first = 0, end = 0;
    std::size_t size() const { return end - first; }
    bool operator==(const PlotRun&) const = default;
};

struct DelayPlotData {
    std::vector<PlotSample> samples;
    // A line joins the samples of a run; a run of one sample is a point of its own.
    std::vector<PlotRun> runs;
    // Every figure shown lies within [lowUs, highUs]; both 0 when nothing is shown.
    double lowUs = 0, highUs = 0;
};

// A gap is an interval longer than this many refresh periods (a reply or two may come late, three
// missed ones are a hole in the measurement), or a clock that went back.
inline constexpr double kGapPeriods = 2.5;

// The latest `shown` points of the history, split into runs where replies were missing.
DelayPlotData delayPlotData(const std::deque<DelayPoint>& points, std::size_t shown,
                            std::int64_t periodMs);

// An axis whose ticks are round numbers (1, 2 or 5 times a power of ten) from `first` to
// `last`, both ticks, `count` in all, covering the given span; labels need `decimals` digits.
struct AxisTicks {
    double first = 0, last = 0, step = 1;
    int count = 2;
    int decimals = 0;
};
AxisTicks niceTicks(double low, double high, int maxTicks = 7);

// Ticks of a time axis at round UTC times (seconds, minutes, hours, days) inside [startMs,
// endMs], each with its label: "HH:mm:ss" below a minute's step, "HH:mm" below a day's, the date
// in front when the axis spans more than a day. The labels differ from one another.
struct TimeTick {
    std::int64_t unixTimeMs = 0;
    std::string label;
    bool operator==(const TimeTick&) const = default;
};
std::vector<TimeTick> timeTicks(std::int64_t startMs, std::int64_t endMs, int maxTicks = 7);

// "2026-12-09 11:50:41 UTC".
std::string utcTimeText(std::int64_t unixTimeMs);
// What a picture of a plot says about itself: the subject, then the time range it covers,
// "TX EAST SFN: 2026-12-09 11:50:41 to 11:55:10 UTC" (the end's date only when it differs).
std::string plotTitle(std::string_view subject, std::int64_t firstMs, std::int64_t lastMs);
// A file name safe on any file system for what an export holds: the kind, the subject and the
// UTC date, "sfn-delay-TX-EAST-SFN-2026-12-09" (no folder, no extension). Anything but ASCII
// letters and digits in the subject becomes one "-"; an empty subject is left out.
std::string exportBaseName(std::string_view kind, std::string_view subject,
                           std::int64_t unixTimeMs);

}  // namespace nms::sfn
