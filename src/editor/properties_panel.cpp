#include "editor/properties_panel.h"

namespace nms::editor {

PropertiesPanel::PropertiesPanel() {
    frmProperties.setCaption("Element properties:");
    setUpIdentity();
    setUpNetwork();
    setUpAudio();
    setUpLevelAndSilenceDetector();
    setUpFirmware();
    setUpDiagnostics();
}

void PropertiesPanel::setUpIdentity() {
    lblCapElementType.setCaption("Element type:");
    lblElementType.setCaption("-");
    lblCapElementMAC.setCaption("MAC address:");
    lblElementMAC.setCaption("-");
    lblCapSerialNumber.setCaption("Serial number:");
    lblSerialNumber.setCaption("-");
    lblCapVersion.setCaption("DSP version:");
    lblVersion.setCaption("-");
}

void PropertiesPanel::setUpNetwork() {
    lblCapElementName.setCaption("Element name:");
    txtElementName.maxLength = 16;
    txtElementName.setToolTip("Max 16 chars");
    lblCapElementIP.setCaption("Element IP:");
    txtElementIP.maxLength = 15;
    lblCapElementMask.setCaption("Element Mask:");
    txtElementMask.maxLength = 15;
    lblCapElementGW.setCaption("Element GW:");
    txtElementGW.maxLength = 15;
    lblCapVLAN.setCaption("VLAN:");
    lblCapVLANAudio.setCaption("Audio:");
    lblCapVLANOM.setCaption("O&M:");
    for (TextBox* vlan : {&txtVLAN_Audio, &txtVLAN_OM}) {
        vlan->maxLength = 4;
        vlan->setToolTip("Range: 1-4095");
        vlan->setText("1");
        vlan->setEnabled(false);
    }
}

void PropertiesPanel::setUpAudio() {
    Label9.setCaption("Audio source:");
    cmbAudioInput.addItems({"Digital", "Analog BAL", "Analog UNB"});
    lblCapAudioType.setCaption("Audio type:");
    lblCapCompression.setCaption("Compression:");
    chkEnableFLAC.setCaption("Enabled");
    chkEnableFLAC.setToolTip("Enable option FLAC losless compression");
    chkEnableFLAC.setEnabled(false);
    lblCapNarrowBand.setCaption("Narrow band:");
    chkNarrowBand.setCaption("Enabled");
    chkNarrowBand.setToolTip("If you don't use RDS2 or SCA subcarriers, click this to reduce bandwidth");
    Label10.setCaption("TX type:");
    cmbAudioTX.addItems({"Unicast", "Multicast"});
    Label7.setCaption("Decoder IP:");
    txtRemoteIP.maxLength = 15;
    Label27.setCaption("AES67 Chann:");
    txtAES67Channel.maxLength = 15;
    txtAES67Channel.setEnabled(false);
    Label27.setEnabled(false);
    lblCapEncoders.setCaption("Bound to:");
}

void PropertiesPanel::setUpLevelAndSilenceDetector() {
    Label16.setCaption("Audio level:");
    scrlAtten.setRange(14, 255);
    scrlAtten.setValue(255);
    lblAttenDB.setCaption("dB");
    Label20.setCaption("Buffer size:");
    scrlBuffer.setRange(0, 23);
    lblLatency.setCaption("0mS");
    Label22.setCaption("Audio routing:");
    cmbSilDetMode.addItems({"Auto detect", "Force internal", "Force external", "On packet loss!"});
    Label24.setCaption("Threshold:");
    Label24.setToolTip("Silence detector trigger level");
    scrlSilDetLevel.setRange(1, 154);
    scrlSilDetLevel.setValue(1);
    lblSilDetLevel.setCaption("0dBu");
    Label26.setCaption("Timeout:");
    Label26.setToolTip("Silence detector time countdown");
    scrlSilDetTime.setRange(1, 220);
    scrlSilDetTime.setValue(1);
    lblSilDetTime.setCaption("0Sec");
    lblCapSFN.setCaption("SFN:");
    chkSFNEnabled.setCaption("On");
    chkSFNEnabled.setToolTip("Enable PTP Sync");
    lblCapLowLatency.setCaption("Low latency:");
    chkLowLatency.setCaption("Enabled");
    chkLowLatency.setToolTip("Enable low latency (1.25mS) option");
}

void PropertiesPanel::setUpFirmware() {
    lblCapUploadFW.setCaption("Upload FW:");
    cmdBrowseFW.setCaption("Browse...");
    cmdBrowseFW.setEnabled(false);
}

void PropertiesPanel::setUpDiagnostics() {
    frmDiagnostics.setCaption("Diagnostics:");
    lblCapPing.setCaption("Ping:");
    cmdPing.setCaption("<Click to test>");
    cmdPing.setToolTip("Test ping from NMS");
    cmdPing.setBackColor(ports::kLightYellow);
    lblCapVolume.setCaption("Audio level:");
    lblVolume.setCaption("-oodBFS");
    chkGetVolume.setCaption("?");
    chkGetVolume.setToolTip("Show audio level");
    chkGetVolume.setVisible(false);
    lblCapStats.setCaption("Statistics:");
    cmdGetStats.setCaption("View...");
    cmdGetStats.setEnabled(false);
    lblCapAdjust.setCaption("SFN delay:");
    cmdAdjust.setCaption("Adjust...");
    cmdAdjust.setEnabled(false);
}

}  // namespace nms::editor
