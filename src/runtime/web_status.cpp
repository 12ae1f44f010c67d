#include "runtime/web_status.h"

#include <QString>
#include <QSysInfo>

#include <chrono>
#include <thread>

#include "monitor/plant_monitor.h"
#include "platform/host_names.h"
#include "platform/http_server.h"
#include "platform/web_config.h"
#include "ports/journal.h"
#include "station/station_context.h"
#include "web/status_page.h"
#include "web/web_publisher.h"
#include "web/web_service.h"

namespace nms::runtime {

struct WebStatus::Parts {
    // The HTTP threads read the journal through a reader of their own, never through the
    // station's journal.
    std::unique_ptr<ports::JournalReader> journal;
    std::unique_ptr<web::WebService> service;
    std::unique_ptr<web::WebPublisher> publisher;
    std::unique_ptr<platform::HttpServer> server;
};

std::string defaultStationName() {
    const std::string host = QSysInfo::machineHostName().toStdString();
    return host.empty() ? std::string("station") : host;
}

WebStatus::WebStatus(ports::EventJournal& journal, monitor::PlantMonitor& monitor,
                     station::StationContext& context)
    : journal_(journal), monitor_(monitor), context_(context) {}

WebStatus::~WebStatus() {
    stop();
}

std::string WebStatus::start(const Options& options) {
    stop();
    std::string address;
    int port = 0;
    if (auto problem = platform::parseListenAddress(options.listen, address, port);
        !problem.empty())
        return "--listen: " + problem;
    platform::WebConfig config;
    if (!options.webConfig.empty())
        if (auto problem = platform::loadWebConfig(options.webConfig, config); !problem.empty())
            return problem;

    auto parts = std::make_unique<Parts>();
    parts->journal = journal_.openReader();
    web::WebService::Options o;
    o.users = config.users;
    o.passwordMatches = platform::passwordMatches;
    o.pause = [](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); };
    auto& clock = context_.clock();
    o.unixNowMs = [&clock] { return clock.unixTimeMs(); };
    o.page = web::statusPage();
    // The names a browser may use for this station: the address it listens on, the loopback
    // name on loopback, the machine's own name; any address on all addresses.
    o.hostNames = {address};
    const bool loopback = address.rfind("127.", 0) == 0 || address == "::1";
    o.anyAddress = address == "0.0.0.0" || address == "::";
    if (loopback || o.anyAddress) o.hostNames.push_back("localhost");
    if (!loopback) {
        const std::string host = QSysInfo::machineHostName().toStdString();
        o.hostNames.push_back(host);
        // A name that is already whole takes no domain after it.
        if (const std::string domain = platform::localDomainName();
            !domain.empty() && host.find('.') == std::string::npos)
            o.hostNames.push_back(host + "." + domain);
    }
    for (const auto& name : config.hostNames) o.hostNames.push_back(name);
    o.headers = config.headers;
    o.renderAhead = true;
    o.readEvents = web::WebService::eventsFrom(*parts->journal);
    parts->service = std::make_unique<web::WebService>(std::move(o));
    web::StationFacts facts;
    facts.station = options.station.empty() ? defaultStationName() : options.station;
    facts.version = options.version;
    facts.interfaceName = context_.strLocalNMSIPAddress;
    facts.simulated = options.simulated;
    parts->publisher =
        std::make_unique<web::WebPublisher>(monitor_, context_, *parts->service, std::move(facts));
    platform::HttpServer::Options server;
    server.address = address;
    server.port = port;
    server.idleSeconds = options.idleSeconds;
    static_cast<platform::TlsSettings&>(server) = config;  // served as tls_server_config says
    parts->server = std::make_unique<platform::HttpServer>(*parts->service, server);
    if (auto problem = parts->server->start(); !problem.empty()) return problem;
    parts_ = std::move(parts);
    return {};
}

void WebStatus::stop() {
    if (!parts_) return;
    parts_->server->stop();  // its threads end before what they read goes
    parts_.reset();
}

bool WebStatus::running() const {
    return parts_ != nullptr;
}

std::string WebStatus::url() const {
    return parts_ ? parts_->server->url() : std::string();
}

void WebStatus::setStation(const std::string& station) {
    if (!parts_) return;
    auto facts = parts_->publisher->facts();
    facts.station = station.empty() ? defaultStationName() : station;
    parts_->publisher->setFacts(std::move(facts));
}

void WebStatus::setPausedSince(std::int64_t unixMs) {
    if (!parts_) return;
    auto facts = parts_->publisher->facts();
    facts.pausedSinceUnixMs = unixMs;
    parts_->publisher->setFacts(std::move(facts));
}

}  // namespace nms::runtime
