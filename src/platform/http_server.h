#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "ports/http.h"

struct MHD_Daemon;

namespace nms::platform {

// Whether a TLS client must show a certificate signed by the configured authority.
enum class ClientAuth { None, VerifyIfGiven, RequireAndVerify };

// How a server is served over TLS, as the web configuration gives it to the server.
struct TlsSettings {
    bool tls = false;                    // asked for: HTTPS, or nothing
    std::string certificatePem, keyPem;  // checked by GnuTLS as a matching pair
    // min_version and cipher_suites as a GnuTLS priority string: TLS 1.2 at least, forward
    // secrecy and authenticated ciphers only; empty: GnuTLS's defaults.
    std::string tlsPriorities;
    // client_auth_type: the client's certificate, checked against client_ca_file.
    ClientAuth clientAuth = ClientAuth::None;
    std::string clientCaPem;  // the authority that signs the clients' certificates
};

// The HTTP/1.1 server of the monitor's web service, on libmicrohttpd: its own threads (one per
// connection, at most maxConnections, shared as ConnectionGuard says: a request must arrive
// whole within headTime, a share is kept for addresses that hold none, the slowest make way), a
// bounded memory per connection (a request whose line and headers do not fit is answered 431 or
// closed), connections that stop reading an answer closed after idleSeconds, TLS through GnuTLS
// when a certificate is given. The handler is called on those threads.
class HttpServer {
public:
    struct Options : TlsSettings {
        std::string address = "127.0.0.1";  // an IPv4 or IPv6 address
        int port = 0;                       // 0: any free port (see port())
        unsigned maxConnections = 64;
        // One address may hold at most so many, so that a hostile one leaves room for scrapers.
        unsigned maxPerAddress = 32;
        // Kept for addresses that hold no connection, so that two hostile hosts leave room for
        // a Prometheus and a wall page.
        unsigned reservedConnections = 16;
        // The time a request may take to arrive, from the connection's opening or the last
        // answer, however steadily its bytes come.
        std::chrono::milliseconds headTime{5000};
        unsigned idleSeconds = 10;
        std::size_t connectionMemory = 32 * 1024;  // request line, headers and reply buffer
    };

    HttpServer(ports::HttpHandler& handler, Options options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens; the reason when it cannot (the address is taken, not ours, ...).
    std::string start();
    // Ends every feed, closes every connection and waits for the server's threads.
    void stop();
    int port() const { return port_; }
    // "http://127.0.0.1:9821/" (an IPv6 address in brackets).
    std::string url() const;

    struct Context;

private:
    ports::HttpHandler& handler_;
    Options options_;
    std::unique_ptr<Context> context_;
    MHD_Daemon* daemon_ = nullptr;
    int port_ = 0;
};

// "ADDR:PORT", "PORT", "[V6]:PORT" or "" into an address and a port (the loopback address when
// none is given, 9821 when no port is); the reason when it is none of those.
std::string parseListenAddress(const std::string& text, std::string& address, int& port);

}  // namespace nms::platform
