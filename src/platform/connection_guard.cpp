#include "platform/connection_guard.h"

#include <sys/socket.h>

namespace nms::platform {

ConnectionGuard::ConnectionGuard(Limits limits) : limits_(limits) {
    watchdog_ = std::thread([this] { watch(); });
}

ConnectionGuard::~ConnectionGuard() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    watchdog_.join();
}

unsigned ConnectionGuard::heldBy(const std::string& address) const {
    unsigned n = 0;
    for (const auto& [key, c] : connections_)
        if (!c.shut && c.address == address) ++n;
    return n;
}

void ConnectionGuard::shut(Connection& c) {
    // The server's thread sees the end of the stream and closes the connection itself; the
    // socket stays open (and this descriptor ours) until closed() is told.
    ::shutdown(c.fd, SHUT_RDWR);
    c.shut = true;
    c.deadline = Clock::time_point::max();
    --counted_;
}

bool ConnectionGuard::admit(const std::string& address) {
    std::lock_guard lock(mutex_);
    const unsigned mine = heldBy(address);
    const unsigned room =
        mine == 0 ? limits_.maxConnections
                  : limits_.maxConnections - std::min(limits_.reserved, limits_.maxConnections);
    if (counted_ < room && mine < limits_.perAddress) return true;
    if (mine >= limits_.perAddress) return false;
    // No room: the slowest arriving request of the greediest address makes way, if that address
    // holds more than this one.
    std::map<std::string, unsigned> held;
    for (const auto& [key, c] : connections_)
        if (!c.shut) ++held[c.address];
    Connection* victim = nullptr;
    unsigned victimHeld = mine;
    for (auto& [key, c] : connections_) {
        if (c.shut || c.deadline == Clock::time_point::max()) continue;
        const unsigned n = held[c.address];
        if (n > victimHeld || (victim && n == victimHeld && c.since < victim->since)) {
            victim = &c;
            victimHeld = n;
        }
    }
    if (!victim) return false;
    shut(*victim);
    return true;
}

void ConnectionGuard::opened(const void* key, const std::string& address, int fd) {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    connections_[key] = Connection{address, fd, now + limits_.headTime, now, false};
    ++counted_;
}

void ConnectionGuard::answering(const void* key) {
    std::lock_guard lock(mutex_);
    if (auto found = connections_.find(key); found != connections_.end() && !found->second.shut)
        found->second.deadline = Clock::time_point::max();
}

void ConnectionGuard::answered(const void* key) {
    std::lock_guard lock(mutex_);
    if (auto found = connections_.find(key); found != connections_.end() && !found->second.shut) {
        const auto now = Clock::now();
        found->second.since = now;
        found->second.deadline = now + limits_.headTime;
    }
}

void ConnectionGuard::closed(const void* key) {
    std::lock_guard lock(mutex_);
    const auto found = connections_.find(key);
    if (found == connections_.end()) return;
    if (!found->second.shut) --counted_;
    connections_.erase(found);
}

void ConnectionGuard::watch() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, std::chrono::milliseconds(200));
        const auto now = Clock::now();
        for (auto& [key, c] : connections_)
            if (!c.shut && c.deadline <= now) shut(c);
    }
}

}  // namespace nms::platform
