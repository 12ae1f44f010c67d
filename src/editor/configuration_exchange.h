#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "editor/element_editor.h"
#include "editor/frm_waiting.h"
#include "editor/properties_panel.h"
#include "ports/controls.h"
#include "ports/signal.h"
#include "ports/udp_client.h"
#include "protocol/feedback.h"
#include "station/element_socket.h"
#include "station/station_context.h"

namespace nms::editor {

struct SettingChange;

// What the exchange works with besides the panel and the station context, given once.
struct ExchangeLinks {
    ElementEditor& editor;
    station::ElementSocket& mainSocket;
    // "Save changes" is off while a send waits for its answer.
    ports::Toolbar& toolbar;
    // mySilentPing: the ping that puts the element into the neighbour table.
    std::function<void(const std::string& ip)> silentPing;
    // Load_Config: the element tree built again from the database.
    std::function<void()> rebuildTree;
    // An answer that arrives during a scan belongs to the scan: without its MAC address yet,
    // and with it (after a MAC wait that a scan overtook).
    std::function<void(const std::string& ip, const protocol::FeedbackRecord& answer)> scanAnswer;
    std::function<void(const std::string& ip, const std::string& mac,
                       const protocol::FeedbackRecord& answer)>
        scanAnswerWithMac;
};

// The configuration exchange with the shown element: the save checks and the send, the reply
// time-out, then the element's feedback on the main port, the MAC wait that names its record,
// and the confirmation into the database and (through the editor) the panel. The feedback of
// a paging scan passes through the same handler and is handed to the scan.
class ConfigurationExchange {
public:
    ConfigurationExchange(PropertiesPanel& panel, station::StationContext& context,
                          ExchangeLinks links);

    // "Save changes": the checks, the confirmation with what changes, the send.
    void SaveConfiguration();
    // The next save may give the shown element the name that record holds, and with `address`
    // its address: a replacement unit taking over from the unit of that record (its address
    // only once that unit no longer answers there).
    void allowReplacing(std::string section, bool address) {
        replaced_ = std::move(section);
        replacedAddress_ = address;
    }
    void SendConfiguration();
    // The configuration send: the packet goes out with the reply time-out started just before,
    // then the element is pinged silently. False when nothing was sent (the failure has been
    // reported, and for a socket failure the program has ended).
    bool SendConfigurationBytes(std::span<const std::uint8_t> packet);
    // True while a configuration send waits for the element's answer.
    bool awaitingConfigurationAnswer() const { return timerRemoteSent.enabled(); }
    void timerRemoteSent_Timer();

    // A feedback datagram on the main port.
    void ProcessFeedback(const std::vector<std::uint8_t>& datagram);
    // Whether a feedback datagram is let into the event queue at all (see the late feedback in
    // configuration_exchange.cpp).
    bool acceptFeedback(const std::vector<std::uint8_t>& datagram);

    // How a save ended, for watchers, after the box that said it: confirmed setting by
    // setting, answered otherwise (a setting differs, another element answered, a bad answer),
    // not answered in time, not sent (a check, the operator's No, no address stored), or sent
    // and refused by the network (no route, the link down).
    enum class SaveEnd { Confirmed, Differs, NotAnswered, NotSent, SendFailed };
    ports::Signal<SaveEnd> saveEnded;

    frmWaiting& waiting() { return waiting_; }
    // The address of the element whose feedback is handled (or was last).
    const std::string& responseAddress() const { return UDP_Response_IP; }
    const protocol::FeedbackRecord& feedbackRecord() const { return feedback_; }

    ports::Timer timerRemoteSent;

private:
    bool LookupMAC(const std::string& ip, std::string& mac, const std::string& separator);
    void endConfigurationWait();
    void feedbackFailed(const std::string& firstLine, const std::string& secondLine);
    void finishFeedback();
    void continueFeedbackWithMac(const std::string& mac);
    void confirmSelectedElement(const std::string& section);
    void announceConfirmedSave(const std::vector<SettingChange>& changes);
    void endLateRun();
    bool ended() const { return context_.ended(); }

    PropertiesPanel& panel_;
    station::StationContext& context_;
    ExchangeLinks links_;
    frmWaiting waiting_;
    protocol::FeedbackRecord feedback_;
    std::string UDP_Response_IP;
    std::string sRemoteMacAddress2;
    bool feedbackInProgress_ = false;
    // Feedback queued behind an earlier one's box or MAC wait ("late"), see the .cpp.
    bool feedbackWaited_ = false;
    bool lateCountOpen_ = false;
    bool lateTreeRebuild_ = false;
    int lateRuns_ = 0;
    std::uint64_t lateRejected_ = 0;
    std::string replaced_;
    bool replacedAddress_ = false;
};

}  // namespace nms::editor
