#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "station/element_socket.h"

namespace nms::station {

class Port2978Lease;

// Port 2978, the elements' statistics and delay port, can be bound by one socket of the station
// at a time. The plant monitor polls on it in the background while nobody else needs it; a
// window or an operation that needs it (the statistics and SFN windows, an SFN overview
// measuring, settings applied to a replacement unit) takes a lease, and the monitor goes on only
// once the last lease out has been given back, whatever order they end in.
class Port2978 {
public:
    // Who polls on the port while no lease is out. `handOver` stops it, closes its socket and
    // says the replies its polls still await (they will reach the lease holder's socket, which
    // must not take them); `takeBack` lets it go on.
    struct Background {
        std::function<std::vector<ElementSocket::OwedReply>()> handOver;
        std::function<void()> takeBack;
    };

    Port2978();
    ~Port2978();
    Port2978(const Port2978&) = delete;
    Port2978& operator=(const Port2978&) = delete;

    // Set once by the background user, and cleared ({}) before it goes. A user set while leases
    // are out is handed over at once.
    void setBackground(Background background);
    // A lease the caller holds until it gives it back or lets it go; the first one out stops
    // the background user.
    [[nodiscard]] Port2978Lease take();
    int leasesOut() const;

private:
    friend class Port2978Lease;
    struct State;
    std::shared_ptr<State> state_;
};

// One hold on port 2978. Moved, not copied; given back when it goes. It may outlive the station
// context that lent it (a window torn down late): it is then given back to nobody.
class Port2978Lease {
public:
    Port2978Lease() = default;
    ~Port2978Lease() { giveBack(); }
    Port2978Lease(Port2978Lease&& other) noexcept;
    Port2978Lease& operator=(Port2978Lease&& other) noexcept;
    Port2978Lease(const Port2978Lease&) = delete;
    Port2978Lease& operator=(const Port2978Lease&) = delete;

    bool held() const { return held_; }
    explicit operator bool() const { return held_; }
    // The background user goes on when this was the last lease out.
    void giveBack();
    // The replies the background user still awaited when it handed the port over to this lease
    // (none when another lease had it already).
    const std::vector<ElementSocket::OwedReply>& owed() const { return owed_; }

private:
    friend class Port2978;
    std::weak_ptr<Port2978::State> state_;
    bool held_ = false;
    std::vector<ElementSocket::OwedReply> owed_;
};

}  // namespace nms::station
