#include "protocol/statistics.h"

#include "protocol/byte_order.h"

namespace nms::protocol {

using namespace statistics;

std::vector<std::uint8_t> encodeStatistics(const StatisticsFields& f, bool decoderLayout) {
    std::vector<std::uint8_t> d(kMaxReplyLength, 0);
    using byte_order::put16;
    using byte_order::put32;
    put32(d, kTxFramesOk, f.txFramesOk);
    put32(d, kRxFramesOk, f.rxFramesOk);
    put32(d, kTxFramesErr, f.txFramesErr);
    put32(d, kRxFramesErr, f.rxFramesErr);
    put32(d, kPtpSyncOk, f.ptpSyncOk);
    put32(d, kPtpSyncErr, f.ptpSyncErr);
    put32(d, kPtpClockDifference, f.ptpClockDifference);
    put32(d, kMeasuredDelay, f.measuredDelay);
    put32(d, kAudioFramesOk, f.audioFramesOk);
    put32(d, kAudioFramesErr, f.audioFramesErr);
    put32(d, kAdditionalLatency, f.additionalLatency);
    put16(d, decoderLayout ? kDecAlarmWord : kEncAlarmWord, f.alarmWord);
    put16(d, decoderLayout ? kDecEthernetWord : kEncEthernetWord, f.ethernetWord);
    return d;
}

std::int32_t GetLongFromReply(std::span<const std::uint8_t> reply, std::size_t offset) {
    if (offset > reply.size() || reply.size() - offset < 4) return 0;
    return byte_order::get32(reply, offset);
}

std::uint16_t GetWordFromReply(std::span<const std::uint8_t> reply, std::size_t offset) {
    if (offset > reply.size() || reply.size() - offset < 2) return 0;
    return static_cast<std::uint16_t>((reply[offset] << 8) | reply[offset + 1]);
}

}  // namespace nms::protocol
