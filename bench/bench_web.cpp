// The monitor's web service over a plant of 4000 simulated elements: latency of GET /metrics and
// GET /api/v1/elements through the real HTTP server on loopback, against a static body of the same
// size served by the same server, p50 and p99: as served from the rendering the service made for
// the cycle, and while it renders the next one on its own thread. Also what publishing a snapshot
// costs the station's thread after each cycle. Target: p99 <= 20 ms and <= 3x the static body.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "monitor/plant_monitor.h"
#include "platform/http_server.h"
#include "sim/virtual_lan.h"
#include "crowd.h"
#include "web/status_page.h"
#include "web/web_publisher.h"
#include "web/web_service.h"

namespace {

using namespace nms;
using Clock = std::chrono::steady_clock;

// The service, and beside it the same bodies as plain bytes: what serving costs without any
// rendering.
class WithStatic : public ports::HttpHandler {
public:
    explicit WithStatic(web::WebService& service) : service_(service) {}
    ports::HttpResponse handle(const ports::HttpRequest& r) override {
        if (r.path == "/static/metrics" || r.path == "/static/elements") {
            ports::HttpResponse out;
            out.contentType = "text/plain";
            out.body = r.path == "/static/metrics" ? metrics : elements;
            return out;
        }
        return service_.handle(r);
    }
    void closeStreams() override { service_.closeStreams(); }
    std::shared_ptr<const std::string> metrics, elements;

private:
    web::WebService& service_;
};

class Client {
public:
    explicit Client(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) std::perror("connect");
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~Client() { ::close(fd_); }
    // One request on the kept connection; the reply's body size.
    std::size_t get(const std::string& path) {
        const std::string req = "GET " + path + " HTTP/1.1\r\nHost: bench\r\n\r\n";
        if (::send(fd_, req.data(), req.size(), 0) < 0) return 0;
        std::string in;
        char buf[65536];
        std::size_t headerEnd = std::string::npos, length = 0;
        for (;;) {
            const auto n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return 0;
            in.append(buf, static_cast<std::size_t>(n));
            if (headerEnd == std::string::npos) {
                headerEnd = in.find("\r\n\r\n");
                if (headerEnd == std::string::npos) continue;
                const auto at = in.find("Content-Length: ");
                length = std::stoul(in.substr(at + 16));
            }
            if (in.size() >= headerEnd + 4 + length) return length;
        }
    }

private:
    int fd_;
};

struct Figures {
    double p50, p99;
};

Figures percentiles(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) {
        return ms[static_cast<std::size_t>(q * static_cast<double>(ms.size() - 1))];
    };
    return {at(0.50), at(0.99)};
}

}  // namespace

int main() {
    constexpr int kElements = 4000;
    constexpr int kRequests = 400;
    constexpr int kFreshRounds = 40;
    MonitoredCrowd plant(kElements, 2000);
    auto& station = plant.station;
    auto& time = station.time;
    auto& monitor = station.main->plantMonitor();

    web::WebService::Options o;
    o.unixNowMs = [&time] { return time.unixTimeMs(); };
    o.page = web::statusPage();
    o.renderAhead = true;  // as the station runs it
    web::WebService service(std::move(o));
    web::WebPublisher publisher(monitor, station.main->context(), service,
                                {"bench", "bench", "10.20.0.1", false});
    int cycles = 0;
    monitor.cycleEnded.connect([&] { ++cycles; });
    monitor.setInterval(10);
    monitor.start();
    for (int guard = 0; cycles < 2 && guard < 100000; ++guard) time.advance(10);

    // Publishes a snapshot as after a cycle and waits until it is rendered and served.
    auto publishAndSettle = [&] {
        const auto before = service.snapshot();
        const auto t0 = Clock::now();
        publisher.publish();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        while (service.snapshot() == before)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return ms;
    };
    // What the station's thread spends per cycle on the service: one snapshot.
    std::vector<double> publishMs;
    for (int i = 0; i < 20; ++i) publishMs.push_back(publishAndSettle());

    WithStatic handler(service);
    handler.metrics = service.snapshot()->metrics();
    handler.elements = service.snapshot()->elementsJson();
    platform::HttpServer server(handler, {});
    if (auto problem = server.start(); !problem.empty()) {
        std::fprintf(stderr, "bench_web: %s\n", problem.c_str());
        return 1;
    }
    Client client(server.port());
    // `whileRendering`: each request follows a new snapshot at once, so that it is served while
    // the service renders the next one on its own thread (one request in a cycle is).
    auto run = [&](const std::string& path, int n, bool whileRendering) {
        std::vector<double> ms;
        for (int i = 0; i < n + 5; ++i) {
            if (whileRendering) {
                publishAndSettle();
                publisher.publish();
            }
            const auto t0 = Clock::now();
            client.get(path);
            if (i >= 5)
                ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        return percentiles(ms);
    };

    std::printf("web service, %d elements, one keep-alive client on loopback\n", kElements);
    std::printf("snapshot published per cycle (station thread): p50 %.2f ms, p99 %.2f ms\n",
                percentiles(publishMs).p50, percentiles(publishMs).p99);
    for (const auto& [path, staticPath, body] :
         {std::tuple{"/metrics", "/static/metrics", handler.metrics},
          std::tuple{"/api/v1/elements", "/static/elements", handler.elements}}) {
        const Figures st = run(staticPath, kRequests, false);
        const Figures kept = run(path, kRequests, false);
        const Figures fresh = run(path, kFreshRounds, true);
        std::printf(
            "%-17s %7zu bytes  static p50 %6.2f p99 %6.2f ms | served p50 %6.2f p99 %6.2f ms "
            "(p99 %.2fx static) | while the next renders p50 %6.2f p99 %6.2f ms (p99 %.2fx "
            "static)\n",
            path, body->size(), st.p50, st.p99, kept.p50, kept.p99, kept.p99 / st.p99, fresh.p50,
            fresh.p99, fresh.p99 / st.p99);
    }
    server.stop();
    monitor.stop();
    return 0;
}
