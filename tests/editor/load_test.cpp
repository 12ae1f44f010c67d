#include "editor_fixture.h"
#include "station/main_toolbar.h"

namespace nms::testing {
namespace {

using ports::kLightYellow;
using ports::kSystemWindowBackground;

TEST_F(EditorTest, LoadsAnEncoderIntoThePanel) {
    ui.cmdPing.setBackColor(0x00FF00);
    load(kEncoderMac, encoderRecord());

    EXPECT_EQ(ui.lblElementType.caption(), "ENCODER");
    EXPECT_EQ(ui.lblElementMAC.caption(), kEncoderMac);
    EXPECT_EQ(ui.txtElementName.text(), "STUDIO A        ");
    EXPECT_EQ(ui.txtElementIP.text(), "192.168.1.20");
    EXPECT_EQ(ui.txtElementMask.text(), "255.255.255.0");
    EXPECT_EQ(ui.txtElementGW.text(), "192.168.1.1");
    EXPECT_EQ(ui.cmbAudioInput.listIndex(), 1);
    EXPECT_EQ(ui.cmbAudioType.listIndex(), 1);  // code 16, L/R HD
    EXPECT_EQ(ui.cmbAudioType.toolTip(), "L/R High Definition (2.4Mbps)");
    EXPECT_EQ(ui.cmbAudioTX.listIndex(), 0);
    EXPECT_EQ(ui.lblVersion.caption(), "3.7");
    EXPECT_EQ(ui.lblSerialNumber.caption(), "1234");
    EXPECT_EQ(ui.cmbEncoders.listIndex(), 0);
    EXPECT_EQ(ui.Label7.caption(), "Decoder IP:");
    EXPECT_EQ(ui.txtRemoteIP.text(), "192.168.1.30");
    EXPECT_TRUE(ui.cmbAudioTX.enabled());
    EXPECT_TRUE(ui.scrlAtten.enabled());
    EXPECT_EQ(ui.scrlAtten.value(), 200);
    EXPECT_EQ(ui.lblAttenDB.caption(), "-27.5 dB");
    EXPECT_EQ(ui.cmdPing.caption(), "<Click to test>");
    EXPECT_EQ(ui.cmdPing.backColor(), kLightYellow);
    EXPECT_TRUE(ui.cmdGetStats.enabled());
    EXPECT_FALSE(ui.cmdAdjust.enabled());

    // Layout of an encoder: no buffer, no silence detector, fixed latency.
    EXPECT_FALSE(ui.scrlBuffer.enabled());
    EXPECT_EQ(ui.scrlBuffer.value(), 0);
    EXPECT_FALSE(ui.lblLatency.enabled());
    EXPECT_EQ(ui.lblLatency.caption(), "2.5mS");
    EXPECT_FALSE(ui.cmbSilDetMode.enabled());
    EXPECT_FALSE(ui.scrlSilDetLevel.enabled());
    EXPECT_FALSE(ui.Label26.enabled());
    EXPECT_TRUE(ui.VUMeter.enabled());
    EXPECT_EQ(ui.lblVolume.caption(), "-oodBFS");
    EXPECT_TRUE(toolbar.buttonEnabled(station::toolbar::kStartMonitoring));
    EXPECT_FALSE(toolbar.buttonEnabled(station::toolbar::kStopMonitoring));
    // Loading reads only: nothing sent, nothing written.
    EXPECT_TRUE(sentCommands().empty());
    EXPECT_EQ(files.replaces, 0);
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(EditorTest, LoadsADecoderIntoThePanel) {
    load(kDecoderMac, decoderRecord());

    EXPECT_EQ(ui.lblElementType.caption(), "DECODER");
    EXPECT_EQ(ui.Label7.caption(), "Multicast IP:");
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.200.1.5");
    EXPECT_EQ(ui.scrlAtten.value(), 245);
    EXPECT_EQ(ui.lblAttenDB.caption(), "0 dB");
    EXPECT_EQ(ui.scrlBuffer.value(), 10);
    EXPECT_TRUE(ui.scrlBuffer.enabled());
    EXPECT_EQ(ui.lblLatency.caption(), "27.5mS");  // SFN ticked, no low latency
    EXPECT_EQ(ui.scrlSilDetLevel.value(), 10);
    EXPECT_EQ(ui.lblSilDetLevel.caption(), "-29.8dBu");
    EXPECT_EQ(ui.scrlSilDetTime.value(), 10);
    EXPECT_EQ(ui.lblSilDetTime.caption(), "4.6Sec");
    EXPECT_EQ(ui.cmbSilDetMode.listIndex(), 0);
    EXPECT_TRUE(ui.scrlSilDetLevel.enabled());
    EXPECT_TRUE(ui.scrlSilDetTime.enabled());
    EXPECT_FALSE(ui.cmbAudioInput.enabled());
    EXPECT_FALSE(ui.cmbAudioTX.enabled());
    EXPECT_FALSE(ui.VUMeter.enabled());
    EXPECT_TRUE(ui.chkSFNEnabled.checked());
    EXPECT_TRUE(ui.cmdAdjust.enabled());
    EXPECT_FALSE(toolbar.buttonEnabled(station::toolbar::kStartMonitoring));
    EXPECT_FALSE(toolbar.buttonEnabled(station::toolbar::kStopMonitoring));
    EXPECT_TRUE(sentCommands().empty());
}

TEST_F(EditorTest, EncoderLevelNeedsFirmware37ComparedAsOneNumber) {
    struct Case {
        const char* ver;
        bool level;
    };
    for (const Case c :
         {Case{"3.7", true}, Case{"3.8", true}, Case{"3.70", true}, Case{"4.0", true},
          Case{"3.6", false}, Case{"3.69", false}, Case{"3.10", false}, Case{"2.00", false}}) {
        SCOPED_TRACE(c.ver);
        ui.scrlAtten.setValue(100);
        load(kEncoderMac, with(encoderRecord(), "ver", c.ver));
        EXPECT_EQ(ui.scrlAtten.enabled(), c.level);
        EXPECT_EQ(ui.Label16.enabled(), c.level);
        EXPECT_EQ(ui.lblAttenDB.enabled(), c.level);
        // Older firmware leaves the bar where it was.
        EXPECT_EQ(ui.scrlAtten.value(), c.level ? 200 : 100);
    }
}

TEST_F(EditorTest, RecordWithoutVersionShowsTwoAndNoLevel) {
    load(kEncoderMac, without(encoderRecord(), "ver"));
    EXPECT_EQ(ui.lblVersion.caption(), "2.00");
    EXPECT_FALSE(ui.scrlAtten.enabled());
}

TEST_F(EditorTest, EncoderLevelIsClampedToTheBar) {
    load(kEncoderMac, with(encoderRecord(), "att", "300"));
    EXPECT_EQ(ui.scrlAtten.value(), 255);
    EXPECT_EQ(ui.lblAttenDB.caption(), "0 dB");
    load(kEncoderMac, with(encoderRecord(), "att", "5"));
    EXPECT_EQ(ui.scrlAtten.value(), 14);
    EXPECT_EQ(ui.lblAttenDB.caption(), "Mute");
    load(kEncoderMac, without(encoderRecord(), "att"));
    EXPECT_EQ(ui.scrlAtten.value(), 255);
    // The encoder's level is never written back by a load.
    EXPECT_EQ(stored(kEncoderMac, "att"), "<missing>");
    EXPECT_TRUE(sentCommands().empty());
}

TEST_F(EditorTest, DecoderLevelBelowTheBarIsRaisedInTheRecord) {
    for (const char* att : {"0", "13"}) {
        SCOPED_TRACE(att);
        load(kDecoderMac, with(decoderRecord(), "att", att));
        EXPECT_EQ(stored(kDecoderMac, "att"), "14");
        EXPECT_EQ(ui.scrlAtten.value(), 14);
        EXPECT_EQ(ui.lblAttenDB.caption(), "Mute");
    }
    load(kDecoderMac, without(decoderRecord(), "att"));
    EXPECT_EQ(stored(kDecoderMac, "att"), "14");
    EXPECT_EQ(ui.scrlAtten.value(), 14);

    // Above the bar it is only shown at the maximum; the record keeps its value.
    load(kDecoderMac, with(decoderRecord(), "att", "300"));
    EXPECT_EQ(ui.scrlAtten.value(), 255);
    EXPECT_EQ(stored(kDecoderMac, "att"), "300");
    load(kDecoderMac, with(decoderRecord(), "att", "100"));
    EXPECT_EQ(ui.lblAttenDB.caption(), "-72.5 dB");
    EXPECT_EQ(stored(kDecoderMac, "att"), "100");
    EXPECT_TRUE(sentCommands().empty());
}

TEST_F(EditorTest, DecoderShowsItsLevelEvenAfterAnOldEncoderGreyedIt) {
    load(kEncoderMac, with(encoderRecord(), "ver", "3.6"));
    load(kDecoderMac, decoderRecord());
    EXPECT_TRUE(ui.scrlAtten.enabled());
    EXPECT_TRUE(ui.Label16.enabled());
    EXPECT_TRUE(ui.lblAttenDB.enabled());
}

TEST_F(EditorTest, SilenceDetectorDefaultsAndFloor) {
    load(kDecoderMac, without(without(decoderRecord(), "sdl"), "sdt"));
    EXPECT_EQ(ui.scrlSilDetLevel.value(), 37);
    EXPECT_EQ(ui.scrlSilDetTime.value(), 43);
    load(kDecoderMac, with(with(decoderRecord(), "sdl", "0"), "sdt", "-4"));
    EXPECT_EQ(ui.scrlSilDetLevel.value(), 1);
    EXPECT_EQ(ui.lblSilDetLevel.caption(), "-49.8dBu");
    EXPECT_EQ(ui.scrlSilDetTime.value(), 1);
    EXPECT_EQ(ui.lblSilDetTime.caption(), "0.5Sec");
}

TEST_F(EditorTest, TypeByteSelectsRowAndFlags) {
    load(kEncoderMac, with(encoderRecord(), "type", "209"));  // 0xD1: code 17, both flags
    EXPECT_EQ(ui.cmbAudioType.listIndex(), 2);
    EXPECT_EQ(ui.cmbAudioType.text(), "L/R SD");
    EXPECT_TRUE(ui.chkEnableFLAC.checked());
    EXPECT_TRUE(ui.chkNarrowBand.checked());

    load(kEncoderMac, with(encoderRecord(), "type", "63"));  // a code no row carries
    EXPECT_EQ(ui.cmbAudioType.listIndex(), 0);
    EXPECT_FALSE(ui.chkEnableFLAC.checked());
    EXPECT_FALSE(ui.chkNarrowBand.checked());

    load(kEncoderMac, with(encoderRecord(), "type", "144"));
    EXPECT_EQ(ui.cmbAudioType.listIndex(), 1);
    EXPECT_TRUE(ui.chkEnableFLAC.checked());
    EXPECT_FALSE(ui.chkNarrowBand.checked());
}

TEST_F(EditorTest, EncoderTxTypeChoosesTheAddressShown) {
    load(kEncoderMac, encoderRecord());
    EXPECT_EQ(ui.Label7.caption(), "Decoder IP:");
    EXPECT_EQ(ui.txtRemoteIP.text(), "192.168.1.30");

    Record multicast = with(without(encoderRecord(), "remote"), "tx", "1");
    multicast.emplace_back("multi", "239.192.0.7");
    load(kEncoderMac, multicast);
    EXPECT_EQ(ui.cmbAudioTX.listIndex(), 1);
    EXPECT_EQ(ui.Label7.caption(), "Multicast IP:");
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.192.0.7");
    EXPECT_TRUE(ui.txtRemoteIP.enabled());
    EXPECT_FALSE(ui.txtAES67Channel.enabled());

    // Defaults when the address key is missing.
    load(kEncoderMac, without(encoderRecord(), "remote"));
    EXPECT_EQ(ui.txtRemoteIP.text(), "192.168.1.91");
    load(kEncoderMac, with(without(encoderRecord(), "remote"), "tx", "1"));
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.255.255.239");
}

TEST_F(EditorTest, AdjustButtonOnlyForAnSfnDecoder) {
    load(kDecoderMac, with(decoderRecord(), "sfn", "0"));
    EXPECT_FALSE(ui.cmdAdjust.enabled());
    load(kDecoderMac, with(decoderRecord(), "sfn", "1"));
    EXPECT_TRUE(ui.cmdAdjust.enabled());
    load(kEncoderMac, with(encoderRecord(), "sfn", "1"));
    EXPECT_FALSE(ui.cmdAdjust.enabled());
    load(kDecoderMac, with(decoderRecord(), "role", "0"));
    EXPECT_FALSE(ui.cmdAdjust.enabled());
}

TEST_F(EditorTest, TwentyTwoKeysLoadTwentyThreeAreCorrupted) {
    Record full = decoderRecord();
    full.emplace_back("srv", "0");
    full.emplace_back("remote", "1.2.3.4");
    full.emplace_back("bound", "2");
    ASSERT_EQ(full.size(), 22u);
    load(kDecoderMac, full);
    EXPECT_EQ(ui.lblElementType.caption(), "DECODER");
    EXPECT_EQ(ui.cmbEncoders.listIndex(), 2);
    EXPECT_TRUE(dialogs.shown().empty());

    // A 23rd key: the message, and the panel keeps the decoder shown before.
    ui.chkGetVolume.setChecked(true);
    toolbar.setButtonEnabled(station::toolbar::kStopMonitoring, true);
    full.emplace_back("extra", "1");
    storeRecords({{kDecoderMac, full}});
    dialogs.expect(ports::Answer::Ok);
    click(kDecoderMac);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    const auto& box = dialogs.last();
    EXPECT_EQ(box.text,
              "The data stored in your computer about this element, is corrupted (1).\rCannot load "
              "this element info.");
    EXPECT_EQ(box.icon, ports::MessageIcon::Critical);
    EXPECT_EQ(box.buttons, ports::MessageButtons::Ok);
    EXPECT_EQ(ui.lblElementType.caption(), "DECODER");
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.200.1.5");
    // The first three steps have run.
    EXPECT_FALSE(ui.chkGetVolume.checked());
    EXPECT_FALSE(toolbar.buttonEnabled(station::toolbar::kStartMonitoring));
    EXPECT_FALSE(toolbar.buttonEnabled(station::toolbar::kStopMonitoring));
}

TEST_F(EditorTest, EveryClickStopsMonitoring) {
    storeRecords({{kEncoderMac, encoderRecord()}, {kDecoderMac, decoderRecord()}});
    for (const std::string& mac : {kEncoderMac, kEncoderMac, kDecoderMac}) {
        SCOPED_TRACE(mac);
        ui.chkGetVolume.setChecked(true);
        toolbar.setButtonEnabled(station::toolbar::kStartMonitoring, false);
        toolbar.setButtonEnabled(station::toolbar::kStopMonitoring, true);
        ASSERT_TRUE(levelTimer.enabled());
        click(mac);
        EXPECT_FALSE(ui.chkGetVolume.checked());
        EXPECT_FALSE(levelTimer.enabled());
        EXPECT_FALSE(ui.chkGetVolume.visible());
        EXPECT_FALSE(toolbar.buttonEnabled(station::toolbar::kStopMonitoring));
        EXPECT_EQ(toolbar.buttonEnabled(station::toolbar::kStartMonitoring), mac == kEncoderMac);
    }
}

TEST_F(EditorTest, NodeWithoutTextLoadsNothing) {
    load(kEncoderMac, encoderRecord());
    ui.chkGetVolume.setChecked(true);
    editor.TreeView1_NodeClick({kDecoderMac, ""});
    EXPECT_FALSE(ui.cmdGetStats.enabled());
    EXPECT_FALSE(ui.chkGetVolume.checked());
    EXPECT_EQ(ui.lblElementMAC.caption(), kEncoderMac);
    EXPECT_FALSE(toolbar.buttonEnabled(station::toolbar::kStartMonitoring));
}

TEST_F(EditorTest, UnknownRoleShowsTheRecordWithoutALayout) {
    load(kEncoderMac, with(encoderRecord(), "role", "0"));
    EXPECT_EQ(ui.lblElementType.caption(), "UNKNOWN");
    EXPECT_EQ(ui.lblElementMAC.caption(), kEncoderMac);
    EXPECT_EQ(ui.txtElementIP.text(), "192.168.1.20");
    EXPECT_FALSE(toolbar.buttonEnabled(station::toolbar::kStartMonitoring));
    EXPECT_FALSE(ui.cmdAdjust.enabled());
}

TEST_F(EditorTest, LoadFollowsTheElementsLowLatencyAndKeepsTheBufferRange) {
    ctx.LowLatencyOption = true;  // started with "LL"
    ui.scrlBuffer.setMax(44);
    load(kDecoderMac, with(with(decoderRecord(), "llo", "0"), "buf", "44"));
    EXPECT_FALSE(ctx.LowLatencyOption);
    EXPECT_EQ(ui.scrlBuffer.max(), 44);
    EXPECT_EQ(ui.lblLatency.caption(), "112.5mS");  // SFN: 2.5 × 44 + 2.5
    load(kDecoderMac, with(with(decoderRecord(), "llo", "1"), "buf", "44"));
    EXPECT_TRUE(ctx.LowLatencyOption);
    EXPECT_TRUE(ui.chkLowLatency.checked());
    EXPECT_EQ(ui.lblLatency.caption(), "57.5mS");
    load(kEncoderMac, with(encoderRecord(), "llo", "1"));
    EXPECT_EQ(ui.lblLatency.caption(), "1.25mS");
}

TEST_F(EditorTest, MissingDatabaseLoadsDefaults) {
    click(kEncoderMac);
    EXPECT_EQ(ui.lblElementType.caption(), "UNKNOWN");
    EXPECT_EQ(ui.lblVersion.caption(), "2.00");
    EXPECT_EQ(ui.txtElementIP.text(), "");
    EXPECT_EQ(ui.cmbAudioInput.listIndex(), -1);
    EXPECT_EQ(ui.cmbAudioType.listIndex(), -1);
    EXPECT_EQ(files.replaces, 0);
}

TEST_F(EditorTest, ClearingShowsNoElement) {
    load(kDecoderMac, with(decoderRecord(), "llo", "1"));
    editor.ClearElementPanel();

    for (const auto* label :
         {&ui.lblElementType, &ui.lblElementMAC, &ui.lblSerialNumber, &ui.lblVersion})
        EXPECT_EQ(label->caption(), "-");
    EXPECT_EQ(ui.cmdPing.caption(), "<Unknown>");
    EXPECT_EQ(ui.cmdPing.backColor(), kLightYellow);
    EXPECT_EQ(ui.lblLatency.caption(), "0mS");
    EXPECT_EQ(ui.lblSilDetLevel.caption(), "0dBu");
    EXPECT_EQ(ui.lblSilDetTime.caption(), "0Sec");
    EXPECT_EQ(ui.lblAttenDB.caption(), "dB");
    EXPECT_EQ(ui.Label7.caption(), "Decoder IP:");
    EXPECT_FALSE(ui.chkSFNEnabled.checked());
    EXPECT_FALSE(ui.chkLowLatency.checked());
    EXPECT_FALSE(ui.scrlAtten.enabled());
    EXPECT_EQ(ui.scrlBuffer.value(), 0);
    EXPECT_EQ(ui.scrlSilDetLevel.value(), 1);
    EXPECT_EQ(ui.scrlSilDetTime.value(), 1);
    EXPECT_FALSE(ui.scrlBuffer.enabled());
    EXPECT_FALSE(ui.scrlSilDetLevel.enabled());
    EXPECT_FALSE(ui.scrlSilDetTime.enabled());
    EXPECT_FALSE(ui.cmdAdjust.enabled());
    EXPECT_FALSE(ui.cmdGetStats.enabled());  // the emptied address
    EXPECT_EQ(ui.txtRemoteIP.text(), "");
    EXPECT_EQ(ui.txtRemoteIP.backColor(), kSystemWindowBackground);
    EXPECT_TRUE(ui.txtRemoteIP.visible());
    EXPECT_FALSE(ui.txtAES67Channel.enabled());
    for (const auto* list :
         {&ui.cmbAudioInput, &ui.cmbAudioType, &ui.cmbAudioTX, &ui.cmbSilDetMode})
        EXPECT_EQ(list->listIndex(), -1);

    // With no element shown the level bar acts on nothing.
    ui.scrlAtten.setValue(100, ports::Origin::Operator);
    EXPECT_TRUE(sentCommands().empty());
    EXPECT_EQ(ui.lblAttenDB.caption(), "dB");
}

}  // namespace
}  // namespace nms::testing

namespace nms::testing {
namespace {

TEST_F(EditorTest, SilenceDetectorLabelsShowTheLoadedValuesEvenWhenTheBarsDidNotMove) {
    // The cleared panel leaves both bars at 1 with the labels "0dBu" and "0Sec".
    load(kDecoderMac, with(with(decoderRecord(), "sdl", "1"), "sdt", "1"));
    EXPECT_EQ(ui.lblSilDetLevel.caption(), "-49.8dBu");
    EXPECT_EQ(ui.lblSilDetTime.caption(), "0.5Sec");
}

}  // namespace
}  // namespace nms::testing
