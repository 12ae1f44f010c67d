#include "sfn/delay_chart.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "protocol/text.h"
#include "sfn/frm_adjust.h"

namespace nms::sfn {

namespace {

constexpr double kNsPerUs = 1000.0;
constexpr std::int64_t kSecondMs = 1000;
constexpr std::int64_t kMinuteMs = 60 * kSecondMs;
constexpr std::int64_t kDayMs = 24 * 60 * kMinuteMs;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

DelayPlotData delayPlotData(const std::deque<DelayPoint>& points, std::size_t shown,
                            std::int64_t periodMs) {
    DelayPlotData d;
    const std::size_t first = points.size() > shown ? points.size() - shown : 0;
    const double longest = kGapPeriods * static_cast<double>(std::max<std::int64_t>(periodMs, 1));
    bool any = false;
    for (std::size_t i = first; i < points.size(); ++i) {
        const auto& p = points[i];
        PlotSample s{
            p.unixTimeMs,
            p.minimumNs / kNsPerUs,
            p.averageNs / kNsPerUs,
            p.maximumNs / kNsPerUs,
            p.additionalNs / kNsPerUs,
            (static_cast<double>(p.averageNs) + static_cast<double>(kFixedLatencyNs)) / kNsPerUs};
        const double low = std::min({s.minimumUs, s.averageUs, s.additionalUs});
        const double high = std::max({s.maximumUs, s.averageUs, s.additionalUs, s.summaryUs});
        d.lowUs = any ? std::min(d.lowUs, low) : low;
        d.highUs = any ? std::max(d.highUs, high) : high;
        any = true;
        const std::size_t at = d.samples.size();
        const bool joined =
            at > 0 && p.unixTimeMs >= d.samples.back().unixTimeMs &&
            static_cast<double>(p.unixTimeMs - d.samples.back().unixTimeMs) <= longest;
        if (joined)
            d.runs.back().end = at + 1;
        else
            d.runs.push_back({at, at + 1});
        d.samples.push_back(s);
    }
    return d;
}

AxisTicks niceTicks(double low, double high, int maxTicks) {
    maxTicks = std::max(maxTicks, 2);
    if (!std::isfinite(low) || !std::isfinite(high)) low = high = 0;
    if (high < low) std::swap(low, high);
    // A flat series still gets an axis around it, not a span of nothing.
    if (high - low < 1e-9) {
        low -= 1;
        high += 1;
    }
    const double rough = (high - low) / (maxTicks - 1);
    double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    for (;;) {
        for (const double factor : {1.0, 2.0, 5.0}) {
            const double step = factor * magnitude;
            if (step < rough * (1 - 1e-9)) continue;
            AxisTicks t;
            t.step = step;
            t.first = std::floor(low / step + 1e-9) * step;
            t.last = std::ceil(high / step - 1e-9) * step;
            t.count = static_cast<int>(std::lround((t.last - t.first) / step)) + 1;
            if (t.count > maxTicks) continue;
            t.count = std::max(t.count, 2);
            t.last = t.first + (t.count - 1) * step;
            t.decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
            return t;
        }
        magnitude *= 10;
    }
}

std::vector<TimeTick> timeTicks(std::int64_t startMs, std::int64_t endMs, int maxTicks) {
    maxTicks = std::max(maxTicks, 2);
    if (endMs <= startMs) endMs = startMs + kSecondMs;
    static constexpr std::array<std::int64_t, 18> kSteps{
        kSecondMs,       2 * kSecondMs,   5 * kSecondMs,  10 * kSecondMs,  15 * kSecondMs,
        30 * kSecondMs,  kMinuteMs,       2 * kMinuteMs,  5 * kMinuteMs,   10 * kMinuteMs,
        15 * kMinuteMs,  30 * kMinuteMs,  60 * kMinuteMs, 120 * kMinuteMs, 180 * kMinuteMs,
        360 * kMinuteMs, 720 * kMinuteMs, kDayMs};
    const std::int64_t span = endMs - startMs;
    std::int64_t step = 0;
    for (const auto s : kSteps)
        if (span / s + 1 <= maxTicks) {
            step = s;
            break;
        }
    // Longer than the table: whole days, as many as it takes.
    if (step == 0) step = kDayMs * (span / kDayMs / (maxTicks - 1) + 1);
    const bool withDate = span > kDayMs;
    std::vector<TimeTick> ticks;
    for (std::int64_t t = -floorDiv(-startMs, step) * step; t <= endMs; t += step) {
        const std::string iso = protocol::text::isoUtcTime(t, false);  // 2026-12-09T11:50:41Z
        std::string label;
        if (step >= kDayMs)
            label = iso.substr(5, 5);
        else
            label = (withDate ? iso.substr(5, 5) + " " : std::string()) +
                    iso.substr(11, step < kMinuteMs ? 8 : 5);
        ticks.push_back({t, label});
    }
    return ticks;
}

std::string utcTimeText(std::int64_t unixTimeMs) {
    const std::string iso = protocol::text::isoUtcTime(unixTimeMs, false);
    return iso.substr(0, 10) + " " + iso.substr(11, 8) + " UTC";
}

std::string plotTitle(std::string_view subject, std::int64_t firstMs, std::int64_t lastMs) {
    const std::string from = utcTimeText(firstMs);
    std::string to = utcTimeText(lastMs);
    if (to.compare(0, 10, from, 0, 10) == 0) to.erase(0, 11);
    std::string title = protocol::text::trim(subject);
    if (!title.empty()) title += ": ";
    return title + from.substr(0, from.size() - 4) + " to " + to;
}

std::string exportBaseName(std::string_view kind, std::string_view subject,
                           std::int64_t unixTimeMs) {
    std::string safe;
    for (const char c : subject) {
        const bool plain =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (plain)
            safe += c;
        else if (!safe.empty() && safe.back() != '-')
            safe += '-';
    }
    while (!safe.empty() && safe.back() == '-') safe.pop_back();
    std::string name(kind);
    if (!safe.empty()) name += "-" + safe;
    return name + "-" + protocol::text::isoUtcTime(unixTimeMs, false).substr(0, 10);
}

}  // namespace nms::sfn
