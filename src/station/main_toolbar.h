#pragma once

// The main window's toolbar and image list, numbered as the station's handlers expect: buttons
// from 1 (separators count), pictures from 1.
namespace nms::station::toolbar {

inline constexpr int kDiscover = 1;
inline constexpr int kRefresh = 2;
inline constexpr int kSave = 4;
inline constexpr int kStartMonitoring = 6;
inline constexpr int kStopMonitoring = 7;

inline constexpr int kPictureDiscover = 1;
inline constexpr int kPictureRefresh = 2;
inline constexpr int kPictureSave = 3;
inline constexpr int kPictureStartMonitoring = 4;
inline constexpr int kPictureStopMonitoring = 5;
inline constexpr int kPictureEncoder = 6;
inline constexpr int kPictureDecoder = 7;

}  // namespace nms::station::toolbar
