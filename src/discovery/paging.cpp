#include "discovery/paging.h"

#include <algorithm>
#include <cmath>

#include "protocol/address.h"
#include "protocol/arp.h"
#include "protocol/element_key.h"
#include "protocol/paging.h"
#include "protocol/text.h"
#include "station/settings_keys.h"
#include "store/element_record.h"
#include "store/ini_document.h"

namespace nms::discovery {
namespace {
constexpr const char* kDefaultTimeout = station::settings::kScanTimeout.fallback;

int intervalMs(double seconds) { return static_cast<int>(std::lround(seconds * 1000.0)); }

// How many addresses the box names before it points to its details.
constexpr std::size_t kAddressesInBox = 10;

std::string unresolvedText(const std::vector<std::string>& addresses) {
    const std::size_t n = addresses.size();
    std::string text = "An error occured while retrieving 'Element MAC':\r";
    text += n == 1 ? std::string("1 element answered the paging, but its MAC address could not be found:")
                   : std::to_string(n) + " elements answered the paging, but their MAC addresses could not be found:";
    for (std::size_t i = 0; i < n && i < kAddressesInBox; ++i) text += (i == 0 ? "\r" : ", ") + addresses[i];
    if (n > kAddressesInBox) text += " and " + std::to_string(n - kAddressesInBox) + " more (see the details).";
    text += "\rThey are not in the new database; run the discovery again to find them.";
    return text;
}

// How often a site scan's requests go out.
constexpr int kPacingMs = 20;
}  // namespace

Paging::Paging(station::StationContext& context, ports::UdpClient& mainSocket, const ports::ListControl& lstHidden)
    : Timer1(context.scheduler(), context.gate()),
      Timer2(context.scheduler(), context.gate(), 1000),
      context_(context),
      socket_(mainSocket),
      lstHidden_(lstHidden),
      Timer3(context.scheduler(), context.gate(), kPacingMs) {
    frmPaging.setCaption("Paging network...");
    lblPleaseWait.setCaption("Please wait");
    lblSeconds.setCaption("seconds while paging the network.");
    cmdChangeTimeout.setCaption("Change...");
    Timer1.onTimer = [this] { Timer1_Timer(); };
    Timer2.onTimer = [this] { Timer2_Timer(); };
    cmdChangeTimeout.onClick = [this] { cmdChangeTimeout_Click(); };
    cmdCancel.setCaption("Cancel");
    cmdCancel.setVisible(false);
    cmdCancel.onClick = [this] { cancelScan(); };
    Timer3.onTimer = [this] { sendSiteRequests(); };
    // Closing the window by hand ends the scan as its timer would, so the scan flag never stays set.
    frmPaging.onOperatorClose = [this] { Timer1_Timer(); };
}

bool Paging::acceptableTimeout(const std::string& text, double* seconds) {
    const std::string t = protocol::text::trim(text);
    if (t.empty()) return false;
    bool dot = false, digit = false;
    for (char c : t) {
        if (c >= '0' && c <= '9') digit = true;
        else if (c == '.' && !dot) dot = true;
        else return false;
    }
    if (!digit) return false;
    const double v = protocol::text::leadingNumber(t);
    if (v < 3.0 || v > 15.0) return false;
    if (seconds) *seconds = v;
    return true;
}

std::string Paging::scanTimeoutText() const {
    const std::string stored = context_.setting(station::settings::kScanTimeout);
    return acceptableTimeout(stored) ? protocol::text::trim(stored) : kDefaultTimeout;
}

ScanStart Paging::StartAutoDiscovery() {
    if (scanning()) return ScanStart::AlreadyScanning;
    siteSubnets_.clear();
    cmdCancel.setVisible(false);
    if (lstHidden_.listCount() >= 1 && !merge_) {
        const auto answer = context_.msgBox(
            "Performing an 'Auto Discovery' will delete the local database in your computer and create a new one, "
            "based on the Network Elements found (if any). \rAre you sure?",
            ports::MessageIcon::Question, ports::MessageButtons::YesNo, ports::Answer::No, "Auto Discovery");
        if (answer != ports::Answer::Yes) return ScanStart::Declined;
    }
    if (onScanConfirmed) onScanConfirmed();
    frmPaging.show();
    Form_Load();
    return stoppedBeforeRequest_ ? ScanStart::NotSent : ScanStart::Started;
}

void Paging::Form_Load() {
    subnetAt_ = 0;
    hostAt_ = sent_ = refused_ = total_ = 0;
    cancelled_ = false;
    refusedWhy_.clear();
    for (const auto& subnet : siteSubnets_) total_ += subnet.hostCount();
    declared_ = station::readSites(context_.setting(station::settings::kSites));
    unresolved_.clear();
    unresolvedSet_.clear();
    answeredSections_.clear();
    mergedNew_.clear();
    notFound_.clear();
    answered_.clear();
    moved_.clear();
    answerOrder_ = 0;
    stoppedBeforeRequest_ = false;
    if (onScanStarted) onScanStarted();
    auto& socket = socket_;
    SavedRemotePort = socket.remotePort;
    SavedRemoteHost = socket.remoteHost;
    socket.remotePort = protocol::kPortPaging;
    socket.remoteHost = std::string(protocol::kBroadcastAddress);

    // The database the scan replaces is kept beside it first (one generation); a scan that
    // cannot keep it replaces nothing.
    auto& db = context_.db();
    const auto& path = context_.databasePath();
    const std::string copy = path + ".bak";
    previous_.reset();
    std::string problem;
    if (!db.snapshot(path, previous_)) {
        problem = path + " cannot be read";
    } else if (previous_) {
        if (const auto kept = db.replaceFile(copy, previous_); !kept.ok) problem = copy + ": " + kept.error;
    }
    if (!problem.empty()) return stopBeforeRequest("Unable to keep a copy of the local database (" + problem +
                                                   ").\rThe database was not changed.");

    std::string timeout = scanTimeoutText();
    double seconds = 6.0;
    acceptableTimeout(timeout, &seconds);
    if (durationOverride_ > 0) {
        seconds = durationOverride_;
        timeout = protocol::text::shortestNumber(seconds);
    }
    Timer1.setInterval(intervalMs(seconds));
    lblTimeout.setCaption(timeout);
    if (siteScan()) {
        // The listening time follows the last request; the countdown covers both.
        const double sending = static_cast<double>(total_) / rate_;
        lblTimeout.setCaption(protocol::text::shortestNumber(std::ceil(sending + seconds)));
        Timer2.setEnabled(true);
        context_.AutoDiscoverAwaiting = true;
        if (onRequestSent) onRequestSent();
        if (!db.fileExists(path)) db.createEmptyFile(path);
        pacingStart_ = context_.clock().monotonicMs();
        Timer3.setEnabled(true);
        sendSiteRequests();
        return;
    }
    Timer1.setEnabled(true);
    Timer2.setEnabled(true);
    context_.AutoDiscoverAwaiting = true;

    if (!socket.send(std::string(protocol::kPagingRequest))) {
        // Nothing can answer a request that never left: the database stays as it is.
        return stopBeforeRequest("Unable to send the paging request: " + socket.errorDescription());
    }
    // Only a request that went out replaces the database; no answer can come before this.
    if (onRequestSent) onRequestSent();
    if (merge_) {
        if (!db.fileExists(path)) db.createEmptyFile(path);
        return;
    }
    if (!declared_.empty()) return keepSiteRecordsOnly();
    if (db.fileExists(path)) db.deleteFile(path);
    db.createEmptyFile(path);
}

void Paging::stopBeforeRequest(const std::string& text) {
    stoppedBeforeRequest_ = true;
    context_.msgBox(text, ports::MessageIcon::Critical, ports::MessageButtons::Ok, ports::Answer::Ok,
                    "Auto Discovery");
    Timer1_Timer();
}

void Paging::abandonScan() {
    if (!frmPaging.shown()) return;
    for (const auto& [ip, p] : pending_) context_.network().neighbours().cancelWatch(p.watch);
    pending_.clear();
    unresolved_.clear();
    unresolvedSet_.clear();
    Timer1.setEnabled(false);
    Timer2.setEnabled(false);
    Timer3.setEnabled(false);
    socket_.remotePort = static_cast<std::uint16_t>(SavedRemotePort);
    socket_.remoteHost = SavedRemoteHost;
    context_.AutoDiscoverAwaiting = false;
    const auto& path = context_.databasePath();
    if (const auto back = context_.db().replaceFile(path, previous_); !back.ok) {
        context_.msgBox("Unable to put the previous local database back (" + path + ": " + back.error +
                            ").\rA copy of it is kept as " + path + ".bak.",
                        ports::MessageIcon::Critical, ports::MessageButtons::Ok, ports::Answer::Ok, "Auto Discovery");
    }
    previous_.reset();
    scanEnding();
    if (onScanEnded) onScanEnded();
    scanEnded();
    frmPaging.hide();
}

void Paging::Timer2_Timer() {
    const double left = protocol::text::leadingNumber(lblTimeout.caption()) - 1.0;
    lblTimeout.setCaption(protocol::text::shortestNumber(left));
}

void Paging::Timer1_Timer() {
    if (!frmPaging.shown()) return;
    endScan();
}

void Paging::takeAnswer(const std::string& ip, const protocol::FeedbackRecord& answer) {
    if (!context_.AutoDiscoverAwaiting) return;
    auto found = pending_.find(ip);
    if (found != pending_.end()) {
        found->second.answer = answer;
        return;
    }
    auto& table = context_.network().neighbours();
    const auto now = table.query(ip);
    std::string mac;
    if (now.state == ports::NeighbourTable::State::Complete && protocol::MacFromLinkAddress(now.linkAddress, mac, ":"))
        return storeAnswer(ip, mac, answer);
    if (siteScan()) {
        // Nothing outside the scanned subnets is this scan's to touch; inside them, an address
        // the own segment does not resolve lies behind a router (the request to it went out
        // through the router's address, not its own).
        if (!inScope("", ip)) return;
        return storeSerialAnswer(ip, answer);
    }
    if (now.state == ports::NeighbourTable::State::Unreachable) return markUnresolved(ip);
    auto& p = pending_[ip];
    p.answer = answer;
    p.order = answerOrder_++;
    // The scan's end cancels what is still open, so the watch never needs to outlive it.
    // The outcome is an event like any other: it waits while another is being handled (a box).
    p.watch = table.whenResolved(ip, std::max(Timer1.interval(), 1000), [this, ip](ports::NeighbourTable::Entry entry) {
        context_.gate().dispatch(ports::EventGate::Kind::Posted,
                                 [this, ip, entry = std::move(entry)] { resolved(ip, entry); });
    });
}

void Paging::resolved(const std::string& ip, const ports::NeighbourTable::Entry& entry) {
    auto found = pending_.find(ip);
    if (found == pending_.end() || !context_.AutoDiscoverAwaiting) return;
    const protocol::FeedbackRecord answer = found->second.answer;
    pending_.erase(found);
    std::string mac;
    if (entry.state == ports::NeighbourTable::State::Complete && protocol::MacFromLinkAddress(entry.linkAddress, mac, ":"))
        storeAnswer(ip, mac, answer);
    else
        markUnresolved(ip);
}

void Paging::markUnresolved(const std::string& ip) {
    if (unresolvedSet_.insert(ip).second) unresolved_.push_back(ip);
}

void Paging::storeAnswer(const std::string& ip, const std::string& mac, const protocol::FeedbackRecord& answer) {
    if (auto waiting = pending_.find(ip); waiting != pending_.end()) {
        context_.network().neighbours().cancelWatch(waiting->second.watch);
        pending_.erase(waiting);
    }
    // An address given up on earlier that answered again and resolved is found after all.
    if (unresolvedSet_.erase(ip) > 0) unresolved_.erase(std::find(unresolved_.begin(), unresolved_.end(), ip));
    const std::string section = protocol::ElementKey(mac);
    if (merge_ || siteScan()) mergeAnswer(section, ip, protocol::text::trim(answer.name));
    store::writeElementRecord(context_.db(), context_.databasePath(), section,
                              store::recordFromAnswer(answer, ip));
}

void Paging::mergeAnswer(const std::string& section, const std::string& ip, const std::string& name) {
    if (!answeredSections_.insert(store::foldName(section)).second) return;
    answered_.push_back(section);
    auto& db = context_.db();
    const auto& path = context_.databasePath();
    const std::string mac = protocol::ElementIdentity(section);
    std::vector<std::string> keys;
    db.LoadIniSectionKeysLB(section, keys, path);
    if (keys.empty()) {
        mergedNew_.push_back(section);
        if (context_.onOperatorChange)
            context_.onOperatorChange(mac, name, "found by discovery", "", ip);
        return;
    }
    const std::string before = protocol::text::trim(db.ReadFromINI(section, std::string(store::record::kIp), path, ""));
    if (before != ip) moved_.push_back(section);
    if (before != ip && context_.onOperatorChange)
        context_.onOperatorChange(mac,
                                  protocol::text::trim(db.ReadFromINI(section, std::string(store::record::kName), path, "")),
                                  "address changed", before, ip);
}

// Every element of the database that did not answer is kept, and said.
void Paging::noteNotFound() {
    auto& db = context_.db();
    const auto& path = context_.databasePath();
    for (const auto& section : context_.databaseSections()) {
        if (answeredSections_.count(store::foldName(section))) continue;
        const std::string ip = protocol::text::trim(db.ReadFromINI(section, std::string(store::record::kIp), path, ""));
        if (!inScope(section, ip)) continue;
        notFound_.push_back(section);
        if (context_.onOperatorChange)
            context_.onOperatorChange(
                protocol::ElementIdentity(section),
                protocol::text::trim(db.ReadFromINI(section, std::string(store::record::kName), path, "")),
                siteScan() ? "not found by the site scan" : "not found by discovery", ip, "kept");
    }
}

void Paging::reportUnresolved() {
    if (siteScan() && refused_ > 0 && !context_.ended()) {
        const bool stopped = sent_ == 0 && refused_ >= kGiveUpAfterRefusals;
        context_.msgBox(stopped ? "Unable to send the paging request: " + refusedWhy_ +
                                      "\rThe scan stopped; no element was asked and the database was not changed."
                                : std::to_string(refused_) + " of " + std::to_string(refused_ + sent_) +
                                      " paging requests could not be sent: " + refusedWhy_ +
                                      "\rThe elements at those addresses were not asked.",
                        ports::MessageIcon::Exclamation, ports::MessageButtons::Ok, ports::Answer::Ok,
                        "Scan sites");
    }
    if (unresolved_.empty() || context_.ended()) return;
    std::string details;
    for (const auto& ip : unresolved_) details += ip + "\n";
    // An error, not a warning: these elements are missing from the new database.
    context_.msgBox(unresolvedText(unresolved_),
                    ports::MessageIcon::Critical, ports::MessageButtons::Ok, ports::Answer::Ok,
                    siteScan() ? "Scan sites" : "Auto Discovery", details);
}

void Paging::endScan() {
    Timer1.setEnabled(false);
    Timer2.setEnabled(false);
    Timer3.setEnabled(false);
    // What has not resolved by now is reported; the order is the order the answers came in.
    std::vector<std::pair<std::size_t, std::string>> open;
    for (const auto& [ip, p] : pending_) {
        context_.network().neighbours().cancelWatch(p.watch);
        open.emplace_back(p.order, ip);
    }
    pending_.clear();
    std::sort(open.begin(), open.end());
    for (const auto& entry : open) markUnresolved(entry.second);
    auto& socket = socket_;
    socket.remotePort = static_cast<std::uint16_t>(SavedRemotePort);
    socket.remoteHost = SavedRemoteHost;
    context_.AutoDiscoverAwaiting = false;
    previous_.reset();
    if ((merge_ || siteScan()) && !stoppedBeforeRequest_ && !cancelled_) noteNotFound();
    scanEnding();
    if (onScanEnded) onScanEnded();
    scanEnded();
    frmPaging.hide();
    reportUnresolved();
}

void Paging::cmdChangeTimeout_Click() {
    Timer1.setEnabled(false);
    Timer2.setEnabled(false);
    const auto answer = context_.dialogs().inputBox("Enter timeout in seconds, from 3 to 15:", "Set scanning timeout", scanTimeoutText());
    double seconds = 0;
    if (answer && acceptableTimeout(*answer, &seconds)) {
        const std::string text = protocol::text::trim(*answer);
        context_.setSetting(station::settings::kScanTimeout, text);
        Timer1.setInterval(intervalMs(seconds));
        lblTimeout.setCaption(text);
    }
    Timer1.setEnabled(true);
    Timer2.setEnabled(true);
}

}  // namespace nms::discovery
