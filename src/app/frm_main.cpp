#include "app/frm_main.h"

#include <cmath>

#include "app/frm_disclaimer.h"
#include "app/frm_waiting.h"
#include "diag/ping.h"
#include "discovery/paging.h"
#include "protocol/address.h"
#include "protocol/arp.h"
#include "protocol/level.h"
#include "protocol/paging.h"
#include "protocol/text.h"
#include "store/element_record.h"

namespace nms::app {

using ports::Answer;
using ports::MessageButtons;
using ports::MessageIcon;
using ports::Origin;
namespace rec = store::record;
namespace txt = protocol::text;

// Every message box waits for the operator, possibly for long: whatever the station has
// written must be on disk before one opens.
class frmMain::FlushingDialogs : public ports::Dialogs {
public:
    FlushingDialogs(ports::Dialogs& inner, store::ProfileStore& db) : inner_(inner), db_(db) {}
    Answer messageBox(const ports::MessageBox& box) override {
        db_.flush();
        return inner_.messageBox(box);
    }
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& proposed) override {
        db_.flush();
        return inner_.inputBox(prompt, title, proposed);
    }

private:
    ports::Dialogs& inner_;
    store::ProfileStore& db_;
};

// The scan's view of the main window.
class frmMain::PagingAdapter : public discovery::PagingHost {
public:
    explicit PagingAdapter(frmMain& m) : m_(m) {}
    ports::Scheduler& scheduler() override { return m_.env_.scheduler; }
    ports::EventGate& gate() override { return m_.env_.gate; }
    ports::SettingsStore& settings() override { return m_.env_.settings; }
    ports::UdpClient& mainSocket() override { return m_.udpClient; }
    store::ProfileStore& database() override { return m_.env_.db; }
    const std::string& databaseFile() const override { return m_.env_.databasePath; }
    Answer ask(const std::string& text, MessageIcon icon, MessageButtons buttons, Answer defaultButton,
               const std::string& title) override {
        return m_.msgBox(text, icon, buttons, defaultButton, title);
    }
    std::optional<std::string> askText(const std::string& prompt, const std::string& title,
                                       const std::string& proposed) override {
        return m_.dialogs().inputBox(prompt, title, proposed);
    }
    int databaseListCount() const override { return m_.lstHidden.listCount(); }
    void clearElementPanel() override { m_.clearElementPanel(); }
    void clearTree() override { m_.TreeView1.clear(); }
    void clearTreeAndLists() override { m_.clearTreeAndLists(); }
    void stopLevelMonitoring() override { m_.panel.chkGetVolume.setValue(0); }
    void setDiscovering(bool on) override { m_.AutoDiscoverAwaiting = on; }
    void rebuildTree() override { m_.Load_Config(); }

private:
    frmMain& m_;
};

frmMain::frmMain(StationEnv& env)
    : timerRemoteSent(env.scheduler, env.gate, 3000),
      tmrVolume(env.scheduler, env.gate, 50),
      udpClient(env.network, env.gate, protocol::kPortFeedback, protocol::kPortFeedback),
      env_(env),
      dialogs_(std::make_unique<FlushingDialogs>(env.dialogs, env.db)) {
    caption.setCaption("Vantrelo NG NMS");
    frmTreeView.setCaption("Elements");
    lblNMSIPAddr.setCaption("NMS interface:");
    using Kind = ports::Toolbar::Kind;
    Toolbar1.setItems({{Kind::Button, 1, "Discover elements", true},
                       {Kind::Button, 2, "Refresh list", true},
                       {Kind::Separator, 0, "", true},
                       {Kind::Button, 3, "Save changes", true},
                       {Kind::Separator, 0, "", true},
                       {Kind::Button, 4, "Start audio monitoring", true},
                       {Kind::Button, 5, "Stop audio monitoring", true}});

    editor_ = std::make_unique<editor::ElementEditor>(panel, *this);
    pagingHost_ = std::make_unique<PagingAdapter>(*this);
    paging_ = std::make_unique<discovery::Paging>(*pagingHost_);
    waiting_ = std::make_unique<frmWaiting>(*this);
    disclaimer_ = std::make_unique<frmDisclaimer>(env.settings);
    ping_ = std::make_unique<diag::Ping>(env.network.icmp(), *dialogs_, env.gate, panel.cmdPing, panel.txtElementIP);

    Toolbar1.onButtonClick = [this](int index) { Toolbar1_ButtonClick(index); };
    TreeView1.onNodeClick = [this](const ports::TreeView::Node& node) {
        ping_->abandon();  // an answer for the element shown before must not land on this one
        editor_->TreeView1_NodeClick(node);
    };
    TreeView1.onMouseUp = [this](int button) { TreeView1_MouseUp(button); };
    cmbNMSIPAddr.onClick = [this](Origin) { cmbNMSIPAddr_Click(); };
    udpClient.onDataArrival = [this](const ports::Datagram& d) { udpClient_DataArrival(d); };
    timerRemoteSent.onTimer = [this] { timerRemoteSent_Timer(); };
    tmrVolume.onTimer = [this] { RequestVolume(); };
    panel.chkGetVolume.onClick = [this](Origin) { chkGetVolume_Click(); };
    panel.cmdPing.onClick = [this] { cmdPing_Click(); };

    // A database that cannot be written is said once per run of failures, after the event in
    // progress (the failure may come from the flush that precedes a message box).
    env.db.onWriteFailed = [this](const std::string& path, const std::string& error) {
        env_.gate.dispatch(ports::EventGate::Kind::Posted, [this, path, error] {
            msgBox("The local database could not be saved:\r" + path + "\r" + error +
                       "\rChanges are kept and saved again with the next change.",
                   MessageIcon::Critical, MessageButtons::Ok, Answer::Ok);
        });
    };
}

frmMain::~frmMain() { env_.db.onWriteFailed = nullptr; }

ports::Dialogs& frmMain::dialogs() { return *dialogs_; }

Answer frmMain::msgBox(const std::string& text, MessageIcon icon, MessageButtons buttons, Answer defaultButton,
                       const std::string& title) {
    return dialogs().messageBox({text, title, icon, buttons, defaultButton});
}

void frmMain::endProgram(int status) {
    if (ended_) return;
    env_.db.flush();
    ended_ = true;
    timerRemoteSent.setEnabled(false);
    tmrVolume.setEnabled(false);
    udpClient.close();
    if (lockHeld_) env_.instanceLock.release();
    lockHeld_ = false;
    env_.gate.shutDown();
    env_.lifecycle.exitProgram(status);
}

// ---------------------------------------------------------------------------------------------
// Start-up and shutdown

bool frmMain::Form_Load() {
    // 1. The option word.
    const std::string option = txt::toUpper(env_.commandLine);
    if (option == "GPS") GpsdoVersion = true;
    else if (option == "LL") LowLatencyOption = true;

    // 2. The saved interface.
    strLocalNMSIPAddress = env_.settings.getOr(kSettingsApp, kSettingsSection, "NMS IP Address", "0.0.0.0");

    // 3. Audio types.
    AudioTypes = protocol::AudioTypeTable::standard();
    panel.cmbAudioType.clear();
    panel.cmbAudioType.addItems(AudioTypes.listNames());

    // 4. One station per user.
    if (!env_.instanceLock.tryAcquire()) {
        msgBox("Kestrova Vantrelo NG NMS is already running (check the icon in system tray)!", MessageIcon::Information,
               MessageButtons::Ok, Answer::Ok, "Kestrova Vantrelo NG NMS");
        endProgram(kExitAlreadyRunning);
        return false;
    }
    lockHeld_ = true;

    // 5. The notice, until it has been dismissed for good; start-up goes on once it is closed.
    long long eula = 0;
    const std::string eulaText = env_.settings.getOr(kSettingsApp, kSettingsSection, "EULA1", "0");
    if (!txt::parseInteger(txt::trim(eulaText), eula)) eula = 0;  // anything unreadable shows the notice
    if (eula == 0) {
        disclaimer_->open([this] { finishStartUp(); });
        return !ended_;
    }
    finishStartUp();
    return !ended_;
}

void frmMain::finishStartUp() {
    if (ended_) return;
    // 6. Monitoring buttons wait for an element.
    Toolbar1.setButtonEnabled(6, false);
    Toolbar1.setButtonEnabled(7, false);

    // 7. The element tree.
    Load_Config();
    if (ended_) return;

    // 8. The interface list (may bind the main socket when the saved interface is gone).
    FillInterfaceList();
    if (ended_) return;

    // 9. The main socket.
    if (udpClient.state() != ports::UdpSocket::State::Closed) udpClient.close();
    udpClient.localPort = protocol::kPortFeedback;
    if (!udpClient.bind(strLocalNMSIPAddress)) {
        msgBox("102 - Unable to use UDP port 2976: " + udpClient.errorDescription(), MessageIcon::Critical,
               MessageButtons::Ok, Answer::Ok);
        endProgram(kExitSocketFailure);
        return;
    }

    // 10. Title and buffer range.
    std::string title = "Vantrelo NG NMS v.3.7.8";
    if (GpsdoVersion) {
        title += " [GPSDO version] - Kestrova Broadcast";
        panel.scrlBuffer.setMax(23);
    } else if (LowLatencyOption) {
        title += " [Low Latency Option] - Kestrova Broadcast";
        panel.scrlBuffer.setMax(44);
    } else {
        title += " - Kestrova Broadcast";
        panel.scrlBuffer.setMax(23);
    }
    caption.setCaption(title);
    running_ = true;
    if (onStarted) onStarted();
}

void frmMain::Form_Unload() {
    env_.db.flush();
    timerRemoteSent.setEnabled(false);
    tmrVolume.setEnabled(false);
    udpClient.close();
    if (lockHeld_) env_.instanceLock.release();
    lockHeld_ = false;
    running_ = false;
}

void frmMain::Toolbar1_ButtonClick(int index) {
    if (index == 1) {
        StartAutoDiscovery();
    } else if (index == 2) {
        RefreshElementList();
    } else if (index == 4) {
        SaveConfiguration();
    } else if (index == 6) {
        panel.chkGetVolume.setValue(1);
        Toolbar1.setButtonEnabled(6, false);
        Toolbar1.setButtonEnabled(7, true);
    } else if (index == 7) {
        panel.chkGetVolume.setValue(0);
        Toolbar1.setButtonEnabled(6, true);
        Toolbar1.setButtonEnabled(7, false);
    }
}

void frmMain::TreeView1_MouseUp(int /*button*/) {
    // No context menu: a right click does nothing.
}

// ---------------------------------------------------------------------------------------------
// Interface selection

void frmMain::FillInterfaceList() {
    auto table = env_.network.interfaces().localAddresses();
    if (table.error != 0) {
        msgBox("Unable to read the local interface addresses (error " + std::to_string(table.error) + ").",
               MessageIcon::Critical, MessageButtons::Ok, Answer::Ok);
        endProgram(kExitInterfaceList);
        return;
    }
    std::vector<std::string> entries;
    for (auto& a : table.addresses)
        if (a != "127.0.0.1") entries.push_back(a);
    entries.emplace_back("0.0.0.0");
    cmbNMSIPAddr.clear();
    cmbNMSIPAddr.addItems(entries);
    int remembered = 0;
    for (int i = 0; i < cmbNMSIPAddr.listCount(); ++i)
        if (cmbNMSIPAddr.items()[static_cast<std::size_t>(i)] == strLocalNMSIPAddress) remembered = i;
    cmbNMSIPAddr.setListIndex(remembered);
}

void frmMain::cmbNMSIPAddr_Click() {
    const std::string chosen = cmbNMSIPAddr.text();
    if (chosen == env_.settings.getOr(kSettingsApp, kSettingsSection, "NMS IP Address", "0.0.0.0")) return;
    strLocalNMSIPAddress = chosen;
    env_.settings.set(kSettingsApp, kSettingsSection, "NMS IP Address", chosen);
    const auto port = udpClient.localPort;
    if (udpClient.state() != ports::UdpSocket::State::Closed) udpClient.close();
    if (!udpClient.bind(chosen, port) && running_) {
        msgBox("Unable to use UDP port " + std::to_string(port) + " on " + chosen + ": " + udpClient.errorDescription(),
               MessageIcon::Critical, MessageButtons::Ok, Answer::Ok);
    }
}

// ---------------------------------------------------------------------------------------------
// The element tree

void frmMain::clearTreeAndLists() {
    lstHidden.clear();
    TreeView1.clear();
    panel.cmbEncoders.clear();
    panel.cmbEncoders.addItem("<None>");
    panel.VUMeter.setWidth(0);
    frmTreeView.setCaption("Select element: (0 items)");
}

void frmMain::Load_Config() {
    auto& db = env_.db;
    const auto& path = env_.databasePath;
    clearTreeAndLists();

    if (!db.fileExists(path)) {
        msgBox("Local database is empty.\rPlease click 'Auto Discover' icon to probe the network.",
               MessageIcon::Information, MessageButtons::Ok, Answer::Ok, "Information");
    } else {
        std::vector<std::string> sections;
        db.LoadIniSectionsLB(sections, path);
        lstHidden.addItems(sections);
        if (lstHidden.listCount() < 1) {
            msgBox("Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network.",
                   MessageIcon::Information, MessageButtons::Ok, Answer::Ok, "Information");
        } else {
            // The whole tree is built before it is shown, without yielding, so a rebuild is never
            // interleaved with another one.
            std::vector<ports::TreeView::Node> nodes;
            std::vector<std::string> encoders;
            nodes.reserve(sections.size());
            for (const auto& section : lstHidden.items()) {
                const std::string mac = protocol::Decode_MAC(section);
                const double role = txt::leadingNumber(db.ReadFromINI(section, std::string(rec::kRole), path, ""));
                const std::string name = db.ReadFromINI(section, std::string(rec::kName), path, "");
                std::string text = name + " [" + mac + "]";
                if (role == rec::kRoleEncoder) {
                    encoders.push_back(text);
                    nodes.push_back({mac, std::move(text), kPictureEncoder, kPictureEncoder});
                } else {
                    nodes.push_back({mac, std::move(text), kPictureDecoder, kPictureDecoder});
                }
            }
            TreeView1.assign(std::move(nodes));
            panel.cmbEncoders.addItems(std::move(encoders));
        }
    }
    frmTreeView.setCaption("Select element: (" + std::to_string(TreeView1.nodeCount()) + " items)");
}

void frmMain::RefreshElementList() {
    TreeView1.clear();
    Load_Config();
    clearElementPanel();
}

void frmMain::clearElementPanel() {
    ping_->abandon();
    editor_->ClearElementPanel();
}

// ---------------------------------------------------------------------------------------------
// The main socket: commands, dispatch, time-out

std::string frmMain::shownElementAddress() {
    const std::string section = protocol::Encode_MAC(panel.lblElementMAC.caption());
    return env_.db.ReadFromINI(section, std::string(rec::kIp), env_.databasePath, "");
}

bool frmMain::OpenElementSocket(std::uint16_t remotePort, const std::string& failurePrefix,
                                std::span<const std::uint8_t> bytes, bool startReplyTimer) {
    // The socket stays bound on port 2976 between sends; it is rebound only when it is not bound
    // that way, so an answer already waiting in it is never thrown away by a rebind.
    if (udpClient.state() == ports::UdpSocket::State::Closed || udpClient.localPort != protocol::kPortFeedback ||
        boundAddress_ != strLocalNMSIPAddress) {
        if (udpClient.state() != ports::UdpSocket::State::Closed) udpClient.close();
        if (!udpClient.bind(strLocalNMSIPAddress, protocol::kPortFeedback)) {
            failSocket(failurePrefix + udpClient.errorDescription());
            return false;
        }
        boundAddress_ = strLocalNMSIPAddress;
    }
    udpClient.remotePort = remotePort;
    udpClient.remoteHost = shownElementAddress();
    if (!protocol::IsValidIP(udpClient.remoteHost)) {
        // A record without a usable address (edited by hand) is reported, not fatal: nothing
        // is wrong with the socket.
        msgBox(failurePrefix + "no valid address is stored for this element.", MessageIcon::Critical,
               MessageButtons::Ok, Answer::Ok);
        return false;
    }
    if (startReplyTimer) {
        timerRemoteSent.setEnabled(false);
        timerRemoteSent.setEnabled(true);
    }
    if (!udpClient.send(bytes)) {
        failSocket(failurePrefix + udpClient.errorDescription());
        return false;
    }
    return true;
}

void frmMain::failSocket(const std::string& text) {
    msgBox(text, MessageIcon::Critical, MessageButtons::Ok, Answer::Ok);
    endProgram(kExitSocketFailure);
}

void frmMain::SendCommandByte(std::uint8_t value, std::uint16_t remotePort) {
    const std::uint8_t bytes[2] = {value, 0};
    OpenElementSocket(remotePort, "103 - Unable to use UDP port " + std::to_string(remotePort) + ": ", bytes, false);
}

void frmMain::RequestVolume() {
    static constexpr std::uint8_t kVol[3] = {'V', 'O', 'L'};
    OpenElementSocket(protocol::kPortLevelAndDecoderCommand, "104 - Unable to use UDP port 2976: ", kVol, false);
}

bool frmMain::SendConfigurationBytes(std::span<const std::uint8_t> packet) {
    if (!OpenElementSocket(protocol::kPortFeedback, "101 - Unable to use UDP port 2976: ", packet, true)) return false;
    mySilentPing(udpClient.remoteHost);
    return true;
}

void frmMain::udpClient_DataArrival(const ports::Datagram& datagram) {
    const std::size_t n = datagram.bytes.size();
    if (n > 1201) ShowAudioLevel(datagram.bytes);
    else if (n != 0 && n <= 56 && n != 4) ProcessFeedback(datagram.bytes);
    // Anything else is not for the station.
}

void frmMain::timerRemoteSent_Timer() {
    timerRemoteSent.setEnabled(false);
    msgBox("Waiting for a response from Network Element has timed out!\rCannot save.", MessageIcon::Critical,
           MessageButtons::Ok, Answer::Ok, "Error!");
}

// ---------------------------------------------------------------------------------------------
// Level meter switch and display

void frmMain::chkGetVolume_Click() {
    if (panel.chkGetVolume.checked()) {
        tmrVolume.setEnabled(true);
    } else {
        tmrVolume.setEnabled(false);
        panel.lblVolume.setCaption("-oodBFS");
        panel.VUMeter.setWidth(0);
    }
}

double frmMain::Log10(double x) { return std::log(x) / std::log(10.0); }

void frmMain::ShowAudioLevel(const std::vector<std::uint8_t>& datagram) {
    const std::int32_t peak = protocol::levelPeak(datagram);
    if (!tmrVolume.enabled() || peak == 0) {
        panel.VUMeter.setWidth(0);
        panel.lblVolume.setCaption("-oodBFS");
        return;
    }
    const double r = peak / 8388608.0;
    panel.VUMeter.setWidth(static_cast<int>(std::nearbyint(r * 2100.0)));
    const double db = std::nearbyint(20.0 * Log10(r) * 10.0) / 10.0;
    panel.lblVolume.setCaption(txt::shortestNumber(db) + "dBFS");
}

// ---------------------------------------------------------------------------------------------
// Ping

void frmMain::cmdPing_Click() { ping_->cmdPing_Click(); }

void frmMain::mySilentPing(const std::string& strIPAddress) { ping_->mySilentPing(strIPAddress); }

bool frmMain::LookupMAC(const std::string& ip, std::string& mac, const std::string& separator) {
    if (!protocol::LookupMAC(env_.network.neighbours(), ip, mac, separator)) return false;
    sRemoteMacAddress2 = mac;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Discovery and save

void frmMain::StartAutoDiscovery() { paging_->StartAutoDiscovery(); }

void frmMain::SaveConfiguration() {
    // The checks and the send of the configuration arrive with the save flow; until then the
    // button says what it can.
    if (panel.lblElementMAC.caption() == "-")
        msgBox("No Network Element selected!\rCannot save.", MessageIcon::Critical, MessageButtons::Ok, Answer::Ok,
               "Error!");
}

}  // namespace nms::app
