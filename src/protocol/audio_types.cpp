#include "protocol/audio_types.h"

namespace nms::protocol {

AudioTypeTable AudioTypeTable::standard() {
    AudioTypeTable t;
    t.rows_[0] = {"L/R Legacy", 24, 0, "For older Vantrelo devices (2.4Mbps)"};
    t.rows_[1] = {"L/R HD", 24, 16, "L/R High Definition (2.4Mbps)"};
    t.rows_[2] = {"L/R SD", 16, 17, "L/R Standard Definition (1.6Mbps)"};
    t.rows_[3] = {"L/R LD", 12, 18, "L/R Low Definition (1.2Mbps)"};
    t.rows_[4] = {"L/R LLD", 8, 19, "L/R Very Low Definition (0.8Mbps)"};
    t.rows_[5] = {"L/R AES67", 24, 20, "L/R over AES67 (2.4Mbps)"};
    t.rows_[6] = {"MPX Legacy", 24, 1, "For older Vantrelo devices (4.7Mbps)"};
    t.rows_[7] = {"MPX HD", 24, 32, "MPX High Definition (4.7Mbps)"};
    t.rows_[8] = {"MPX SD", 16, 33, "MPX Standard Definition (3.2Mbps)"};
    t.rows_[9] = {"MPX LD", 12, 34, "MPX Low Definition (2.4Mbps)"};
    t.rows_[10] = {"MPX LLD", 8, 35, "MPX Very Low Definition (1.7Mbps)"};
    t.rows_[11] = {"MPX AES67", 16, 36, "MPX over AES67 (3.2Mbps)"};
    t.rows_[12] = {"MPX AES67-SyES", 24, 37, "MPX over AES67-SyES (5.1Mbps)"};
    return t;
}

std::vector<std::string> AudioTypeTable::listNames() const {
    std::vector<std::string> names;
    for (const auto& r : rows_)
        if (!r.name.empty()) names.emplace_back(r.name);
    return names;
}

int AudioTypeTable::rowForTypeByte(std::uint8_t typeByte) const {
    const int code = typeByte & kTypeCodeMask;
    for (int i = 0; i < kAudioTypeRows; ++i) {
        // Empty rows carry code 0 too; only a filled row can match.
        if (!rows_[static_cast<std::size_t>(i)].name.empty() && rows_[static_cast<std::size_t>(i)].code == code) return i;
    }
    return 0;
}

}  // namespace nms::protocol
