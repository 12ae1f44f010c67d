#include "platform/port_rendezvous.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace nms::platform {

namespace {

constexpr char kAsk[] = "yield\n";
constexpr char kYielded[] = "yielded\n";

socklen_t abstractAddress(const std::string& name, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::min(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);  // sun_path[0] = 0: abstract
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

}  // namespace

std::string portsRendezvousName(bool demo) {
    if (const char* name = std::getenv("NMS_PORTS_RENDEZVOUS"); name && *name) return name;
    return demo ? "vantrelo-nms/demo-element-ports" : "vantrelo-nms/element-ports";
}

struct PortYieldListener::Client {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    bool asked = false;
    std::string who;
};

PortYieldListener::PortYieldListener() = default;

PortYieldListener::~PortYieldListener() {
    notifier_.reset();
    for (auto& c : clients_) {
        c->notifier.reset();
        ::close(c->fd);
    }
    if (fd_ >= 0) ::close(fd_);
}

std::string PortYieldListener::listen(const std::string& name) {
    sockaddr_un address;
    const socklen_t size = abstractAddress(name, address);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return std::strerror(errno);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), size) != 0 || ::listen(fd_, 8) != 0) {
        const std::string problem = errno == EADDRINUSE ? "another service listens on it" : std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
        return problem;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { accept(); });
    return {};
}

std::size_t PortYieldListener::holders() const {
    return static_cast<std::size_t>(
        std::count_if(clients_.begin(), clients_.end(), [](const auto& c) { return c->asked; }));
}

void PortYieldListener::accept() {
    for (;;) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        if (clients_.size() >= kMaxClients) {
            ::close(fd);  // a crowd of connections costs the service nothing but this
            continue;
        }
        auto client = std::make_unique<Client>();
        client->fd = fd;
        ucred cred{};
        socklen_t length = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0)
            client->who = "process " + std::to_string(cred.pid) + " of user " + std::to_string(cred.uid);
        client->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        Client* raw = client.get();
        QObject::connect(client->notifier.get(), &QSocketNotifier::activated, [this, raw] { readFrom(*raw); });
        clients_.push_back(std::move(client));
    }
}

void PortYieldListener::readFrom(Client& client) {
    char buffer[64];
    const auto n = ::read(client.fd, buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return drop(client);
    if (n < 0 || client.asked) return;
    if (std::string_view(buffer, static_cast<std::size_t>(n)).find("yield") == std::string_view::npos) return;
    const bool first = holders() == 0;
    client.asked = true;
    if (first && onFirstAsked) onFirstAsked(client.who);
    [[maybe_unused]] const auto sent = ::send(client.fd, kYielded, sizeof kYielded - 1, MSG_NOSIGNAL);
}

void PortYieldListener::drop(Client& client) {
    const bool held = client.asked;
    // The notifier that called us goes once its signal has returned, not under it.
    client.notifier->setEnabled(false);
    client.notifier.release()->deleteLater();
    ::close(client.fd);
    std::erase_if(clients_, [&](const auto& c) { return c.get() == &client; });
    if (held && holders() == 0 && onLastLeft) onLastLeft();
}

std::unique_ptr<PortClaim> PortClaim::ask(const std::string& name, int waitMs) {
    sockaddr_un address;
    const socklen_t size = abstractAddress(name, address);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        ::close(fd);
        return nullptr;  // no service on this host
    }
    bool yielded = false;
    if (::send(fd, kAsk, sizeof kAsk - 1, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof kAsk - 1)) {
        std::string heard;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (heard.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()).count();
            pollfd p{fd, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
            char buffer[32];
            const auto n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            heard.append(buffer, static_cast<std::size_t>(n));
        }
        yielded = heard.rfind("yielded", 0) == 0;
    }
    return std::unique_ptr<PortClaim>(new PortClaim(fd, yielded));
}

PortClaim::~PortClaim() {
    ::close(fd_);
}

}  // namespace nms::platform
