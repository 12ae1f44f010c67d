#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "ports/http.h"
#include "ports/journal.h"
#include "web/live_feed.h"
#include "web/snapshot.h"

namespace nms::web {

// The monitor's read-only HTTP service: every path it answers, from the last snapshot the
// station published. Nothing here changes an element, the database or a setting; anything but
// GET and HEAD is refused. With users configured every path but /healthz asks for them.
//
// Thread-safe: the server calls handle() on its own threads while the station publishes.
class WebService : public ports::HttpHandler {
public:
    // The journal, newest first: events at or after `sinceUnixMs`, of one element when `mac`
    // is not empty, at most `limit`; `error` says why it could not be read.
    using EventReader = std::function<std::vector<ports::JournalEvent>(
        std::int64_t sinceUnixMs, const std::string& mac, std::size_t limit, std::string& error)>;

    struct Options {
        // name -> bcrypt hash; empty: no password asked.
        std::map<std::string, std::string> users;
        // Whether `password` matches `hash` (slow by design: bcrypt).
        std::function<bool(const std::string& hash, const std::string& password)> passwordMatches;
        // Waits on the server's thread: the pause before answering a repeated failure.
        std::function<void(std::chrono::milliseconds)> pause;
        std::function<std::int64_t()> unixNowMs;
        EventReader readEvents;
        // The status page, GET /; its style and script are served from paths of their own
        // (status.css, status.js), so that the page's policy allows no inline code.
        std::string_view page;
        // The names a request's Host may give (without the port), so that a web page that
        // rebinds its own name to this address cannot read the station; `anyAddress` also
        // takes any address written as numbers (a service listening on all addresses).
        std::vector<std::string> hostNames = {"127.0.0.1", "localhost"};
        bool anyAddress = false;
        // The operator's own headers on every answer, in place of the station's of the same
        // name.
        std::vector<std::pair<std::string, std::string>> headers;
        std::chrono::milliseconds heartbeat = std::chrono::seconds(15);
        // A snapshot is rendered (metrics, the element list) on a thread of the service's own
        // before it replaces the last one, so that no request waits for a rendering; off, the
        // first request after a cycle renders.
        bool renderAhead = false;
    };

    static constexpr std::size_t kDefaultEventLimit = 100;
    static constexpr std::size_t kMaxEventLimit = 1000;
    // Last cycles older than this many intervals make /healthz answer 503.
    static constexpr int kStaleIntervals = 3;
    // Failed logins from one address answered at once; each further one waits twice as long
    // as the one before (from kFirstPause, at most kLongestPause). Forgotten after a quiet
    // kForgetFailures, or at the address's next success.
    static constexpr int kFreeFailures = 3;
    static constexpr std::chrono::milliseconds kFirstPause{250};
    static constexpr std::chrono::milliseconds kLongestPause{8000};
    static constexpr std::chrono::minutes kForgetFailures{15};

    // Reads the journal through `reader`, a reader of its own that outlives the service (the
    // HTTP threads never read through the station's journal).
    static EventReader eventsFrom(ports::JournalReader& reader);

    explicit WebService(Options options);
    ~WebService() override;
    WebService(const WebService&) = delete;
    WebService& operator=(const WebService&) = delete;

    // The station's thread: what the monitor shows now.
    void publish(std::shared_ptr<const Snapshot> snapshot);
    std::shared_ptr<const Snapshot> snapshot() const;
    LiveFeed& feed() { return feed_; }

    ports::HttpResponse handle(const ports::HttpRequest& request) override;
    // Whether a request carrying these Host headers is for this station.
    bool hostAllowed(const std::vector<std::string>& host) const;
    void closeStreams() override { feed_.close(); }

private:
    ports::HttpResponse route(const ports::HttpRequest& request);
    bool authorised(const ports::HttpRequest& request);
    ports::HttpResponse events(const ports::HttpRequest& request);
    ports::HttpResponse healthz();

    Options options_;
    LiveFeed feed_;
    std::shared_ptr<const std::string> page_, pageStyle_, pageScript_;
    mutable std::mutex mutex_;
    std::shared_ptr<const Snapshot> snapshot_;
    std::int64_t firstPublishedMs_ = 0;
    std::mutex authMutex_;
    // A password once accepted is not checked by bcrypt again while it stays the same, so that a
    // scraper's every request does not cost a bcrypt.
    std::map<std::string, std::string> accepted_;
    std::mutex bcryptMutex_;  // one bcrypt at a time: wrong passwords cannot take every core
    // Failed logins per address, so that guessing slows down without locking anyone out.
    struct Failures {
        int count = 0;
        std::chrono::steady_clock::time_point last;
    };
    std::map<std::string, Failures> failures_;  // under authMutex_
    std::chrono::milliseconds failed(const std::string& peer);
    // Render ahead: the snapshot waiting for its rendering (only the newest is kept).
    std::condition_variable renderWake_;
    std::shared_ptr<const Snapshot> toRender_;
    bool stopping_ = false;
    std::thread renderer_;
};

// "2026-12-08", "2026-12-08T10:00:00", with ".123" and "Z" optional (UTC): ms since 1970.
std::optional<std::int64_t> parseIsoUtc(std::string_view text);

}  // namespace nms::web
