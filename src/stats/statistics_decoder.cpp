#include "stats/statistics_decoder.h"

#include <charconv>

#include "protocol/statistics.h"
#include "protocol/text.h"
#include "store/element_record.h"

namespace nms::stats {

namespace {

using namespace protocol::statistics;
using protocol::GetLongFromReply;
using protocol::GetWordFromReply;
using store::record::kRoleDecoder;
using store::record::kRoleEncoder;

constexpr std::int32_t kWordNotReceived = 65535;

// num / den rounded to the nearest whole number, halves to the even neighbour. In integers, so
// that a half is recognised exactly, which a floating-point quotient does not guarantee.
std::int64_t divideHalfEven(std::int64_t num, std::int64_t den) {
    if (den < 0) num = -num, den = -den;
    std::int64_t q = num / den;
    std::int64_t r = num % den;
    if (r < 0) --q, r += den;  // floor division: 0 <= r < den
    if (2 * r > den || (2 * r == den && q % 2 != 0)) ++q;
    return q;
}

std::string shortestFloat(float v) {
    if (v == 0.0f) return "0";  // also -0
    char buf[64];
    // Fixed notation: a percentage never reads as 1e+02.
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (ec != std::errc()) return "0";
    return std::string(buf, end);
}

Indicator indicator(IndicatorState state, std::string toolTip, std::string caption) {
    return {state, std::move(toolTip), std::move(caption)};
}

Indicator audioIndicator(int sdm, bool triggered) {
    const auto state = triggered ? IndicatorState::Red : IndicatorState::Green;
    switch (sdm) {
        case 0:
            return indicator(
                state,
                triggered ? "Silence detector is triggered." : "Silence detector is not triggered.",
                kCaptionAudio);
        case 3:
            return indicator(state,
                             triggered ? "Packet loss detector is triggered."
                                       : "Packet loss detector is not triggered.",
                             kCaptionAudio);
        default:
            return indicator(IndicatorState::Neutral,
                             "Unknown state. Silence / packet loss detector is disabled.",
                             kCaptionAudio);
    }
}

Indicator ethernetIndicator(std::int32_t word) {
    if (word >= kWordNotReceived)
        return indicator(IndicatorState::Neutral, kUnknownState, kCaptionEthernet);
    if ((word & kEthLinkUp) == 0)
        return indicator(IndicatorState::Red, "Not connected.", kCaptionEthernet);
    const std::string speed = (word & kEth10Mbit) ? " 10" : " 100";
    const std::string duplex = (word & kEthFullDuplex) ? " Full " : " Half ";
    return indicator(IndicatorState::Green, "ETH connected.", speed + duplex);
}

}  // namespace

float errorRatio(std::int32_t ok, std::int32_t err) {
    // Both counters are signed 32-bit; their sum may not be.
    const std::int64_t total = std::int64_t{ok} + err;
    if (total == 0) return 0.0f;
    const std::int64_t hundredths = divideHalfEven(std::int64_t{err} * 10000, total);
    return static_cast<float>(static_cast<double>(hundredths) / 100.0);
}

std::string errorRatioText(std::int32_t err, float ratio) {
    return std::to_string(err) + " (" + shortestFloat(ratio) + "%)";
}

std::string countersText(const StatisticsRecord& r) {
    auto pair = [](const char* name, std::int32_t ok, std::int32_t err) {
        return std::string(name) + " " + std::to_string(ok) + ", errors " + std::to_string(err);
    };
    return pair("TX frames", r.UDP_Response_Tx_Frames_OK, r.UDP_Response_Tx_Frames_Err) + "; " +
           pair("RX frames", r.UDP_Response_Rx_Frames_OK, r.UDP_Response_Rx_Frames_Err) + "; " +
           pair("PTP syncs", r.UDP_Response_PTP_Sync_OK, r.UDP_Response_PTP_Sync_Err) + "; " +
           pair("audio frames", r.UDP_Response_Rx_Audio_Frames_OK,
                r.UDP_Response_Rx_Audio_Frames_Err);
}

StatisticsReading readingOf(const StatisticsRecord& r, const ElementFacts& facts,
                            bool carriesAdditionalLatency) {
    StatisticsReading out;
    out.txFramesOk = r.UDP_Response_Tx_Frames_OK;
    out.rxFramesOk = r.UDP_Response_Rx_Frames_OK;
    out.txFrameErrors = r.UDP_Response_Tx_Frames_Err;
    out.rxFrameErrors = r.UDP_Response_Rx_Frames_Err;
    out.txErrorRatio = r.UDP_Response_Tx_Frames_Err_Ratio;
    out.rxErrorRatio = r.UDP_Response_Rx_Frames_Err_Ratio;
    if (facts.sfn == 1) {
        out.ptpSyncsOk = r.UDP_Response_PTP_Sync_OK;
        out.ptpSyncErrors = r.UDP_Response_PTP_Sync_Err;
        out.ptpClockDifferenceNs = r.UDP_Response_PTP_Sync_Value;
        if (facts.shownAsDecoder) out.ptpLatencyNs = r.UDP_Response_PTP_Sync_Latency;
    }
    if (carriesAdditionalLatency) out.additionalLatencyNs = r.UDP_Response_Additional_Latency;
    out.audioFramesOk = r.UDP_Response_Rx_Audio_Frames_OK;
    out.audioFrameErrors = r.UDP_Response_Rx_Audio_Frames_Err;
    out.audioErrorRatio = r.UDP_Response_Rx_Audio_Frames_Err_Ratio;
    auto word = [](std::int32_t w) {
        return w >= 0 && w < kWordNotReceived ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(w))
                                              : std::nullopt;
    };
    out.alarmWord = word(r.UDP_Response_OM_Alarms_List);
    out.ethernetWord = word(r.UDP_Response_ETH_Status);
    return out;
}

std::string readingJsonMembers(const StatisticsReading& r, bool withRatiosAndLatency) {
    auto num = [](const auto& n) { return std::to_string(n); };
    auto maybe = [&](const auto& n) { return n ? num(*n) : std::string("null"); };
    auto ratio = [](float v) { return protocol::text::fixedNumber(static_cast<double>(v), 2); };
    std::string out = "\"tx_ok\": " + num(r.txFramesOk) + ", \"rx_ok\": " + num(r.rxFramesOk) +
                      ", \"tx_err\": " + num(r.txFrameErrors) + ", \"rx_err\": " + num(r.rxFrameErrors);
    if (withRatiosAndLatency)
        out += ", \"tx_err_ratio\": " + ratio(r.txErrorRatio) + ", \"rx_err_ratio\": " + ratio(r.rxErrorRatio);
    out += ", \"ptp_sync_ok\": " + maybe(r.ptpSyncsOk) + ", \"ptp_sync_err\": " + maybe(r.ptpSyncErrors) +
           ", \"ptp_clock_difference_ns\": " + maybe(r.ptpClockDifferenceNs);
    if (withRatiosAndLatency)
        out += ", \"ptp_latency_ns\": " + maybe(r.ptpLatencyNs) +
               ", \"additional_latency_ns\": " + maybe(r.additionalLatencyNs);
    out += ", \"audio_ok\": " + num(r.audioFramesOk) + ", \"audio_err\": " + num(r.audioFrameErrors);
    if (withRatiosAndLatency)
        out += ", \"audio_err_ratio\": " + ratio(r.audioErrorRatio) + ", \"audio_rate_pps\": null";
    return out + ", \"alarm_word\": " + maybe(r.alarmWord) + ", \"eth_word\": " + maybe(r.ethernetWord);
}

std::optional<std::int64_t> frameRate(std::int32_t framesNow, std::int32_t framesBefore,
                                      std::uint32_t tickNow, std::uint32_t tickBefore) {
    // Unsigned subtraction: the tick count wraps after about 49.7 days.
    const std::uint32_t elapsedMs = tickNow - tickBefore;
    const std::int64_t frames = std::int64_t{framesNow} - framesBefore;
    if (elapsedMs == 0 || frames < 0) return std::nullopt;
    return divideHalfEven(frames * 1000, elapsedMs);
}

namespace {

// The Ethernet frame counters, with the share of errors.
void decodeFrames(std::span<const std::uint8_t> reply, StatisticsRecord& rec,
                  StatisticsView& view) {
    rec.UDP_Response_Tx_Frames_OK = GetLongFromReply(reply, kTxFramesOk);
    view.txFramesOk = std::to_string(rec.UDP_Response_Tx_Frames_OK);
    rec.UDP_Response_Rx_Frames_OK = GetLongFromReply(reply, kRxFramesOk);
    view.rxFramesOk = std::to_string(rec.UDP_Response_Rx_Frames_OK);

    rec.UDP_Response_Tx_Frames_Err = GetLongFromReply(reply, kTxFramesErr);
    rec.UDP_Response_Tx_Frames_Err_Ratio =
        errorRatio(rec.UDP_Response_Tx_Frames_OK, rec.UDP_Response_Tx_Frames_Err);
    view.txFramesErr =
        errorRatioText(rec.UDP_Response_Tx_Frames_Err, rec.UDP_Response_Tx_Frames_Err_Ratio);
    rec.UDP_Response_Rx_Frames_Err = GetLongFromReply(reply, kRxFramesErr);
    rec.UDP_Response_Rx_Frames_Err_Ratio =
        errorRatio(rec.UDP_Response_Rx_Frames_OK, rec.UDP_Response_Rx_Frames_Err);
    view.rxFramesErr =
        errorRatioText(rec.UDP_Response_Rx_Frames_Err, rec.UDP_Response_Rx_Frames_Err_Ratio);
}

// PTP figures mean something only for an SFN element; otherwise the labels stay.
void decodePtp(std::span<const std::uint8_t> reply, const ElementFacts& facts,
               StatisticsRecord& rec, StatisticsView& view) {
    if (facts.sfn != 1) return;
    rec.UDP_Response_PTP_Sync_OK = GetLongFromReply(reply, kPtpSyncOk);
    view.ptpSyncOk = std::to_string(rec.UDP_Response_PTP_Sync_OK);
    rec.UDP_Response_PTP_Sync_Err = GetLongFromReply(reply, kPtpSyncErr);
    view.ptpSyncErr = std::to_string(rec.UDP_Response_PTP_Sync_Err);
    rec.UDP_Response_PTP_Sync_Value = GetLongFromReply(reply, kPtpClockDifference);
    view.ptpClockDifference = std::to_string(rec.UDP_Response_PTP_Sync_Value) + " nS";
    if (facts.shownAsDecoder) {
        rec.UDP_Response_PTP_Sync_Latency = std::int64_t{GetLongFromReply(reply, kMeasuredDelay)} +
                                            rec.UDP_Response_Additional_Latency;
        view.ptpLatency = std::to_string(rec.UDP_Response_PTP_Sync_Latency) + " nS";
    }
}

// The words sit where the element's role has them, and only a reply that reaches them carries
// them.
void readStatusWords(std::span<const std::uint8_t> reply, int role, StatisticsRecord& rec) {
    if (role == kRoleDecoder) {
        if (reply.size() >= kDecAlarmWord + 2)
            rec.UDP_Response_OM_Alarms_List = GetWordFromReply(reply, kDecAlarmWord);
        if (reply.size() >= kDecEthernetWord + 2)
            rec.UDP_Response_ETH_Status = GetWordFromReply(reply, kDecEthernetWord);
    } else if (role == kRoleEncoder) {
        if (reply.size() >= kEncAlarmWord + 2)
            rec.UDP_Response_OM_Alarms_List = GetWordFromReply(reply, kEncAlarmWord);
        if (reply.size() >= kEncEthernetWord + 2)
            rec.UDP_Response_ETH_Status = GetWordFromReply(reply, kEncEthernetWord);
    }
}

// Alarm indicators; a word of 65535 is indistinguishable from a missing one.
void showAlarms(std::int32_t alarms, const ElementFacts& facts, StatisticsView& view) {
    if (alarms >= kWordNotReceived) return;
    view.audio = audioIndicator(facts.sdm, (alarms & kAlarmAudio) != 0);
    if (facts.sfn != 1) {
        view.clock =
            indicator(IndicatorState::Neutral, "Unknown state. SFN is disabled.", kCaptionClock);
        view.pps =
            indicator(IndicatorState::Neutral, "Unknown state. SFN is disabled.", kCaption1pps);
        return;
    }
    const std::int32_t reference = alarms & kAlarmReferenceMask;
    if (reference != 0) {
        view.clock = indicator(IndicatorState::Red,
                               "10 MHz signal is problematic. See next error code.", kCaptionClock);
        view.alarmsList = std::to_string(reference);
    } else {
        view.clock =
            indicator(IndicatorState::Green, "10 MHz signal is present and good.", kCaptionClock);
    }
    if (alarms < kAlarm1ppsMissing)
        view.pps = indicator(IndicatorState::Green, "1 PPS signal is present.", kCaption1pps);
    else
        view.pps = indicator(IndicatorState::Red, "1 PPS signal is missing or is constantly HIGH.",
                             kCaption1pps);
}

// The audio frame counters, and for a decoder the rate since the last reply.
void decodeAudioFrames(std::span<const std::uint8_t> reply, const ElementFacts& facts,
                       StatisticsRecord& rec, StatisticsView& view) {
    rec.UDP_Response_Rx_Audio_Frames_OK = GetLongFromReply(reply, kAudioFramesOk);
    view.audioFramesOk = std::to_string(rec.UDP_Response_Rx_Audio_Frames_OK);
    rec.UDP_Response_Rx_Audio_Frames_Err = GetLongFromReply(reply, kAudioFramesErr);
    rec.UDP_Response_Rx_Audio_Frames_Err_Ratio =
        errorRatio(rec.UDP_Response_Rx_Audio_Frames_OK, rec.UDP_Response_Rx_Audio_Frames_Err);
    view.audioFramesErr = errorRatioText(rec.UDP_Response_Rx_Audio_Frames_Err,
                                         rec.UDP_Response_Rx_Audio_Frames_Err_Ratio);

    // Only a decoder receives audio frames at a rate worth showing. The previous values
    // move on even when no rate could be formed, so the next reply measures from this one.
    if (facts.role != kRoleDecoder) return;
    view.audioFrameRate =
        frameRate(rec.UDP_Response_Rx_Audio_Frames_OK, rec.UDP_Response_Rx_Audio_Frames_OK_prev,
                  rec.UDP_Response_Tick, rec.UDP_Response_Tick_prev);
    if (view.audioFrameRate)
        view.audioFramesOk += " (" + std::to_string(*view.audioFrameRate) + " pps)";
    rec.UDP_Response_Tick_prev = rec.UDP_Response_Tick;
    rec.UDP_Response_Rx_Audio_Frames_OK_prev = rec.UDP_Response_Rx_Audio_Frames_OK;
}

}  // namespace

StatisticsView decodeStatistics(std::span<const std::uint8_t> reply, const ElementFacts& facts,
                                StatisticsRecord& rec, std::uint32_t tickNow) {
    StatisticsView view;
    // Every indicator starts unknown and the alarm list hidden; the reply may say more.
    view.audio = indicator(IndicatorState::Neutral, kUnknownState, kCaptionAudio);
    view.clock = indicator(IndicatorState::Neutral, kUnknownState, kCaptionClock);
    view.pps = indicator(IndicatorState::Neutral, kUnknownState, kCaption1pps);
    view.ethernet = indicator(IndicatorState::Neutral, kUnknownState, kCaptionEthernet);

    // A word counts as received only if this reply carries it.
    rec.UDP_Response_OM_Alarms_List = kWordNotReceived;
    rec.UDP_Response_ETH_Status = kWordNotReceived;
    rec.UDP_Response_Tick = tickNow;

    if (reply.size() >= kAdditionalLatencyMinLength)
        rec.UDP_Response_Additional_Latency = GetLongFromReply(reply, kAdditionalLatency);

    decodeFrames(reply, rec, view);
    decodePtp(reply, facts, rec, view);
    readStatusWords(reply, facts.role, rec);
    showAlarms(rec.UDP_Response_OM_Alarms_List, facts, view);
    view.ethernet = ethernetIndicator(rec.UDP_Response_ETH_Status);
    decodeAudioFrames(reply, facts, rec, view);
    return view;
}

}  // namespace nms::stats
