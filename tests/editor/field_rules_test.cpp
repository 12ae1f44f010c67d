#include "editor_fixture.h"

namespace nms::testing {
namespace {

using ports::kLightRed;
using ports::kSystemWindowBackground;
using ports::Origin;

TEST_F(EditorTest, ElementAddressColourAndStatisticsButtonFollowTheText) {
    load(kEncoderMac, encoderRecord());
    auto& ip = ui.txtElementIP;
    ip.setText("192.168.1.", Origin::Operator);
    EXPECT_EQ(ip.backColor(), kLightRed);
    EXPECT_FALSE(ui.cmdGetStats.enabled());
    ip.setText("192.168.1.7", Origin::Operator);
    EXPECT_EQ(ip.backColor(), kSystemWindowBackground);
    EXPECT_TRUE(ui.cmdGetStats.enabled());
    ip.setText("192.168.1.256", Origin::Operator);
    EXPECT_EQ(ip.backColor(), kLightRed);
    EXPECT_FALSE(ui.cmdGetStats.enabled());
    ip.setText("", Origin::Operator);
    EXPECT_EQ(ip.backColor(), kSystemWindowBackground);
    EXPECT_FALSE(ui.cmdGetStats.enabled());
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
