// The monitor's web service without sockets: what each path answers from the snapshot a cycle
// published, that it only reads, asks for users, says when the monitor stopped, reads the
// journal as asked and tells the live feed what changed.

#include <gtest/gtest.h>

#include <string>

#include "monitor/plant_monitor.h"
#include "protocol/text.h"
#include "sim/virtual_lan.h"
#include "station/port_2978.h"
#include "support/station_on_fakes.h"
#include "web/web_publisher.h"
#include "web/web_service.h"

namespace nms::testing {
namespace {

using ports::HttpRequest;
using ports::HttpResponse;

// Three encoders on a virtual LAN; the third never answers its statistics.
class WebServiceOnAPlant : public ::testing::Test {
protected:
    void SetUp() override {
        sim::VirtualLan::Options o;
        o.stationAddresses = {"10.20.0.1"};
        o.netmask = "255.255.0.0";
        lan_ = std::make_unique<sim::VirtualLan>(station.time, station.time, o);
        std::string database;
        for (int i = 0; i < 3; ++i) {
            sim::ElementIdentity id;
            id.name = "ENC " + std::to_string(i);
            id.role = sim::Role::Encoder;
            id.ip = {10, 20, 0, static_cast<std::uint8_t>(i + 2)};
            id.mac = {0x00, 0x1A, 0x2B, 0x72, 0x00, static_cast<std::uint8_t>(i)};
            auto& e = lan_->addElement(id, {});
            if (i == 2) {
                e.faults.onlyForPort = 2978;
                e.faults.drop = -1;
            }
            // The second's name as an earlier station or a person wrote it: Latin-1, with a
            // control character.
            database += "[001A2B72000" + std::to_string(i) +
                        "]\nname=" + (i == 1 ? std::string("Caf\xe9\x07 NORTH") : id.name) +
                        "\nip=10.20.0." + std::to_string(i + 2) + "\nrole=1\n";
        }
        station.files.editExternally("/db/nms.ini", database);
        station.create({"/db/nms.ini", lan_.get()});
        station.load();
        mon().setInterval(10);
        mon().cycleEnded.connect([this] { ++ended_; });
    }
    void TearDown() override {
        publisher_.reset();
        service_.reset();
        station.destroy();
    }
    monitor::PlantMonitor& mon() { return station.main->plantMonitor(); }

    void serve(std::map<std::string, std::string> users = {}) {
        web::WebService::Options o;
        o.users = std::move(users);
        o.passwordMatches = [this](const std::string& hash, const std::string& password) {
            ++bcrypts_;
            return hash == "H:" + password;
        };
        o.unixNowMs = [this] { return station.time.unixTimeMs(); };
        o.pause = [this](std::chrono::milliseconds wait) { pauses_.push_back(wait); };
        // As the station's web service reads it: through a reader of its own.
        reader_ = mon().journal().openReader();
        o.readEvents = web::WebService::eventsFrom(*reader_);
        o.page = "<!DOCTYPE html><title>plant</title><style>p{}</style><script>go()</script>";
        o.hostNames = {"127.0.0.1", "localhost", "nms.plant.example"};
        o.headers = headers_;
        o.heartbeat = std::chrono::milliseconds(0);
        service_ = std::make_unique<web::WebService>(std::move(o));
        publisher_ = std::make_unique<web::WebPublisher>(
            mon(), station.main->context(), *service_,
            web::StationFacts{"site-a", "3.7.8", "10.20.0.1", false});
    }
    void cycles(int n) {
        const int until = ended_ + n;
        for (int guard = 0; ended_ < until && guard < 100000; ++guard) station.time.advance(10);
    }
    HttpResponse get(const std::string& path, const std::string& method = "GET") {
        HttpRequest r;
        r.method = method;
        const auto q = path.find('?');
        r.path = path.substr(0, q);
        if (q != std::string::npos) {
            std::string rest = path.substr(q + 1);
            while (!rest.empty()) {
                const auto amp = rest.find('&');
                const std::string pair = rest.substr(0, amp);
                const auto eq = pair.find('=');
                r.query.emplace_back(pair.substr(0, eq),
                                     eq == std::string::npos ? "" : pair.substr(eq + 1));
                rest = amp == std::string::npos ? "" : rest.substr(amp + 1);
            }
        }
        r.credentials = credentials_;
        r.host = host_;
        r.peer = peer_;
        return service_->handle(r);
    }
    static std::string body(const HttpResponse& r) { return r.body ? *r.body : std::string(); }
    static std::string header(const HttpResponse& r, const std::string& name) {
        for (const auto& [n, v] : r.headers)
            if (n == name) return v;
        return {};
    }

    StationOnFakes<> station;
    std::unique_ptr<sim::VirtualLan> lan_;
    std::unique_ptr<web::WebService> service_;
    std::unique_ptr<web::WebPublisher> publisher_;
    std::unique_ptr<ports::JournalReader> reader_;
    std::optional<std::pair<std::string, std::string>> credentials_;
    std::vector<std::string> host_ = {"127.0.0.1:9821"};
    std::string peer_ = "127.0.0.1";
    std::vector<std::chrono::milliseconds> pauses_;
    std::vector<std::pair<std::string, std::string>> headers_;
    int ended_ = 0;
    int bcrypts_ = 0;
};

TEST_F(WebServiceOnAPlant, ServesTheMonitorAsTheLastCycleLeftIt) {
    serve();
    mon().start();
    cycles(monitor::kMissesForOffline);

    const auto metrics = get("/metrics");
    EXPECT_EQ(metrics.status, 200);
    EXPECT_EQ(metrics.contentType, "text/plain; version=0.0.4; charset=utf-8");
    const std::string m = body(metrics);
    // The textfile's families, and the service's own.
    // Series named by the MAC alone; what each element is called, once, in its info.
    EXPECT_NE(m.find("\nvantrelo_element_up{mac=\"00:1A:2B:72:00:00\"} 1\n"), std::string::npos)
        << m;
    EXPECT_NE(m.find("\nvantrelo_element_up{mac=\"00:1A:2B:72:00:02\"} 0\n"), std::string::npos);
    EXPECT_NE(
        m.find("\nvantrelo_element_info{mac=\"00:1A:2B:72:00:00\",name=\"ENC 0\",ip=\"10.20.0."
               "2\",role=\"encoder\"} 1\n"),
        std::string::npos);
    EXPECT_EQ(m.find("name=\"ENC 0\""), m.rfind("name=\"ENC 0\""));
    EXPECT_NE(m.find("\nvantrelo_monitor_last_cycle_timestamp_seconds "), std::string::npos);
    EXPECT_NE(m.find("\nvantrelo_monitor_cycle_duration_seconds "), std::string::npos);
    EXPECT_NE(m.find("\nvantrelo_monitor_up 1\n"), std::string::npos);
    EXPECT_NE(m.find("\nvantrelo_station_info{station_name=\"site-a\",version=\"3.7.8\",interface="
                     "\"10.20.0.1\"} 1\n"),
              std::string::npos);

    const auto all = get("/api/v1/elements");
    EXPECT_EQ(all.contentType, "application/json");
    const std::string a = body(all);
    // The keys of nms-cli list --json, numbers as numbers, then the monitor's view.
    EXPECT_NE(a.find("{\"key\": \"001A2B720000\", \"mac\": \"00:1A:2B:72:00:00\", \"name\": \"ENC "
                     "0\", \"role\": \"ENCODER\", \"ip\": \"10.20.0.2\", \"firmware\": \"\", "
                     "\"record\": {\"name\": \"ENC 0\", \"ip\": \"10.20.0.2\", \"role\": 1}, "
                     "\"health\": \"online\""),
              std::string::npos)
        << a;
    EXPECT_NE(a.find("\"health\": \"offline\""), std::string::npos);
    EXPECT_NE(a.find("\"counters\": {\"tx_ok\": "), std::string::npos);

    // An acknowledgement shows with who gave it.
    EXPECT_NE(a.find("\"acknowledged\": false, \"acknowledged_by\": null"), std::string::npos);
    ASSERT_TRUE(mon().acknowledge("00:1A:2B:72:00:02", "ops"));
    cycles(1);
    EXPECT_NE(body(get("/api/v1/elements/001a2b720002"))
                  .find("\"acknowledged\": true, \"acknowledged_by\": \"ops\""),
              std::string::npos)
        << body(get("/api/v1/elements/001a2b720002"));

    // One element, however its MAC is written; none for a MAC the plant does not have.
    const auto one = get("/api/v1/elements/001a2b720001");
    EXPECT_EQ(one.status, 200);
    EXPECT_EQ(body(one).rfind("{\"key\": \"001A2B720001\"", 0), 0u) << body(one);
    EXPECT_EQ(get("/api/v1/elements/00-1A-2B-72-00-01").status, 200);
    EXPECT_EQ(get("/api/v1/elements/00:1A:2B:72:00:09").status, 404);
    EXPECT_EQ(get("/api/v1/elements/nonsense").status, 404);

    // The count per health for the page's top line.
    EXPECT_NE(body(get("/api/v1/station"))
                  .find("\"counts\": {\"unknown\": 0, \"online\": 2, "
                        "\"warning\": 0, \"alarm\": 0, \"offline\": 1}"),
              std::string::npos);

    // Turned off between cycles: the service says so at once, not at the next start.
    mon().stop();
    EXPECT_NE(body(get("/metrics")).find("\nvantrelo_monitor_up 0\n"), std::string::npos);
}

TEST_F(WebServiceOnAPlant, WritesValidUtf8WhateverTheDatabaseHolds) {
    serve();
    const auto feed = get("/api/v1/stream");
    mon().start();
    cycles(1);
    const std::string metrics = body(get("/metrics"));
    const std::string elements = body(get("/api/v1/elements"));
    const std::string told = feed.stream->next().value_or("") + feed.stream->next().value_or("");
    for (const std::string* written : {&metrics, &elements, &told})
        EXPECT_EQ(protocol::text::validUtf8(*written), *written);
    // Read as Latin-1; the control character escaped in JSON, dropped from the label.
    EXPECT_NE(metrics.find("name=\"Caf\u00e9 NORTH\""), std::string::npos) << metrics;
    EXPECT_NE(elements.find("\"name\": \"Caf\u00e9\\u0007 NORTH\""), std::string::npos) << elements;
    EXPECT_NE(told.find("\"name\": \"Caf\u00e9\\u0007 NORTH\""), std::string::npos) << told;
}

TEST_F(WebServiceOnAPlant, OnlyReadsAndAnswersOnlyItsOwnPaths) {
    serve();
    mon().start();
    cycles(1);
    for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
        const auto r = get("/metrics", method);
        EXPECT_EQ(r.status, 405) << method;
        EXPECT_EQ(header(r, "Allow"), "GET, HEAD");
    }
    EXPECT_EQ(get("/metrics", "HEAD").status, 200);
    EXPECT_FALSE(get("/api/v1/stream", "HEAD").stream);  // holds no place among the feeds
    EXPECT_EQ(get("/nothing/here").status, 404);
    EXPECT_EQ(get("/api/v1/elements/").status, 404);
    const auto page = get("/");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
}

TEST_F(WebServiceOnAPlant, AnswersOnlyARequestForItselfAndSendsProtectiveHeaders) {
    headers_ = {{"Strict-Transport-Security", "max-age=63072000"},
                {"x-frame-options", "SAMEORIGIN"}};
    serve();
    mon().start();
    cycles(1);
    // A page elsewhere that rebinds its own name to this address gets nothing.
    const std::vector<std::pair<std::vector<std::string>, int>> hosts = {
        {{"127.0.0.1:9821"}, 200},
        {{"localhost:9821"}, 200},
        {{"LOCALHOST."}, 200},
        {{"nms.plant.example:9821"}, 200},
        {{}, 400},
        {{"127.0.0.1", "127.0.0.1"}, 400},
        {{"evil.example:9821"}, 400},
        {{"[::1]:9821"}, 400},
        {{"10.20.0.1:9821"}, 400},
        {{"127.0.0.1.evil.example"}, 400}};
    for (const auto& [host, status] : hosts) {
        host_ = host;
        EXPECT_EQ(get("/api/v1/elements").status, status) << (host.empty() ? "" : host.front());
        EXPECT_EQ(get("/healthz").status, status == 200 ? 200 : 400);
    }
    host_ = {"127.0.0.1:9821"};
    // The page runs no inline code and is framed nowhere; nothing is sniffed.
    const auto page = get("/");
    EXPECT_NE(header(page, "Content-Security-Policy").find("default-src 'none'; script-src 'self'"),
              std::string::npos);
    EXPECT_NE(header(page, "Content-Security-Policy").find("frame-ancestors 'none'"),
              std::string::npos);
    EXPECT_EQ(header(page, "X-Frame-Options"), "");  // the operator's replaces it
    EXPECT_EQ(header(page, "x-frame-options"), "SAMEORIGIN");
    EXPECT_EQ(body(page),
              "<!DOCTYPE html><title>plant</title><link rel=\"stylesheet\" "
              "href=\"status.css\"><script src=\"status.js\"></script>");
    EXPECT_EQ(body(get("/status.js")), "go()");
    EXPECT_EQ(get("/status.css").contentType, "text/css; charset=utf-8");
    for (const char* path : {"/", "/status.js", "/metrics", "/api/v1/elements", "/nothing"}) {
        const auto r = get(path);
        EXPECT_EQ(header(r, "X-Content-Type-Options"), "nosniff") << path;
        EXPECT_EQ(header(r, "Strict-Transport-Security"), "max-age=63072000") << path;
    }
}

TEST_F(WebServiceOnAPlant, AsksForAUserOnEveryPathButHealthz) {
    serve({{"ops", "H:secret"}});
    mon().start();
    cycles(1);
    for (const char* path : {"/", "/metrics", "/api/v1/elements", "/api/v1/events",
                             "/api/v1/stream", "/nothing/here"}) {
        const auto r = get(path);
        EXPECT_EQ(r.status, 401) << path;
        EXPECT_EQ(header(r, "WWW-Authenticate").rfind("Basic realm=", 0), 0u);
    }
    EXPECT_EQ(get("/healthz").status, 200);
    EXPECT_TRUE(pauses_.empty());  // asked, not failed
    // A wrong password and an unknown user cost the same bcrypt: the time tells no names.
    credentials_ = {"ops", "wrong"};
    int before = bcrypts_;
    EXPECT_EQ(get("/metrics").status, 401);
    EXPECT_EQ(bcrypts_, before + 1);
    credentials_ = {"nobody", "H:secret"};  // another user's password: still no way in
    before = bcrypts_;
    EXPECT_EQ(get("/metrics").status, 401);
    EXPECT_EQ(bcrypts_, before + 1);
    // Failures from one address slow down, doubling; another address is not held up, and
    // nobody is locked out.
    credentials_ = {"ops", "guess"};
    EXPECT_EQ(get("/metrics").status, 401);
    EXPECT_EQ(get("/metrics").status, 401);
    EXPECT_EQ(get("/metrics").status, 401);
    using std::chrono::milliseconds;
    // Three free (two above, one here), then 250 ms, then 500 ms.
    EXPECT_EQ(pauses_, (std::vector<milliseconds>{milliseconds(250), milliseconds(500)}));
    peer_ = "127.0.0.3";
    EXPECT_EQ(get("/metrics").status, 401);
    EXPECT_EQ(pauses_.size(), 2u);
    peer_ = "127.0.0.1";
    credentials_ = {"ops", "secret"};
    EXPECT_EQ(get("/metrics").status, 200);
    credentials_ = {"ops", "guess"};
    EXPECT_EQ(get("/metrics").status, 401);  // counted afresh after a success
    EXPECT_EQ(pauses_.size(), 2u);
    credentials_ = {"ops", "secret"};
    // A scraper's every request does not cost a bcrypt again.
    const int checks = bcrypts_;
    EXPECT_EQ(get("/api/v1/elements").status, 200);
    EXPECT_EQ(bcrypts_, checks);
}

TEST_F(WebServiceOnAPlant, HealthzSays503OnceTheLastCycleIsThreeIntervalsOld) {
    serve();
    EXPECT_EQ(get("/healthz").status, 503);  // the monitor is off
    mon().start();
    cycles(1);
    EXPECT_EQ(get("/healthz").status, 200);
    // No cycle ends any more while the port is lent out; the last snapshot stays.
    auto lease = station.main->context().port2978().take();
    station.time.advance(3 * 10 * 1000 - 1000);
    EXPECT_EQ(get("/healthz").status, 200);
    station.time.advance(2000);
    EXPECT_EQ(get("/healthz").status, 503);
}

TEST_F(WebServiceOnAPlant, ReadsTheJournalNewestFirstAsAsked) {
    serve();
    mon().start();
    cycles(monitor::kMissesForOffline + 2);  // ENC 2 went offline: one row
    mon().note(
        {station.time.unixTimeMs(), "00:1A:2B:72:00:01", "ENC 1", "info", "level", "", "3", ""});
    cycles(1);

    const std::string all = body(get("/api/v1/events"));
    const auto level = all.find("\"what\": \"level\"");
    const auto health = all.find("\"what\": \"health\"");
    ASSERT_NE(level, std::string::npos) << all;
    ASSERT_NE(health, std::string::npos);
    EXPECT_LT(level, health);  // newest first
    EXPECT_EQ(body(get("/api/v1/events?element=001a2b720002")).find("\"level\""),
              std::string::npos);
    EXPECT_EQ(body(get("/api/v1/events?limit=1")).find("\"health\""), std::string::npos);
    EXPECT_EQ(body(get("/api/v1/events?since=2100-01-01T00:00:00Z")), "[]\n");
    EXPECT_EQ(get("/api/v1/events?limit=0").status, 400);
    EXPECT_EQ(get("/api/v1/events?limit=1001").status, 400);
    EXPECT_EQ(get("/api/v1/events?since=yesterday").status, 400);
    EXPECT_EQ(get("/api/v1/events?element=12").status, 400);
}

TEST_F(WebServiceOnAPlant, TellsTheLiveFeedEachHealthChangeJournalRowAndCycle) {
    serve();
    const auto r = get("/api/v1/stream");
    ASSERT_TRUE(r.stream);
    EXPECT_EQ(r.contentType, "text/event-stream");
    EXPECT_EQ(r.stream->next(), "retry: 2000\n\n");
    mon().start();
    cycles(monitor::kMissesForOffline);
    const std::string told = r.stream->next().value_or("");
    EXPECT_NE(told.find("event: health\ndata: {\"from\": \"unknown\", \"element\": {\"key\": "
                        "\"001A2B720000\""),
              std::string::npos)
        << told;
    EXPECT_NE(told.find("event: journal\ndata: {\"time\": "), std::string::npos);
    EXPECT_NE(told.find("event: cycle\ndata: {\"station\": \"site-a\""), std::string::npos);
    // Nothing new: a heartbeat (the test's is due at once).
    EXPECT_EQ(r.stream->next(), "event: heartbeat\ndata: {}\n\n");
    service_->closeStreams();
    EXPECT_EQ(r.stream->next(), std::nullopt);
}

TEST(LiveFeed, EndsAReaderThatFallsTooFarBehindAndKeepsTheOthers) {
    web::LiveFeed feed(std::chrono::milliseconds(0));
    auto slow = feed.join();
    auto quick = feed.join();
    slow->next();
    quick->next();
    const std::string big(1000, 'x');
    for (std::size_t sent = 0; sent <= web::LiveFeed::kMaxQueuedBytes; sent += big.size()) {
        feed.push("health", big);
        if (sent == 0) {
            EXPECT_TRUE(quick->next());  // this one keeps up
        }
    }
    EXPECT_EQ(slow->next(), std::nullopt);
    EXPECT_EQ(feed.readers(), 2u);
    slow.reset();
    EXPECT_EQ(feed.readers(), 1u);
}

TEST(LiveFeed, NumbersEventsAndResumesAReaderThatReconnects) {
    web::LiveFeed feed(std::chrono::milliseconds(0));
    auto first = feed.join();
    first->next();  // the greeting
    for (int i = 1; i <= 3; ++i) feed.push("journal", "{\"n\": " + std::to_string(i) + "}");
    const std::string told = first->next().value_or("");
    // "id: EPOCH-1": the id the browser will send back.
    const auto at = told.find("id: ");
    ASSERT_NE(at, std::string::npos) << told;
    const std::string id1 = told.substr(at + 4, told.find('\n', at) - at - 4);
    ASSERT_EQ(id1.substr(id1.find('-')), "-1");
    const std::string epoch = id1.substr(0, id1.find('-'));
    first.reset();

    auto resumed = feed.join(epoch + "-1");
    resumed->next();
    const std::string missed = resumed->next().value_or("");
    EXPECT_EQ(missed.find("{\"n\": 1}"), std::string::npos) << missed;
    EXPECT_NE(missed.find("id: " + epoch + "-2\nevent: journal\ndata: {\"n\": 2}\n\n"),
              std::string::npos);
    EXPECT_NE(missed.find("{\"n\": 3}"), std::string::npos);
    // An id of an earlier run of the station, one not yet given, or one no longer kept: the
    // page reloads.
    for (int i = 0; i < static_cast<int>(web::LiveFeed::kHistoryEvents); ++i)
        feed.push("cycle", "{}");
    for (const std::string& id :
         {std::string("1-2"), epoch + "-99999", epoch + "-1", epoch + "-x", epoch})
        if (auto r = feed.join(id)) {
            r->next();
            EXPECT_EQ(r->next(), "event: reload\ndata: {}\n\n") << id;
        }
}

TEST(IsoTime, ReadsTheFormsOfAUtcTime) {
    EXPECT_EQ(web::parseIsoUtc("1970-01-01"), 0);
    EXPECT_EQ(web::parseIsoUtc("2026-12-08T10:00:00Z"), 1796724000000);
    EXPECT_EQ(web::parseIsoUtc("2026-12-08T10:00:00.250Z"), 1796724000250);
    EXPECT_EQ(web::parseIsoUtc("2026-12-08T10:00:00"), 1796724000000);
    EXPECT_EQ(web::parseIsoUtc("2028-02-29"), 1835395200000);
    EXPECT_EQ(web::parseIsoUtc("2000-02-29"), 951782400000);
    for (const char* bad : {"", "2026", "2026-13-01", "2026-04-31", "2026-02-29", "2100-02-29",
                            "2026-12-32", "2026-12-00", "2026-12-08T25:00:00", "2026-12-08T10:00",
                            "2026-12-08Tx", "2026-12-08T10:00:00+02:00", "yesterday"})
        EXPECT_EQ(web::parseIsoUtc(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace nms::testing
