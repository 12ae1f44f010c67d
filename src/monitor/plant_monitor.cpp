#include "monitor/plant_monitor.h"

#include <algorithm>

#include "editor/record_values.h"
#include "protocol/address.h"
#include "protocol/commands.h"
#include "protocol/paging.h"
#include "protocol/statistics.h"
#include "protocol/text.h"
#include "store/element_record.h"

namespace nms::monitor {

namespace rec = store::record;

namespace {

constexpr int kPumpMs = 50;
constexpr std::int64_t kDayMs = 24LL * 3600 * 1000;

int recordNumber(const std::string& text) {
    const auto v = editor::values::readNumber(text);
    return v ? static_cast<int>(editor::values::roundHalfEven(*v)) : 0;
}

const char* severityOf(Health h) {
    switch (h) {
        case Health::Alarm:
        case Health::Offline:
            return "alarm";
        case Health::Warning:
            return "warning";
        default:
            return "info";
    }
}

}  // namespace

PlantMonitor::PlantMonitor(station::StationContext& context, ports::EventJournal& journal)
    : context_(context),
      journal_(journal),
      socket_(context, protocol::kPortStatistics, protocol::kPortStatistics),
      cycleTimer_(context.scheduler(), context.gate(), kDefaultIntervalSeconds * 1000),
      pumpTimer_(context.scheduler(), context.gate(), kPumpMs) {
    socket_.client().onDataArrival = [this](const ports::Datagram& d) { reply(d); };
    // What can never be a statistics reply does not wait in the station's queue.
    socket_.client().acceptIncoming = [](const ports::Datagram& d) {
        return d.bytes.size() <= protocol::statistics::kMaxReplyLength;
    };
    cycleTimer_.onTimer = [this] { beginCycle(); };
    pumpTimer_.onTimer = [this] { pump(); };
    context.atEnd([this] {
        cycleTimer_.setEnabled(false);
        pumpTimer_.setEnabled(false);
        socket_.close();
    });
    setStatus("Plant monitor off.");
}

PlantMonitor::~PlantMonitor() = default;

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
    beginCycle();
}

void PlantMonitor::stop() {
    if (!running_) return;
    running_ = false;
    cycleTimer_.setEnabled(false);
    pumpTimer_.setEnabled(false);
    if (inCycle_) finishCycle();
    socket_.close();
    setStatus("Plant monitor off.");
}

std::vector<station::ElementSocket::OwedReply> PlantMonitor::pause() {
    if (paused_) return {};
    paused_ = true;
    pumpTimer_.setEnabled(false);
    if (inCycle_) finishCycle();
    // The window that takes the port binds it next.
    socket_.close();
    if (running_) setStatus("Plant monitor paused while port 2978 is in use by a window.");
}

void PlantMonitor::resume() {
    if (!paused_) return;
    paused_ = false;
    if (running_) beginCycle();
}

const PlantMonitor::Element* PlantMonitor::find(const std::string& mac) const {
    const auto it = byMac_.find(mac);
    return it == byMac_.end() ? nullptr : &elements_[it->second];
    std::vector<station::ElementSocket::OwedReply> owed;
    for (const auto& o : outstanding_)
        owed.push_back({elements_[o.index].ip, o.sentMs + kReplyTimeoutMs});
}

void PlantMonitor::note(ports::JournalEvent event) {
    if (event.unixTimeMs == 0) event.unixTimeMs = context_.clock().unixTimeMs();
    return owed;
    batch_.push_back(std::move(event));
    ++revision_;
    // Outside a cycle nothing else would write it soon.
    if (!inCycle_) {
        if (!journal_.append(batch_)) journalFailed_ = true;
        batch_.clear();
    }
}

bool PlantMonitor::ensureBound() { return socket_.isBoundOnChosenInterface() || socket_.bind(); }

void PlantMonitor::reloadElements() {
    auto& db = context_.db();
    const auto& path = context_.databasePath();
    std::vector<std::string> sections;
    if (db.fileExists(path)) db.LoadIniSectionsLB(sections, path);
    std::vector<Element> next;
    next.reserve(sections.size());
    for (const auto& section : sections) {
        const std::string mac = protocol::Decode_MAC(section);
        Element e;
        if (const Element* known = find(mac)) e = *known;
        auto read = [&](std::string_view key, std::string_view fallback) {
            return db.ReadFromINI(section, std::string(key), path, std::string(fallback));
        };
        e.section = section;
        e.mac = mac;
        e.name = protocol::text::trim(read(rec::kName, ""));
        e.ip = read(rec::kIp, "");
        e.role = recordNumber(read(rec::kRole, ""));
        e.sfn = recordNumber(read(rec::kSfn, rec::defaults::kSfn));
        e.sdm = recordNumber(read(rec::kSilenceMode, rec::defaults::kSilenceMode));
        next.push_back(std::move(e));
    }
    elements_ = std::move(next);
    byMac_.clear();
    for (std::size_t i = 0; i < elements_.size(); ++i) byMac_.emplace(elements_[i].mac, i);
    ++revision_;
}

void PlantMonitor::beginCycle() {
    if (!running_ || paused_ || context_.ended()) return;
    if (inCycle_) return;  // a slow cycle is never overlapped by the next one
    if (!ensureBound()) {
        // Said once in the status, never by ending the program; the next cycle tries again.
        setStatus("Plant monitor cannot use UDP port 2978: " + socket_.errorDescription());
        return;
    }
    reloadElements();
    inCycle_ = true;
    current_ = {};
    current_.asked = static_cast<int>(elements_.size());
    cycleStartMs_ = context_.clock().monotonicMs();
    waiting_.clear();
    outstanding_.clear();
    for (std::size_t i = 0; i < elements_.size(); ++i) waiting_.push_back(i);
    pumpTimer_.setEnabled(true);
    pump();
}

void PlantMonitor::pump() {
    if (!inCycle_) return;
    const std::int64_t now = context_.clock().monotonicMs();
    // Requests not answered in time are missed.
    for (auto it = outstanding_.begin(); it != outstanding_.end();) {
        if (now - it->sentMs >= kReplyTimeoutMs) {
            judge(it->index, false, 0, 0);
            it = outstanding_.erase(it);
        } else {
            ++it;
        }
    }
    static const auto request = protocol::requestBytes(protocol::kGetStatsRequest);
    while (!waiting_.empty() && static_cast<int>(outstanding_.size()) < kMaxOutstanding) {
        const std::size_t index = waiting_.front();
        waiting_.pop_front();
        const Element& e = elements_[index];
        if (!protocol::IsValidIP(e.ip)) {
            judge(index, false, 0, 0);
            continue;
        }
        auto& client = socket_.client();
        client.remoteHost = e.ip;
        client.remotePort = protocol::kPortStatistics;
        if (!client.send(request)) {
            judge(index, false, 0, 0);
            continue;
        }
        outstanding_.push_back({index, now});
    }
    if (waiting_.empty() && outstanding_.empty()) finishCycle();
}

void PlantMonitor::reply(const ports::Datagram& d) {
    if (!inCycle_ || d.bytes.size() > protocol::statistics::kMaxReplyLength) return;
    // A reply belongs to the element polled at the address it came from; anything else is
    // ignored.
    const auto it = std::find_if(
        outstanding_.begin(), outstanding_.end(),
        [&](const Outstanding& o) { return elements_[o.index].ip == d.senderAddress; });
    if (it == outstanding_.end()) return;
    const std::size_t index = it->index;
    outstanding_.erase(it);
    Element& e = elements_[index];
    const auto before = e.record;
    const stats::ElementFacts facts{e.role, e.sfn, e.sdm, e.role == rec::kRoleDecoder};
    stats::decodeStatistics(d.bytes, facts, e.record, context_.clock().tickCount());
    const auto& now = e.record;
    auto grow = [&](std::int64_t& total, std::int32_t was, std::int32_t is) {
        const std::int64_t g = e.counted ? counterGrowth(was, is) : 0;
        total += g;
        return g;
    };
    grow(e.txFrames, before.UDP_Response_Tx_Frames_OK, now.UDP_Response_Tx_Frames_OK);
    grow(e.rxFrames, before.UDP_Response_Rx_Frames_OK, now.UDP_Response_Rx_Frames_OK);
    grow(e.txFrameErrors, before.UDP_Response_Tx_Frames_Err, now.UDP_Response_Tx_Frames_Err);
    grow(e.rxFrameErrors, before.UDP_Response_Rx_Frames_Err, now.UDP_Response_Rx_Frames_Err);
    grow(e.audioFrames, before.UDP_Response_Rx_Audio_Frames_OK,
         now.UDP_Response_Rx_Audio_Frames_OK);
    const auto audioErrors = grow(e.audioFrameErrors, before.UDP_Response_Rx_Audio_Frames_Err,
                                  now.UDP_Response_Rx_Audio_Frames_Err);
    std::int64_t ptpErrors = 0;
    if (e.sfn == 1) {
        grow(e.ptpSyncs, before.UDP_Response_PTP_Sync_OK, now.UDP_Response_PTP_Sync_OK);
        ptpErrors =
            grow(e.ptpSyncErrors, before.UDP_Response_PTP_Sync_Err, now.UDP_Response_PTP_Sync_Err);
    }
    e.counted = true;
    e.alarmWord = now.UDP_Response_OM_Alarms_List;
    e.ethernetWord = now.UDP_Response_ETH_Status;
    e.lastSeenUnixMs = context_.clock().unixTimeMs();
    judge(index, true, audioErrors, ptpErrors);
    // The freed place goes to the next element at once, not at the next tick.
    pump();
}

void PlantMonitor::judge(std::size_t index, bool answered, std::int64_t audioErrors,
                         std::int64_t ptpErrors) {
    Element& e = elements_[index];
    if (answered) {
        e.misses = 0;
        ++e.replies;
        ++current_.replies;
    } else {
        ++e.misses;
        ++e.missed;
        ++current_.missed;
    }
    CycleResult c;
    c.answered = answered;
    c.missesInARow = e.misses;
    c.sfn = e.sfn;
    c.sdm = e.sdm;
    c.alarmWord = answered ? e.alarmWord : 65535;
    c.ethernetWord = answered ? e.ethernetWord : 65535;
    c.audioFrameErrors = audioErrors;
    c.ptpSyncErrors = ptpErrors;
    const Assessment a = assess(c);
    const Health from = e.health;
    e.reason = a.reason;
    if (a.health == from) return;
    e.health = a.health;
    ++revision_;
    batch_.push_back({context_.clock().unixTimeMs(), e.mac, e.name, severityOf(a.health), "health",
                      healthWord(from), healthWord(a.health), a.reason});
    if (onHealthChanged) onHealthChanged(e, from);
}

void PlantMonitor::finishCycle() {
    inCycle_ = false;
    pumpTimer_.setEnabled(false);
    // What was still waiting when a window took the port counts as not asked, not as missed.
    waiting_.clear();
    outstanding_.clear();
    ++cycles_;
    current_.durationMs = context_.clock().monotonicMs() - cycleStartMs_;
    lastCycle_ = current_;
    const std::int64_t now = context_.clock().unixTimeMs();
    if (!batch_.empty()) {
        if (journal_.append(batch_)) {
            batch_.clear();
            journalFailed_ = false;
        } else {
            // Kept for the next cycle, within bounds; the station goes on.
            journalFailed_ = true;
            constexpr std::size_t kMaxKept = 10000;
            if (batch_.size() > kMaxKept)
                batch_.erase(batch_.begin(), batch_.begin() + static_cast<std::ptrdiff_t>(
                                                                  batch_.size() - kMaxKept));
        }
    }
    journal_.prune(now - kDefaultRetentionDays * kDayMs);
    int online = 0, attention = 0;
    for (const auto& e : elements_) {
        if (e.health == Health::Online)
            ++online;
        else if (e.health != Health::Unknown)
            ++attention;
    }
    std::string status = "Plant monitor: " + std::to_string(elements_.size()) + " elements, " +
                         std::to_string(online) + " online, " + std::to_string(attention) +
                         " need attention.";
    if (journalFailed_) status += " The event journal cannot be written: " + journal_.error();
    setStatus(status);
    if (onCycleEnded) onCycleEnded();
}

}  // namespace nms::monitor
