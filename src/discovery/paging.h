#pragma once

#include <cstdint>
#include <string>

#include "ports/controls.h"
#include "ports/dialogs.h"
#include "ports/settings.h"
#include "ports/udp_client.h"
#include "store/profile_store.h"

namespace nms::discovery {

// What a scan needs of the main window.
class PagingHost {
public:
    virtual ~PagingHost() = default;
    virtual ports::Scheduler& scheduler() = 0;
    virtual ports::EventGate& gate() = 0;
    virtual ports::SettingsStore& settings() = 0;
    virtual ports::UdpClient& mainSocket() = 0;
    virtual store::ProfileStore& database() = 0;
    virtual const std::string& databaseFile() const = 0;
    virtual ports::Answer ask(const std::string& text, ports::MessageIcon icon, ports::MessageButtons buttons,
                              ports::Answer defaultButton, const std::string& title) = 0;
    virtual std::optional<std::string> askText(const std::string& prompt, const std::string& title,
                                               const std::string& proposed) = 0;
    // Number of elements in the database list (lstHidden).
    virtual int databaseListCount() const = 0;
    virtual void clearElementPanel() = 0;
    virtual void clearTree() = 0;
    // Empties the tree, the lists and the level bar, as at the start of a scan.
    virtual void clearTreeAndLists() = 0;
    virtual void stopLevelMonitoring() = 0;
    virtual void setDiscovering(bool on) = 0;
    virtual void rebuildTree() = 0;
};

// Network paging ("Auto Discovery"): one broadcast request, a fixed listening time, and every
// answer becomes a record of a new database.
class Paging {
public:
    explicit Paging(PagingHost& host);

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
    PagingHost& host_;
    double durationOverride_ = 0;
};

}  // namespace nms::discovery
