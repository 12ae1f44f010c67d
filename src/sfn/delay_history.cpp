#include "sfn/delay_history.h"

#include "protocol/text.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace nms::sfn {

DelayHistory::DelayHistory(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

void DelayHistory::add(const DelayPoint& point) {
    while (points_.size() >= capacity_) points_.pop_front();
    points_.push_back(point);
}

void DelayHistory::clear() {
    points_.clear();
}

DelayStatistics DelayHistory::statistics() const {
    DelayStatistics s;
    if (points_.empty()) return s;
    s.count = points_.size();
    s.minimumNs = s.maximumNs = points_.front().averageNs;
    // Summed in 64 bits: a day of points near the 32-bit limit still fits exactly.
    std::int64_t sum = 0;
    for (const auto& p : points_) {
        s.minimumNs = std::min(s.minimumNs, p.averageNs);
        s.maximumNs = std::max(s.maximumNs, p.averageNs);
        sum += p.averageNs;
    }
    s.meanNs = static_cast<double>(sum) / static_cast<double>(s.count);
    // Deviations from the mean rather than a sum of squares, which would lose the small spread
    // of delays that sit far from zero.
    double squares = 0;
    for (const auto& p : points_) {
        const double d = p.averageNs - s.meanNs;
        squares += d * d;
    }
    s.standardDeviationNs = std::sqrt(squares / static_cast<double>(s.count));
    return s;
}

std::string DelayHistory::csv() const {
    std::string out =
        "time_utc,network_delay_min_ns,network_delay_avg_ns,network_delay_max_ns,"
        "additional_delay_ns,servo_correction_ns,auto_servo\r\n";
    for (const auto& p : points_) {
        out += isoUtcTime(p.unixTimeMs);
        for (const std::int32_t v :
             {p.minimumNs, p.averageNs, p.maximumNs, p.additionalNs, p.servoCorrectionNs}) {
            out += ',';
            out += std::to_string(v);
        }
        out += p.autoServo ? ",1\r\n" : ",0\r\n";
    }
    return out;
}

std::string isoUtcTime(std::int64_t unixTimeMs) { return protocol::text::isoUtcTime(unixTimeMs, true); }

}  // namespace nms::sfn
