#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The element ports (2976 and 2978) can be bound by one station of a host at a time. The system
// service gives them up to a person's station on the same host: the person's station connects to
// a local socket in the abstract namespace (no file, no permission: every local user may run a
// station) and keeps the connection for as long as it runs; the kernel closes it when the
// station ends, however it ends, and the service takes its ports back.
namespace nms::platform {

// The rendezvous' name: NMS_PORTS_RENDEZVOUS when set (tests), else the real or the demo plant's.
std::string portsRendezvousName(bool demo);

// The service's side.
class PortYieldListener {
public:
    PortYieldListener();
    ~PortYieldListener();
    PortYieldListener(const PortYieldListener&) = delete;
    PortYieldListener& operator=(const PortYieldListener&) = delete;

    // Listens; the reason, in words, when it cannot.
    std::string listen(const std::string& name);
    // The first station to ask: the ports are to be closed before this returns, for the station
    // binds them as soon as it hears back. `who` says which process asked.
    std::function<void(const std::string& who)> onFirstAsked;
    // The last station that asked has ended.
    std::function<void()> onLastLeft;
    // Stations that asked and still run.
    std::size_t holders() const;

    static constexpr std::size_t kMaxClients = 32;

private:
    struct Client;
    void accept();
    void readFrom(Client& client);
    void drop(Client& client);
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<std::unique_ptr<Client>> clients_;
};

// A person's station's side: held for as long as the station runs.
class PortClaim {
public:
    // Asks a service on this host for the ports and waits up to `waitMs` for it to give them
    // up. Nothing when no service listens (the ports are as they are).
    static std::unique_ptr<PortClaim> ask(const std::string& name, int waitMs = 3000);
    ~PortClaim();
    PortClaim(const PortClaim&) = delete;
    PortClaim& operator=(const PortClaim&) = delete;
    // False when the service did not say it gave them up in time.
    bool yielded() const { return yielded_; }

private:
    PortClaim(int fd, bool yielded) : fd_(fd), yielded_(yielded) {}
    int fd_;
    bool yielded_;
};

}  // namespace nms::platform
