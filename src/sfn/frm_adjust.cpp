#include "sfn/frm_adjust.h"

#include <algorithm>
#include <utility>

#include "editor/record_values.h"
#include "protocol/commands.h"
#include "protocol/delay.h"
#include "protocol/paging.h"
#include "protocol/rounding.h"
#include "protocol/statistics.h"
#include "sfn/delay_reading.h"
#include "store/element_record.h"

namespace nms::sfn {

using ports::Answer;
using ports::MessageButtons;
using ports::MessageIcon;
using ports::Origin;
namespace rec = store::record;
namespace field = protocol::delay;

namespace {


// One step of the scroll bar is 100 ns; its range is 0 to 2.5 ms.
constexpr int kNsPerStep = 100;
constexpr int kMaxSteps = 25000;

const station::ElementSocket::FailureText kSocketFailure{"Unable to use UDP port 2978: occupied.",
                                                         false, "Unable to use UDP port 2978: "};
constexpr const char* kReplyError =
    "Error 4 while retrieving values. Please reset the device and try again.";
constexpr const char* kNoAddress = "No address is stored for this element.";
constexpr const char* kNoValue = "-";

std::string delayText(std::int32_t ns, bool servo) {
    return FormatDelay(ns) + ", auto delay compensation " + (servo ? "on" : "off");
}

}  // namespace

frmAdjust::frmAdjust(station::StationContext& context)
    : Timer1(context.scheduler(), context.gate(), 250),
      Timer2(context.scheduler(), context.gate(), 1000),
      context_(context),
      socket_(context, protocol::kPortStatistics, protocol::kPortStatistics) {
    applyDesign();
    scrlAdditionalDelay.setRange(0, kMaxSteps);
    scrlAdditionalDelay.smallChange = 1;
    scrlAdditionalDelay.largeChange = 100;

    form.onOperatorClose = [this] { Form_Unload(); };
    cmdRefresh.onClick = [this] { cmdRefresh_Click(); };
    cmdResetStats.onClick = [this] { cmdResetStats_Click(); };
    cmdSet.onClick = [this] { cmdSet_Click(); };
    cmdExport.onClick = [this] {
        if (onExport) onExport();
    };
    chkAutoUpdate.onClick = [this](Origin) { chkAutoUpdate_Click(); };
    chkAutoServo.onClick = [this](Origin) { chkAutoServo_Click(); };
    chkAutoClear.onClick = [this](Origin) { chkAutoClear_Click(); };
    // Dragging the thumb and a final change both show the new delay at once.
    scrlAdditionalDelay.onChange = [this](Origin) { scrlAdditionalDelay_Change(); };
    scrlAdditionalDelay.onScroll = [this] { scrlAdditionalDelay_Change(); };
    Timer1.onTimer = [this] { Timer1_Timer(); };
    Timer2.onTimer = [this] { Timer2_Timer(); };
    udpClient3().onDataArrival = [this](const ports::Datagram& d) { udpClient3_DataArrival(d); };
    // Only the shown element's reply moves the bar and the servo box; a datagram from anyone
    // else, or too long to be a reply, is dropped before it can queue behind a box.
    socket_.acceptRepliesFromShownOnly(field::kReplyLength);

    context.atEnd([this] {
        Timer1.setEnabled(false);
        Timer2.setEnabled(false);
        socket_.close();
    });
}

frmAdjust::~frmAdjust() = default;

// Captions and tool tips as the window is designed. A decoded reply renames chkAutoServo, so
// every opening starts again from these.
void frmAdjust::applyDesign() {
    Frame1.setCaption("Measurements:");
    lblCapDelayMIN.setCaption("Network latency (MIN):");
    lblCapDelayMAX.setCaption("Network latency (MAX):");
    lblCapDelayAVG.setCaption("Network latency (AVG):");
    lblCapFixedLatencyMAC.setCaption("MAC interface latency:");
    lblCapFixedLatencyAUDIO.setCaption("Audio interface latency:");
    lblCapDelaySumMIN.setCaption("Latency summary (MIN):");
    lblCapDelaySumMAX.setCaption("Latency summary (MAX):");
    lblCapDelaySumAVG.setCaption("Latency summary (AVG):");
    for (auto* label :
         {&lblCurrentDelayMIN, &lblCurrentDelayMAX, &lblCurrentDelayAVG, &lblAdditionalDelay})
        label->setCaption("999 mS, 999 uS, 999 nS");
    lblFixedLatencyMAC.setCaption("265 nS");
    lblFixedLatencyAUDIO.setCaption("395 uS, 833nS");
    for (auto* label : {&lblDelaySumMIN, &lblDelaySumMAX, &lblDelaySumAVG})
        label->setCaption("420 uS, 265 nS");
    chkAutoUpdate.setCaption("&Auto");
    chkAutoUpdate.setToolTip("Auto refresh (every 1 sec)");
    cmdRefresh.setCaption("&Refresh");
    cmdResetStats.setCaption("&Clear");
    cmdResetStats.setToolTip("Reset counters to zero");
    Frame2.setCaption("Adjustments:");
    lblCapAdditionalDelay.setCaption("Latency compensation:");
    chkAutoServo.setCaption("Auto &delay compensation");
    chkAutoServo.setToolTip("Enables auto compansation of Network latency");
    chkAutoClear.setCaption("Auto clea&r counters");
    chkAutoClear.setToolTip("Clear counters after each 'Set' command");
    cmdSet.setCaption("&Set");
    cmdExport.setCaption("Export...");
    lblStatus.setCaption("");
}

void frmAdjust::open() {
    if (form.shown() || context_.ended()) return;
    port_ = context_.port2978().take();
    socket_.oweReplies(port_.owed());
    applyDesign();
    // Auto refresh is off whenever the window opens; its check box handler stops Timer2.
    chkAutoUpdate.setChecked(false);
    UDP_Response_PTP_Propagation_Delay_Average = 0;
    UDP_Response_PTP_Propagation_Delay_Minimum = 0;
    UDP_Response_PTP_Propagation_Delay_Maximum = 0;
    UDP_Response_PTP_Additional_Delay = 0;
    UDP_Response_PTP_Auto_Servo = 0;
    history.clear();
    form.show();
    Form_Load();
}

void frmAdjust::Form_Load() {
    UnsavedParameters = false;
    for (auto* label : {&lblCurrentDelayMIN, &lblCurrentDelayMAX, &lblCurrentDelayAVG,
                        &lblDelaySumMIN, &lblDelaySumMAX, &lblDelaySumAVG, &lblAdditionalDelay,
                        &lblFixedLatencyAUDIO, &lblFixedLatencyMAC})
        label->setCaption(kNoValue);

    chkAutoClear.setValue(
        editor::values::checkValueFrom(context_.setting(station::settings::kAutoClearCounters)));
    // A hand-edited dly outside the bar's range (or beyond any integer) is limited to it.
    scrlAdditionalDelay.setValue(editor::values::scrollValueFrom(
        context_.readShown(rec::kDelay, rec::defaults::kDelay), 0, 0, kMaxSteps));
    chkAutoServo.setValue(
        editor::values::checkValueFrom(context_.readShown(rec::kServo, rec::defaults::kServo)));
    form.setCaption("SFN Adjustment - " + context_.readShown(rec::kName, ""));
    UpdateAdditionalDelay();
    delayBefore_ = delayText(AdditionalDelay, chkAutoServo.checked());

    if (!socket_.bind()) {
        socket_.fail(kSocketFailure);
        return;
    }
    cmdRefresh_Click();
}

void frmAdjust::Form_Unload() {
    if (UnsavedParameters) {
        UnsavedParameters = false;
        const int steps = AdditionalDelay / kNsPerStep;
        const bool servo = chkAutoServo.checked();
        context_.writeShown(rec::kDelay, std::to_string(steps));
        context_.writeShown(rec::kServo, servo ? "1" : "0");
        // The box keeps the station's sentence; what was kept is in its details, so the operator
        // can tell it from what the element reports later.
        ports::MessageBox hint{
            "There are unsaved parameters. Don't forget to click the 'Save' button.", {},
            MessageIcon::Information, MessageButtons::Ok, Answer::Ok,
            "Stored for this element: additional delay " + FormatDelay(AdditionalDelay) +
                ", auto delay compensation " + (servo ? "on." : "off.")};
        hint.hint = true;
        context_.dialogs().messageBox(hint);
    }
    Timer1.setEnabled(false);
    Timer2.setEnabled(false);
    socket_.close();
    form.hide();
    port_.giveBack();
}

bool frmAdjust::send(std::span<const std::uint8_t> bytes) {
    lastSend_ = socket_.sendToShown(bytes, kSocketFailure);
    switch (lastSend_) {
        case station::ElementSocket::Result::Sent:
            // Only the missing address is over once a request leaves; what an export said stays
            // while the window refreshes.
            if (lblStatus.caption() == kNoAddress) lblStatus.setCaption("");
            return true;
        case station::ElementSocket::Result::NoAddress:
            lblStatus.setCaption(kNoAddress);
            return false;
        case station::ElementSocket::Result::Failed:
            break;
        case station::ElementSocket::Result::SendFailed:
            // Said once: auto refresh, or the clearing after a set, would say it again.
            StopAutoRefresh();
            Timer1.setEnabled(false);
            break;
    }
    return false;
}

void frmAdjust::cmdRefresh_Click() {
    send(protocol::requestBytes(protocol::kGetDelayRequest));
}

void frmAdjust::cmdResetStats_Click() {
    StopAutoRefresh();
    const Answer answer =
        context_.msgBox("You will reset all counters to zero.\rAre you sure?",
                        MessageIcon::Question, MessageButtons::YesNo, Answer::No, "Reset counters");
    // This window shows no counters: the journal learns the counts before from whoever read
    // them last.
    if (answer == Answer::Yes && send(protocol::requestBytes(protocol::kResetStatsRequest)))
        context_.noteOperatorChange("counters reset", "", "0");
}

void frmAdjust::cmdSet_Click() {
    StopAutoRefresh();
    const auto command = protocol::encodeDelaySet({AdditionalDelay, chkAutoServo.checked()});
    // Nothing left the station without an address: there is nothing to reset on the element
    // and nothing to keep in its record.
    if (!send(command)) return;
    if (chkAutoClear.checked()) Timer1.setEnabled(true);
    UnsavedParameters = true;
    const std::string after = delayText(AdditionalDelay, chkAutoServo.checked());
    context_.noteOperatorChange("SFN delay set", std::exchange(delayBefore_, after), after);
}

void frmAdjust::chkAutoUpdate_Click() {
    Timer2.setEnabled(chkAutoUpdate.checked());
}

void frmAdjust::chkAutoServo_Click() {
    StopAutoRefresh();
}

void frmAdjust::chkAutoClear_Click() {
    StopAutoRefresh();
    context_.setSetting(station::settings::kAutoClearCounters,
                        std::to_string(chkAutoClear.value()));
}

void frmAdjust::scrlAdditionalDelay_Change() {
    StopAutoRefresh();
    UpdateAdditionalDelay();
}

void frmAdjust::Timer1_Timer() {
    Timer1.setEnabled(false);
    send(protocol::requestBytes(protocol::kResetStatsRequest));
}

void frmAdjust::Timer2_Timer() {
    cmdRefresh_Click();
}

void frmAdjust::udpClient3_DataArrival(const ports::Datagram& datagram) {
    // A datagram queued behind the closing of the window finds nothing to show.
    if (!form.shown()) return;
    if (datagram.bytes.size() > field::kReplyLength) return;
    DecodeDelays(datagram.bytes);
}

void frmAdjust::UpdateAdditionalDelay() {
    AdditionalDelay = scrlAdditionalDelay.value() * kNsPerStep;
    lblAdditionalDelay.setCaption(FormatDelay(AdditionalDelay));
}

void frmAdjust::StopAutoRefresh() {
    chkAutoUpdate.setChecked(false);
    Timer2.setEnabled(false);
}

bool frmAdjust::isSfnDecoder() {
    const auto shown = context_.shownElement();
    return shown.isDecoder() && shown.sfnEnabled();
}

void frmAdjust::DecodeDelays(std::span<const std::uint8_t> reply) {
    lblFixedLatencyMAC.setCaption(FormatDelay(kMacLatencyNs));
    lblFixedLatencyAUDIO.setCaption(FormatDelay(kAudioLatencyNs));
    if (!isSfnDecoder()) return;

    // The element's additional delay becomes the operator's choice. A change of the bar runs
    // its change event, which stops auto refresh: the reply overrode what the operator set.
    const std::int32_t additional = protocol::GetLongFromReply(reply, field::kAdditional);
    UDP_Response_PTP_Additional_Delay = std::clamp(static_cast<double>(additional) / kNsPerStep,
                                                   static_cast<double>(scrlAdditionalDelay.min()),
                                                   static_cast<double>(scrlAdditionalDelay.max()));
    scrlAdditionalDelay.setValue(
        static_cast<int>(protocol::roundHalfEven(UDP_Response_PTP_Additional_Delay)));
    UpdateAdditionalDelay();

    if (reply.size() <= field::kServoState) {
        context_.msgBox(kReplyError, MessageIcon::Critical);
        return;
    }
    UDP_Response_PTP_Auto_Servo = reply[field::kServoState];
    std::int32_t servo = 0;
    if (UDP_Response_PTP_Auto_Servo == 1) {
        servo = protocol::GetLongFromReply(reply, field::kServoCorrection);
        chkAutoServo.setChecked(true);
        chkAutoServo.setCaption("Auto servo (" + std::to_string(servo) + " nS)");
    } else {
        chkAutoServo.setChecked(false);
        chkAutoServo.setCaption("Auto servo");
    }
    delayBefore_ = delayText(AdditionalDelay, UDP_Response_PTP_Auto_Servo == 1);

    struct Figure {
        std::size_t offset;
        std::int32_t& shown;
        ports::Label& network;
        ports::Label& summary;
    };
    const Figure figures[] = {
        {field::kAverage, UDP_Response_PTP_Propagation_Delay_Average, lblCurrentDelayAVG,
         lblDelaySumAVG},
        {field::kMinimum, UDP_Response_PTP_Propagation_Delay_Minimum, lblCurrentDelayMIN,
         lblDelaySumMIN},
        {field::kMaximum, UDP_Response_PTP_Propagation_Delay_Maximum, lblCurrentDelayMAX,
         lblDelaySumMAX},
    };
    for (const auto& f : figures) {
        const auto delay = delayInEffect(protocol::GetLongFromReply(reply, f.offset), additional, servo);
        if (!delay) {
            context_.msgBox(kReplyError, MessageIcon::Critical);
            return;
        }
        f.shown = *delay;
        f.network.setCaption(FormatDelay(f.shown));
        const auto summary = latencySummary(*delay);
        if (!summary) {
            context_.msgBox(kReplyError, MessageIcon::Critical);
            return;
        }
        f.summary.setCaption(FormatDelay(*summary));
    }

    history.add({context_.clock().unixTimeMs(), UDP_Response_PTP_Propagation_Delay_Minimum,
                 UDP_Response_PTP_Propagation_Delay_Average,
                 UDP_Response_PTP_Propagation_Delay_Maximum, additional, servo,
                 UDP_Response_PTP_Auto_Servo == 1});
    if (const auto read = readDelayReply(reply); read.reading) replied(*read.reading);
}

std::string FormatDelay(std::int32_t ns) {
    // In 64 bits, so that the magnitude of the most negative value exists.
    std::int64_t v = ns;
    const bool negative = v < 0;
    if (negative) v = -v;
    const std::int64_t ms = v / 1000000;
    const std::int64_t us = v / 1000 - 1000 * ms;
    const std::int64_t rest = v % 1000;
    std::string text;
    if (ms > 0) text += std::to_string(ms) + " mS, ";
    if (!text.empty() || us > 0) text += std::to_string(us) + " uS, ";
    text += std::to_string(rest) + " nS";
    return negative ? "-" + text : text;
}

}  // namespace nms::sfn
