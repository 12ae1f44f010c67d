#include "editor/record_values.h"
#include "protocol/text.h"

#include "editor_fixture.h"

namespace nms::testing {
namespace {

namespace values = editor::values;

TEST(RecordValues, NumbersAreDecimalTextOnly) {
    EXPECT_EQ(values::readNumber("12"), 12.0);
    EXPECT_EQ(values::readNumber(" -3.5 "), -3.5);
    EXPECT_EQ(values::readNumber("+7"), 7.0);
    EXPECT_EQ(values::readNumber(".5"), 0.5);
    for (const char* bad : {"", " ", "abc", "1e3", "0x10", "1.2.3", "inf", "nan", "12a", "-", "."})
        EXPECT_FALSE(values::readNumber(bad).has_value()) << bad;
}

TEST(RecordValues, HalvesRoundToEven) {
    EXPECT_EQ(values::roundHalfEven(2.5), 2.0);
    EXPECT_EQ(values::roundHalfEven(3.5), 4.0);
    EXPECT_EQ(values::roundHalfEven(-2.5), -2.0);
    EXPECT_EQ(values::roundHalfEven(2.4), 2.0);
    EXPECT_EQ(values::roundHalfEven(2.6), 3.0);
    EXPECT_EQ(values::roundToTenth(0.25), 0.2);
}

TEST(RecordValues, ControlValuesNeverLeaveTheirRange) {
    EXPECT_EQ(values::clampedInt(1e300, 0, 23), 23);
    EXPECT_EQ(values::clampedInt(-1e300, 14, 255), 14);
    EXPECT_EQ(values::listIndexFrom("2", 3), 2);
    EXPECT_EQ(values::listIndexFrom("3", 3), -1);
    EXPECT_EQ(values::listIndexFrom("-1", 3), -1);
    EXPECT_EQ(values::listIndexFrom("1e99", 3), -1);
    EXPECT_EQ(values::listIndexFrom("99999999999999999999999", 3), -1);
    EXPECT_EQ(values::scrollValueFrom("x", 37, 1, 154), 37);
    EXPECT_EQ(values::scrollValueFrom("1000", 37, 1, 154), 154);
    EXPECT_EQ(values::checkValueFrom("7"), 1);
    EXPECT_EQ(values::checkValueFrom("-1"), 0);
    EXPECT_EQ(values::checkValueFrom("on"), 0);
}

TEST_F(EditorTest, DamagedListValuesShowNoSelection) {
    Record rec = encoderRecord();
    rec = with(rec, "input", "7");
    rec = with(rec, "tx", "many");
    rec = with(rec, "bound", "99");
    load(kEncoderMac, rec);
    EXPECT_EQ(ui.lblElementType.caption(), "ENCODER");
    EXPECT_EQ(ui.cmbAudioInput.listIndex(), -1);
    EXPECT_EQ(ui.cmbAudioTX.listIndex(), -1);
    EXPECT_EQ(ui.cmbEncoders.listIndex(), -1);
    // No usable TX type reads as unicast, as for the address shown at load.
    EXPECT_EQ(ui.Label7.caption(), "Decoder IP:");
    EXPECT_EQ(ui.txtRemoteIP.text(), "192.168.1.30");

    for (const char* type : {"300", "-1", "x", ""}) {
        SCOPED_TRACE(type);
        load(kEncoderMac, with(encoderRecord(), "type", type));
        EXPECT_EQ(ui.cmbAudioType.listIndex(), -1);
        EXPECT_FALSE(ui.chkEnableFLAC.checked());
        EXPECT_FALSE(ui.chkNarrowBand.checked());
    }
    load(kDecoderMac, with(decoderRecord(), "sdm", "9"));
    EXPECT_EQ(ui.cmbSilDetMode.listIndex(), -1);
    EXPECT_FALSE(ui.scrlSilDetLevel.enabled());
    EXPECT_FALSE(ui.scrlSilDetTime.enabled());
}

TEST_F(EditorTest, DamagedNumbersAreClampedOrTakeTheDefault) {
    Record rec = decoderRecord();
    rec = with(rec, "buf", "99");
    rec = with(rec, "sdl", "99999999999999999999");
    rec = with(rec, "sdt", "1e9");
    rec = with(rec, "sfn", "7");
    rec = with(rec, "llo", "-3");
    load(kDecoderMac, rec);
    EXPECT_EQ(ui.scrlBuffer.value(), 23);
    EXPECT_EQ(ui.scrlSilDetLevel.value(), 154);
    EXPECT_EQ(ui.scrlSilDetTime.value(), 43);
    EXPECT_TRUE(ui.chkSFNEnabled.checked());
    EXPECT_TRUE(ui.cmdAdjust.enabled());
    EXPECT_FALSE(ui.chkLowLatency.checked());

    load(kEncoderMac, with(encoderRecord(), "att", "loud"));
    EXPECT_EQ(ui.scrlAtten.value(), 255);
    load(kEncoderMac, with(encoderRecord(), "ver", "abc"));
    EXPECT_FALSE(ui.scrlAtten.enabled());
    load(kEncoderMac, with(encoderRecord(), "role", "1.0"));
    EXPECT_EQ(ui.lblElementType.caption(), "ENCODER");
    load(kEncoderMac, with(encoderRecord(), "role", "encoder"));
    EXPECT_EQ(ui.lblElementType.caption(), "UNKNOWN");
}

TEST_F(EditorTest, DamagedRecordIsNeverWrittenBeyondTheDecoderLevel) {
    Record enc = encoderRecord();
    for (const char* key : {"input", "type", "tx", "att", "buf", "sfn", "llo", "bound"})
        enc = with(enc, key, "#?");
    Record dec = decoderRecord();
    for (const char* key : {"input", "type", "tx", "buf", "sdm", "sdl", "sdt", "sfn", "llo"})
        dec = with(dec, key, "-999");
    dec = with(dec, "att", "#?");
    storeRecords({{kEncoderMac, enc}, {kDecoderMac, dec}});
    const std::string before = files.content(kPath);

    click(kEncoderMac);
    click(kDecoderMac);
    time.advance(1000);
    // The decoder's unusable level is treated as missing: raised to the minimum, the one write.
    EXPECT_EQ(stored(kDecoderMac, "att"), "14");
    std::string expected = before;
    const std::string oldAtt = "att=#?\n";
    const auto decoderPart = expected.find("[" + protocol::Encode_MAC(kDecoderMac) + "]");
    const auto at = expected.find(oldAtt, decoderPart);
    ASSERT_NE(at, std::string::npos);
    expected.replace(at, oldAtt.size(), "att=14\n");
    // Key names match in any case.
    EXPECT_EQ(protocol::text::toUpper(files.content(kPath)), protocol::text::toUpper(expected));
    EXPECT_TRUE(sentCommands().empty());
}

TEST_F(EditorTest, NodeKeyThatIsNoMacLoadsTheDefaults) {
    storeRecord(kEncoderMac, encoderRecord());
    editor.TreeView1_NodeClick({"not-a-mac", "odd node"});
    EXPECT_EQ(ui.lblElementMAC.caption(), "not-a-mac");
    EXPECT_EQ(ui.lblElementType.caption(), "UNKNOWN");
    EXPECT_EQ(ui.txtElementIP.text(), "");
    ui.scrlAtten.setValue(20, ports::Origin::Operator);
    EXPECT_EQ(files.replaces, 0);
}

}  // namespace
}  // namespace nms::testing
