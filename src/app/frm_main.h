#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/station_env.h"
#include "editor/element_editor.h"
#include "editor/properties_panel.h"
#include "ports/controls.h"
#include "ports/udp_client.h"
#include "protocol/audio_types.h"
#include "protocol/feedback.h"

namespace nms::discovery {
class Paging;
}

namespace nms::diag {
class Ping;
}

namespace nms::app {

class frmWaiting;
class frmDisclaimer;

// Exit statuses of a station that ended because of an error.
inline constexpr int kExitSocketFailure = 2;
inline constexpr int kExitAlreadyRunning = 3;
inline constexpr int kExitInterfaceList = 4;

// Pictures of the window's image list: toolbar 1 to 5, tree nodes 6 and 7.
inline constexpr int kPictureEncoder = 6;
inline constexpr int kPictureDecoder = 7;

// The station's main window: the element tree, the properties panel, the toolbar, the main
// socket and the state the other windows share. Loading it starts the station.
class frmMain : public editor::EditorHost {
public:
    explicit frmMain(StationEnv& env);
    ~frmMain() override;

    // Start-up. False when the station ended during it (second instance, failed bind). While
    // the notice is open start-up waits for it; onStarted runs when the window is ready to show.
    bool Form_Load();
    std::function<void()> onStarted;
    bool running() const { return running_; }
    // Shutdown: closes the main socket and releases the instance lock.
    void Form_Unload();
    // True once the program has been ended by an error.
    bool ended() const { return ended_; }

    // --- Window and controls
    ports::Label caption{"frmMain"};  // the window title
    ports::Toolbar Toolbar1{"Toolbar1"};
    ports::Label frmTreeView{"frmTreeView"};
    ports::TreeView TreeView1{"TreeView1"};
    ports::ListControl lstHidden{"lstHidden"};
    ports::Label lblNMSIPAddr{"lblNMSIPAddr"};
    ports::ListControl cmbNMSIPAddr{"cmbNMSIPAddr"};
    editor::PropertiesPanel panel;
    ports::Timer timerRemoteSent;
    ports::Timer tmrVolume;
    ports::UdpClient udpClient;

    // --- Shared state
    bool GpsdoVersion = false;
    bool LowLatencyOption = false;
    std::string strLocalNMSIPAddress = "0.0.0.0";
    protocol::AudioTypeTable AudioTypes;
    bool AutoDiscoverAwaiting = false;
    std::string UDP_Response_IP;
    std::string sRemoteMacAddress2;
    std::uint8_t getMACTimeout = 0;
    std::uint8_t getMACTimeoutCount = 0;

    // --- Procedures
    void Load_Config();
    void RefreshElementList();
    void FillInterfaceList();
    void cmbNMSIPAddr_Click();
    void SaveConfiguration();
    void chkGetVolume_Click();
    void cmdPing_Click();
    static double Log10(double x);
    void Toolbar1_ButtonClick(int index);
    void TreeView1_MouseUp(int button);
    void udpClient_DataArrival(const ports::Datagram& datagram);
    void ProcessFeedback(const std::vector<std::uint8_t>& datagram);
    void timerRemoteSent_Timer();
    // Prepares the main socket for the shown element and sends; false when it failed (the
    // failure has been reported, and for a socket failure the program has ended).
    bool OpenElementSocket(std::uint16_t remotePort, const std::string& failurePrefix,
                           std::span<const std::uint8_t> bytes, bool startReplyTimer);
    // The configuration send: the packet goes out with the reply time-out started, then the
    // element is pinged silently.
    bool SendConfigurationBytes(std::span<const std::uint8_t> packet);
    void RequestVolume();
    void ShowAudioLevel(const std::vector<std::uint8_t>& datagram);
    void StartAutoDiscovery();
    void mySilentPing(const std::string& strIPAddress);
    bool LookupMAC(const std::string& ip, std::string& mac, const std::string& separator);
    // Ends the program at once after an error, with a non-zero status.
    void endProgram(int status);

    editor::ElementEditor& editor() { return *editor_; }
    discovery::Paging& paging() { return *paging_; }
    frmWaiting& waiting() { return *waiting_; }
    frmDisclaimer& disclaimer() { return *disclaimer_; }
    diag::Ping& ping() { return *ping_; }
    const protocol::FeedbackRecord& feedbackRecord() const { return feedback_; }
    StationEnv& env() { return env_; }

    // --- EditorHost
    store::ProfileStore& db() override { return env_.db; }
    const std::string& databasePath() const override { return env_.databasePath; }
    const protocol::AudioTypeTable& audioTypes() const override { return AudioTypes; }
    ports::Dialogs& dialogs() override;
    bool gpsdoVersion() const override { return GpsdoVersion; }
    bool lowLatencyOption() const override { return LowLatencyOption; }
    void setLowLatencyOption(bool on) override { LowLatencyOption = on; }
    void setToolbarButtonEnabled(int index, bool on) override { Toolbar1.setButtonEnabled(index, on); }
    void stopLevelTimer() override { tmrVolume.setEnabled(false); }
    void SendCommandByte(std::uint8_t value, std::uint16_t remotePort) override;

    // Shows a message box (after the database has reached the disk).
    ports::Answer msgBox(const std::string& text, ports::MessageIcon icon, ports::MessageButtons buttons,
                         ports::Answer defaultButton, const std::string& title = kApplicationTitle);

private:
    class FlushingDialogs;
    class PagingAdapter;
    void finishStartUp();
    void clearTreeAndLists();
    void clearElementPanel();
    std::string shownElementAddress();
    void failSocket(const std::string& text);
    void feedbackFailed(const std::string& firstLine, const std::string& secondLine);
    void finishFeedback();
    void continueFeedbackWithMac(const std::string& mac);
    void writePagingRecord(const std::string& section);
    void confirmSelectedElement(const std::string& section);

    StationEnv& env_;
    std::unique_ptr<FlushingDialogs> dialogs_;
    std::unique_ptr<editor::ElementEditor> editor_;
    std::unique_ptr<PagingAdapter> pagingHost_;
    std::unique_ptr<discovery::Paging> paging_;
    std::unique_ptr<frmWaiting> waiting_;
    std::unique_ptr<frmDisclaimer> disclaimer_;
    std::unique_ptr<diag::Ping> ping_;
    protocol::FeedbackRecord feedback_;
    std::string boundAddress_;
    bool ended_ = false;
    bool running_ = false;
    bool lockHeld_ = false;
    bool feedbackInProgress_ = false;
};

}  // namespace nms::app
