#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "editor/properties_panel.h"
#include "ports/controls.h"
#include "ports/dialogs.h"
#include "ports/origin.h"
#include "protocol/audio_types.h"
#include "protocol/feedback.h"
#include "station/element_socket.h"
#include "station/station_context.h"
#include "store/profile_store.h"

namespace nms::editor {

// What the editor works on besides its panel: the main window's toolbar (the monitoring
// buttons follow the shown element), the level meter's timer (stopped when the layout
// changes), and the main socket (the one-byte level command).
struct EditorLinks {
    ports::Toolbar& toolbar;
    ports::Timer& levelTimer;
    station::ElementSocket& mainSocket;
};

// The element editor: loads a record into the properties panel and keeps the panel's rules
// (layout by role, audio and TX type, address fields, level, buffer and silence detector).
class ElementEditor {
public:
    ElementEditor(PropertiesPanel& panel, station::StationContext& context, EditorLinks links);

    // A node of the element tree was clicked: its key is the MAC text, its text name and MAC.
    void TreeView1_NodeClick(const ports::TreeView::Node& node);
    void ClearElementPanel();
    // Loads the shown element's record again, as a click on its node does. After the element
    // has confirmed a configuration the panel must show what was stored, not the values the
    // answer's comparison left in the controls (an encoder's buffer, say).
    void reloadShown();
    // Sets "Bound to" from the shown element's record; the encoder list is refilled (and its
    // selection lost) whenever the tree is rebuilt.
    void showBinding();
    void ApplyElementTypeLayout();

    // The element's answer to a configuration, shown: its role (false for a role the station
    // does not know), then its serial number, version, level, buffer and silence detector, each
    // brought into its control's range in the answer itself, which is what the record keeps.
    bool showConfirmedRole(int role);
    void showConfirmedAnswer(protocol::FeedbackRecord& answer);

    // Rules of the panel, run by their controls' change events and by the load.
    void cmbAudioType_Click();
    void cmbAudioTX_Click();
    void ResolveAES67Multicast();
    void ShowAttenuation();
    void scrlBuffer_Change();
    void cmbSilDetMode_Click();

    // The record section of the shown element (element key of lblElementMAC).
    std::string shownSection() const;

    // Further rules, wired to their controls by the constructor.
    void txtAES67Channel_KeyUp();
    // Sends and stores the level only when the operator moved the bar.
    void scrlAtten_Change(ports::Origin origin);
    // The one-byte command to the shown element; false when it did not go out (the failure has
    // been reported, and for a socket failure the program has ended).
    bool SendCommandByte(std::uint8_t value, std::uint16_t remotePort);
    void chkLowLatency_Click();
    void scrlSilDetLevel_Change();
    void scrlSilDetTime_Change();
    void txtElementName_LostFocus();
    void txtElementIP_Change();
    void txtElementMask_Change();
    void txtElementGW_Change();
    void txtRemoteIP_Change();

private:
    void wire();
    // A value of the shown element's record, or of the given section.
    std::string readShown(std::string_view key, std::string_view fallback);
    std::string readFrom(const std::string& section, std::string_view key,
                         std::string_view fallback);
    // The load's steps by role.
    void loadEncoder(const std::string& section);
    void loadDecoder(const std::string& section);
    // The channel of the multicast address in txtRemoteIP (empty when it has none).
    void channelFromAddress();
    void setAes67ChannelToolTip(const std::string& channel);
    bool isAes67TypeSelected() const;
    PropertiesPanel& ui_;
    station::StationContext& context_;
    EditorLinks links_;
};

}  // namespace nms::editor
