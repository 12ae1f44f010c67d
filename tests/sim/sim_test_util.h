#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace nms::sim::testing {

// "C0 A8 32 15" → bytes; written out by hand from the packet layouts.
inline std::vector<std::uint8_t> hex(std::string_view text) {
    std::vector<std::uint8_t> out;
    std::istringstream in{std::string(text)};
    std::string token;
    while (in >> token) out.push_back(static_cast<std::uint8_t>(std::stoul(token, nullptr, 16)));
    return out;
}

inline std::vector<std::uint8_t> ascii(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace nms::sim::testing
