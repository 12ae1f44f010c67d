#pragma once

// A crowd of simulated elements on the virtual LAN, as the discovery and monitor figures and the
// monitor's cycle tests build their plants: every element in 10.20.0.0/16 beside the station at
// 10.20.0.1, element i at host i + 2 with the MAC 00:1A:2B:TAG:i (TAG keeps the plants apart).

#include <cstdint>
#include <cstdio>
#include <string>

#include "sim/virtual_lan.h"

namespace nms::testing {

inline sim::VirtualLan::Options crowdOptions(int minLatencyUs, int maxLatencyUs) {
    sim::VirtualLan::Options o;
    o.stationAddresses = {"10.20.0.1"};
    o.netmask = "255.255.0.0";
    o.minLatencyUs = minLatencyUs;
    o.maxLatencyUs = maxLatencyUs;
    return o;
}

inline sim::ElementIdentity crowdElement(int i, std::uint8_t tag, sim::Role role) {
    sim::ElementIdentity id;
    id.name = "ELEMENT " + std::to_string(i);
    id.role = role;
    const int host = i + 2;
    id.ip = {10, 20, static_cast<std::uint8_t>(host >> 8), static_cast<std::uint8_t>(host & 0xFF)};
    id.gateway = {10, 20, 0, 1};
    id.mask = {255, 255, 0, 0};
    id.mac = {0x00,
              0x1A,
              0x2B,
              tag,
              static_cast<std::uint8_t>(i >> 8),
              static_cast<std::uint8_t>(i & 0xFF)};
    return id;
}

// Its key in the database ("001A2B" TAG i, in hexadecimal).
inline std::string crowdElementKey(int i, std::uint8_t tag) {
    char key[32];  // room for any int the format could be given
    std::snprintf(key, sizeof key, "001A2B%02X%02X%02X", tag, (i >> 8) & 0xFF, i & 0xFF);
    return key;
}

}  // namespace nms::testing
