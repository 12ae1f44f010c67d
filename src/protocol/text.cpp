#include "protocol/text.h"

#include <chrono>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace nms::protocol::text {

void appendCodePoint(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::uint32_t nextCodePoint(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    auto cont = [&](std::size_t k) {
        return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    };
    auto at = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(s[i + k]) & 0x3F); };
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    if ((b0 & 0xE0) == 0xC0 && b0 >= 0xC2 && cont(1)) {
        std::uint32_t cp = (static_cast<std::uint32_t>(b0 & 0x1F) << 6) | at(1);
        i += 2;
        return cp;
    }
    if ((b0 & 0xF0) == 0xE0 && cont(1) && cont(2)) {
        std::uint32_t cp = (static_cast<std::uint32_t>(b0 & 0x0F) << 12) | (at(1) << 6) | at(2);
        if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
            i += 3;
            return cp;
        }
    }
    if ((b0 & 0xF8) == 0xF0 && cont(1) && cont(2) && cont(3)) {
        std::uint32_t cp = (static_cast<std::uint32_t>(b0 & 0x07) << 18) | (at(1) << 12) | (at(2) << 6) | at(3);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            i += 4;
            return cp;
        }
    }
    ++i;
    return b0;
}

namespace {

std::uint32_t upper(std::uint32_t cp) {
    if (cp >= 'a' && cp <= 'z') return cp - 0x20;
    if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 0x20;
    return cp;
}

std::uint32_t lower(std::uint32_t cp) {
    if (cp >= 'A' && cp <= 'Z') return cp + 0x20;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 0x20;
    return cp;
}

template <typename F>
std::string mapChars(std::string_view s, F f) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) appendCodePoint(out, f(nextCodePoint(s, i)));
    return out;
}

}  // namespace

std::string validUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {  // most texts are valid already: no copy made until a fault
        const std::size_t at = i;
        const std::uint32_t cp = nextCodePoint(s, i);
        if (cp >= 0x80 && i == at + 1) {
            std::string out(s.substr(0, at));
            for (i = at; i < s.size();) appendCodePoint(out, nextCodePoint(s, i));
            return out;
        }
    }
    return std::string(s);
}

std::string latin1ToUtf8(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (auto b : bytes) appendCodePoint(out, b);
    return out;
}

std::vector<std::uint8_t> utf8ToBytes(std::string_view utf8) {
    std::vector<std::uint8_t> out;
    out.reserve(utf8.size());
    // The element takes one byte per character: the low 8 bits of its code, as it always has.
    for (std::size_t i = 0; i < utf8.size();) out.push_back(static_cast<std::uint8_t>(nextCodePoint(utf8, i) & 0xFF));
    return out;
}

std::size_t length(std::string_view utf8) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < utf8.size(); ++n) nextCodePoint(utf8, i);
    return n;
}

std::string left(std::string_view utf8, std::size_t n) {
    std::size_t i = 0;
    for (std::size_t k = 0; k < n && i < utf8.size(); ++k) nextCodePoint(utf8, i);
    return std::string(utf8.substr(0, i));
}

std::string toUpper(std::string_view utf8) { return mapChars(utf8, upper); }
std::string toLower(std::string_view utf8) { return mapChars(utf8, lower); }

std::string trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return std::string(s.substr(b, e - b));
}

bool parseInteger(std::string_view s, long long& out) {
    if (s.empty()) return false;
    std::size_t start = (s[0] == '+' || s[0] == '-') ? 1 : 0;
    if (start == s.size()) return false;
    for (std::size_t i = start; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    const char* first = s.data() + (s[0] == '+' ? 1 : 0);
    auto [ptr, ec] = std::from_chars(first, s.data() + s.size(), out);
    return ec == std::errc() && ptr == s.data() + s.size();
}

bool isWholeNumber(std::string_view v) {
    if (v.empty() || v.size() > 15) return false;
    std::size_t i = v[0] == '-' ? 1 : 0;
    if (i == v.size() || (v[i] == '0' && v.size() > i + 1)) return false;
    for (; i < v.size(); ++i)
        if (v[i] < '0' || v[i] > '9') return false;
    return true;
}

std::optional<double> decimalNumber(std::string_view text) {
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

double leadingNumber(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    std::size_t j = i;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    bool digits = false, dot = false;
    while (j < s.size()) {
        if (s[j] >= '0' && s[j] <= '9') digits = true;
        else if (s[j] == '.' && !dot) dot = true;
        else break;
        ++j;
    }
    if (!digits) return 0.0;
    // from_chars, not strtod: the window's toolkit gives the C library the user's locale, and
    // under a decimal comma strtod would read the firmware "3.7" as 3.
    const bool negative = s[i] == '-';
    if (s[i] == '+' || s[i] == '-') ++i;
    const std::string_view number = s.substr(i, j - i);
    double v = 0.0;
    if (std::from_chars(number.data(), number.data() + number.size(), v).ec ==
        std::errc::result_out_of_range) {
        // Hundreds of digits: huge when a digit before the point is not 0, else tiny.
        const auto whole = number.substr(0, number.find('.'));
        v = whole.find_first_not_of('0') == std::string_view::npos ? 0.0 : HUGE_VAL;
    }
    return negative ? -v : v;
}

std::string shortestNumber(double v) {
    if (v == 0.0) return "0";  // also turns -0 into 0
    char buf[64];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
    if (ec != std::errc()) return "0";
    return std::string(buf, ptr);
}

std::string fixedNumber(double v, int decimals) {
    char buf[400];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return "0";
    return std::string(buf, ptr);
}

std::string isoUtcTime(std::int64_t unixTimeMs, bool withMilliseconds) {
    using namespace std::chrono;
    const sys_time<milliseconds> t{milliseconds{unixTimeMs}};
    const auto day = floor<days>(t);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> clock{t - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    std::string out = text;
    if (withMilliseconds) {
        std::snprintf(text, sizeof text, ".%03d", static_cast<int>(clock.subseconds().count()));
        out += text;
    }
    return out + "Z";
}

}  // namespace nms::protocol::text
