#include "stats/frm_statistics.h"

#include <chrono>
#include <cstdio>

#include "protocol/commands.h"
#include "protocol/paging.h"
#include "protocol/statistics.h"
#include "protocol/text.h"
#include "store/element_record.h"

namespace nms::stats {

namespace {

using ports::Answer;
using ports::MessageButtons;
using ports::MessageIcon;
using Result = station::ElementSocket::Result;
namespace record_keys = store::record;

const station::ElementSocket::FailureText kSocketFailure{
    "Error 2: Unable to use UDP port 2978: occupied.", false, "Error 2: Unable to use UDP port 2978: "};
constexpr const char* kNoAddress = "No address is stored for this element.";
constexpr int kAutoRefreshMs = 1000;

ports::Color colorOf(IndicatorState state) {
    switch (state) {
        case IndicatorState::Red:
            return ports::kRed;
        case IndicatorState::Green:
            return ports::kGreen;
        case IndicatorState::Neutral:
            break;
    }
    return ports::kSystemButtonFace;
}

const char* stateWord(ports::Color color) {
    if (color == ports::kRed) return "red";
    if (color == ports::kGreen) return "green";
    return "neutral";
}

// 2026-01-01T00:00:05Z
}  // namespace

frmStatistics::frmStatistics(station::StationContext& context)
    : tmrAutoRefresh(context.scheduler(), context.gate(), kAutoRefreshMs),
      context_(context),
      socket_(context, protocol::kPortStatistics, protocol::kPortStatistics) {
    form.setCaption("Status");
    frmStats.setCaption("[DEVICE]");
    const std::pair<ports::Label*, const char*> captions[] = {
        {&lblCapMACTxOK, "Good TX Frames:"},
        {&lblCapMACRxOK, "Good RX Frames:"},
        {&lblCapMACTxErr, "Bad TX Frames:"},
        {&lblCapMACRxErr, "Bad RX Frames:"},
        {&lblCapPTPRxOK, "Good PTP Sync:"},
        {&lblCapPTPRxErr, "Bad PTP Sync:"},
        {&lblCapPTPClkAdj, "Clock Difference:"},
        {&lblCapPTPLatency, "Measured delay:"},
        {&lblCapAudioRxFramesOK, "OK Audio Frames:"},
        {&lblCapAudioRxFramesErr, "Bad Audio Frames:"},
        {&lblCapOMAlarmsList, "Active alarms / status:"},
    };
    for (auto [label, text] : captions) label->setCaption(text);
    showNoFigures();
    cmdRefreshStats.setCaption("&Refresh");
    cmdRefreshStats.setToolTip("Fetch counters");
    cmdResetStats.setCaption("&Clear");
    cmdResetStats.setToolTip("Reset counters to zero");
    chkAutoRefresh.setCaption("Auto refresh");
    chkAutoRefresh.setToolTip("Fetch counters every second");
    cmdCopy.setCaption("Copy");
    cmdCopy.setToolTip("Copy the figures to the clipboard");
    lblStatus.setCaption("");

    form.onOperatorClose = [this] { Form_Unload(); };
    cmdRefreshStats.onClick = [this] { cmdRefreshStats_Click(); };
    cmdResetStats.onClick = [this] { cmdResetStats_Click(); };
    cmdCopy.onClick = [this] {
        if (onCopy) onCopy(snapshotText());
    };
    // The timer runs exactly while the box is ticked; a tick merges with one still queued, so
    // a slow station never sends more than one request per tick.
    chkAutoRefresh.onClick = [this](ports::Origin) {
        tmrAutoRefresh.setEnabled(chkAutoRefresh.checked());
    };
    tmrAutoRefresh.onTimer = [this] { cmdRefreshStats_Click(); };
    udpClient2().onDataArrival = [this](const ports::Datagram& d) { udpClient2_DataArrival(d); };
    // Only the shown element's figures are shown under its name; a datagram from anyone else,
    // or too long to be a reply, is dropped before it can queue behind a box.
    socket_.acceptRepliesFromShownOnly(protocol::statistics::kMaxReplyLength);

    context.atEnd([this] {
        tmrAutoRefresh.setEnabled(false);
        socket_.close();
    });
}

frmStatistics::~frmStatistics() = default;

std::array<frmStatistics::FigureRow, 10> frmStatistics::figureRows() {
    return {{{lblCapMACTxOK, lblMACTxOK},
             {lblCapMACRxOK, lblMACRxOK},
             {lblCapMACTxErr, lblMACTxErr},
             {lblCapMACRxErr, lblMACRxErr},
             {lblCapPTPRxOK, lblPTPRxOK},
             {lblCapPTPRxErr, lblPTPRxErr},
             {lblCapPTPClkAdj, lblPTPClkAdj},
             {lblCapPTPLatency, lblPTPLatency},
             {lblCapAudioRxFramesOK, lblAudioRxFramesOK},
             {lblCapAudioRxFramesErr, lblAudioRxFramesErr}}};
}

void frmStatistics::showNoFigures() {
    for (auto* label : {&lblMACTxOK, &lblMACRxOK, &lblMACTxErr, &lblMACRxErr, &lblPTPRxOK,
                        &lblPTPRxErr, &lblPTPClkAdj, &lblPTPLatency, &lblAudioRxFramesOK,
                        &lblAudioRxFramesErr, &lblOMAlarmsList})
        label->setCaption("-");
    lblOMAlarmsList.setVisible(true);
    applyIndicator(lblAudio, {IndicatorState::Neutral, kUnknownState, kCaptionAudio});
    applyIndicator(lblClock, {IndicatorState::Neutral, kUnknownState, kCaptionClock});
    applyIndicator(lbl1PPS, {IndicatorState::Neutral, kUnknownState, kCaption1pps});
    applyIndicator(lblEthernet, {IndicatorState::Neutral, kUnknownState, kCaptionEthernet});
    lastView_.reset();
}

void frmStatistics::open() {
    port_ = context_.port2978().take();
    socket_.oweReplies(port_.owed());
    // The object outlives the window: what it showed of the element it was last opened for
    // (PTP figures a reply for an element without SFN leaves alone) must not stand under this
    // one's name, nor be copied as its figures.
    showNoFigures();
    form.show();
    Form_Load();
}

void frmStatistics::Form_Load() {
    if (!socket_.bind()) {
        lastSend_ = Result::Failed;
        socket_.fail(kSocketFailure);
        return;
    }
    shownName_ = context_.readShown(record_keys::kName, "");
    frmStats.setCaption(shownName_ + ":");
    cmdRefreshStats_Click();
}

void frmStatistics::Form_Unload() {
    chkAutoRefresh.setChecked(false);
    tmrAutoRefresh.setEnabled(false);
    socket_.close();
    form.hide();
    port_.giveBack();
}

void frmStatistics::cmdRefreshStats_Click() {
    send(protocol::kGetStatsRequest);
}

void frmStatistics::cmdResetStats_Click() {
    const Answer answer =
        context_.msgBox("You will reset all counters to zero.\rAre you sure?",
                        MessageIcon::Question, MessageButtons::YesNo, Answer::No, "Reset counters");
    // The counts before are those of the last reply this window decoded, when there was one.
    const std::string before = lastView_ ? countersText(record) : std::string();
    if (answer == Answer::Yes && send(protocol::kResetStatsRequest))
        context_.noteOperatorChange("counters reset", before, "0");
}

bool frmStatistics::send(std::string_view request) {
    const auto bytes = protocol::requestBytes(request);
    lastSend_ = socket_.sendToShown(bytes, kSocketFailure);
    switch (lastSend_) {
        case Result::Sent:
            lblStatus.setCaption("");
            return true;
        case Result::NoAddress:
            // Nothing is wrong with the socket: a hand-edited record lacks its address. Said on
            // the window rather than in a box, so auto refresh does not raise one every second.
            lblStatus.setCaption(kNoAddress);
            break;
        case Result::Failed:
            break;  // said, and the program has ended
        case Result::SendFailed:
            // Said once: auto refresh would say it again every second.
            chkAutoRefresh.setChecked(false);
            tmrAutoRefresh.setEnabled(false);
            break;
    }
    return false;
}

void frmStatistics::udpClient2_DataArrival(const ports::Datagram& datagram) {
    if (datagram.bytes.size() > protocol::statistics::kMaxReplyLength) return;
    DecodeStatistics(datagram.bytes);
}

ElementFacts frmStatistics::shownElementFacts() {
    const auto shown = context_.shownElement();
    ElementFacts facts;
    facts.role = static_cast<int>(shown.role);
    facts.sfn = shown.sfn.value_or(0);
    facts.sdm = shown.silenceMode.value_or(0);
    facts.shownAsDecoder = shown.isDecoder();
    return facts;
}

void frmStatistics::DecodeStatistics(std::span<const std::uint8_t> reply) {
    const ElementFacts facts = shownElementFacts();
    lastView_ = decodeStatistics(reply, facts, record, context_.clock().tickCount());
    applyView(*lastView_);
    replied(readingOf(record, facts, reply.size() >= kAdditionalLatencyMinLength));
}

void frmStatistics::applyView(const StatisticsView& v) {
    applyIndicator(lblAudio, v.audio);
    applyIndicator(lblClock, v.clock);
    applyIndicator(lbl1PPS, v.pps);
    applyIndicator(lblEthernet, v.ethernet);
    if (v.alarmsList) lblOMAlarmsList.setCaption(*v.alarmsList);
    lblOMAlarmsList.setVisible(v.alarmsList.has_value());
    lblMACTxOK.setCaption(v.txFramesOk);
    lblMACRxOK.setCaption(v.rxFramesOk);
    lblMACTxErr.setCaption(v.txFramesErr);
    lblMACRxErr.setCaption(v.rxFramesErr);
    if (v.ptpSyncOk) lblPTPRxOK.setCaption(*v.ptpSyncOk);
    if (v.ptpSyncErr) lblPTPRxErr.setCaption(*v.ptpSyncErr);
    if (v.ptpClockDifference) lblPTPClkAdj.setCaption(*v.ptpClockDifference);
    if (v.ptpLatency) lblPTPLatency.setCaption(*v.ptpLatency);
    lblAudioRxFramesOK.setCaption(v.audioFramesOk);
    lblAudioRxFramesErr.setCaption(v.audioFramesErr);
}

void frmStatistics::applyIndicator(ports::Label& label, const Indicator& indicator) {
    label.setBackColor(colorOf(indicator.state));
    label.setToolTip(indicator.toolTip);
    label.setCaption(indicator.caption);
}

std::string frmStatistics::snapshotText() {
    std::string out =
        "Element: " + protocol::text::trim(shownName_) + " (" + context_.shownElementMac() + ")\n";
    out += "Time: " + protocol::text::isoUtcTime(context_.clock().unixTimeMs(), false) + "\n";
    for (const auto& row : figureRows()) out += row.caption.caption() + " " + row.figure.caption() + "\n";
    const std::pair<const ports::Label*, const char*> indicators[] = {
        {&lblAudio, kCaptionAudio},
        {&lblClock, kCaptionClock},
        {&lbl1PPS, kCaption1pps},
        {&lblEthernet, kCaptionEthernet},
    };
    for (auto [label, designed] : indicators) {
        std::string name = protocol::text::trim(designed);
        // The Ethernet indicator shows the link's speed and duplex in place of its name.
        const std::string shown = protocol::text::trim(label->caption());
        if (shown != name) name += " (" + shown + ")";
        out += name + ": " + stateWord(label->backColor()) + ", " + label->toolTip() + "\n";
    }
    if (lblOMAlarmsList.visible())
        out += lblCapOMAlarmsList.caption() + " " + lblOMAlarmsList.caption() + "\n";
    if (!lblStatus.caption().empty()) out += lblStatus.caption() + "\n";
    return out;
}

}  // namespace nms::stats
