#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "editor/element_editor.h"
#include "editor/properties_panel.h"
#include "ports/controls.h"
#include "ports/udp_client.h"
#include "protocol/audio_types.h"
#include "protocol/feedback.h"
#include "station/element_socket.h"
#include "station/main_toolbar.h"
#include "station/station_context.h"

namespace nms::editor {
class ConfigurationExchange;
class frmWaiting;
}  // namespace nms::editor

namespace nms::discovery {
class Paging;
enum class ScanStart;
}

namespace nms::diag {
class Ping;
class LevelMeter;
}  // namespace nms::diag

namespace nms::stats {
class frmStatistics;
}

namespace nms::sfn {
class frmAdjust;
}

namespace nms::monitor {
class PlantMonitor;
class MemoryJournal;
}  // namespace nms::monitor

namespace nms::app {

class frmDisclaimer;

// The station's main window: the element tree, the properties panel, the toolbar and the main
// socket. It owns the station context that every window shares. Loading it starts the station.
class frmMain {
    // First, so that everything below can use them.
    std::unique_ptr<station::StationContext> context_;
    std::unique_ptr<station::ElementSocket> mainSocket_;

public:
    explicit frmMain(station::StationEnv& env);
    ~frmMain();

    // Start-up. False when the station ended during it (second instance, failed bind). While
    // the notice is open start-up waits for it; onStarted runs when the window is ready to show.
    bool Form_Load();
    std::function<void()> onStarted;
    bool running() const { return running_; }
    // Shutdown: closes the main socket and releases the instance lock.
    void Form_Unload();
    // True once the program has been ended by an error.
    bool ended() const { return context_->ended(); }

    // --- Window and controls
    ports::Label caption{"frmMain"};  // the window title
    ports::Toolbar Toolbar1{"Toolbar1"};
    ports::Label frmTreeView{"frmTreeView"};
    ports::TreeView TreeView1{"TreeView1"};
    ports::ListControl lstHidden{"lstHidden"};
    ports::Label lblNMSIPAddr{"lblNMSIPAddr"};
    ports::ListControl cmbNMSIPAddr{"cmbNMSIPAddr"};
    editor::PropertiesPanel panel;
    ports::UdpClient& udpClient;

    // --- Shared state (held by the station context)
    bool& GpsdoVersion;
    bool& LowLatencyOption;
    std::string& strLocalNMSIPAddress;
    protocol::AudioTypeTable& AudioTypes;
    bool& AutoDiscoverAwaiting;

    // --- Procedures
    void Load_Config();
    void RefreshElementList();
    void FillInterfaceList();
    void cmbNMSIPAddr_Click();
    void cmdPing_Click();
    void cmdGetStats_Click();
    void cmdAdjust_Click();
    void Toolbar1_ButtonClick(int index);
    void TreeView1_MouseUp(int button);
    void udpClient_DataArrival(const ports::Datagram& datagram);
    discovery::ScanStart StartAutoDiscovery();
    void mySilentPing(const std::string& strIPAddress);
    // Ends the program at once after an error, with a non-zero status.
    void endProgram(int status) { context_->endProgram(status); }

    station::StationContext& context() { return *context_; }
    station::ElementSocket& mainSocket() { return *mainSocket_; }
    editor::ElementEditor& editor() { return *editor_; }
    discovery::Paging& paging() { return *paging_; }
    editor::ConfigurationExchange& exchange() { return *exchange_; }
    editor::frmWaiting& waiting();
    frmDisclaimer& disclaimer() { return *disclaimer_; }
    diag::Ping& ping() { return *ping_; }
    diag::LevelMeter& meter() { return *meter_; }
    stats::frmStatistics& statistics() { return *statistics_; }
    sfn::frmAdjust& adjust() { return *adjust_; }
    monitor::PlantMonitor& plantMonitor() { return *monitor_; }
    // The plant monitor on or off, remembered for the next start.
    void setPlantMonitoring(bool on);
    bool plantMonitoring() const;
    station::StationEnv& env() { return context_->env; }

    store::ProfileStore& db() { return context_->db(); }
    const std::string& databasePath() const { return context_->databasePath(); }
    ports::Dialogs& dialogs() { return context_->dialogs(); }
    // The one-byte command to the shown element, as the editor sends it.
    bool SendCommandByte(std::uint8_t value, std::uint16_t remotePort);

    // Shows a message box (after the database has reached the disk). No title: the
    // application's.
    ports::Answer msgBox(const std::string& text, ports::MessageIcon icon, ports::MessageButtons buttons,
                         ports::Answer defaultButton, const std::string& title = {});

private:
    void setUpCaptionsAndToolbar();
    void makeParts(station::StationEnv& env);
    void connectEvents();
    void watchDatabaseWrites(station::StationEnv& env);
    void finishStartUp();
    void clearTreeAndLists();
    void clearElementPanel();
    bool acceptMainPortDatagram(const ports::Datagram& datagram);

    std::unique_ptr<editor::ElementEditor> editor_;
    std::unique_ptr<discovery::Paging> paging_;
    std::unique_ptr<editor::ConfigurationExchange> exchange_;
    std::unique_ptr<frmDisclaimer> disclaimer_;
    std::unique_ptr<diag::Ping> ping_;
    std::unique_ptr<diag::LevelMeter> meter_;
    std::unique_ptr<stats::frmStatistics> statistics_;
    std::unique_ptr<sfn::frmAdjust> adjust_;
    std::unique_ptr<monitor::MemoryJournal> ownJournal_;
    std::unique_ptr<monitor::PlantMonitor> monitor_;
    bool running_ = false;
};

}  // namespace nms::app
