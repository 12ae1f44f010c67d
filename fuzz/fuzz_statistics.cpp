// Statistics replies of any length, one after another into the same record: every figure is the
// reply's field or 0 when the reply does not reach it, a word is "not received" unless the reply
// carries it at the role's offset, ratios of real counters are percentages, and the frame rate
// is measured from the reply before.
#include <charconv>

#include "fuzz_support.h"
#include "protocol/statistics.h"
#include "stats/statistics_decoder.h"

namespace {

using nms::fuzz::check;
using namespace nms::stats;
namespace st = nms::protocol::statistics;
using nms::protocol::GetLongFromReply;
using nms::protocol::GetWordFromReply;

std::int32_t be32(const std::vector<std::uint8_t>& d, std::size_t at) {
    if (at + 4 > d.size()) return 0;
    return static_cast<std::int32_t>(std::uint32_t{d[at]} << 24 | std::uint32_t{d[at + 1]} << 16 |
                                     std::uint32_t{d[at + 2]} << 8 | d[at + 3]);
}

void checkRatio(std::int32_t ok, std::int32_t err, float ratio) {
    if (ok < 0 || err < 0) return;  // an element's counter gone negative means nothing
    if (std::int64_t{ok} + err == 0) return check(ratio == 0.0f, "no frames, no ratio");
    check(ratio >= 0.0f && ratio <= 100.0f, "a ratio of counters is a percentage");
}

void checkReply(const std::vector<std::uint8_t>& reply, const ElementFacts& facts,
                const StatisticsRecord& before, const StatisticsRecord& r, const StatisticsView& v,
                std::uint32_t tick) {
    check(r.UDP_Response_Tx_Frames_OK == be32(reply, st::kTxFramesOk), "tx frames");
    check(r.UDP_Response_Rx_Frames_OK == be32(reply, st::kRxFramesOk), "rx frames");
    check(r.UDP_Response_Tx_Frames_Err == be32(reply, st::kTxFramesErr), "tx errors");
    check(r.UDP_Response_Rx_Frames_Err == be32(reply, st::kRxFramesErr), "rx errors");
    check(r.UDP_Response_Rx_Audio_Frames_OK == be32(reply, st::kAudioFramesOk), "audio frames");
    check(v.txFramesOk == std::to_string(r.UDP_Response_Tx_Frames_OK), "tx frames shown");
    checkRatio(r.UDP_Response_Tx_Frames_OK, r.UDP_Response_Tx_Frames_Err,
               r.UDP_Response_Tx_Frames_Err_Ratio);
    checkRatio(r.UDP_Response_Rx_Frames_OK, r.UDP_Response_Rx_Frames_Err,
               r.UDP_Response_Rx_Frames_Err_Ratio);
    checkRatio(r.UDP_Response_Rx_Audio_Frames_OK, r.UDP_Response_Rx_Audio_Frames_Err,
               r.UDP_Response_Rx_Audio_Frames_Err_Ratio);
    check(r.UDP_Response_Tick == tick, "tick");
    check(r.UDP_Response_Additional_Latency == (reply.size() >= 57
                                                    ? be32(reply, st::kAdditionalLatency)
                                                    : before.UDP_Response_Additional_Latency),
          "additional latency stays unless carried");

    std::size_t alarmAt = 0, ethAt = 0;
    if (facts.role == 2) alarmAt = st::kDecAlarmWord, ethAt = st::kDecEthernetWord;
    if (facts.role == 1) alarmAt = st::kEncAlarmWord, ethAt = st::kEncEthernetWord;
    auto word = [&](std::size_t at) -> std::int32_t {
        if (at == 0 || at + 2 > reply.size()) return 65535;
        return GetWordFromReply(reply, at);
    };
    check(r.UDP_Response_OM_Alarms_List == word(alarmAt), "alarm word");
    check(r.UDP_Response_ETH_Status == word(ethAt), "ethernet word");
    if (r.UDP_Response_ETH_Status == 65535)
        check(v.ethernet.state == IndicatorState::Neutral, "ethernet unknown");
    if (r.UDP_Response_OM_Alarms_List == 65535) {
        check(v.audio.state == IndicatorState::Neutral &&
                  v.clock.state == IndicatorState::Neutral &&
                  v.pps.state == IndicatorState::Neutral && !v.alarmsList,
              "alarm indicators unknown");
    }
    check(v.ptpSyncOk.has_value() == (facts.sfn == 1), "PTP figures only for SFN");
    check(v.ptpLatency.has_value() == (facts.sfn == 1 && facts.shownAsDecoder),
          "latency only for an SFN decoder");
    if (v.ptpLatency) {
        check(r.UDP_Response_PTP_Sync_Latency ==
                  std::int64_t{be32(reply, st::kMeasuredDelay)} + r.UDP_Response_Additional_Latency,
              "latency is measured plus additional");
    }
    if (facts.role == 2) {
        check(v.audioFrameRate == frameRate(r.UDP_Response_Rx_Audio_Frames_OK,
                                            before.UDP_Response_Rx_Audio_Frames_OK_prev, tick,
                                            before.UDP_Response_Tick_prev),
              "rate from the reply before");
        check(r.UDP_Response_Tick_prev == tick &&
                  r.UDP_Response_Rx_Audio_Frames_OK_prev == r.UDP_Response_Rx_Audio_Frames_OK,
              "the next rate counts from this reply");
    } else {
        check(!v.audioFrameRate && r.UDP_Response_Tick_prev == before.UDP_Response_Tick_prev,
              "no rate");
    }
    // The shown texts read back as the numbers they stand for.
    long long shown = 0;
    const auto& text = v.rxFramesErr;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), shown);
    check(ec == std::errc() && shown == r.UDP_Response_Rx_Frames_Err &&
              end != text.data() + text.size(),
          "error count leads its text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nms::fuzz::Bytes in(data, size);
    ElementFacts facts;
    facts.role = static_cast<int>(in.pick(4));
    facts.sfn = static_cast<int>(in.pick(3));
    facts.sdm = static_cast<int>(in.pick(5));
    facts.shownAsDecoder = in.flag();
    StatisticsRecord record;
    std::uint32_t tick = in.u32();
    for (int replies = 0; !in.empty() && replies < 16; ++replies) {
        const auto reply = in.take(in.byte() % 80);
        tick += in.u16();  // wraps like the real tick count
        const StatisticsRecord before = record;
        const StatisticsView view = decodeStatistics(reply, facts, record, tick);
        checkReply(reply, facts, before, record, view, tick);
    }
    // The helpers on their own, on any counters.
    const auto ok = static_cast<std::int32_t>(in.u32()), err = static_cast<std::int32_t>(in.u32());
    const float ratio = errorRatio(ok, err);
    checkRatio(ok, err, ratio);
    check(errorRatioText(err, ratio).rfind(std::to_string(err) + " (", 0) == 0, "ratio text");
    return 0;
}
