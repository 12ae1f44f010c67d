#include "monitor/plant_monitor.h"

#include <algorithm>

#include "protocol/element_key.h"
#include "protocol/paging.h"
#include "protocol/statistics.h"
#include "station/port_2978.h"
#include "station/settings_keys.h"
#include "station/sites.h"
#include "store/element_record.h"

namespace nms::monitor {

PlantMonitor::PlantMonitor(station::StationContext& context, ports::EventJournal& journal)
    : context_(context),
      journal_(journal),
      socket_(context, protocol::kPortStatistics, protocol::kPortStatistics),
      cycleTimer_(context.scheduler(), context.gate(), kDefaultIntervalSeconds * 1000),
      deadlineTimer_(context.scheduler(), context.gate(), kReplyTimeoutMs),
      catchUpTimer_(context.scheduler(), context.gate(), 1),
      journalTimer_(context.scheduler(), context.gate(), kJournalFirstRetryMs) {
    socket_.client().onDataArrival = [this](const ports::Datagram& d) { reply(d); };
    // What can never be a statistics reply does not wait in the station's queue.
    socket_.client().acceptIncoming = [](const ports::Datagram& d) {
        return d.bytes.size() <= protocol::statistics::kMaxReplyLength;
    };
    cycleTimer_.onTimer = [this] { cycleDue(); };
    deadlineTimer_.onTimer = [this] { expire(); };
    catchUpTimer_.onTimer = [this] {
        catchUpTimer_.setEnabled(false);
        beginCycle();
    };
    journalTimer_.onTimer = [this] {
        journalTimer_.setEnabled(false);
        // Within a cycle its end writes.
        if (!inCycle_) writeJournal(false);
    };
    context.atEnd([this] {
        cycleTimer_.setEnabled(false);
        deadlineTimer_.setEnabled(false);
        catchUpTimer_.setEnabled(false);
        journalTimer_.setEnabled(false);
        socket_.close();
        // The write under way is waited for: whether its events are written decides what is
        // left. Then a last try for what waits, whatever the back-off: after this it is gone.
        journal_.settle();
        writeJournal(true, true);
        const auto lost = static_cast<std::int64_t>(batch_.size()) + journalDropped_;
        if (lost > 0)
            sayJournal(std::to_string(lost) +
                       " events could not be written to the event journal and are lost" +
                       (journal_.error().empty() ? "." : ": " + journal_.error()));
    });
    context.port2978().setBackground(
        {[this] { return handOverPort(); }, [this] { takePortBack(); }});
    setStatus("Plant monitor off.");
}

PlantMonitor::~PlantMonitor() {
    context_.port2978().setBackground({});
    // Gone without the end of the program (the window closed, a command done): the write under
    // way and what waits are written now, their answers unheard, since nobody is left to hear.
    alive_.reset();
    if (context_.ended()) return;  // the end wrote them
    journal_.settle();
    if (!batch_.empty())
        journal_.append(std::vector<ports::JournalEvent>(batch_.begin(), batch_.end()));
}

void PlantMonitor::setStatus(std::string text) {
    if (text == status_) return;
    status_ = std::move(text);
    ++revision_;
}

void PlantMonitor::setInterval(int seconds) {
    intervalSeconds_ = std::clamp(seconds, kMinIntervalSeconds, kMaxIntervalSeconds);
    cycleTimer_.setInterval(intervalSeconds_ * 1000);
}

void PlantMonitor::start() {
    if (running_) return;
    running_ = true;
    cycleTimer_.setEnabled(true);
    runningChanged(true);
    beginCycle();
}

void PlantMonitor::stop() {
    if (!running_) return;
    running_ = false;
    cycleTimer_.setEnabled(false);
    catchUpTimer_.setEnabled(false);
    if (inCycle_) finishCycle();
    socket_.close();
    writeJournal(true);
    setStatus("Plant monitor off.");
    runningChanged(false);
}

std::vector<station::ElementSocket::OwedReply> PlantMonitor::handOverPort() {
    paused_ = true;
    catchUpTimer_.setEnabled(false);
    std::vector<station::ElementSocket::OwedReply> owed;
    for (const Lane* lane : {&fast_, &slow_})
        for (const auto& s : lane->sent)
            if (laneOf_[s.index])
                owed.push_back({elements_[s.index].ip, s.sentMs + kReplyTimeoutMs});
    if (inCycle_) finishCycle();
    // The lease holder binds it next.
    socket_.close();
    if (running_) setStatus("Plant monitor paused while port 2978 is in use by a window.");
    return owed;
}

void PlantMonitor::takePortBack() {
    paused_ = false;
    if (running_) beginCycle();
}

const PlantMonitor::Element* PlantMonitor::find(const std::string& mac) const {
    const auto it = byMac_.find(mac);
    return it == byMac_.end() ? nullptr : &elements_[it->second];
}


bool PlantMonitor::ensureBound() {
    return socket_.isBoundOnChosenInterface() || socket_.bind();
}

void PlantMonitor::reloadElements() {
    auto& db = context_.db();
    const auto& path = context_.databasePath();
    const std::vector<std::string> sections = context_.databaseSections();
    std::vector<Element> next;
    next.reserve(sections.size());
    const auto sites = station::readSites(context_.setting(station::settings::kSites));
    for (const auto& section : sections) {
        const std::string mac = protocol::ElementIdentity(section);
        Element e;
        if (const Element* known = find(mac)) e = *known;
        const auto stored = store::readElementRecord(db, path, section);
        e.section = section;
        e.mac = mac;
        e.name = stored.name;
        e.ip = stored.ip;
        e.firmware = stored.version;
        e.serial = stored.serial;
        e.role = static_cast<int>(stored.role);
        e.sfn = stored.sfn.value_or(0);
        e.sdm = stored.silenceMode.value_or(0);
        const auto* site = sites.empty() ? nullptr : station::siteOf(sites, e.ip);
        e.site = site ? site->name : std::string();
        next.push_back(std::move(e));
    }
    elements_ = std::move(next);
    byMac_.clear();
    for (std::size_t i = 0; i < elements_.size(); ++i) byMac_.emplace(elements_[i].mac, i);
    ++revision_;
}

int PlantMonitor::places() {
    int n = std::clamp(static_cast<int>(elements_.size()) / kElementsPerPlace, kMinOutstanding,
                       kMaxOutstanding);
    // Should every awaited element answer at once, the kernel keeps every answer.
    const int buffer = socket_.client().receiveBufferBytes();
    if (buffer > 0) n = std::min(n, std::max(1, buffer / kReceiveBufferPerReply));
    return n;
}

}  // namespace nms::monitor
