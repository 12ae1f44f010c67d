#pragma once

#include <string>

// The unit labels of the level, buffer and silence detector controls: raw scroll values shown
// in physical units.
namespace nms::editor::labels {

// "Mute" at the scroll bar's minimum; otherwise the level in dB, 0.5 dB a step, 255 being
// 0 dB for an encoder and +5 dB for a decoder ("+5 dB", "0 dB", "-120 dB").
std::string attenuation(int value, int minimum, bool decoder);

// The receive latency of a buffer setting in ms. A station with PTP-synchronised elements
// (GPSDO build or SFN ticked) saves one 2.5 ms block; low latency halves the block.
double latencyMs(int buffer, bool sfn, bool lowLatency);
// The latency as the label shows it ("27.5mS").
std::string latency(int buffer, bool sfn, bool lowLatency);

// The silence detector's trigger level ("-49.8dBu") and count-down time ("0.5Sec").
std::string silenceLevel(int value);
std::string silenceTime(int value);

}  // namespace nms::editor::labels
