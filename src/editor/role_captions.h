#pragma once

#include <string_view>

// What lblElementType shows. Its caption is the editor's state: the rules of the panel read it
// to know what kind of element is shown.
namespace nms::editor::captions {

inline constexpr std::string_view kNoElement = "-";
inline constexpr std::string_view kEncoder = "ENCODER";
inline constexpr std::string_view kDecoder = "DECODER";
inline constexpr std::string_view kUnknown = "UNKNOWN";

inline constexpr std::string_view kDecoderIP = "Decoder IP:";
inline constexpr std::string_view kMulticastIP = "Multicast IP:";

}  // namespace nms::editor::captions
