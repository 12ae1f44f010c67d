#include "editor/record_values.h"

#include "protocol/rounding.h"

#include <charconv>
#include <cmath>
#include <string>

namespace nms::editor::values {

std::optional<double> readNumber(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
    const std::string_view s = text.substr(b, e - b);
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t body = i;
    bool digits = false, dot = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9')
            digits = true;
        else if (s[i] == '.' && !dot)
            dot = true;
        else
            return std::nullopt;
    }
    if (!digits) return std::nullopt;
    double v = 0;
    // from_chars takes no leading '+'; the sign is applied here.
    const auto [ptr, ec] = std::from_chars(s.data() + body, s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return (body > 0 && s[0] == '-') ? -v : v;
}

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
