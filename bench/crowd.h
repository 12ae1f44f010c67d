#pragma once

// A crowd of simulated elements on the virtual LAN, as the discovery figures page it: one
// decoder in three, every one in 10.20.0.0/16 beside the station at 10.20.0.1.

#include <cstdint>
#include <string>

#include "sim/virtual_lan.h"

namespace nms {

inline sim::VirtualLan::Options crowdOptions(int minLatencyUs, int maxLatencyUs) {
    sim::VirtualLan::Options o;
    o.stationAddresses = {"10.20.0.1"};
    o.netmask = "255.255.0.0";
    o.minLatencyUs = minLatencyUs;
    o.maxLatencyUs = maxLatencyUs;
    return o;
}

// `mixedTx`: every other encoder sends multicast; otherwise every element keeps the default.
inline void addCrowd(sim::VirtualLan& lan, int elements, bool mixedTx) {
    for (int i = 0; i < elements; ++i) {
        sim::ElementIdentity id;
        id.name = "ELEMENT " + std::to_string(i);
        id.role = i % 3 == 0 ? sim::Role::Decoder : sim::Role::Encoder;
        id.serial = 100000 + i;
        const int host = i + 2;
        id.ip = {10, 20, static_cast<std::uint8_t>(host >> 8),
                 static_cast<std::uint8_t>(host & 0xFF)};
        id.gateway = {10, 20, 0, 1};
        id.mask = {255, 255, 0, 0};
        id.mac = {0x00,
                  0x1A,
                  0x2B,
                  0x70,
                  static_cast<std::uint8_t>(i >> 8),
                  static_cast<std::uint8_t>(i & 0xFF)};
        sim::ElementSettings s;
        s.remote = {239, 192, 0, 1};
        if (mixedTx) s.tx = id.role == sim::Role::Decoder ? 0 : static_cast<std::uint8_t>(i % 2);
        lan.addElement(id, s);
    }
}

}  // namespace nms
