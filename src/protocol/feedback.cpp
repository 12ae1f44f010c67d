#include "protocol/feedback.h"

#include "protocol/rounding.h"

#include <cmath>

#include "protocol/address.h"
#include "protocol/byte_order.h"
#include "protocol/text.h"

namespace nms::protocol {

std::string FeedbackRecord::versionText() const { return std::to_string(major) + "." + std::to_string(minor); }

FeedbackRecord decodeFeedback(std::span<const std::uint8_t> d, const FeedbackRecord& previous) {
    using namespace feedback;
    FeedbackRecord r = previous;
    const std::size_t n = d.size();
    auto has = [n](std::size_t index) { return index < n; };
    auto byteAt = [&](std::size_t index, std::uint8_t& field) {
        if (has(index)) field = d[index];
    };
    // An address changes only when the datagram holds all four of its bytes.
    auto address = [&](std::size_t at, std::string& field) {
        if (has(at + 3)) field = FormatIP(d.subspan(at, 4));
    };
    address(kIp, r.ip);
    address(kMask, r.mask);
    address(kGateway, r.gateway);
    address(kRemote, r.remote);
    byteAt(kInput, r.input);
    byteAt(kType, r.type);
    byteAt(kTx, r.tx);

    std::vector<std::uint8_t> name;
    for (std::size_t i = kName; i < kName + kNameLength && has(i); ++i) name.push_back(d[i]);
    r.name = text::latin1ToUtf8(name);

    byteAt(kRole, r.role);
    r.dly = 0;
    r.sn = BytesToLong(d, static_cast<std::int32_t>(kSerial), 4);

    r.major = 2;
    r.minor = 0;
    r.sfn = 0;
    r.buf = 0;
    if (n >= 43) {
        r.major = d[kEncMajor];
        r.minor = d[kEncMinor];
        r.sfn = d[kEncSfn];
        byteAt(kEncBuffer, r.buf);
        byteAt(kEncLowLatency, r.llo);
    }
    r.version = static_cast<float>(r.major + r.minor / 100.0);

    if (r.role == 2) {
        r.att = 255;
        r.buf = 1;
        auto decoderTail = [&] {
            byteAt(kDecAttenuation, r.att);
            byteAt(kDecMajor, r.major);
            byteAt(kDecMinor, r.minor);
            byteAt(kDecSfn, r.sfn);
            byteAt(kDecBuffer, r.buf);
        };
        if (n >= 42) decoderTail();
        if (n >= 47) {
            decoderTail();
            byteAt(kDecSilenceMode, r.sdm);
            byteAt(kDecSilenceLevel, r.sdl);
            byteAt(kDecSilenceTime, r.sdt);
            const double ns = BytesToLong(d, static_cast<std::int32_t>(kDecDelay), 4);
            r.dly = static_cast<std::int32_t>(roundHalfEven(ns / 100.0));
            byteAt(kDecLowLatency, r.llo);
        }
    } else if (r.version >= 3.7f) {
        r.att = has(kEncAttenuation) ? static_cast<std::uint8_t>(255 - d[kEncAttenuation]) : 255;
    }
    return r;
}

std::vector<std::uint8_t> encodeFeedback(const FeedbackFields& f, std::size_t length) {
    using namespace feedback;
    const bool decoder = f.role == 2;
    std::vector<std::uint8_t> d(decoder ? kDecoderLength : kEncoderLength, 0);
    auto put4 = [&](std::size_t at, const std::uint8_t* b) {
        for (std::size_t i = 0; i < 4; ++i) d[at + i] = b[i];
    };
    auto put32 = [&d](std::size_t at, std::int32_t v) { byte_order::put32(d, at, v); };
    put4(kIp, f.ip);
    put4(kMask, f.mask);
    put4(kGateway, f.gateway);
    put4(kRemote, f.remote);
    d[kInput] = f.input;
    d[kType] = f.type;
    d[kTx] = f.tx;
    for (std::size_t i = 0; i < kNameLength; ++i) d[kName + i] = f.name[i];
    d[kRole] = f.role;
    put32(kSerial, f.sn);
    if (decoder) {
        d[kDecAttenuation] = f.att;
        d[kDecMajor] = f.major;
        d[kDecMinor] = f.minor;
        d[kDecSfn] = f.sfn;
        d[kDecBuffer] = f.buf;
        d[kDecSilenceMode] = f.sdm;
        d[kDecSilenceLevel] = f.sdl;
        d[kDecSilenceTime] = f.sdt;
        put32(kDecDelay, f.delayNs);
        d[kDecLowLatency] = f.llo;
    } else {
        d[kEncMajor] = f.major;
        d[kEncMinor] = f.minor;
        d[kEncSfn] = f.sfn;
        d[kEncBuffer] = f.buf;
        d[kEncLowLatency] = f.llo;
        d[kEncAttenuation] = static_cast<std::uint8_t>(255 - f.att);
    }
    if (length != 0) d.resize(length, 0);
    return d;
}

}  // namespace nms::protocol
