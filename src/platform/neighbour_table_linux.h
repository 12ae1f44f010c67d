#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>

#include <QObject>
#include <QSocketNotifier>

#include "ports/neighbour_table.h"

namespace nms::platform {

// The kernel's IPv4 neighbour table of the network namespace the process runs in, asked one
// address at a time over rtnetlink: the route to the address names its interface, and the
// neighbour entry of that interface is fetched alone, so a look-up costs the same with ten
// entries as with ten thousand. Only valid entries count (reachable, stale, delay, probe,
// permanent). An address reached through a gateway has no entry of its own and is Unreachable.
//
// A missing or failed entry is resolved by the kernel when a datagram has to leave for it: a
// zero-length UDP datagram to the discard port of the address does that without waiting.
// whenResolved() listens to the kernel's neighbour events (only while a watch is open), so it
// reports the moment the entry completes or fails; the kernel gives up after its probes
// (net.ipv4.neigh.<if>.mcast_solicit × retrans_time_ms, 3 × 1 s by default).
//
// Kernels without the single-entry get of rtnetlink (before 5.0) are asked with SIOCGARP on the
// route's interface; a process that cannot open rtnetlink at all asks every interface so.
// The sockets are made at construction, in the namespace of the constructing thread.
// whenResolved() needs a running Qt event loop; lookup() and query() do not.
class LinuxNeighbourTable : public ports::NeighbourTable {
public:
    LinuxNeighbourTable();
    ~LinuxNeighbourTable() override;
    LinuxNeighbourTable(const LinuxNeighbourTable&) = delete;
    LinuxNeighbourTable& operator=(const LinuxNeighbourTable&) = delete;

    std::optional<std::vector<std::uint8_t>> lookup(const std::string& ipv4) override;
    Entry query(const std::string& ipv4) override;
    WatchId whenResolved(const std::string& ipv4, std::int64_t timeoutMs,
                         std::function<void(Entry)> done) override;
    void cancelWatch(WatchId id) override;

    // Resolutions started since construction (datagrams sent to make the kernel resolve).
    std::uint64_t resolutionsStarted() const { return resolutionsStarted_; }

private:
    struct Kernel;  // what the kernel said of one address
    struct Watch;
    Kernel ask(std::uint32_t addressNetworkOrder);
    Kernel askArp(std::uint32_t addressNetworkOrder, int interface);
    Kernel askEveryInterface(std::uint32_t addressNetworkOrder);
    Entry answer(std::uint32_t addressNetworkOrder, bool startResolution);
    void startResolution(std::uint32_t addressNetworkOrder);
    bool listen();
    void stopListening();
    void readEvents();
    void finish(WatchId id, Entry entry);
    void post(WatchId id, Entry entry);

    int request_ = -1;  // rtnetlink socket for questions
    int events_ = -1;   // rtnetlink socket for neighbour events, subscribed while watches are open
    int prod_ = -1;     // UDP socket whose datagrams make the kernel resolve
    std::uint32_t sequence_ = 0;
    bool singleGet_ = true;   // the kernel answers RTM_GETNEIGH for one entry
    bool listening_ = false;  // subscribed to the kernel's neighbour events
    std::uint64_t resolutionsStarted_ = 0;
    WatchId nextWatch_ = 1;
    std::map<WatchId, std::unique_ptr<Watch>> watches_;
    std::unordered_multimap<std::uint32_t, WatchId> watchesByAddress_;
    QObject context_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace nms::platform
