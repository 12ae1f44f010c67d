#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace nms::sfn {

// One decoded delay reply of an SFN decoder, as the adjustment window showed it.
struct DelayPoint {
    std::int64_t unixTimeMs = 0;  // when the reply arrived, milliseconds since 1970-01-01 UTC
    // Network delay including the additional delay and servo correction in effect (ns).
    std::int32_t minimumNs = 0;
    std::int32_t averageNs = 0;
    std::int32_t maximumNs = 0;
    std::int32_t additionalNs = 0;       // additional delay the element reported (ns)
    std::int32_t servoCorrectionNs = 0;  // 0 while automatic compensation is off
    bool autoServo = false;
    bool operator==(const DelayPoint&) const = default;
};

// Figures of the average network delay over the kept points. All zero when there are none.
struct DelayStatistics {
    std::size_t count = 0;
    std::int32_t minimumNs = 0;
    std::int32_t maximumNs = 0;
    double meanNs = 0;
    // Population standard deviation: the kept points are the whole series, not a sample of it.
    double standardDeviationNs = 0;
};

// The delay of one decoder over time, while its adjustment window is open. Bounded: once full,
// each new point pushes out the oldest, so a window left open for days keeps the latest day (at
// one reply a second) and no more.
class DelayHistory {
public:
    static constexpr std::size_t kDefaultCapacity = 86400;

    explicit DelayHistory(std::size_t capacity = kDefaultCapacity);

    void add(const DelayPoint& point);
    void clear();

    std::size_t size() const { return points_.size(); }
    bool empty() const { return points_.empty(); }
    std::size_t capacity() const { return capacity_; }
    // Oldest first.
    const std::deque<DelayPoint>& points() const { return points_; }

    DelayStatistics statistics() const;

    // The history as CSV (RFC 4180 line ends): a header line, then one line per point, oldest
    // first: the UTC time in ISO 8601 with milliseconds, the figures in ns, the servo state 0/1.
    std::string csv() const;

private:
    std::size_t capacity_;
    std::deque<DelayPoint> points_;
};

// "2026-01-01T00:00:05.250Z" for 1767225605250.
std::string isoUtcTime(std::int64_t unixTimeMs);

}  // namespace nms::sfn
