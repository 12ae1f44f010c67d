#pragma once

// A crowd of simulated elements on the virtual LAN, as the discovery figures page it: one
// decoder in three, every one in 10.20.0.0/16 beside the station at 10.20.0.1.

#include "sim/virtual_lan.h"
#include "support/crowd_element.h"

namespace nms {

using testing::crowdOptions;

// `mixedTx`: every other encoder sends multicast; otherwise every element keeps the default.
inline void addCrowd(sim::VirtualLan& lan, int elements, bool mixedTx) {
    for (int i = 0; i < elements; ++i) {
        auto id =
            testing::crowdElement(i, 0x70, i % 3 == 0 ? sim::Role::Decoder : sim::Role::Encoder);
        id.serial = 100000 + i;
        sim::ElementSettings s;
        s.remote = {239, 192, 0, 1};
        if (mixedTx) s.tx = id.role == sim::Role::Decoder ? 0 : static_cast<std::uint8_t>(i % 2);
        lan.addElement(id, s);
    }
}

}  // namespace nms
