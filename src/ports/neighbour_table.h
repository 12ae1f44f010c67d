#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nms::ports {

// The host's address resolution table. A lookup never blocks for more than a moment: when no
// complete entry exists it starts resolution (if the platform can) and answers nothing.
//
// Resolution on the network takes from a millisecond (a host that answers at once) to a few
// seconds (the host's retries before it gives up), so a caller that needs the address either
// asks again later or has itself told when resolution ends (whenResolved).
class NeighbourTable {
public:
    enum class State : std::uint8_t {
        Complete,    // the link-layer address is known
        Resolving,   // not known yet; resolution has been started and may still succeed
        Unreachable  // cannot be known: resolution failed, or the address is not on a local link
    };
    struct Entry {
        State state = State::Unreachable;
        std::vector<std::uint8_t> linkAddress;  // first octet first; empty unless Complete
    };
    using WatchId = std::uint64_t;

    virtual ~NeighbourTable() = default;

    // The link-layer address for a dotted-quad IPv4 address, first octet first.
    virtual std::optional<std::vector<std::uint8_t>> lookup(const std::string& ipv4) = 0;

    // The entry as it stands. Like lookup() it starts resolution of an entry that is not
    // complete; unlike it, it tells an address that may still resolve from one that cannot.
    virtual Entry query(const std::string& ipv4) {
        auto found = lookup(ipv4);
        if (!found) return {State::Resolving, {}};
        return {State::Complete, std::move(*found)};
    }

    // Calls `done` once, on the station's thread and never from inside this call: with the
    // complete entry as soon as there is one, with Unreachable as soon as resolution has failed,
    // or after `timeoutMs` with the entry as it then stands. Starts resolution when needed.
    virtual WatchId whenResolved(const std::string& ipv4, std::int64_t timeoutMs,
                                 std::function<void(Entry)> done) = 0;
    // `done` of that watch is not called. Cancelling a watch that has ended is harmless.
    virtual void cancelWatch(WatchId id) = 0;
};

}  // namespace nms::ports
