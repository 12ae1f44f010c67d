#include "editor/record_values.h"

#include "protocol/rounding.h"
#include "protocol/text.h"

#include <string>

namespace nms::editor::values {

std::optional<double> readNumber(std::string_view text) { return protocol::text::decimalNumber(text); }

double roundHalfEven(double v) { return protocol::roundHalfEven(v); }

int clampedInt(double v, int lo, int hi) {
    const double r = roundHalfEven(v);
    if (r <= lo) return lo;
    if (r >= hi) return hi;
    return static_cast<int>(r);
}

int listIndexFrom(std::string_view text, int count) {
    const auto v = readNumber(text);
    if (!v) return -1;
    const double r = roundHalfEven(*v);
    if (r < 0 || r >= count) return -1;
    return static_cast<int>(r);
}

int scrollValueFrom(std::string_view text, double fallback, int lo, int hi) {
    return clampedInt(readNumber(text).value_or(fallback), lo, hi);
}

int checkValueFrom(std::string_view text) {
    const auto v = readNumber(text);
    return v && roundHalfEven(*v) > 0 ? 1 : 0;
}

double roundToTenth(double v) {
    return roundHalfEven(v * 10.0) / 10.0;
}

}  // namespace nms::editor::values
