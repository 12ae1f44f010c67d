// The web service's HTTP server on loopback: what it hands the handler, and the limits that keep
// a hostile client from taking the station's memory: connections beyond the limit closed at once,
// an oversized request refused, an idle connection closed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http_server.h"
#include "platform/web_config.h"
#include "web/live_feed.h"

namespace nms::testing {
namespace {

class Recorder : public ports::HttpHandler {
public:
    ports::HttpResponse handle(const ports::HttpRequest& request) override {
        std::lock_guard lock(mutex);
        last = request;
        ports::HttpResponse r;
        r.contentType = "text/plain";
        r.body = std::make_shared<const std::string>("ok\n");
        return r;
    }
    void closeStreams() override {}
    std::mutex mutex;
    ports::HttpRequest last;
};

// A TCP connection to the server whose reads give up after 10 s, so that a fault fails the test
// instead of hanging it.
class Client {
public:
    // From 127.0.0.`from`.
    explicit Client(int port, int from = 1) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        timeval tv{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in source{};
        source.sin_family = AF_INET;
        source.sin_addr.s_addr = htonl(INADDR_LOOPBACK - 1 + static_cast<std::uint32_t>(from));
        ::bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() { ::close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    bool connected() const { return connected_; }
    void send(const std::string& text) {
        for (std::size_t at = 0; at < text.size();) {
            const auto n = ::send(fd_, text.data() + at, text.size() - at, MSG_NOSIGNAL);
            if (n <= 0) return;  // closed by the server: what it said is still there to read
            at += static_cast<std::size_t>(n);
        }
    }
    // What the server sent until it closed the connection ("" when it closed without a word).
    std::string untilClosed() {
        std::string out;
        char buf[4096];
        for (;;) {
            const auto n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return n < 0 && errno == EAGAIN ? out + "<still open>" : out;
            out.append(buf, static_cast<std::size_t>(n));
        }
    }
    // What the server sent until `text` came `times` times ("" when it closed before).
    std::string until(const std::string& text, int times) {
        std::string out;
        char buf[4096];
        auto count = [&] {
            int n = 0;
            for (auto at = out.find(text); at != std::string::npos; at = out.find(text, at + 1))
                ++n;
            return n;
        };
        while (count() < times) {
            const auto n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return {};
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }
    // One reply to a request.
    std::string reply() {
        std::string out;
        char buf[4096];
        while (out.find("\r\n\r\nok\n") == std::string::npos) {
            const auto n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) break;
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }

private:
    int fd_;
    bool connected_ = false;
};

TEST(HttpServer, HandsTheHandlerTheDecodedRequestAndKeepsTheConnection) {
    Recorder handler;
    platform::HttpServer server(handler, {});
    ASSERT_EQ(server.start(), "");
    EXPECT_EQ(server.url(), "http://127.0.0.1:" + std::to_string(server.port()) + "/");
    Client c(server.port());
    ASSERT_TRUE(c.connected());
    // "ops:s3cret:x" in base 64.
    c.send(
        "GET /api/v1/events?since=2026-12-08T10%3A00%3A00Z&limit=5 HTTP/1.1\r\nHost: x\r\n"
        "Authorization: Basic b3BzOnMzY3JldDp4\r\n\r\n");
    EXPECT_NE(c.reply().find("HTTP/1.1 200"), std::string::npos);
    {
        std::lock_guard lock(handler.mutex);
        EXPECT_EQ(handler.last.path, "/api/v1/events");
        ASSERT_NE(handler.last.queryValue("since"), nullptr);
        EXPECT_EQ(*handler.last.queryValue("since"), "2026-12-08T10:00:00Z");
        ASSERT_TRUE(handler.last.credentials);
        EXPECT_EQ(handler.last.credentials->first, "ops");
        EXPECT_EQ(handler.last.credentials->second, "s3cret:x");
    }
    c.send("HEAD /metrics HTTP/1.1\r\nHost: x\r\n\r\n");  // on the same connection
    c.send("GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    const std::string rest = c.untilClosed();
    EXPECT_EQ(rest.find("HTTP/1.1 200"), 0u) << rest;
    EXPECT_NE(rest.find("HTTP/1.1 200", 1), std::string::npos) << rest;
}

TEST(HttpServer, ClosesWhatGoesBeyondItsLimits) {
    Recorder handler;
    platform::HttpServer::Options o;
    o.maxConnections = 64;
    o.idleSeconds = 1;  // 10 in service: short here so that the test is quick
    platform::HttpServer server(handler, o);
    ASSERT_EQ(server.start(), "");

    {
        // Half from one address and half from another: one address may hold only half.
        std::vector<std::unique_ptr<Client>> held;
        for (int i = 0; i < 64; ++i) {
            held.push_back(std::make_unique<Client>(server.port(), i < 32 ? 1 : 2));
            ASSERT_TRUE(held.back()->connected());
        }
        Client more(server.port(), 1);
        more.send("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
        EXPECT_EQ(more.untilClosed(), "");
        // The 65th is closed at once, without a word.
        Client extra(server.port(), 3);
        extra.send("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
        EXPECT_EQ(extra.untilClosed(), "");
        // Idle ones are closed when their time runs out (the read would give up at 10 s).
        EXPECT_EQ(held.front()->untilClosed(), "");
    }

    // A request line and headers beyond the bound: refused, and the connection closed.
    std::string oversized = "GET /metrics HTTP/1.1\r\nHost: x\r\nX-Filler: ";
    oversized += std::string(64 * 1024, 'a');
    oversized += "\r\n\r\n";
    for (int attempt = 0; attempt < 50; ++attempt) {  // until the idle ones' threads have ended
        Client big(server.port());
        big.send(oversized);
        const std::string answer = big.untilClosed();
        if (answer.empty()) continue;
        EXPECT_EQ(answer.rfind("HTTP/1.1 431", 0), 0u) << answer.substr(0, 200);
        break;
    }
    Client fine(server.port());
    fine.send("GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(fine.untilClosed().rfind("HTTP/1.1 200", 0), 0u);
}

TEST(HttpServer, KeepsALiveFeedOpenLongerThanTheIdleTime) {
    // A feed with nothing to say: only its keep-alive lines pass, more often than the server's
    // idle time (1 s here, 10 s in service), and the heartbeat is far off.
    web::LiveFeed feed(std::chrono::seconds(60), std::chrono::milliseconds(200));
    struct Feeds : ports::HttpHandler {
        explicit Feeds(web::LiveFeed& f) : feed(f) {}
        ports::HttpResponse handle(const ports::HttpRequest&) override {
            ports::HttpResponse r;
            r.contentType = "text/event-stream";
            r.stream = feed.join();
            return r;
        }
        void closeStreams() override { feed.close(); }
        web::LiveFeed& feed;
    } handler(feed);
    platform::HttpServer::Options o;
    o.idleSeconds = 1;
    platform::HttpServer server(handler, o);
    ASSERT_EQ(server.start(), "");
    Client c(server.port());
    c.send("GET /api/v1/stream HTTP/1.1\r\nHost: x\r\n\r\n");
    const std::string told = c.until(": keep-alive", 10);  // about 2 s, twice the idle time
    EXPECT_EQ(told.rfind("HTTP/1.1 200", 0), 0u) << told;
    server.stop();  // ends the feed: the reader's wait does not hold the server
}

TEST(HttpServer, ReadsListenAddressesAsAnOperatorWritesThem) {
    std::string address;
    int port = 0;
    EXPECT_EQ(platform::parseListenAddress("", address, port), "");
    EXPECT_EQ(address + ":" + std::to_string(port), "127.0.0.1:9821");
    EXPECT_EQ(platform::parseListenAddress("9900", address, port), "");
    EXPECT_EQ(address + ":" + std::to_string(port), "127.0.0.1:9900");
    EXPECT_EQ(platform::parseListenAddress("0.0.0.0:9821", address, port), "");
    EXPECT_EQ(address, "0.0.0.0");
    EXPECT_EQ(platform::parseListenAddress("[::1]:9821", address, port), "");
    EXPECT_EQ(address, "::1");
    EXPECT_NE(platform::parseListenAddress("example.org:80", address, port), "");
    EXPECT_NE(platform::parseListenAddress("127.0.0.1:99999", address, port), "");
}

TEST(WebConfig, TakesNodeExportersFormatAndRefusesAFileOthersMayRead) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("nms-web-config-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "web.yml").string();
    std::ofstream(dir / "cert.pem") << "CERT";
    std::ofstream(dir / "key.pem") << "KEY";
    std::ofstream(path) << "tls_server_config:\n  cert_file: cert.pem\n  key_file: "
                        << (dir / "key.pem").string()
                        << "\nbasic_auth_users:\n  ops: "
                           "$2b$04$F.oLA3hF963leyhZGlHtnOFAB9zogaEaGGfMrBtYK8oCLLxc84N72\n";
    platform::WebConfig config;
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(platform::loadWebConfig(path, config), "");
    EXPECT_EQ(config.certificatePem, "CERT");  // beside the file
    EXPECT_EQ(config.keyPem, "KEY");
    ASSERT_EQ(config.users.count("ops"), 1u);
    EXPECT_TRUE(platform::passwordMatches(config.users["ops"], "s3cret"));
    EXPECT_FALSE(platform::passwordMatches(config.users["ops"], "s3cret "));
    EXPECT_FALSE(platform::passwordMatches("s3cret", "s3cret"));  // not a hash: never a match

    fs::permissions(path, fs::perms::group_read, fs::perm_options::add);
    EXPECT_NE(platform::loadWebConfig(path, config).find("may be read by others than its owner"),
              std::string::npos);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    std::ofstream(path) << "basic_auth_users:\n  ops: plain\n";
    EXPECT_NE(platform::loadWebConfig(path, config).find("not a bcrypt hash"), std::string::npos);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace nms::testing
