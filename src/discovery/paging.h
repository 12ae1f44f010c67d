#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "ports/controls.h"
#include "ports/dialogs.h"
#include "ports/settings.h"
#include "ports/signal.h"
#include "ports/neighbour_table.h"
#include "ports/udp_client.h"
#include "protocol/feedback.h"
#include "station/sites.h"
#include "station/station_context.h"
#include "store/profile_store.h"

namespace nms::discovery {

// What a scan of sites will do, worked out before it starts so that the operator is told how
// many addresses it pages and how long it takes.
struct SiteScanPlan {
    std::vector<station::Subnet> subnets;
    std::size_t sites = 0;
    std::uint64_t addresses = 0;
    int rate = 500;
    double seconds = 0;  // sending at the pace, then the listening time
    // The subnets larger than a /16, which the operator confirms by name.
    std::vector<station::Subnet> large;
    // A name that is no declared site (the plan is empty then).
    std::string unknown;
    // "Scanning 3 sites pages 762 addresses, 500 a second: about 8 seconds." and, for large
    // subnets, what they hold.
    std::string summary() const;
};
// The plan for the named sites (every declared site when none is named).
SiteScanPlan planSiteScan(const station::Sites& sites, const std::vector<std::string>& names, int rate,
                          double listenSeconds);

// How asking for a discovery ended at once: the scan runs, the operator said No to replacing the
// database, or it stopped before its request went out (said; the database is as it was).
enum class ScanStart { Started, Declined, NotSent, AlreadyScanning };

// Network paging ("Auto Discovery"): one broadcast request, a fixed listening time, and every
// answer becomes a record of a new database.
class Paging {
public:
    // The scan pages through the main socket; lstHidden is the main window's list of the
    // database's elements (a scan over a database that holds some asks first).
    Paging(station::StationContext& context, ports::UdpClient& mainSocket, const ports::ListControl& lstHidden);

    // Events of the scan, for the window around it and for scripts:
    // the operator confirmed and the scan is about to start (the panel and tree empty);
    std::function<void()> onScanConfirmed;
    // the scan starts: monitoring stops, the tree and lists are emptied, the database is new;
    std::function<void()> onScanStarted;
    // The request went out: the database is about to be replaced.
    std::function<void()> onRequestSent;
    // the listening time is over and the database holds every answer (the tree is rebuilt).
    std::function<void()> onScanEnded;
    // The same end for other watchers: just before onScanEnded runs, and just after.
    ports::Signal<> scanEnding;
    ports::Signal<> scanEnded;

    // An answer of the scan. Its sender's MAC address comes from the station's neighbour table;
    // a plant answers the broadcast all at once, faster than the kernel's table fills (and a
    // table smaller than the plant never holds them all), so an address not in it yet is
    // resolved on the network while the scan goes on. What is still unresolved when the scan ends is said once, in one
    // box that counts and lists the addresses, not in a box per answer. A second answer from the
    // same address replaces the first.
    void takeAnswer(const std::string& ip, const protocol::FeedbackRecord& answer);
    // An answer of the scan whose MAC address (colon-separated) is known: its record is written
    // now, under the section its MAC address names. An earlier answer from the
    // same address that still waits for its MAC, or was given up on, is superseded.
    void storeAnswer(const std::string& ip, const std::string& mac, const protocol::FeedbackRecord& answer);
    // The addresses of the last scan that answered but whose MAC address was never found, in the
    // order they answered.
    const std::vector<std::string>& unresolvedAnswers() const { return unresolved_; }

    ports::Form frmPaging{"frmPaging"};
    ports::Label lblPleaseWait{"lblPleaseWait"};
    ports::Label lblTimeout{"lblTimeout"};
    ports::Label lblSeconds{"lblSeconds"};
    ports::Button cmdChangeTimeout{"cmdChangeTimeout"};
    ports::Timer Timer1;
    ports::Timer Timer2;
    int SavedRemotePort = 0;
    std::string SavedRemoteHost;

    ScanStart StartAutoDiscovery();
    void Form_Load();
    void Timer1_Timer();
    void Timer2_Timer();
    void cmdChangeTimeout_Click();
    bool scanning() const { return frmPaging.shown(); }
    // The last scan stopped before its request went out (it could not be sent, or the database
    // could not be kept): the database is as it was.
    bool stoppedBeforeRequest() const { return stoppedBeforeRequest_; }
    // Ends the scan in progress at once and puts back the database it replaced (a script
    // interrupted mid-scan): the answers so far are dropped, nothing is reported.
    void abandonScan();

    // The next scans merge into the database instead of replacing it (an always-on station that
    // must never lose what it knows): an element that answers for the first time is added, one
    // that answers at another address is updated, one that does not answer is kept; each is an
    // event, and nothing is asked first, since nothing is deleted.
    void setMerge(bool merge) { merge_ = merge; }
    bool merging() const { return merge_; }
    // What the last merging scan found: the sections added and those not found (kept).
    const std::vector<std::string>& mergedNew() const { return mergedNew_; }
    const std::vector<std::string>& notFound() const { return notFound_; }
    // The sections of every element that answered the last merging scan, in the order they did.
    const std::vector<std::string>& answered() const { return answered_; }
    const std::vector<std::string>& moved() const { return moved_; }
    // A scan of the plant's routed sites instead of the broadcast: the request goes by unicast to
    // every host address of `subnets`, `rate` a second, and the listening time follows the last
    // one. It always merges, and what did not answer is looked for among the records of these
    // subnets only. An answer from an address the station's own segment cannot resolve is the
    // element behind a router: its record is named by its role and serial number. The front end
    // asks first (siteScanQuestion); this starts at once.
    void StartSiteScan(std::vector<station::Subnet> subnets, int rate);
    bool siteScan() const { return !siteSubnets_.empty(); }
    // Stops a site scan: no more requests go out, the answers so far are kept, and nothing is
    // marked as not found (not every address was asked).
    void cancelScan();
    // The Cancel button of a site scan's window (hidden for the broadcast, which has none).
    ports::Button cmdCancel{"cmdCancel"};
    // How the last site scan went: requests sent, refused by the network (with the first reason).
    std::uint64_t requestsSent() const { return sent_; }
    std::uint64_t requestsRefused() const { return refused_; }
    bool cancelled() const { return cancelled_; }

    // A scan of another length than the stored setting, without changing it (scripts).
    void overrideDuration(double seconds) { durationOverride_ = seconds; }

    // The stored scan duration in seconds, as text; a value that is not a number from 3 to 15
    // (a hand-edited setting) counts as the default 6.
    std::string scanTimeoutText() const;
    static bool acceptableTimeout(const std::string& text, double* seconds = nullptr);

private:
    struct Pending {
        protocol::FeedbackRecord answer;
        ports::NeighbourTable::WatchId watch = 0;
        std::size_t order = 0;
    };
    void endScan();
    void stopBeforeRequest(const std::string& text);
    void resolved(const std::string& ip, const ports::NeighbourTable::Entry& entry);
    void markUnresolved(const std::string& ip);
    void reportUnresolved();
    station::StationContext& context_;
    ports::UdpClient& socket_;
    const ports::ListControl& lstHidden_;
    double durationOverride_ = 0;
    std::map<std::string, Pending> pending_;
    std::vector<std::string> unresolved_;
    std::unordered_set<std::string> unresolvedSet_;
    std::size_t answerOrder_ = 0;
    // The database as it was before the scan (nothing: there was none), until the scan ends.
    std::optional<std::string> previous_;
    bool stoppedBeforeRequest_ = false;
    bool merge_ = false;
    std::unordered_set<std::string> answeredSections_;
    std::vector<std::string> mergedNew_, notFound_, answered_, moved_;
    void mergeAnswer(const std::string& section, const std::string& ip, const std::string& name);
    void noteNotFound();
    bool inScope(const std::string& section, const std::string& ip) const;
    void keepSiteRecordsOnly();
    void storeSerialAnswer(const std::string& ip, const protocol::FeedbackRecord& answer);
    void sendSiteRequests();
    void siteRequestsDone();
    ports::Timer Timer3;  // paces a site scan's requests
    // A site scan whose first requests are all refused (the link down, no route) stops.
    static constexpr std::uint64_t kGiveUpAfterRefusals = 20;
    std::vector<station::Subnet> siteSubnets_;
    std::size_t subnetAt_ = 0;
    std::uint64_t hostAt_ = 0, sent_ = 0, refused_ = 0, total_ = 0;
    std::int64_t pacingStart_ = 0;
    int rate_ = 500;
    bool cancelled_ = false;
    std::string refusedWhy_;
    station::Sites declared_;
};

}  // namespace nms::discovery
