#pragma once

#include "ports/controls.h"

namespace nms::editor {

// The controls of the main window's right-hand side: the frame "Element properties:" with the
// settings of the shown element, and the frame "Diagnostics:". Pure state, constructed in its
// design state; the rules that drive it live in ElementEditor and the diagnostics.
struct PropertiesPanel {
    PropertiesPanel();

    using Label = ports::Label;
    using TextBox = ports::TextBox;
    using ListControl = ports::ListControl;
    using CheckBox = ports::CheckBox;
    using ScrollBar = ports::ScrollBar;
    using Button = ports::Button;
    using ImageBar = ports::ImageBar;

    Label frmProperties{"frmProperties"};  // frame caption "Element properties:"

    // Identity
    Label lblCapElementType{"lblCapElementType"};
    Label lblElementType{"lblElementType"};  // "-", "ENCODER", "DECODER", "UNKNOWN"
    Label lblCapElementMAC{"lblCapElementMAC"};
    Label lblElementMAC{"lblElementMAC"};  // the shown element's MAC text; "-" for none
    Label lblCapSerialNumber{"lblCapSerialNumber"};
    Label lblSerialNumber{"lblSerialNumber"};
    Label lblCapVersion{"lblCapVersion"};  // "DSP version:"
    Label lblVersion{"lblVersion"};

    // Network
    Label lblCapElementName{"lblCapElementName"};
    TextBox txtElementName{"txtElementName"};
    Label lblCapElementIP{"lblCapElementIP"};
    TextBox txtElementIP{"txtElementIP"};
    Label lblCapElementMask{"lblCapElementMask"};
    TextBox txtElementMask{"txtElementMask"};
    Label lblCapElementGW{"lblCapElementGW"};
    TextBox txtElementGW{"txtElementGW"};
    Label lblCapVLAN{"lblCapVLAN"};
    Label lblCapVLANAudio{"lblCapVLANAudio"};  // "Audio:"
    TextBox txtVLAN_Audio{"txtVLAN_Audio"};
    Label lblCapVLANOM{"lblCapVLANOM"};  // "O&M:"
    TextBox txtVLAN_OM{"txtVLAN_OM"};

    // Audio
    Label Label9{"Label9"};  // "Audio source:"
    ListControl cmbAudioInput{"cmbAudioInput"};
    Label lblCapAudioType{"lblCapAudioType"};
    ListControl cmbAudioType{"cmbAudioType"};
    Label lblCapCompression{"lblCapCompression"};  // "Compression:"
    CheckBox chkEnableFLAC{"chkEnableFLAC"};
    Label lblCapNarrowBand{"lblCapNarrowBand"};
    CheckBox chkNarrowBand{"chkNarrowBand"};
    Label Label10{"Label10"};  // "TX type:"
    ListControl cmbAudioTX{"cmbAudioTX"};
    Label Label7{"Label7"};  // "Decoder IP:" or "Multicast IP:"
    TextBox txtRemoteIP{"txtRemoteIP"};
    Label Label27{"Label27"};  // "AES67 Chann:"
    TextBox txtAES67Channel{"txtAES67Channel"};
    Label lblCapEncoders{"lblCapEncoders"};
    ListControl cmbEncoders{"cmbEncoders"};

    // Level, buffer, silence detector, SFN, low latency
    Label Label16{"Label16"};  // "Audio level:"
    ScrollBar scrlAtten{"scrlAtten"};
    Label lblAttenDB{"lblAttenDB"};
    Label Label20{"Label20"};  // "Buffer size:"
    ScrollBar scrlBuffer{"scrlBuffer"};
    Label lblLatency{"lblLatency"};
    Label Label22{"Label22"};  // "Audio routing:"
    ListControl cmbSilDetMode{"cmbSilDetMode"};
    Label Label24{"Label24"};  // "Threshold:"
    ScrollBar scrlSilDetLevel{"scrlSilDetLevel"};
    Label lblSilDetLevel{"lblSilDetLevel"};
    Label Label26{"Label26"};  // "Timeout:"
    ScrollBar scrlSilDetTime{"scrlSilDetTime"};
    Label lblSilDetTime{"lblSilDetTime"};
    Label lblCapSFN{"lblCapSFN"};
    CheckBox chkSFNEnabled{"chkSFNEnabled"};  // "On"
    Label lblCapLowLatency{"lblCapLowLatency"};  // "Low latency:"
    CheckBox chkLowLatency{"chkLowLatency"};  // "Enabled"

    // Firmware row: shown, never enabled.
    Label lblCapUploadFW{"lblCapUploadFW"};  // "Upload FW:"
    Button cmdBrowseFW{"cmdBrowseFW"};

    // Diagnostics
    Label frmDiagnostics{"frmDiagnostics"};  // "Diagnostics:"
    Label lblCapPing{"lblCapPing"};  // "Ping:"
    Button cmdPing{"cmdPing"};
    Label lblCapVolume{"lblCapVolume"};  // "Audio level:"
    ImageBar VUMeter{"VUMeter"};
    Label lblVolume{"lblVolume"};
    CheckBox chkGetVolume{"chkGetVolume"};  // invisible switch of the level meter
    Label lblCapStats{"lblCapStats"};
    Button cmdGetStats{"cmdGetStats"};  // "View..."
    Label lblCapAdjust{"lblCapAdjust"};
    Button cmdAdjust{"cmdAdjust"};  // "Adjust..."

private:
    // The design state, one group of rows at a time, in the order the frame shows them.
    void setUpIdentity();
    void setUpNetwork();
    void setUpAudio();
    void setUpLevelAndSilenceDetector();
    void setUpFirmware();
    void setUpDiagnostics();
};

}  // namespace nms::editor
