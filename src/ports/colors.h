#pragma once

#include <cstdint>

namespace nms::ports {

// Colours are kept in the window system's 0xBBGGRR encoding (blue in the high byte), because
// the station's rules are written in it. Values with the top bit set name system colours.
using Color = std::uint32_t;

inline constexpr Color kSystemWindowBackground = 0x80000005;  // text box background
inline constexpr Color kSystemButtonFace = 0x8000000F;
inline constexpr Color kLightRed = 0x8080FF;      // invalid input
inline constexpr Color kLightYellow = 0xC0FFFF;   // ping button at rest
inline constexpr Color kGreen = 0x00FF00;
inline constexpr Color kRed = 0x0000FF;
inline constexpr Color kPingFailed = 0x8080FF;    // red 255, green 128, blue 128

constexpr bool isSystemColor(Color c) { return (c & 0x80000000u) != 0; }
constexpr int redOf(Color c) { return static_cast<int>(c & 0xFF); }
constexpr int greenOf(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int blueOf(Color c) { return static_cast<int>((c >> 16) & 0xFF); }
constexpr Color rgb(int r, int g, int b) {
    return static_cast<Color>((b & 0xFF) << 16 | (g & 0xFF) << 8 | (r & 0xFF));
}

}  // namespace nms::ports
