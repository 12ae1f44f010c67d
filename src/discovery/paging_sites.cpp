// The scan of the plant's routed sites: its plan, its paced unicast requests, and the records
// its answers make under the elements' role and serial number.

#include <algorithm>
#include <cmath>

#include "discovery/paging.h"
#include "protocol/element_key.h"
#include "protocol/paging.h"
#include "protocol/text.h"
#include "station/settings_keys.h"
#include "store/element_record.h"
#include "store/ini_document.h"

namespace nms::discovery {
namespace {
// The most one tick sends after the station was held up: a burst that makes up for a stall is
// what the pace exists to prevent.
constexpr double kMostCatchUpSeconds = 0.1;
}  // namespace

SiteScanPlan planSiteScan(const station::Sites& sites, const std::vector<std::string>& names, int rate,
                          double listenSeconds) {
    SiteScanPlan plan;
    plan.rate = std::max(rate, 1);
    std::vector<const station::Site*> chosen;
    for (const auto& name : names) {
        const auto* site = station::findSite(sites, name);
        if (!site) {
            plan.unknown = name;
            return plan;
        }
        if (std::find(chosen.begin(), chosen.end(), site) == chosen.end()) chosen.push_back(site);
    }
    if (names.empty())
        for (const auto& site : sites) chosen.push_back(&site);
    plan.sites = chosen.size();
    for (const auto* site : chosen)
        for (const auto& subnet : site->subnets) {
            plan.subnets.push_back(subnet);
            plan.addresses += subnet.hostCount();
            if (subnet.prefix < station::kConfirmBelowPrefix) plan.large.push_back(subnet);
        }
    plan.seconds = std::ceil(static_cast<double>(plan.addresses) / plan.rate + listenSeconds);
    return plan;
}

std::string SiteScanPlan::summary() const {
    std::string text = "Scanning " + std::to_string(sites) + (sites == 1 ? " site" : " sites") + " pages " +
                       std::to_string(addresses) + (addresses == 1 ? " address" : " addresses") + ", " +
                       std::to_string(rate) + " a second: about " + protocol::text::shortestNumber(seconds) +
                       " seconds.";
    for (const auto& subnet : large)
        text += "\r" + subnet.text() + " is larger than a /16: it alone holds " + std::to_string(subnet.hostCount()) +
                " addresses.";
    return text;
}

void Paging::StartSiteScan(std::vector<station::Subnet> subnets, int rate) {
    if (scanning() || subnets.empty()) return;
    siteSubnets_ = std::move(subnets);
    rate_ = std::max(rate, 1);
    cmdCancel.setVisible(true);
    if (onScanConfirmed) onScanConfirmed();
    frmPaging.show();
    Form_Load();
}

// The broadcast cannot reach a routed site, so the records of the declared sites are not the
// broadcast's to replace: the new database starts with them alone.
void Paging::keepSiteRecordsOnly() {
    auto doc = store::IniDocument::parse(previous_ ? *previous_ : std::string());
    std::vector<std::string> gone;
    for (const auto& section : doc.sections()) {
        const auto* ip = doc.find(section.name, store::record::kIp);
        if (!inScope(section.name, ip ? protocol::text::trim(ip->value()) : std::string())) continue;
        gone.push_back(section.name);
    }
    for (const auto& name : gone) doc.removeSection(name);
    auto& db = context_.db();
    const auto& path = context_.databasePath();
    if (const auto written = db.replaceFile(path, doc.serialize()); !written.ok) {
        if (db.fileExists(path)) db.deleteFile(path);
        db.createEmptyFile(path);
    }
}

// Whether a record is one this scan looks for: a site scan's own subnets; the broadcast's
// segment, which is everything but the declared sites.
bool Paging::inScope(const std::string& section, const std::string& ip) const {
    const auto address = station::hostOrderAddress(ip);
    if (siteScan()) {
        if (!address) return false;
        return std::any_of(siteSubnets_.begin(), siteSubnets_.end(),
                           [&](const station::Subnet& s) { return s.contains(*address); });
    }
    if (protocol::IsSerialKey(section)) return false;
    return !(address && station::siteOf(declared_, ip));
}

void Paging::sendSiteRequests() {
    if (!frmPaging.shown() || !Timer3.enabled()) return;
    const std::int64_t now = context_.clock().monotonicMs();
    const double elapsed = static_cast<double>(now - pacingStart_) / 1000.0;
    const auto allowed = static_cast<std::uint64_t>(elapsed * rate_) + 1;
    const std::uint64_t done = sent_ + refused_;
    std::uint64_t due = allowed > done ? allowed - done : 0;
    const auto most = static_cast<std::uint64_t>(std::max(1.0, rate_ * kMostCatchUpSeconds));
    if (due > most) {
        // After a stall the pace starts again from now: what was missed is not sent in a burst
        // over the following ticks either.
        due = most;
        pacingStart_ = now - static_cast<std::int64_t>(static_cast<double>(done + most - 1) * 1000.0 / rate_);
    }
    const std::string request(protocol::kPagingRequest);
    for (; due > 0 && subnetAt_ < siteSubnets_.size(); --due) {
        const auto& subnet = siteSubnets_[subnetAt_];
        socket_.remoteHost = station::dottedAddress(static_cast<std::uint32_t>(subnet.firstHost() + hostAt_));
        if (socket_.send(request)) {
            ++sent_;
        } else {
            if (refused_++ == 0) refusedWhy_ = socket_.errorDescription();
            // The link is down or no route leads to the sites: a long scan of refusals tells
            // the operator nothing more than its first ones do.
            if (sent_ == 0 && refused_ >= kGiveUpAfterRefusals) {
                cancelled_ = true;
                return endScan();
            }
        }
        if (++hostAt_ >= subnet.hostCount()) {
            hostAt_ = 0;
            ++subnetAt_;
        }
        if (context_.ended()) return;
    }
    if (subnetAt_ >= siteSubnets_.size()) siteRequestsDone();
}

void Paging::siteRequestsDone() {
    Timer3.setEnabled(false);
    Timer1.setEnabled(true);
}

void Paging::cancelScan() {
    if (!frmPaging.shown() || !siteScan()) return;
    cancelled_ = true;
    endScan();
}

void Paging::storeSerialAnswer(const std::string& ip, const protocol::FeedbackRecord& answer) {
    // The feedback's checks let no answer through without a serial number.
    const std::string section = protocol::SerialKey(answer.role, answer.sn);
    if (section.empty()) return markUnresolved(ip);
    if (unresolvedSet_.erase(ip) > 0) unresolved_.erase(std::find(unresolved_.begin(), unresolved_.end(), ip));
    mergeAnswer(section, ip, protocol::text::trim(answer.name));
    store::writeElementRecord(context_.db(), context_.databasePath(), section, store::recordFromAnswer(answer, ip));
}

}  // namespace nms::discovery
