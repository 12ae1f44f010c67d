#include "protocol/element_key.h"

#include <array>

#include "protocol/address.h"
#include "protocol/text.h"

namespace nms::protocol {
namespace {
constexpr std::array<std::string_view, 3> kRoleWords{"ELEMENT", "ENCODER", "DECODER"};
constexpr std::string_view kSerialMark = "-SN";
constexpr std::size_t kSerialDigits = 10;
constexpr std::size_t kSerialKeyLength = 7 + kSerialMark.size() + kSerialDigits;

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; }
}  // namespace

std::string SerialKey(int role, long long serial) {
    if (serial < 1 || serial > 2147483647LL) return {};
    std::string digits = std::to_string(serial);
    std::string key(kRoleWords[(role == 1 || role == 2) ? role : 0]);
    key += kSerialMark;
    key.append(kSerialDigits - digits.size(), '0');
    return key + digits;
}

bool IsSerialKey(std::string_view key) {
    if (key.size() != kSerialKeyLength) return false;
    std::string head;
    for (std::size_t i = 0; i < 7 + kSerialMark.size(); ++i) head.push_back(upper(key[i]));
    bool roleWord = false;
    for (const auto word : kRoleWords) roleWord = roleWord || head.compare(0, 7, word) == 0;
    if (!roleWord || head.compare(7, kSerialMark.size(), kSerialMark) != 0) return false;
    long long serial = 0;
    for (const char c : key.substr(7 + kSerialMark.size())) {
        if (c < '0' || c > '9') return false;
        serial = serial * 10 + (c - '0');
    }
    return serial >= 1 && serial <= 2147483647LL;
}

std::string ElementKey(std::string_view identity) {
    if (IsSerialKey(identity)) return text::toUpper(identity);
    return Encode_MAC(identity);
}

std::string ElementIdentity(std::string_view key) {
    if (IsSerialKey(key)) return text::toUpper(key);
    return Decode_MAC(key);
}

}  // namespace nms::protocol
