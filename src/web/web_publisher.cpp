#include "web/web_publisher.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "plant/element_listing.h"

namespace nms::web {

struct WebPublisher::State {
    monitor::PlantMonitor& monitor;
    station::StationContext& context;
    WebService& service;
    StationFacts facts;
    // The last snapshot's records by section, for the feed's messages between two cycles.
    std::shared_ptr<const Snapshot> last;
    std::unordered_map<std::string, std::size_t> indexOf;
    std::optional<ports::JournalPosition> seen;  // the newest row told
    // The journal's count of appended batches when the last read found everything: until it
    // moves there is nothing to read, and a cycle costs the station thread no query.
    std::optional<std::uint64_t> readAtAppended;
    static constexpr std::size_t kMaxRowsPerCycle = 1000;

    plant::ElementListing listing(const monitor::PlantMonitor::Element& e) {
        if (const auto found = indexOf.find(e.section); found != indexOf.end() && last)
            return last->listings[found->second];
        return plant::readElementListing(context.db(), context.databasePath(), e.section);
    }

    void healthChanged(const monitor::PlantMonitor::Element& e, monitor::Health from) {
        service.feed().push("health", "{\"from\": \"" + std::string(monitor::healthWord(from)) +
                                          "\", \"element\": " + elementJson(e, listing(e)) + "}");
    }

    // The journal rows written since the last look, oldest first to the feed; a bounded read
    // from where the last one stopped.
    void newJournalRows() {
        const std::uint64_t appended = monitor.journal().appended();
        if (readAtAppended == appended) return;
        ports::JournalQuery q;
        q.after = seen;
        q.limit = kMaxRowsPerCycle;
        auto page = monitor.journal().read(q);
        if (!page.error.empty()) return;
        if (page.events.size() < kMaxRowsPerCycle) readAtAppended = appended;
        if (page.events.empty()) return;
        seen = page.at(0);
        for (std::size_t i = page.events.size(); i-- > 0;)
            service.feed().push("journal", journalEventJson(page.events[i]));
    }

    // `cycleEnded`: a cycle has just ended (else the monitor was turned on or off, and the last
    // cycle stays when it was).
    void publish(bool cycleEnded = true) {
        auto s = std::make_shared<Snapshot>();
        s->facts = facts;
        s->running = monitor.running();
        s->intervalSeconds = monitor.interval();
        s->cycles = monitor.cycles();
        s->overruns = monitor.overruns();
        s->cycleDurationMs = monitor.lastCycle().durationMs;
        s->publishedUnixMs = context.clock().unixTimeMs();
        if (!cycleEnded && last)
            s->lastCycleUnixMs = last->lastCycleUnixMs;
        else if (monitor.cycles() > 0)
            s->lastCycleUnixMs = s->publishedUnixMs;
        s->elements = monitor.elements();
        // The records are read again each cycle, so that a change saved in the window shows.
        s->listings.reserve(s->elements.size());
        indexOf.clear();
        for (const auto& e : s->elements) {
            indexOf.emplace(e.section, s->listings.size());
            s->listings.push_back(
                plant::readElementListing(context.db(), context.databasePath(), e.section));
        }
        last = s;
        service.publish(std::move(s));
    }
};

WebPublisher::WebPublisher(monitor::PlantMonitor& monitor, station::StationContext& context,
                           WebService& service, StationFacts facts)
    : state_(
          std::make_shared<State>(State{monitor, context, service, std::move(facts), {}, {}, {}, {}})) {
    ports::JournalQuery newest;
    newest.limit = 1;
    const auto page = monitor.journal().read(newest);
    if (page.error.empty() && !page.events.empty()) state_->seen = page.at(0);
    std::weak_ptr<State> weak = state_;
    monitor.healthChanged.connect(
        [weak](const monitor::PlantMonitor::Element& e, monitor::Health from) {
            if (auto s = weak.lock()) s->healthChanged(e, from);
        });
    monitor.cycleEnded.connect([weak] {
        if (auto s = weak.lock()) {
            s->newJournalRows();
            s->publish();
            // The snapshot just made, not the service's: that one may still be rendering.
            s->service.feed().push("cycle", s->last->stationJson());
        }
    });
    monitor.runningChanged.connect([weak](bool) {
        if (auto s = weak.lock()) s->publish(false);
    });
    state_->publish();
}

WebPublisher::~WebPublisher() = default;

void WebPublisher::publish() {
    state_->publish();
}

void WebPublisher::setFacts(StationFacts facts) {
    state_->facts = std::move(facts);
    state_->publish(false);
    state_->service.feed().push("cycle", state_->last->stationJson());
}

const StationFacts& WebPublisher::facts() const {
    return state_->facts;
}

}  // namespace nms::web
