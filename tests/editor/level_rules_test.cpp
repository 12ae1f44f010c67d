#include "editor/level_labels.h"

#include "editor_fixture.h"

namespace nms::testing {
namespace {

using editor::labels::attenuation;
using editor::labels::latency;
using editor::labels::silenceLevel;
using editor::labels::silenceTime;
using ports::Origin;

TEST(LevelLabels, AttenuationInHalfDecibels) {
    EXPECT_EQ(attenuation(255, 14, true), "+5 dB");
    EXPECT_EQ(attenuation(245, 14, true), "0 dB");
    EXPECT_EQ(attenuation(100, 14, true), "-72.5 dB");
    EXPECT_EQ(attenuation(15, 14, true), "-115 dB");
    EXPECT_EQ(attenuation(14, 14, true), "Mute");
    EXPECT_EQ(attenuation(255, 14, false), "0 dB");
    EXPECT_EQ(attenuation(254, 14, false), "-0.5 dB");
    EXPECT_EQ(attenuation(15, 14, false), "-120 dB");
    EXPECT_EQ(attenuation(14, 14, false), "Mute");
}

TEST(LevelLabels, LatencyByOptions) {
    EXPECT_EQ(latency(0, false, false), "5mS");
    EXPECT_EQ(latency(23, false, false), "62.5mS");
    EXPECT_EQ(latency(10, true, false), "27.5mS");
    EXPECT_EQ(latency(10, true, true), "15mS");
    EXPECT_EQ(latency(44, false, true), "57.5mS");
    EXPECT_EQ(latency(1, false, true), "3.75mS");
}

TEST(LevelLabels, SilenceDetectorFiguresHaveOneDecimalAtMost) {
    EXPECT_EQ(silenceLevel(1), "-49.8dBu");
    EXPECT_EQ(silenceLevel(10), "-29.8dBu");
    EXPECT_EQ(silenceLevel(154), "-6dBu");
    EXPECT_EQ(silenceTime(1), "0.5Sec");
    EXPECT_EQ(silenceTime(10), "4.6Sec");
    EXPECT_EQ(silenceTime(220), "100.1Sec");
    // No binary left-overs such as "-49.800000000000004" anywhere in the ranges.
    auto decimals = [](const std::string& text, std::size_t unit) {
        const std::string number = text.substr(0, text.size() - unit);
        const auto dot = number.find('.');
        return dot == std::string::npos ? 0 : number.size() - dot - 1;
    };
    for (int s = 1; s <= 154; ++s) EXPECT_LE(decimals(silenceLevel(s), 3), 1u) << s;
    for (int t = 1; t <= 220; ++t) EXPECT_LE(decimals(silenceTime(t), 3), 1u) << t;
}

TEST_F(EditorTest, OperatorLevelIsSentAndStoredProgramLevelOnlyShown) {
    load(kDecoderMac, with(decoderRecord(), "att", "100"));
    EXPECT_EQ(ui.lblAttenDB.caption(), "-72.5 dB");
    EXPECT_TRUE(sentCommands().empty());

    ui.scrlAtten.setValue(245, Origin::Operator);
    EXPECT_EQ(ui.lblAttenDB.caption(), "0 dB");
    ASSERT_EQ(sentCommands().size(), 1u);
    EXPECT_EQ(sentCommands()[0], (std::pair<std::uint8_t, std::uint16_t>{245, 2977}));
    EXPECT_EQ(stored(kDecoderMac, "att"), "245");

    ui.scrlAtten.setValue(200);  // program code, e.g. a feedback
    EXPECT_EQ(ui.lblAttenDB.caption(), "-22.5 dB");
    EXPECT_EQ(sentCommands().size(), 1u);
    EXPECT_EQ(stored(kDecoderMac, "att"), "245");

    load(kEncoderMac, encoderRecord());
    network.sent.clear();
    ui.scrlAtten.setValue(255, Origin::Operator);
    EXPECT_EQ(ui.lblAttenDB.caption(), "0 dB");
    ui.scrlAtten.setValue(14, Origin::Operator);
    EXPECT_EQ(ui.lblAttenDB.caption(), "Mute");
    EXPECT_EQ(sentCommands(),
              (std::vector<std::pair<std::uint8_t, std::uint16_t>>{{0, 2979}, {241, 2979}}));
    EXPECT_EQ(stored(kEncoderMac, "att"), "14");
}

TEST_F(EditorTest, ALevelThatDidNotGoOutIsNotStored) {
    // A record without an address: the command has nowhere to go, which is said once.
    load(kDecoderMac, without(with(decoderRecord(), "att", "100"), "ip"));
    dialogs.expect(ports::Answer::Ok, "103 - Unable to use UDP port 2977: no valid address is stored");
    ui.scrlAtten.setValue(245, Origin::Operator);
    EXPECT_TRUE(sentCommands().empty());
    EXPECT_EQ(stored(kDecoderMac, "att"), "100");
}

TEST_F(EditorTest, LevelOfAnUnknownElementActsOnNothing) {
    load(kEncoderMac, with(encoderRecord(), "role", "7"));
    const std::string label = ui.lblAttenDB.caption();
    ui.scrlAtten.setValue(30, Origin::Operator);
    EXPECT_TRUE(sentCommands().empty());
    EXPECT_EQ(ui.lblAttenDB.caption(), label);
    EXPECT_EQ(stored(kEncoderMac, "att"), "200");
}

TEST_F(EditorTest, BufferLatencyFollowsSfnGpsdoAndLowLatency) {
    load(kDecoderMac, decoderRecord());  // buf 10, SFN ticked
    EXPECT_EQ(ui.lblLatency.caption(), "27.5mS");
    ui.chkLowLatency.setChecked(true, Origin::Operator);
    EXPECT_TRUE(ctx.LowLatencyOption);
    EXPECT_EQ(ui.lblLatency.caption(), "15mS");
    ui.chkLowLatency.setChecked(false, Origin::Operator);
    EXPECT_FALSE(ctx.LowLatencyOption);
    ui.scrlBuffer.setValue(23, Origin::Operator);
    EXPECT_EQ(ui.lblLatency.caption(), "60mS");

    ctx.GpsdoVersion = true;
    load(kDecoderMac, with(decoderRecord(), "sfn", "0"));
    EXPECT_EQ(ui.lblLatency.caption(), "27.5mS");
    ctx.GpsdoVersion = false;
    load(kDecoderMac, with(decoderRecord(), "sfn", "0"));
    EXPECT_EQ(ui.lblLatency.caption(), "30mS");
    // Nothing of this group is sent or stored before a save.
    EXPECT_TRUE(sentCommands().empty());
    EXPECT_EQ(stored(kDecoderMac, "buf"), "10");
}

TEST_F(EditorTest, AudioRoutingEnablesThresholdAndTimeout) {
    load(kDecoderMac, decoderRecord());
    struct Case {
        int mode;
        bool threshold, timeout;
    };
    for (const Case c : {Case{0, true, true}, Case{1, false, false}, Case{2, false, false},
                         Case{3, false, true}, Case{-1, false, false}, Case{0, true, true}}) {
        SCOPED_TRACE(c.mode);
        ui.cmbSilDetMode.setListIndex(c.mode, Origin::Operator);
        for (const ports::Control* t : {static_cast<const ports::Control*>(&ui.scrlSilDetLevel),
                                        static_cast<const ports::Control*>(&ui.lblSilDetLevel),
                                        static_cast<const ports::Control*>(&ui.Label24)})
            EXPECT_EQ(t->enabled(), c.threshold) << t->name();
        for (const ports::Control* t : {static_cast<const ports::Control*>(&ui.scrlSilDetTime),
                                        static_cast<const ports::Control*>(&ui.lblSilDetTime),
                                        static_cast<const ports::Control*>(&ui.Label26)})
            EXPECT_EQ(t->enabled(), c.timeout) << t->name();
    }
    // A disabled list switches both groups off whatever it holds.
    ui.cmbSilDetMode.setEnabled(false);
    editor.cmbSilDetMode_Click();
    EXPECT_FALSE(ui.scrlSilDetLevel.enabled());
    EXPECT_FALSE(ui.scrlSilDetTime.enabled());
    // A decoder loaded with "On packet loss!" keeps only the time-out usable.
    load(kDecoderMac, with(decoderRecord(), "sdm", "3"));
    EXPECT_FALSE(ui.scrlSilDetLevel.enabled());
    EXPECT_TRUE(ui.scrlSilDetTime.enabled());
}

}  // namespace
}  // namespace nms::testing
