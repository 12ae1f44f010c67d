#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nms::protocol {

// One audio type an element can carry. Its row number is the entry's index in the audio type
// list of the editor.
struct AudioType {
    std::string_view name;         // empty for the unused rows
    int width = 0;                 // sample width in bits
    int code = 0;                  // 6-bit code carried in the type byte
    std::string_view description;  // the list's tool tip while the row is selected
};

inline constexpr int kAudioTypeRows = 17;
inline constexpr int kAudioTypesInUse = 13;

// Bits of the type byte.
inline constexpr std::uint8_t kTypeCodeMask = 0x3F;
inline constexpr std::uint8_t kTypeNarrowBand = 0x40;
inline constexpr std::uint8_t kTypeFlac = 0x80;

class AudioTypeTable {
public:
    // The table as the station fills it at start-up: rows 0 to 12 in use, 13 to 16 empty.
    static AudioTypeTable standard();

    const AudioType& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    // The names to list, in row order, skipping empty rows.
    std::vector<std::string> listNames() const;
    // The first row whose code equals the type byte's code bits; row 0 when none does.
    int rowForTypeByte(std::uint8_t typeByte) const;
    // The AES67 rows derive their stream address from a channel number.
    static bool isAes67Row(int index) { return index == 5 || index == 11 || index == 12; }

private:
    std::array<AudioType, kAudioTypeRows> rows_{};
};

}  // namespace nms::protocol
