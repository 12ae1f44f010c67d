#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The station's read-only HTTP service as seen from the server that carries it: a request in, a
// response out. Unlike every other port these calls come from the server's own threads, several
// at once; a handler answers from data the station has published, never by reaching into the
// station's one thread, so that no client can hold up the station.
namespace nms::ports {

struct HttpRequest {
    std::string method;                                      // "GET", "HEAD", "POST", ...
    std::string path;                                        // without the query
    std::vector<std::pair<std::string, std::string>> query;  // decoded, in the order given
    // The client's address ("127.0.0.1", "::1").
    std::string peer;
    // Last-Event-ID: the live feed's last event a reconnecting browser saw.
    std::string lastEventId;
    // Every Host header the request carried, as given (a request has one).
    std::vector<std::string> host;
    // Basic credentials, when the request carried them.
    std::optional<std::pair<std::string, std::string>> credentials;

    const std::string* queryValue(const std::string& name) const {
        for (const auto& [n, v] : query)
            if (n == name) return &v;
        return nullptr;
    }
};

// A live feed: the server asks for the next piece until there is none. next() waits (on the
// server's thread) until there is something to send; nothing ends the feed.
class HttpStream {
public:
    virtual ~HttpStream() = default;
    virtual std::optional<std::string> next() = 0;
};

struct HttpResponse {
    int status = 200;
    std::string contentType;
    // Shared, so that a rendering kept for many requests is served without a copy.
    std::shared_ptr<const std::string> body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::shared_ptr<HttpStream> stream;  // instead of a body
};

class HttpHandler {
public:
    virtual ~HttpHandler() = default;
    // Called on the server's threads, concurrently.
    virtual HttpResponse handle(const HttpRequest& request) = 0;
    // The server stops: every feed ends so that no thread waits on it.
    virtual void closeStreams() = 0;
};

}  // namespace nms::ports
