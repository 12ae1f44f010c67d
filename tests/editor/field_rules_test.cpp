#include "editor_fixture.h"

namespace nms::testing {
namespace {

using ports::kLightRed;
using ports::kSystemWindowBackground;
using ports::Origin;

TEST_F(EditorTest, ElementAddressColourAndStatisticsButtonFollowTheText) {
    load(kEncoderMac, encoderRecord());
    const struct {
        const char* text;
        ports::Color colour;
        bool statistics;
    } typed[] = {{"192.168.1.", kLightRed, false},
                 {"192.168.1.7", kSystemWindowBackground, true},
                 {"192.168.1.256", kLightRed, false},
                 {"", kSystemWindowBackground, false}};
    for (const auto& t : typed) {
        ui.txtElementIP.setText(t.text, Origin::Operator);
        EXPECT_EQ(ui.txtElementIP.backColor(), t.colour) << t.text;
        EXPECT_EQ(ui.cmdGetStats.enabled(), t.statistics) << t.text;
    }
}

TEST_F(EditorTest, EveryAddressFieldIsColouredAlsoWhenTheProgramSetsIt) {
    for (auto* box : {&ui.txtElementMask, &ui.txtElementGW, &ui.txtRemoteIP}) {
        SCOPED_TRACE(box->name());
        box->setText("10.0.0");
        EXPECT_EQ(box->backColor(), kLightRed);
        box->setText("010.000.000.001");
        EXPECT_EQ(box->backColor(), kSystemWindowBackground);
        box->setText("a.b.c.d");
        EXPECT_EQ(box->backColor(), kLightRed);
        box->setText("");
        EXPECT_EQ(box->backColor(), kSystemWindowBackground);
    }
    // A damaged record's address shows red, and the freshly loaded element keeps "View...".
    load(kEncoderMac, with(encoderRecord(), "gw", "192.168..1"));
    EXPECT_EQ(ui.txtElementGW.backColor(), kLightRed);
    EXPECT_TRUE(ui.cmdGetStats.enabled());
}

TEST_F(EditorTest, EnteringAFieldSelectsItAndLeavingTheNameUpperCasesIt) {
    for (auto* box : {&ui.txtElementName, &ui.txtElementIP, &ui.txtElementMask, &ui.txtElementGW,
                      &ui.txtRemoteIP}) {
        SCOPED_TRACE(box->name());
        box->setText("ünï 1.2");
        box->setSelection(3, 0);
        box->gotFocus();
        EXPECT_EQ(box->selStart, 0);
        EXPECT_EQ(box->selLength, 7);  // characters, not bytes
        box->lostFocus();
    }
    ui.txtElementName.setText("studio a", Origin::Operator);
    ui.txtElementName.lostFocus();
    EXPECT_EQ(ui.txtElementName.text(), "STUDIO A");
}

}  // namespace
}  // namespace nms::testing
