#include "web/web_service.h"

#include <algorithm>

#include "protocol/element_key.h"
#include "protocol/text.h"

namespace nms::web {

namespace {

using ports::HttpResponse;

constexpr const char* kJson = "application/json";

HttpResponse text(int status, std::string body, const char* type = "text/plain; charset=utf-8") {
    HttpResponse r;
    r.status = status;
    r.contentType = type;
    r.body = std::make_shared<const std::string>(std::move(body));
    return r;
}

HttpResponse json(std::shared_ptr<const std::string> body) {
    HttpResponse r;
    r.contentType = kJson;
    r.body = std::move(body);
    return r;
}

HttpResponse error(int status, const std::string& message) {
    return text(status, "{\"error\": \"" + message + "\"}\n", kJson);
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The part of `page` between `open` and `close`, cut out and put in `inner`; `replacement`
// takes its place.
std::string cutOut(std::string page, const std::string& open, const std::string& close,
                   const std::string& replacement, std::string& inner) {
    const auto begin = page.find(open);
    const auto end = begin == std::string::npos ? begin : page.find(close, begin);
    if (end == std::string::npos) return page;
    inner = page.substr(begin + open.size(), end - begin - open.size());
    return page.replace(begin, end + close.size() - begin, replacement);
}

// "127.0.0.1:9821" -> "127.0.0.1", "[::1]:9821" -> "::1", "Name." -> "name".
std::string hostName(std::string_view h) {
    std::string name;
    if (!h.empty() && h.front() == '[') {
        const auto close = h.find(']');
        if (close == std::string_view::npos) return {};
        name = h.substr(1, close - 1);
    } else {
        name = h.substr(0, h.find(':'));
    }
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (!name.empty() && name.back() == '.') name.pop_back();
    return name;
}

bool isAddress(const std::string& name) {
    if (name.find(':') != std::string::npos) return true;  // IPv6, given in brackets
    int dots = 0;
    for (char c : name) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return false;
    }
    return dots == 3;
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

void addHeader(HttpResponse& r, const char* name, const char* value) {
    r.headers.emplace_back(name, value);
}

}  // namespace

std::optional<std::int64_t> parseIsoUtc(std::string_view t) {
    auto digits = [&](std::size_t at, std::size_t n, int& out) {
        if (at + n > t.size()) return false;
        out = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9') return false;
            out = out * 10 + (t[i] - '0');
        }
        return true;
    };
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (!digits(0, 4, y) || t.size() < 10 || t[4] != '-' || !digits(5, 2, mo) || t[7] != '-' ||
        !digits(8, 2, d))
        return std::nullopt;
    std::size_t at = 10;
    if (at < t.size() && (t[at] == 'T' || t[at] == ' ')) {
        if (!digits(at + 1, 2, h) || t.size() < at + 9 || t[at + 3] != ':' ||
            !digits(at + 4, 2, mi) || t[at + 6] != ':' || !digits(at + 7, 2, s))
            return std::nullopt;
        at += 9;
        if (at < t.size() && t[at] == '.') {
            int scale = 100;
            for (++at; at < t.size() && t[at] >= '0' && t[at] <= '9'; ++at, scale /= 10)
                ms += (t[at] - '0') * scale;
        }
    }
    if (at < t.size() && t[at] == 'Z') ++at;
    if (at != t.size() || mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || s > 60)
        return std::nullopt;
    // A day the month does not have is refused rather than carried into the next month.
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d > kDays[mo - 1] + (mo == 2 && leap ? 1 : 0)) return std::nullopt;
    const std::int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    return ((days * 24 + h) * 60 + mi) * 60000 + s * 1000 + ms;
}

WebService::EventReader WebService::eventsFrom(ports::JournalReader& reader) {
    return [&reader](std::int64_t since, const std::string& mac, std::size_t limit,
                     std::string& error) {
        ports::JournalQuery q;
        q.sinceUnixMs = since;
        q.mac = mac;
        q.limit = limit;
        auto page = reader.read(q);
        error = page.error;
        return std::move(page.events);
    };
}

WebService::WebService(Options options) : options_(std::move(options)), feed_(options_.heartbeat) {
    std::string style, script;
    std::string page = cutOut(std::string(options_.page), "<style>", "</style>",
                              "<link rel=\"stylesheet\" href=\"status.css\">", style);
    page = cutOut(std::move(page), "<script>", "</script>", "<script src=\"status.js\"></script>",
                  script);
    page_ = std::make_shared<const std::string>(std::move(page));
    pageStyle_ = std::make_shared<const std::string>(std::move(style));
    pageScript_ = std::make_shared<const std::string>(std::move(script));
    if (!options_.renderAhead) return;
    renderer_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        for (;;) {
            renderWake_.wait(lock, [this] { return stopping_ || toRender_; });
            if (stopping_) return;
            auto next = std::move(toRender_);
            toRender_.reset();
            lock.unlock();
            next->metrics();
            next->elementsJson();
            lock.lock();
            snapshot_ = std::move(next);
        }
    });
}

WebService::~WebService() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    renderWake_.notify_all();
    if (renderer_.joinable()) renderer_.join();
}

void WebService::publish(std::shared_ptr<const Snapshot> snapshot) {
    {
        std::lock_guard lock(mutex_);
        if (firstPublishedMs_ == 0 && snapshot) firstPublishedMs_ = snapshot->publishedUnixMs;
        // The first one is served at once; later ones once rendered.
        if (!options_.renderAhead || !snapshot_) {
            snapshot_ = std::move(snapshot);
            return;
        }
        toRender_ = std::move(snapshot);
    }
    renderWake_.notify_all();
}

std::shared_ptr<const Snapshot> WebService::snapshot() const {
    std::lock_guard lock(mutex_);
    return snapshot_;
}

bool WebService::authorised(const ports::HttpRequest& request) {
    if (options_.users.empty()) return true;
    if (!request.credentials) return false;
    const auto& [user, password] = *request.credentials;
    const auto found = options_.users.find(user);
    if (found != options_.users.end()) {
        std::lock_guard lock(authMutex_);
        const auto known = accepted_.find(user);
        if (known != accepted_.end() && known->second == password) {
            failures_.erase(request.peer);
            return true;
        }
    }
    bool ok = false;
    {
        // An unknown user costs a bcrypt too (against a user's hash, never a match), so that
        // the time of the answer does not tell which names exist.
        const std::string& hash =
            found != options_.users.end() ? found->second : options_.users.begin()->second;
        std::lock_guard lock(bcryptMutex_);
        ok = options_.passwordMatches && options_.passwordMatches(hash, password) &&
             found != options_.users.end();
    }
    if (ok) {
        std::lock_guard lock(authMutex_);
        accepted_[user] = password;
        failures_.erase(request.peer);
        return true;
    }
    const auto wait = failed(request.peer);
    if (wait.count() > 0 && options_.pause) options_.pause(wait);
    return false;
}

std::chrono::milliseconds WebService::failed(const std::string& peer) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(authMutex_);
    std::erase_if(failures_, [&](const auto& f) { return now - f.second.last > kForgetFailures; });
    // Bounded whatever the number of addresses: the oldest goes.
    if (failures_.size() >= 4096 && !failures_.count(peer))
        failures_.erase(std::min_element(failures_.begin(), failures_.end(), [](auto& x, auto& y) {
            return x.second.last < y.second.last;
        }));
    auto& f = failures_[peer];
    f.last = now;
    const int beyond = ++f.count - kFreeFailures;
    if (beyond <= 0) return std::chrono::milliseconds(0);
    auto wait = kFirstPause;
    for (int i = 1; i < beyond && wait < kLongestPause; ++i) wait *= 2;
    return std::min(wait, kLongestPause);
}

HttpResponse WebService::healthz() {
    const auto s = snapshot();
    const std::int64_t now = options_.unixNowMs ? options_.unixNowMs() : 0;
    if (s && s->facts.pausedSinceUnixMs)
        return text(503, std::string(kPausedText) + " since " +
                             protocol::text::isoUtcTime(s->facts.pausedSinceUnixMs, true) + " (" +
                             std::to_string((now - s->facts.pausedSinceUnixMs) / 1000) + " s)\n");
    if (!s || !s->running) return text(503, "the plant monitor is not running\n");
    std::int64_t since = s->lastCycleUnixMs;
    if (since == 0) {
        std::lock_guard lock(mutex_);
        since = firstPublishedMs_;  // the first cycle is still running
    }
    const std::int64_t staleMs = std::int64_t{kStaleIntervals} * s->intervalSeconds * 1000;
    if (now - since > staleMs)
        return text(503, "the plant monitor's last cycle ended " +
                             std::to_string((now - since) / 1000) + " s ago\n");
    return text(200, "ok\n");
}

HttpResponse WebService::events(const ports::HttpRequest& request) {
    std::int64_t since = 0;
    if (const auto* v = request.queryValue("since")) {
        const auto parsed = parseIsoUtc(*v);
        if (!parsed) return error(400, "since takes a UTC time such as 2026-12-08T10:00:00Z");
        since = *parsed;
    }
    std::string mac;
    if (const auto* v = request.queryValue("element")) {
        const std::string digits = macDigits(*v);
        if (digits.empty()) return error(400, "element takes a MAC");
        mac = protocol::ElementIdentity(digits);
    }
    std::size_t limit = kDefaultEventLimit;
    if (const auto* v = request.queryValue("limit")) {
        long long n = 0;
        if (!protocol::text::parseInteger(*v, n) || n < 1 ||
            n > static_cast<long long>(kMaxEventLimit))
            return error(400, "limit takes a number from 1 to " + std::to_string(kMaxEventLimit));
        limit = static_cast<std::size_t>(n);
    }
    std::string problem;
    auto rows = options_.readEvents ? options_.readEvents(since, mac, limit, problem)
                                    : std::vector<ports::JournalEvent>{};
    if (!problem.empty()) return error(503, "the event journal cannot be read");
    if (rows.size() > limit) rows.resize(limit);
    std::string out = "[";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        out += i ? ",\n  " : "\n  ";
        out += journalEventJson(rows[i]);
    }
    out += rows.empty() ? "]\n" : "\n]\n";
    return text(200, std::move(out), kJson);
}

bool WebService::hostAllowed(const std::vector<std::string>& host) const {
    if (host.size() != 1) return false;
    const std::string name = hostName(host.front());
    if (name.empty()) return false;
    if (options_.anyAddress && isAddress(name)) return true;
    for (const auto& allowed : options_.hostNames)
        if (hostName(allowed) == name) return true;
    return false;
}

HttpResponse WebService::handle(const ports::HttpRequest& request) {
    HttpResponse r = hostAllowed(request.host)
                         ? route(request)
                         : error(400, "the Host header must name this station");
    addHeader(r, "X-Content-Type-Options", "nosniff");
    addHeader(r, "Referrer-Policy", "no-referrer");
    if (r.contentType.rfind("text/html", 0) == 0) {
        addHeader(r, "Content-Security-Policy",
                  "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
                  "img-src 'self' data:; base-uri 'none'; form-action 'none'; "
                  "frame-ancestors 'none'");
        addHeader(r, "X-Frame-Options", "DENY");
    }
    for (const auto& [name, value] : options_.headers) {
        std::erase_if(r.headers, [&](const auto& h) { return sameName(h.first, name); });
        r.headers.emplace_back(name, value);
    }
    return r;
}

HttpResponse WebService::route(const ports::HttpRequest& request) {
    if (request.method != "GET" && request.method != "HEAD") {
        auto r = error(405, "this service only reads");
        r.headers.emplace_back("Allow", "GET, HEAD");
        return r;
    }
    const std::string& path = request.path;
    if (path == "/healthz") return healthz();
    if (!authorised(request)) {
        auto r = error(401, "credentials needed");
        r.headers.emplace_back("WWW-Authenticate",
                               "Basic realm=\"Vantrelo NMS\", charset=\"UTF-8\"");
        return r;
    }
    if (path == "/" || path == "/index.html") {
        HttpResponse r;
        r.contentType = "text/html; charset=utf-8";
        r.body = page_;
        r.headers.emplace_back("Cache-Control", "no-cache");
        return r;
    }
    if (path == "/status.css" || path == "/status.js") {
        HttpResponse r;
        const bool css = path == "/status.css";
        r.contentType = css ? "text/css; charset=utf-8" : "text/javascript; charset=utf-8";
        r.body = css ? pageStyle_ : pageScript_;
        r.headers.emplace_back("Cache-Control", "no-cache");
        return r;
    }
    if (path == "/api/v1/stream") {
        if (request.method == "HEAD") return text(200, {}, "text/event-stream");  // no feed to hold
        auto stream = feed_.join(request.lastEventId);
        if (!stream) return error(503, "too many live feeds");
        HttpResponse r;
        r.contentType = "text/event-stream";
        r.headers.emplace_back("Cache-Control", "no-cache");
        r.stream = std::move(stream);
        return r;
    }
    if (path == "/api/v1/events") return events(request);
    const auto s = snapshot();
    if (path == "/metrics") {
        if (!s) return text(503, "the plant monitor has not started\n");
        auto r = json(s->metrics());
        r.contentType = "text/plain; version=0.0.4; charset=utf-8";
        return r;
    }
    if (path == "/api/v1/station") {
        if (!s) return error(503, "the plant monitor has not started");
        return text(200, s->stationJson(), kJson);
    }
    if (path == "/api/v1/elements") {
        if (!s) return error(503, "the plant monitor has not started");
        return json(s->elementsJson());
    }
    static constexpr std::string_view kElement = "/api/v1/elements/";
    if (path.size() > kElement.size() && path.compare(0, kElement.size(), kElement) == 0) {
        auto one = s ? s->elementJson(path.substr(kElement.size())) : nullptr;
        if (!one) return error(404, "no such element");
        return json(std::move(one));
    }
    return error(404, "no such path");
}

}  // namespace nms::web
