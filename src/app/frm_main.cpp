#include "app/frm_main.h"

#include <algorithm>

#include "app/frm_disclaimer.h"
#include "diag/level_meter.h"
#include "editor/configuration_exchange.h"
#include "diag/ping.h"
#include "discovery/paging.h"
#include "monitor/memory_journal.h"
#include "monitor/plant_monitor.h"
#include "protocol/address.h"
#include "protocol/element_key.h"
#include "protocol/dispatch.h"
#include "protocol/paging.h"
#include "protocol/text.h"
#include "sfn/frm_adjust.h"
#include "stats/frm_statistics.h"
#include "store/element_record.h"

namespace nms::app {

using ports::Answer;
using ports::MessageButtons;
using ports::MessageIcon;
using ports::Origin;
namespace rec = store::record;
namespace txt = protocol::text;

frmMain::frmMain(station::StationEnv& env)
    : context_(std::make_unique<station::StationContext>(env)),
      mainSocket_(std::make_unique<station::ElementSocket>(*context_, protocol::kPortFeedback, protocol::kPortFeedback)),
      udpClient(mainSocket_->client()),
      GpsdoVersion(context_->GpsdoVersion),
      LowLatencyOption(context_->LowLatencyOption),
      strLocalNMSIPAddress(context_->strLocalNMSIPAddress),
      AudioTypes(context_->AudioTypes),
      AutoDiscoverAwaiting(context_->AutoDiscoverAwaiting) {
    setUpCaptionsAndToolbar();
    makeParts(env);
    connectEvents();
    context_->atEnd([this] { mainSocket_->close(); });
    watchDatabaseWrites(env);
}

void frmMain::setUpCaptionsAndToolbar() {
    caption.setCaption("Vantrelo NG NMS");
    frmTreeView.setCaption("Elements");
    lblNMSIPAddr.setCaption("NMS interface:");
    using Kind = ports::Toolbar::Kind;
    namespace tb = station::toolbar;
    Toolbar1.setItems({{Kind::Button, tb::kPictureDiscover, "Discover elements", true},
                       {Kind::Button, tb::kPictureRefresh, "Refresh list", true},
                       {Kind::Separator, 0, "", true},
                       {Kind::Button, tb::kPictureSave, "Save changes", true},
                       {Kind::Separator, 0, "", true},
                       {Kind::Button, tb::kPictureStartMonitoring, "Start audio monitoring", true},
                       {Kind::Button, tb::kPictureStopMonitoring, "Stop audio monitoring", true}});
}

// The parts of the window, each on the shared context and the controls it drives, and the links
// that let one hand its answers to another.
void frmMain::makeParts(station::StationEnv& env) {
    meter_ = std::make_unique<diag::LevelMeter>(*context_, panel, Toolbar1, *mainSocket_);
    editor_ = std::make_unique<editor::ElementEditor>(
        panel, *context_, editor::EditorLinks{Toolbar1, meter_->tmrVolume, *mainSocket_});
    paging_ = std::make_unique<discovery::Paging>(*context_, udpClient, lstHidden);
    paging_->onScanConfirmed = [this] { clearElementPanel(); };
    paging_->onScanStarted = [this] { panel.chkGetVolume.setValue(0); };
    // The list shows the database as it stands: emptied only once the request has gone out and
    // the database is replaced, not by a scan that stops before it (its box says why).
    paging_->onRequestSent = [this] { clearTreeAndLists(); };
    paging_->onScanEnded = [this] { Load_Config(); };
    disclaimer_ = std::make_unique<frmDisclaimer>(env.settings);
    ping_ = std::make_unique<diag::Ping>(env.network.icmp(), context_->dialogs(), env.gate, panel.cmdPing,
                                         panel.txtElementIP);
    exchange_ = std::make_unique<editor::ConfigurationExchange>(
        panel, *context_,
        editor::ExchangeLinks{*editor_, *mainSocket_, Toolbar1, [this](const std::string& ip) { mySilentPing(ip); },
                              [this] { Load_Config(); },
                              [this](const std::string& ip, const protocol::FeedbackRecord& answer) {
                                  paging_->takeAnswer(ip, answer);
                              },
                              [this](const std::string& ip, const std::string& mac,
                                     const protocol::FeedbackRecord& answer) { paging_->storeAnswer(ip, mac, answer); }});
    statistics_ = std::make_unique<stats::frmStatistics>(*context_);
    adjust_ = std::make_unique<sfn::frmAdjust>(*context_);
    ownJournal_ = std::make_unique<monitor::MemoryJournal>();
    monitor_ = std::make_unique<monitor::PlantMonitor>(*context_, env.journal ? *env.journal : *ownJournal_);
}

// The operator's events and the main port's datagrams, to their handlers.
void frmMain::connectEvents() {
    context_->onOperatorChange = [this](const std::string& mac, const std::string& name,
                                        const std::string& what, const std::string& from,
                                        const std::string& to) {
        std::string before = from;
        // A window that shows no counters resets them too: the counts before are then the
        // monitor's last reading of the element, when it has one.
        if (before.empty() && what == "counters reset") {
            const auto* e = monitor_->find(mac);
            if (e && e->counted) before = stats::countersText(e->record);
        }
        monitor_->note({0, mac, name, "info", what, before, to, ""});
    };

    Toolbar1.onButtonClick = [this](int index) { Toolbar1_ButtonClick(index); };
    TreeView1.onNodeClick = [this](const ports::TreeView::Node& node) {
        ping_->abandon();  // an answer for the element shown before must not land on this one
        editor_->TreeView1_NodeClick(node);
    };
    TreeView1.onMouseUp = [this](int button) { TreeView1_MouseUp(button); };
    cmbNMSIPAddr.onClick = [this](Origin) { cmbNMSIPAddr_Click(); };
    udpClient.onDataArrival = [this](const ports::Datagram& d) { udpClient_DataArrival(d); };
    udpClient.acceptIncoming = [this](const ports::Datagram& d) { return acceptMainPortDatagram(d); };
    panel.chkGetVolume.onClick = [this](Origin) { meter_->chkGetVolume_Click(); };
    panel.cmdPing.onClick = [this] { cmdPing_Click(); };
    panel.cmdGetStats.onClick = [this] { cmdGetStats_Click(); };
    panel.cmdAdjust.onClick = [this] { cmdAdjust_Click(); };
}

void frmMain::watchDatabaseWrites(station::StationEnv& env) {
    // A database that cannot be written is said once per run of failures, after the event in
    // progress (the failure may come from the flush that precedes a message box).
    env.db.onWriteFailed = [this](const std::string& path, const std::string& error) {
        context_->gate().dispatch(ports::EventGate::Kind::Posted, [this, path, error] {
            msgBox("The local database could not be saved:\r" + path + "\r" + error +
                       "\rChanges are kept and saved again with the next change.",
                   MessageIcon::Critical, MessageButtons::Ok, Answer::Ok);
        });
    };
}

frmMain::~frmMain() { context_->db().onWriteFailed = nullptr; }

Answer frmMain::msgBox(const std::string& text, MessageIcon icon, MessageButtons buttons, Answer defaultButton,
                       const std::string& title) {
    return context_->msgBox(text, icon, buttons, defaultButton, title);
}

// ---------------------------------------------------------------------------------------------
// Start-up and shutdown

bool frmMain::Form_Load() {
    auto& ctx = *context_;
    // 1. The option word.
    const std::string option = txt::toUpper(ctx.env.commandLine);
    if (option == "GPS") GpsdoVersion = true;
    else if (option == "LL") LowLatencyOption = true;

    // 2. The saved interface.
    strLocalNMSIPAddress = ctx.setting(station::settings::kInterface);

    // 3. Audio types.
    AudioTypes = protocol::AudioTypeTable::standard();
    panel.cmbAudioType.clear();
    panel.cmbAudioType.addItems(AudioTypes.listNames());

    // 4. One station per user.
    if (!ctx.acquireInstanceLock()) {
        if (const std::string why = ctx.env.instanceLock.creationFailure(); !why.empty()) {
            msgBox(why, MessageIcon::Critical, MessageButtons::Ok, Answer::Ok,
                   "Kestrova Vantrelo NG NMS");
            endProgram(station::kExitLockUnavailable);
            return false;
        }
        msgBox("Kestrova Vantrelo NG NMS is already running (check the icon in system tray)!", MessageIcon::Information,
               MessageButtons::Ok, Answer::Ok, "Kestrova Vantrelo NG NMS");
        endProgram(station::kExitAlreadyRunning);
        return false;
    }
    // What was set up once the lock was held (the demo chooses its own interface) is read again.
    strLocalNMSIPAddress = ctx.setting(station::settings::kInterface);

    // 5. The notice, until it has been dismissed for good; start-up goes on once it is closed.
    long long eula = 0;
    const std::string eulaText = ctx.setting(station::settings::kNoticeAccepted);
    if (!txt::parseInteger(txt::trim(eulaText), eula)) eula = 0;  // anything unreadable shows the notice
    if (eula == 0) {
        disclaimer_->open([this] { finishStartUp(); });
        return !ended();
    }
    finishStartUp();
    return !ended();
}

void frmMain::finishStartUp() {
    if (ended()) return;
    // 6. Monitoring buttons wait for an element.
    Toolbar1.setButtonEnabled(station::toolbar::kStartMonitoring, false);
    Toolbar1.setButtonEnabled(station::toolbar::kStopMonitoring, false);

    // 7. The element tree.
    Load_Config();
    if (ended()) return;

    // 8. The interface list (may bind the main socket when the saved interface is gone).
    FillInterfaceList();
    if (ended()) return;

    // 9. The main socket.
    if (!mainSocket_->bind()) {
        msgBox("102 - Unable to use UDP port 2976: " + udpClient.errorDescription(), MessageIcon::Critical,
               MessageButtons::Ok, Answer::Ok);
        endProgram(station::kExitSocketFailure);
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

    // The plant monitor, when the operator left it on.
    monitor_->setInterval(static_cast<int>(context_->numberSetting(station::settings::kMonitorInterval)));
    if (context_->env.monitorAsRemembered &&
        context_->setting(station::settings::kMonitorPlant) == "1")
        monitor_->start();
    if (onStarted) onStarted();
}

void frmMain::Form_Unload() {
    context_->db().flush();
    exchange_->timerRemoteSent.setEnabled(false);
    meter_->tmrVolume.setEnabled(false);
    mainSocket_->close();
    context_->releaseInstanceLock();
    running_ = false;
}

void frmMain::Toolbar1_ButtonClick(int index) {
    namespace tb = station::toolbar;
    if (index == tb::kDiscover) {
        StartAutoDiscovery();
    } else if (index == tb::kRefresh) {
        RefreshElementList();
    } else if (index == tb::kSave) {
        exchange_->SaveConfiguration();
    } else if (index == tb::kStartMonitoring) {
        panel.chkGetVolume.setValue(1);
        Toolbar1.setButtonEnabled(tb::kStartMonitoring, false);
        Toolbar1.setButtonEnabled(tb::kStopMonitoring, true);
    } else if (index == tb::kStopMonitoring) {
        panel.chkGetVolume.setValue(0);
        Toolbar1.setButtonEnabled(tb::kStartMonitoring, true);
        Toolbar1.setButtonEnabled(tb::kStopMonitoring, false);
    }
}

void frmMain::TreeView1_MouseUp(int /*button*/) {
    // No context menu: a right click does nothing.
}

// ---------------------------------------------------------------------------------------------
// Interface selection

void frmMain::FillInterfaceList() {
    auto table = context_->network().interfaces().localAddresses();
    if (table.error != 0) {
        msgBox("Unable to read the local interface addresses (error " + std::to_string(table.error) + ").",
               MessageIcon::Critical, MessageButtons::Ok, Answer::Ok);
        endProgram(station::kExitInterfaceList);
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
    if (chosen == context_->setting(station::settings::kInterface)) return;
    strLocalNMSIPAddress = chosen;
    context_->setSetting(station::settings::kInterface, chosen);
    if (!mainSocket_->bind() && running_) {
        msgBox("Unable to use UDP port " + std::to_string(mainSocket_->localPort()) + " on " + chosen + ": " +
                   udpClient.errorDescription(),
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
    auto& db = context_->db();
    const auto& path = context_->databasePath();
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
            namespace tb = station::toolbar;
            std::vector<ports::TreeView::Node> nodes;
            std::vector<std::string> encoders;
            nodes.reserve(sections.size());
            for (const auto& section : lstHidden.items()) {
                const std::string mac = protocol::ElementIdentity(section);
                // One walk over the record rather than a lookup per key: the first line of a
                // key is the one a lookup finds.
                double role = 0;
                std::string text;
                bool roleSeen = false, nameSeen = false;
                db.forEachKey(section, path, [&](std::string_view key, std::string_view value) {
                    if (!roleSeen && store::sameName(key, rec::kRole)) {
                        roleSeen = true;
                        role = txt::leadingNumber(value);
                    } else if (!nameSeen && store::sameName(key, rec::kName)) {
                        nameSeen = true;
                        text = value;
                    }
                    return !(roleSeen && nameSeen);
                });
                text += " [" + mac + "]";
                if (role == rec::kRoleEncoder) {
                    encoders.push_back(text);
                    nodes.push_back({mac, std::move(text), tb::kPictureEncoder, tb::kPictureEncoder});
                } else {
                    nodes.push_back({mac, std::move(text), tb::kPictureDecoder, tb::kPictureDecoder});
                }
            }
            TreeView1.assign(std::move(nodes));
            panel.cmbEncoders.addItems(std::move(encoders));
            editor_->showBinding();
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
    // With no element shown there is nothing to monitor.
    meter_->stop();
    Toolbar1.setButtonEnabled(station::toolbar::kStartMonitoring, false);
    Toolbar1.setButtonEnabled(station::toolbar::kStopMonitoring, false);
    editor_->ClearElementPanel();
}

// ---------------------------------------------------------------------------------------------
// The main socket: commands, dispatch, time-out

bool frmMain::SendCommandByte(std::uint8_t value, std::uint16_t remotePort) {
    return editor_->SendCommandByte(value, remotePort);
}

void frmMain::udpClient_DataArrival(const ports::Datagram& datagram) {
    const auto route = protocol::routeOnMainPort(datagram.bytes.size());
    if (route == protocol::MainPortRoute::LevelReply) meter_->ShowAudioLevel(datagram.bytes);
    else if (route == protocol::MainPortRoute::Feedback) exchange_->ProcessFeedback(datagram.bytes);
    // Anything else is not for the station (and normally never gets this far).
}

// ---------------------------------------------------------------------------------------------
// Ping, statistics, SFN

editor::frmWaiting& frmMain::waiting() { return exchange_->waiting(); }

bool frmMain::acceptMainPortDatagram(const ports::Datagram& datagram) {
    const auto route = protocol::routeOnMainPort(datagram.bytes.size());
    if (route == protocol::MainPortRoute::Drop) return false;
    // Without monitoring a level reply would only show silence, which the meter shows already.
    if (route == protocol::MainPortRoute::LevelReply) return meter_->tmrVolume.enabled();
    if (route == protocol::MainPortRoute::Feedback) return exchange_->acceptFeedback(datagram.bytes);
    return true;
}

void frmMain::cmdPing_Click() { ping_->cmdPing_Click(); }

void frmMain::mySilentPing(const std::string& strIPAddress) { ping_->mySilentPing(strIPAddress); }

void frmMain::cmdGetStats_Click() { statistics_->open(); }

void frmMain::cmdAdjust_Click() { adjust_->open(); }

// ---------------------------------------------------------------------------------------------
// Plant monitor

bool frmMain::plantMonitoring() const { return monitor_->running(); }

void frmMain::setPlantMonitoring(bool on) {
    context_->setSetting(station::settings::kMonitorPlant, on ? "1" : "0");
    if (on) monitor_->start();
    else monitor_->stop();
}

// ---------------------------------------------------------------------------------------------
// Discovery

discovery::ScanStart frmMain::StartAutoDiscovery() { return paging_->StartAutoDiscovery(); }

}  // namespace nms::app
