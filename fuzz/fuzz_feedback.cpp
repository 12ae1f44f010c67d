// The feedback packet decoded over a previous record: a byte the datagram does not reach leaves
// its field as it was, a full-length packet decodes the same whatever came before, and what an
// element encodes decodes to the values it meant.
#include <cmath>
#include <cstring>

#include "fuzz_support.h"
#include "protocol/address.h"
#include "protocol/feedback.h"
#include "protocol/rounding.h"
#include "protocol/text.h"

namespace {

using nms::fuzz::check;
using nms::protocol::FeedbackRecord;
namespace fb = nms::protocol::feedback;

std::int32_t be32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(d[at]) << 24 |
                                     static_cast<std::uint32_t>(d[at + 1]) << 16 |
                                     static_cast<std::uint32_t>(d[at + 2]) << 8 | d[at + 3]);
}

void checkAgainstPrevious(const std::vector<std::uint8_t>& d, const FeedbackRecord& prev,
                          const FeedbackRecord& r) {
    const std::size_t n = d.size();
    auto address = [&](std::size_t at, const std::string& now, const std::string& before) {
        if (n >= at + 4) return now == nms::protocol::FormatIP(std::span(d).subspan(at, 4));
        return now == before;
    };
    check(address(fb::kIp, r.ip, prev.ip), "ip");
    check(address(fb::kMask, r.mask, prev.mask), "mask");
    check(address(fb::kGateway, r.gateway, prev.gateway), "gateway");
    check(address(fb::kRemote, r.remote, prev.remote), "remote");
    check(r.input == (n > fb::kInput ? d[fb::kInput] : prev.input), "input");
    check(r.type == (n > fb::kType ? d[fb::kType] : prev.type), "type");
    check(r.tx == (n > fb::kTx ? d[fb::kTx] : prev.tx), "tx");
    const std::size_t nameBytes = n > fb::kName ? std::min(fb::kNameLength, n - fb::kName) : 0;
    check(nms::protocol::text::length(r.name) == nameBytes, "name holds one character per byte");
    check(r.role == (n > fb::kRole ? d[fb::kRole] : prev.role), "role");
    check(r.sn == (n >= fb::kSerial + 4 ? be32(d, fb::kSerial) : 0), "serial number");
    // The version is formed from the encoder layout's bytes, before a decoder's are read.
    if (r.role != 2) check(r.version == static_cast<float>(r.major + r.minor / 100.0), "version");
    check(r.versionText() == std::to_string(r.major) + "." + std::to_string(r.minor),
          "version text");
    if (r.role != 2 && r.version < 3.7f) check(r.att == prev.att, "att of an older encoder");
}

void checkFullLength(const std::vector<std::uint8_t>& d, const FeedbackRecord& prev,
                     const FeedbackRecord& r) {
    // A packet of an element of current firmware says everything its role has; what it does
    // not carry (an encoder's silence detector) is all that may differ with the past.
    FeedbackRecord fresh = nms::protocol::decodeFeedback(d, FeedbackRecord{});
    if (r.role == 2 && d.size() >= fb::kDecoderLength) {
        check(fresh == r, "a full decoder packet decodes the same after any other");
    } else if (r.role != 2 && d.size() >= fb::kEncoderLength) {
        fresh.sdm = r.sdm, fresh.sdl = r.sdl, fresh.sdt = r.sdt;
        if (r.version < 3.7f) fresh.att = r.att;
        check(fresh == r, "a full encoder packet decodes the same after any other");
    }
    (void)prev;
}

void checkRoundTrip(nms::fuzz::Bytes& in) {
    nms::protocol::FeedbackFields f;
    const auto raw = in.take(36);
    if (raw.size() < 36) return;
    std::memcpy(f.ip, raw.data(), 4);
    std::memcpy(f.mask, raw.data() + 4, 4);
    std::memcpy(f.gateway, raw.data() + 8, 4);
    std::memcpy(f.remote, raw.data() + 12, 4);
    f.input = raw[16], f.type = raw[17], f.tx = raw[18];
    std::memcpy(f.name, raw.data() + 19, 16);
    f.role = static_cast<std::uint8_t>(raw[35] % 3);
    f.sn = static_cast<std::int32_t>(in.u32());
    f.major = in.byte(), f.minor = in.byte(), f.sfn = in.byte(), f.buf = in.byte(),
    f.llo = in.byte();
    f.att = in.byte(), f.sdm = in.byte(), f.sdl = in.byte(), f.sdt = in.byte();
    f.delayNs = static_cast<std::int32_t>(in.u32());

    const auto packet = nms::protocol::encodeFeedback(f);
    check(packet.size() == (f.role == 2 ? fb::kDecoderLength : fb::kEncoderLength),
          "packet length");
    const FeedbackRecord r = nms::protocol::decodeFeedback(packet, FeedbackRecord{});
    check(r.ip == nms::protocol::FormatIP(f.ip) && r.mask == nms::protocol::FormatIP(f.mask) &&
              r.gateway == nms::protocol::FormatIP(f.gateway) &&
              r.remote == nms::protocol::FormatIP(f.remote),
          "addresses round trip");
    check(
        r.input == f.input && r.type == f.type && r.tx == f.tx && r.role == f.role && r.sn == f.sn,
        "header");
    check(r.name == nms::protocol::text::latin1ToUtf8(f.name), "name round trip");
    check(r.major == f.major && r.minor == f.minor && r.sfn == f.sfn && r.buf == f.buf &&
              r.llo == f.llo,
          "tail");
    if (f.role == 2) {
        check(r.att == f.att && r.sdm == f.sdm && r.sdl == f.sdl && r.sdt == f.sdt, "decoder tail");
        check(r.dly == static_cast<std::int32_t>(nms::protocol::roundHalfEven(f.delayNs / 100.0)),
              "delay");
    } else if (r.version >= 3.7f) {
        check(r.att == f.att, "encoder level");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nms::fuzz::Bytes in(data, size);
    // A first datagram makes the previous record; the second is decoded over it.
    const auto first = in.take(in.byte() % 64);
    const auto second = in.take(in.byte() % 64);
    const FeedbackRecord prev = nms::protocol::decodeFeedback(first, FeedbackRecord{});
    const FeedbackRecord r = nms::protocol::decodeFeedback(second, prev);
    check(nms::protocol::decodeFeedback(second, prev) == r, "decoding is a function of its inputs");
    checkAgainstPrevious(second, prev, r);
    checkFullLength(second, prev, r);
    checkRoundTrip(in);
    return 0;
}
