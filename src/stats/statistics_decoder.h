#pragma once
// Placeholder: replaced by the statistics decoder.
#include <cstdint>
#include <string>
namespace nms::stats {
enum class IndicatorState { Neutral, Red, Green };
struct Indicator {
    IndicatorState state = IndicatorState::Neutral;
    std::string toolTip;
    std::string caption;
};
struct StatisticsRecord {};
}  // namespace nms::stats
