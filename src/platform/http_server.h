#pragma once

#include <cstddef>
#include <string>

#include "ports/http.h"

struct MHD_Daemon;

namespace nms::platform {

// The HTTP/1.1 server of the monitor's web service, on libmicrohttpd: its own threads (one per
// connection, at most maxConnections and maxPerAddress from one address; more are closed as they
// come), a bounded memory per
// connection (a request whose line and headers do not fit is answered 431 or closed), idle
// connections closed after idleSeconds, TLS through GnuTLS when a certificate is given.
// The handler is called on those threads.
class HttpServer {
public:
    struct Options {
        std::string address = "127.0.0.1";  // an IPv4 or IPv6 address
        int port = 0;                       // 0: any free port (see port())
        unsigned maxConnections = 64;
        // One address may hold at most so many, so that a hostile one leaves room for scrapers.
        unsigned maxPerAddress = 32;
        unsigned idleSeconds = 10;
        std::size_t connectionMemory = 32 * 1024;  // request line, headers and reply buffer
        std::string certificatePem, keyPem;        // both: HTTPS
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

private:
    ports::HttpHandler& handler_;
    Options options_;
    MHD_Daemon* daemon_ = nullptr;
    int port_ = 0;
};

// "ADDR:PORT", "PORT", "[V6]:PORT" or "" into an address and a port (the loopback address when
// none is given, 9821 when no port is); the reason when it is none of those.
std::string parseListenAddress(const std::string& text, std::string& address, int& port);

}  // namespace nms::platform
