#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ports/controls.h"
#include "ports/dialogs.h"
#include "ports/settings.h"
#include "ports/udp_client.h"
#include "station/station_context.h"
#include "store/profile_store.h"

namespace nms::discovery {

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
    // the listening time is over and the database holds every answer (the tree is rebuilt).
    std::function<void()> onScanEnded;

    ports::Form frmPaging{"frmPaging"};
    ports::Label lblPleaseWait{"lblPleaseWait"};
    ports::Label lblTimeout{"lblTimeout"};
    ports::Label lblSeconds{"lblSeconds"};
    ports::Button cmdChangeTimeout{"cmdChangeTimeout"};
    ports::Timer Timer1;
    ports::Timer Timer2;
    int SavedRemotePort = 0;
    std::string SavedRemoteHost;

    void StartAutoDiscovery();
    void Form_Load();
    void Timer1_Timer();
    void Timer2_Timer();
    void cmdChangeTimeout_Click();
    bool scanning() const { return frmPaging.shown(); }
    // A scan of another length than the stored setting, without changing it (scripts).
    void overrideDuration(double seconds) { durationOverride_ = seconds; }

    // The stored scan duration in seconds, as text; a value that is not a number from 3 to 15
    // (a hand-edited setting) counts as the default 6.
    std::string scanTimeoutText() const;
    static bool acceptableTimeout(const std::string& text, double* seconds = nullptr);

private:
    void endScan();
    station::StationContext& context_;
    ports::UdpClient& socket_;
    const ports::ListControl& lstHidden_;
    double durationOverride_ = 0;
};

}  // namespace nms::discovery
