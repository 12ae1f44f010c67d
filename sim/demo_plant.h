#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/virtual_lan.h"

// The small plant that `nms --demo` manages: two encoders and three decoders on one private
// network that exists only inside the process.
//
// - STUDIO A LR: encoder, L/R HD, unicast to TX NORTH.
// - STUDIO B MPX: encoder, MPX HD, multicast to 239.192.50.1, SFN (PTP).
// - TX NORTH: decoder of STUDIO A LR.
// - TX EAST SFN, TX WEST SFN: decoders of the multicast, SFN with PTP.
//
// The station host is 192.168.50.10 on 192.168.50.0/24; the elements are .21, .22, .31-.33.
namespace nms::sim {

class DemoPlant {
public:
    struct Member {
        ElementIdentity identity;
        ElementSettings settings;
    };

    DemoPlant(ports::Scheduler& scheduler, const ports::Clock& clock);

    VirtualLan& lan() { return *lan_; }
    // Now and then something goes wrong, as on a real plant, so that the monitor has something
    // to show: TX WEST SFN loses its 1 PPS for 20 s every 4 minutes, and TX NORTH stops answering
    // statistics for 45 s every 5 minutes. Off until started (tests run without it).
    void startIncidents();
    ports::Network& network() { return *lan_; }

    static std::string stationAddress() { return "192.168.50.10"; }
    static VirtualLan::Options lanOptions();
    // The elements in the order they are added: five on the station's segment, then two at a
    // transmitter site behind a router.
    static std::vector<Member> members();

    // What each element holds (name, addresses, configuration, level, SFN delay and servo), as
    // text, and back: a demo that a series of commands works on keeps its units as they were
    // left, as a real plant does. A line that names no element of the plant or cannot be read
    // is passed over.
    std::string stateText();
    void restoreState(const std::string& text);

private:
    Element* byName(const std::string& name);
    void every(std::int64_t periodMs, std::int64_t firstMs, std::function<void()> task);
    void fire(std::size_t index);
    ports::Scheduler& scheduler_;
    std::unique_ptr<VirtualLan> lan_;
    struct Recurring {
        std::int64_t periodMs;
        std::function<void()> task;
    };
    std::vector<Recurring> recurring_;
};

}  // namespace nms::sim
