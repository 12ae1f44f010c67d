// The web service's HTTP server on loopback: what it hands the handler, and the limits that keep
// a hostile client from taking the station's memory: connections beyond the limit closed at once,
// an oversized request refused, an idle connection closed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <gtest/gtest.h>

#include <ctime>

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
    int fd() const { return fd_; }
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
    // Whether the server has closed the connection, without waiting.
    bool closedByServer() {
        char buf[4096];
        const auto n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
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

// A certificate for 127.0.0.1 and its key, made afresh, signed by `issuer` or by itself: PEM.
struct TlsPair {
    std::string certificate, key;
};
gnutls_datum_t datum(const std::string& pem) {
    return {reinterpret_cast<unsigned char*>(const_cast<char*>(pem.data())),
            static_cast<unsigned>(pem.size())};
}
TlsPair makeCertificate(const TlsPair* issuer = nullptr) {
    gnutls_x509_privkey_t key = nullptr, issuerKey = nullptr;
    gnutls_x509_crt_t crt = nullptr, issuerCrt = nullptr;
    gnutls_x509_privkey_init(&key);
    gnutls_x509_privkey_generate(key, GNUTLS_PK_ECDSA,
                                 GNUTLS_CURVE_TO_BITS(GNUTLS_ECC_CURVE_SECP256R1), 0);
    gnutls_x509_crt_init(&crt);
    gnutls_x509_crt_set_version(crt, 3);
    static unsigned char serial = 0;
    ++serial;
    gnutls_x509_crt_set_serial(crt, &serial, 1);
    const std::time_t now = std::time(nullptr);
    gnutls_x509_crt_set_activation_time(crt, now - 3600);
    gnutls_x509_crt_set_expiration_time(crt, now + 86400);
    gnutls_x509_crt_set_dn_by_oid(crt, GNUTLS_OID_X520_COMMON_NAME, 0, "127.0.0.1", 9);
    gnutls_x509_crt_set_basic_constraints(crt, issuer ? 0 : 1, -1);
    gnutls_x509_crt_set_key(crt, key);
    if (issuer) {
        gnutls_x509_crt_init(&issuerCrt);
        gnutls_x509_privkey_init(&issuerKey);
        const auto c = datum(issuer->certificate), k = datum(issuer->key);
        gnutls_x509_crt_import(issuerCrt, &c, GNUTLS_X509_FMT_PEM);
        gnutls_x509_privkey_import(issuerKey, &k, GNUTLS_X509_FMT_PEM);
        gnutls_x509_crt_set_issuer_dn_by_oid(crt, GNUTLS_OID_X520_COMMON_NAME, 0, "127.0.0.1", 9);
    }
    gnutls_x509_crt_sign2(crt, issuer ? issuerCrt : crt, issuer ? issuerKey : key,
                          GNUTLS_DIG_SHA256, 0);
    TlsPair pair;
    gnutls_datum_t out{};
    gnutls_x509_crt_export2(crt, GNUTLS_X509_FMT_PEM, &out);
    pair.certificate.assign(reinterpret_cast<char*>(out.data), out.size);
    gnutls_free(out.data);
    gnutls_x509_privkey_export2(key, GNUTLS_X509_FMT_PEM, &out);
    pair.key.assign(reinterpret_cast<char*>(out.data), out.size);
    gnutls_free(out.data);
    gnutls_x509_crt_deinit(crt);
    gnutls_x509_privkey_deinit(key);
    if (issuer) {
        gnutls_x509_crt_deinit(issuerCrt);
        gnutls_x509_privkey_deinit(issuerKey);
    }
    return pair;
}
TlsPair selfSigned() {
    return makeCertificate();
}

// A folder of its own for configuration files, removed however the test ends.
struct ConfigFolder {
    ConfigFolder()
        : path(std::filesystem::temp_directory_path() /
               ("nms-web-config-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path);
    }
    ~ConfigFolder() { std::filesystem::remove_all(path); }
    // Writes `name` (private to its owner): its path.
    std::string write(const std::string& name, const std::string& text) const {
        const auto file = path / name;
        std::ofstream(file) << text;
        std::filesystem::permissions(
            file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        return file.string();
    }
    std::filesystem::path path;
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
        EXPECT_EQ(handler.last.host, std::vector<std::string>{"x"});
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

TEST(HttpServer, TwoHostileHostsLeaveRoomForOthers) {
    Recorder handler;
    platform::HttpServer::Options o;
    o.maxConnections = 64;
    o.headTime = std::chrono::seconds(60);  // here the shares are at stake, not the time
    platform::HttpServer server(handler, o);
    ASSERT_EQ(server.start(), "");
    const std::string unfinished = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: s";
    const std::string whole =
        "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    // Two hosts open all they can and never finish a request: one may hold 32, and together
    // they leave a share free.
    std::vector<std::unique_ptr<Client>> held;
    for (int i = 0; i < 64; ++i) {
        held.push_back(std::make_unique<Client>(server.port(), i < 32 ? 1 : 3));
        held.back()->send(unfinished);
    }
    Client more(server.port(), 1);
    more.send(whole);
    EXPECT_EQ(more.untilClosed(), "");
    Client third(server.port(), 4);
    third.send(whole);
    EXPECT_EQ(third.untilClosed().rfind("HTTP/1.1 200", 0), 0u);
    // Newcomers fill the share; one more still comes in, in place of the greediest host's
    // oldest unfinished request.
    std::vector<std::unique_ptr<Client>> newcomers;
    for (int i = 0; i < 16; ++i) {
        newcomers.push_back(std::make_unique<Client>(server.port(), 5 + i));
        newcomers.back()->send(unfinished);
    }
    Client last(server.port(), 30);
    last.send(whole);
    EXPECT_EQ(last.untilClosed().rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_EQ(held.front()->untilClosed(), "");
}

TEST(HttpServer, ClosesARequestThatTricklesInPastItsTime) {
    Recorder handler;
    platform::HttpServer::Options o;
    o.headTime = std::chrono::seconds(1);  // 5 in service
    platform::HttpServer server(handler, o);
    ASSERT_EQ(server.start(), "");
    // A byte every 100 ms, far inside the idle time (10 s), for at most 10 s.
    Client slow(server.port());
    slow.send("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ");
    bool closed = false;
    for (int i = 0; i < 100 && !closed; ++i) {
        slow.send("s");
        closed = slow.closedByServer();
        ::usleep(100 * 1000);
    }
    EXPECT_TRUE(closed);
    // A keep-alive connection has the same time for its next request.
    Client fine(server.port());
    fine.send("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_NE(fine.reply().find("HTTP/1.1 200"), std::string::npos);
    EXPECT_EQ(fine.untilClosed(), "");
}

TEST(HttpServer, RefusesAPortAnotherServerHolds) {
    Recorder handler;
    platform::HttpServer first(handler, {});
    ASSERT_EQ(first.start(), "");
    platform::HttpServer::Options o;
    o.port = first.port();
    platform::HttpServer second(handler, o);
    const std::string port = std::to_string(first.port());
    EXPECT_EQ(second.start(),
              "cannot listen on 127.0.0.1:" + port + ": the port is in use by another program");
}

TEST(HttpServer, ClosesWhatGoesBeyondItsLimits) {
    Recorder handler;
    platform::HttpServer::Options o;
    o.idleSeconds = 1;  // 10 in service: short here so that the test is quick
    o.headTime = std::chrono::seconds(1);
    platform::HttpServer server(handler, o);
    ASSERT_EQ(server.start(), "");

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

// A GET of /metrics over TLS with the client's `priorities` (and certificate): the answer, or
// "" when the handshake failed.
std::string tlsGet(int port, const std::string& priorities, const TlsPair* certificate = nullptr) {
    Client tcp(port);
    gnutls_certificate_credentials_t credentials = nullptr;
    gnutls_certificate_allocate_credentials(&credentials);
    if (certificate) {
        const auto c = datum(certificate->certificate), k = datum(certificate->key);
        gnutls_certificate_set_x509_key_mem(credentials, &c, &k, GNUTLS_X509_FMT_PEM);
    }
    gnutls_session_t session = nullptr;
    gnutls_init(&session, GNUTLS_CLIENT);
    gnutls_priority_set_direct(session, priorities.c_str(), nullptr);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials);
    gnutls_transport_set_int(session, tcp.fd());
    int result = 0;
    do {
        result = gnutls_handshake(session);
    } while (result < 0 && !gnutls_error_is_fatal(result));
    std::string answer;
    if (result >= 0) {
        const std::string request =
            "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        gnutls_record_send(session, request.data(), request.size());
        char buf[4096];
        for (ssize_t n; (n = gnutls_record_recv(session, buf, sizeof buf)) > 0;)
            answer.append(buf, static_cast<std::size_t>(n));
    }
    gnutls_deinit(session);
    gnutls_certificate_free_credentials(credentials);
    return answer;
}

TEST(HttpServer, SpeaksOnlyCurrentTlsAndChecksClientCertificatesWhenAsked) {
    std::string priorities;
    ASSERT_EQ(platform::tlsPriorities("", {}, priorities), "");
    const TlsPair server = selfSigned();
    Recorder handler;
    platform::HttpServer::Options o;
    o.tls = true;
    o.certificatePem = server.certificate;
    o.keyPem = server.key;
    o.tlsPriorities = priorities;
    platform::HttpServer https(handler, o);
    ASSERT_EQ(https.start(), "");
    EXPECT_EQ(https.url().rfind("https://", 0), 0u);
    const std::pair<const char*, bool> clients[] = {
        {"NORMAL", true},
        {"NORMAL:-VERS-ALL:+VERS-TLS1.2", true},
        {"NORMAL:-VERS-ALL:+VERS-TLS1.1:+VERS-TLS1.0", false},
        {"NORMAL:-VERS-ALL:+VERS-TLS1.2:-CIPHER-ALL:+AES-128-CBC:+AES-256-CBC", false},
        {"NORMAL:-VERS-ALL:+VERS-TLS1.2:-MAC-ALL:+SHA1", false},
        {"NORMAL:-VERS-ALL:+VERS-TLS1.2:-KX-ALL:+RSA:+DHE-RSA", false},
    };
    for (const auto& [client, served] : clients)
        EXPECT_EQ(tlsGet(https.port(), client).rfind("HTTP/1.1 200", 0) == 0, served) << client;
    Client clear(https.port());  // never answered in clear text
    clear.send("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(clear.untilClosed().find("200"), std::string::npos);
    https.stop();

    // Client certificates signed by the operator's authority, and no other.
    const TlsPair authority = selfSigned();
    const TlsPair stranger = selfSigned();
    const TlsPair signed_ = makeCertificate(&authority);
    const TlsPair forged = makeCertificate(&stranger);
    o.clientAuth = platform::ClientAuth::RequireAndVerify;
    o.clientCaPem = authority.certificate;
    platform::HttpServer mutual(handler, o);
    ASSERT_EQ(mutual.start(), "");
    EXPECT_EQ(tlsGet(mutual.port(), "NORMAL", &signed_).rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_EQ(tlsGet(mutual.port(), "NORMAL", &forged).rfind("HTTP/1.1 403", 0), 0u);
    EXPECT_EQ(tlsGet(mutual.port(), "NORMAL").rfind("HTTP/1.1 403", 0), 0u);
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

TEST(WebConfig, RefusesATlsConfigurationItCannotServeNamingTheFileAndWhy) {
    ConfigFolder dir;
    const TlsPair pair = selfSigned();
    const TlsPair other = selfSigned();
    dir.write("cert.pem", pair.certificate);
    dir.write("key.pem", pair.key);
    dir.write("other-key.pem", other.key);
    dir.write("empty.pem", "");
    dir.write("text.pem", "not a certificate\n");
    std::filesystem::create_directories(dir.path / "folder");
    const std::string base = dir.path.string() + "/";
    struct Case {
        std::string cert, key, reason, more = {};
    } cases[] = {
        {"cert.pem", "key.pem", ""},
        {"empty.pem", "key.pem",
         "the certificate " + base + "empty.pem cannot be used: it is empty"},
        {"folder", "key.pem", "the certificate " + base + "folder cannot be used: it is a folder"},
        {"cert.pem", "missing.pem",
         "the key " + base + "missing.pem cannot be used: No such file or directory"},
        {"text.pem", "key.pem",
         "the certificate " + base + "text.pem and key " + base + "key.pem cannot be used: "},
        {"cert.pem", "other-key.pem",
         "the certificate " + base + "cert.pem and key " + base +
             "other-key.pem cannot be used: the key does not match "
             "the certificate"},
    };
    for (const auto& c : cases) {
        const std::string path =
            dir.write("web.yml", "tls_server_config:\n  cert_file: " + c.cert +
                                     "\n  key_file: " + c.key + "\n  " + c.more);
        platform::WebConfig config;
        const std::string problem = platform::loadWebConfig(path, config);
        if (c.reason.empty()) {
            EXPECT_EQ(problem, "") << c.cert;
            EXPECT_TRUE(config.tls);
        } else {
            EXPECT_NE(problem.find("the web configuration " + path + ": " + c.reason),
                      std::string::npos)
                << problem;
        }
    }
    platform::WebConfig config;
    EXPECT_EQ(platform::loadWebConfig(base + "folder", config),
              "the web configuration " + base + "folder is not a file");
    // Asked for TLS without a certificate, the server refuses rather than serve clear text.
    Recorder handler;
    platform::HttpServer::Options o;
    o.tls = true;
    platform::HttpServer server(handler, o);
    EXPECT_EQ(server.start(), "TLS needs a certificate and its key");
}

TEST(WebConfig, TakesNodeExportersFormatAndRefusesAFileOthersMayRead) {
    namespace fs = std::filesystem;
    ConfigFolder dir;
    const TlsPair pair = selfSigned();
    dir.write("cert.pem", pair.certificate);
    const std::string key = dir.write("key.pem", pair.key);
    const std::string path =
        dir.write("web.yml", "tls_server_config:\n  cert_file: cert.pem\n  key_file: " + key +
                                 "\nbasic_auth_users:\n  ops: "
                                 "$2b$04$F.oLA3hF963leyhZGlHtnOFAB9zogaEaGGfMrBtYK8oCLLxc84N72\n");
    platform::WebConfig config;
    EXPECT_EQ(platform::loadWebConfig(path, config), "");
    EXPECT_EQ(config.certificatePem, pair.certificate);  // beside the file
    EXPECT_EQ(config.keyPem, pair.key);
    ASSERT_EQ(config.users.count("ops"), 1u);
    EXPECT_TRUE(platform::passwordMatches(config.users["ops"], "s3cret"));
    EXPECT_FALSE(platform::passwordMatches(config.users["ops"], "s3cret "));
    EXPECT_FALSE(platform::passwordMatches("s3cret", "s3cret"));  // not a hash: never a match

    fs::permissions(path, fs::perms::group_read, fs::perm_options::add);
    EXPECT_NE(platform::loadWebConfig(path, config).find("may be read by others than its owner"),
              std::string::npos);
    // Users who could never log in, and a user without a name, are refused.
    const std::string good = "$2b$04$F.oLA3hF963leyhZGlHtnOFAB9zogaEaGGfMrBtYK8oCLLxc84N72";
    const std::pair<std::string, std::string> users[] = {
        {"ops: plain", "the password of ops is not a bcrypt hash"},
        {"ops: $2y$" + std::string(56, 'x'), "the password of ops is not a bcrypt hash"},
        {"ops: $2b$03" + good.substr(6), "the password of ops is not a bcrypt hash"},
        {"ops: " + good.substr(0, 28) + "P" + good.substr(29),
         "the password of ops is not a bcrypt hash"},
        {"ops: [" + good + "]", "the password of ops is not a bcrypt hash"},
        {": " + good, "basic_auth_users has a user without a name"},
        {"~: " + good, "basic_auth_users has a user without a name"},
    };
    for (const auto& [line, reason] : users) {
        dir.write("web.yml", "basic_auth_users:\n  " + line + "\n");
        EXPECT_EQ(platform::loadWebConfig(path, config),
                  "the web configuration " + path + ": " + reason)
            << line;
    }
}

}  // namespace
}  // namespace nms::testing
