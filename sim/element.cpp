#include "sim/element.h"

#include "protocol/address.h"

#include <cmath>
#include <numbers>

#include "protocol/audio_types.h"
#include "protocol/commands.h"
#include "protocol/delay.h"
#include "protocol/level.h"
#include "protocol/paging.h"
#include "protocol/text.h"

namespace nms::sim {

namespace {

using protocol::kPortFeedback;
using protocol::kPortLevelAndDecoderCommand;
using protocol::kPortEncoderCommand;
using protocol::kPortPaging;
using protocol::kPortStatistics;

constexpr std::uint8_t kMuteLevel = 14;

bool parseByte(const std::string& s, std::size_t& i, int base, int maxDigits, std::uint8_t& out) {
    int value = 0, digits = 0;
    while (i < s.size() && digits < maxDigits) {
        const char c = s[i];
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) break;
        value = value * base + d;
        ++digits;
        ++i;
    }
    if (digits == 0 || value > 255) return false;
    out = static_cast<std::uint8_t>(value);
    return true;
}

std::int32_t wrap32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

}  // namespace

std::optional<Ipv4> parseIpv4(const std::string& s) {
    Ipv4 ip{};
    std::size_t i = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= s.size() || s[i] != '.') return std::nullopt;
            ++i;
        }
        if (!parseByte(s, i, 10, 3, ip[part])) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    return ip;
}

std::string formatIpv4(const Ipv4& ip) { return protocol::FormatIP(ip); }

std::optional<Mac> parseMac(const std::string& s) {
    Mac mac{};
    std::size_t i = 0;
    for (std::size_t part = 0; part < 6; ++part) {
        if (part > 0) {
            if (i >= s.size() || (s[i] != ':' && s[i] != '-')) return std::nullopt;
            ++i;
        }
        const std::size_t start = i;
        if (!parseByte(s, i, 16, 2, mac[part]) || i - start != 2) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    return mac;
}

std::string formatMac(const Mac& mac) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0) out.push_back(':');
        out.push_back(digits[mac[i] >> 4]);
        out.push_back(digits[mac[i] & 0xF]);
    }
    return out;
}

Element::Element(ElementIdentity identity, ElementSettings settings)
    : identity_(std::move(identity)), settings_(settings) {
    rename(identity_.name);
}

void Element::rename(const std::string& name) {
    name_ = protocol::configurationName(name);
    identity_.name = protocol::text::trim(protocol::text::latin1ToUtf8(name_));
}

float Element::firmware() const { return static_cast<float>(identity_.major + identity_.minor / 100.0); }

// Older firmware sends shorter feedback. The lengths below follow the order in which the tail
// grew: an encoder gained the low-latency byte with 3.49 and the level byte with 3.7; a decoder
// sent its silence detector settings first, the SFN delay from 3.49, and the low-latency byte
// from 3.7.
std::size_t Element::feedbackLength() const {
    const float v = firmware();
    if (isDecoder()) {
        if (v >= 3.7f) return protocol::feedback::kDecoderLength;  // 54
        return v >= 3.49f ? 52 : 48;
    }
    if (v >= 3.7f) return protocol::feedback::kEncoderLength;  // 47
    return v >= 3.49f ? 45 : 44;
}

std::vector<std::uint8_t> Element::feedback() const {
    protocol::FeedbackFields f;
    for (std::size_t i = 0; i < 4; ++i) {
        f.ip[i] = identity_.ip[i];
        f.mask[i] = identity_.mask[i];
        f.gateway[i] = identity_.gateway[i];
        f.remote[i] = settings_.remote[i];
    }
    f.input = settings_.input;
    f.type = settings_.type;
    f.tx = settings_.tx;
    for (std::size_t i = 0; i < name_.size(); ++i) f.name[i] = name_[i];
    f.role = static_cast<std::uint8_t>(identity_.role);
    f.sn = identity_.serial;
    f.major = identity_.major;
    f.minor = identity_.minor;
    f.sfn = settings_.sfn;
    f.buf = settings_.buffer;
    f.llo = settings_.lowLatency;
    f.att = settings_.level;
    f.sdm = settings_.silenceMode;
    f.sdl = settings_.silenceLevel;
    f.sdt = settings_.silenceTime;
    f.delayNs = settings_.additionalDelayNs;
    return protocol::encodeFeedback(f, feedbackLength());
}

void Element::applyConfiguration(const protocol::DecodedConfiguration& c) {
    const auto& f = c.fields;
    identity_.ip = f.ip;
    identity_.mask = f.mask;
    identity_.gateway = f.gateway;
    settings_.remote = f.remote;
    settings_.input = f.input;
    std::uint8_t type = f.typeCode;
    // Narrowband and FLAC exist from 3.7 on; older firmware keeps the code alone.
    if (firmware() >= 3.7f) {
        if (f.narrowband) type |= protocol::kTypeNarrowBand;
        if (f.flac) type |= protocol::kTypeFlac;
    }
    settings_.type = type;
    settings_.tx = f.tx;
    settings_.sfn = f.sfn;
    name_ = f.name;
    identity_.name = protocol::text::trim(protocol::text::latin1ToUtf8(name_));
    settings_.lowLatency = f.lowLatency;
    if (c.hasSampleWidth) settings_.sampleWidth = f.sampleWidth;
    if (isDecoder()) {
        settings_.buffer = f.buffer;
        settings_.silenceMode = f.silenceMode;
        settings_.silenceLevel = f.silenceLevel;
        settings_.silenceTime = f.silenceTime;
    }
}

std::vector<OutDatagram> Element::receive(std::uint16_t port, std::span<const std::uint8_t> bytes,
                                          const std::string& senderIp, std::uint16_t /*senderPort*/,
                                          std::int64_t nowMs) {
    ++requestsHandled;
    std::vector<OutDatagram> out;
    auto answer = [&](std::uint16_t toPort, std::vector<std::uint8_t> payload) {
        out.push_back(OutDatagram{senderIp, toPort, port, {}, std::move(payload), 0});
    };
    switch (port) {
        case kPortPaging:
            if (protocol::isRequest(bytes, protocol::kPagingRequest)) answer(kPortFeedback, feedback());
            break;
        case kPortFeedback:
            if (auto c = protocol::decodeConfiguration(bytes, isDecoder())) {
                applyConfiguration(*c);
                answer(kPortFeedback, feedback());
            }
            break;
        case kPortLevelAndDecoderCommand:
            if (protocol::isRequest(bytes, protocol::kLevelRequest)) {
                answer(kPortFeedback, levelReply(nowMs));
            } else if (auto v = protocol::decodeCommandByte(bytes); v && isDecoder()) {
                settings_.level = *v;
            }
            break;
        case kPortEncoderCommand:
            if (auto v = protocol::decodeCommandByte(bytes); v && !isDecoder()) {
                settings_.level = static_cast<std::uint8_t>(255 - *v);
            }
            break;
        case kPortStatistics:
            if (protocol::isRequest(bytes, protocol::kGetStatsRequest)) {
                answer(kPortStatistics, statisticsReply(nowMs));
            } else if (protocol::isRequest(bytes, protocol::kResetStatsRequest)) {
                resetCounters(nowMs);
            } else if (protocol::isRequest(bytes, protocol::kGetDelayRequest)) {
                answer(kPortStatistics, delayReply(nowMs));
            } else if (auto s = protocol::decodeDelaySet(bytes); s && !faults.keepDelay) {
                settings_.additionalDelayNs = s->additionalNs;
                settings_.autoServo = s->autoServo;
            }
            break;
        default:
            break;
    }
    return withFaults(port, std::move(out));
}

std::vector<OutDatagram> Element::withFaults(std::uint16_t port, std::vector<OutDatagram> out) {
    if (out.empty() || (faults.onlyForPort != 0 && faults.onlyForPort != port)) return out;
    if (faults.drop != 0) {
        if (faults.drop > 0) --faults.drop;
        return {};
    }
    std::vector<OutDatagram> result;
    for (auto& d : out) {
        if (faults.overwriteByte && faults.overwriteByte->first < d.bytes.size()) {
            d.bytes[faults.overwriteByte->first] = faults.overwriteByte->second;
        }
        if (faults.truncateTo && *faults.truncateTo < d.bytes.size()) d.bytes.resize(*faults.truncateTo);
        if (faults.padTo > d.bytes.size()) d.bytes.resize(faults.padTo, 0);
        if (!faults.answerFrom.empty()) d.sourceIp = faults.answerFrom;
        d.delayMs += faults.delayMs;
        result.push_back(d);
        if (faults.answerTwice) result.push_back(d);
    }
    return result;
}

// Counters run at the rates of a working link: about 1000 audio frames a second one way,
// a trickle of control and PTP traffic the other, and now and then an error.
protocol::StatisticsFields Element::counters(std::int64_t nowMs) const {
    const std::int64_t t = nowMs > countersSinceMs_ ? nowMs - countersSinceMs_ : 0;
    protocol::StatisticsFields s;
    const std::int64_t streamErrors = t / 120000;
    if (isDecoder()) {
        s.rxFramesOk = wrap32(t);
        s.rxFramesErr = wrap32(streamErrors);
        s.txFramesOk = wrap32(t / 100);
        s.audioFramesOk = wrap32(t - streamErrors);
        s.audioFramesErr = wrap32(streamErrors);
    } else {
        s.txFramesOk = wrap32(t);
        s.txFramesErr = wrap32(t / 3600000);
        s.rxFramesOk = wrap32(t / 100);
        s.audioFramesOk = wrap32(t);
    }
    if (settings_.sfn == 1) {
        const double ms = static_cast<double>(nowMs);
        const double phase = identity_.serial % 97;
        s.ptpSyncOk = wrap32(t / 125);  // eight Sync messages a second
        s.ptpSyncErr = wrap32(t / 900000);
        s.ptpClockDifference = static_cast<std::int32_t>(std::lround(
            25.0 * std::sin(ms / 2300.0 + phase) + 9.0 * std::sin(ms / 410.0 + 2.0 * phase)));
        if (isDecoder()) {
            const double base = 800000.0 + (identity_.serial % 7) * 37000.0;
            s.measuredDelay = static_cast<std::int32_t>(
                std::lround(base + 15000.0 * std::sin(ms / 7300.0 + phase) + 4000.0 * std::sin(ms / 1300.0)));
            if (settings_.networkDelayNs) s.measuredDelay = *settings_.networkDelayNs;
        }
    }
    s.additionalLatency = settings_.additionalDelayNs;
    s.alarmWord = alarmWord;
    s.ethernetWord = ethernetWord;
    return s;
}

std::vector<std::uint8_t> Element::statisticsReply(std::int64_t nowMs) const {
    return protocol::encodeStatistics(counters(nowMs), isDecoder());
}

std::vector<std::uint8_t> Element::delayReply(std::int64_t nowMs) const {
    protocol::DelayReplyFields d;
    const auto c = counters(nowMs);
    if (isDecoder() && settings_.sfn == 1) {
        const double ms = static_cast<double>(nowMs);
        d.averageNs = c.measuredDelay;
        d.minimumNs = c.measuredDelay - 9000 - static_cast<std::int32_t>(std::lround(2000.0 * std::sin(ms / 900.0)));
        d.maximumNs = c.measuredDelay + 12000 + static_cast<std::int32_t>(std::lround(3000.0 * std::sin(ms / 1100.0)));
        if (settings_.networkDelayNs) {
            d.minimumNs = c.measuredDelay - 9000;
            d.maximumNs = c.measuredDelay + 12000;
        }
        if (settings_.autoServo) {
            d.servoCorrectionNs = static_cast<std::int32_t>(std::lround(-1500.0 + 400.0 * std::sin(ms / 5000.0)));
        }
    }
    d.additionalNs = settings_.additionalDelayNs;
    d.autoServo = settings_.autoServo;
    return protocol::encodeDelayReply(d);
}

// The station's level scale: 0.5 dB a step below 255, a decoder 5 dB hotter; 14 is mute.
double Element::levelGainDb() const {
    const double steps = (settings_.level - 255) * 0.5;
    return isDecoder() ? steps + 5.0 : steps;
}

std::vector<std::uint8_t> Element::levelReply(std::int64_t nowMs) const {
    std::vector<std::int32_t> samples(levelSamples, 0);
    if (settings_.level > kMuteLevel) {
        const double ms = static_cast<double>(nowMs);
        double dbfs = programmeDbfs + levelGainDb();
        if (liveProgramme) dbfs += -2.0 - 2.0 * std::sin(ms / 900.0);
        const double amplitude = std::min(std::pow(10.0, dbfs / 20.0), 1.0) * (protocol::kFullScale - 1);
        constexpr double kToneHz = 1000.0, kRate = 48000.0;
        const double start = ms / 1000.0;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const double t = start + static_cast<double>(i) / kRate;
            samples[i] = static_cast<std::int32_t>(std::lround(amplitude * std::sin(2.0 * std::numbers::pi * kToneHz * t)));
        }
    }
    return protocol::encodeLevelReply(samples);
}

}  // namespace nms::sim
