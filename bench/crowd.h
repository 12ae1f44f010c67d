#pragma once

// A crowd of simulated elements on the virtual LAN, as the discovery figures page it: one
// decoder in three, every one in 10.20.0.0/16 beside the station at 10.20.0.1.

#include <string>

#include "sim/virtual_lan.h"
#include "support/crowd_element.h"
#include "support/station_on_fakes.h"

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

// The plant the monitor and web figures poll: encoders and decoders in turn, every fourth
// element an SFN decoder, and a station on fakes started on the database that lists them (name,
// address, role, SFN) as discovery left it. Any box it shows is answered: nothing scripts them.
struct MonitoredCrowd {
    MonitoredCrowd(int elements, std::int64_t maxLatencyUs)
        : lan(station.time, station.time, crowdOptions(200, maxLatencyUs)) {
        std::string database;
        for (int i = 0; i < elements; ++i) {
            const bool decoder = i % 2 == 1;
            const auto id =
                testing::crowdElement(i, 0x71, decoder ? sim::Role::Decoder : sim::Role::Encoder);
            sim::ElementSettings s;
            s.sfn = static_cast<std::uint8_t>(i % 4 == 1);
            lan.addElement(id, s);
            const int host = i + 2;
            database += "[" + testing::crowdElementKey(i, 0x71) + "]\nname=" + id.name +
                        "\nip=10.20." + std::to_string(host >> 8) + "." +
                        std::to_string(host & 0xFF) + "\nrole=" + (decoder ? "2" : "1") +
                        "\nsfn=" + (i % 4 == 1 ? "1" : "0") + "\n";
        }
        station.dialogs.allowUnexpected = true;
        station.files.editExternally("/bench/nms.ini", database);
        station.create({"/bench/nms.ini", &lan});
        station.load();
    }

    testing::StationOnFakes<> station;
    sim::VirtualLan lan;
};

}  // namespace nms
