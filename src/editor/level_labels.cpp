#include "editor/level_labels.h"

#include <cmath>

#include "editor/record_values.h"
#include "protocol/text.h"

namespace nms::editor::labels {

using protocol::text::shortestNumber;

std::string attenuation(int value, int minimum, bool decoder) {
    if (value == minimum) return "Mute";
    // Single precision, as the element's own figures are; every step is exact anyway.
    const float x = static_cast<float>(value - 255) * 0.5f + (decoder ? 5.0f : 0.0f);
    const std::string number = shortestNumber(static_cast<double>(x));
    return (x > 0 ? "+" : "") + number + " dB";
}

double latencyMs(int buffer, bool sfn, bool lowLatency) {
    if (lowLatency) return 1.25 * buffer + 2.5;
    return sfn ? 2.5 * buffer + 2.5 : 2.5 * buffer + 5.0;
}

std::string latency(int buffer, bool sfn, bool lowLatency) {
    return shortestNumber(latencyMs(buffer, sfn, lowLatency)) + "mS";
}

std::string silenceLevel(int value) {
    const double dBu = 20.0 * std::log10(value * 2.04870129870129) - 56.0;
    return shortestNumber(values::roundToTenth(dBu)) + "dBu";
}

std::string silenceTime(int value) {
    return shortestNumber(values::roundToTenth(value * 0.455104166666667)) + "Sec";
}

}  // namespace nms::editor::labels
