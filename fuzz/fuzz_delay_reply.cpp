// The SFN window's reading of delay replies, on a station whose shown element is an SFN decoder:
// whatever arrives on port 2978, the window shows the reply's figures with the additional delay
// and servo correction added, or says the reply is unusable, and never shows a figure it could
// not hold. Its delay text reads back as the number it stands for, and the set command as the
// setting it carries.
#include <cstring>

#include "fuzz_support.h"
#include "protocol/delay.h"
#include "protocol/rounding.h"
#include "protocol/statistics.h"
#include "sfn/frm_adjust.h"

namespace {

using nms::fuzz::check;
namespace field = nms::protocol::delay;

constexpr const char* kDatabase =
    "[00AA00000002]\nNAME=TX EAST SFN    "
    "\nIP=192.168.1.60\nMASK=255.255.255.0\nGW=192.168.1.1\nINPUT=0\nTYPE=16\n"
    "TX=1\nMULTI=239.1.1.1\nROLE=2\nSN=2002\nVER=3.70\nSFN=1\nBUF=4\nSDM=0\nSDL=37\nSDT=43\nDLY="
    "0\nATT=245\nLLO=0\n";
constexpr std::int64_t kFixedLatencyNs = 265 + 395833;

// "1 mS, 0 uS, 5 nS" back to nanoseconds, or nothing when it is not in that form.
std::optional<std::int64_t> parseDelay(std::string text) {
    bool negative = false;
    if (!text.empty() && text[0] == '-') negative = true, text.erase(0, 1);
    std::int64_t total = 0;
    std::size_t pos = 0;
    int parts = 0;
    const char* units[] = {" mS", " uS", " nS"};
    const std::int64_t scale[] = {1000000, 1000, 1};
    int first = text.find(" mS") != std::string::npos   ? 0
                : text.find(" uS") != std::string::npos ? 1
                                                        : 2;
    for (int u = first; u < 3; ++u, ++parts) {
        std::size_t end = text.find(units[u], pos);
        if (end == std::string::npos || end == pos) return std::nullopt;
        std::int64_t v = 0;
        for (std::size_t i = pos; i < end; ++i) {
            if (text[i] < '0' || text[i] > '9') return std::nullopt;
            v = v * 10 + (text[i] - '0');
        }
        if (u > first && v >= 1000) return std::nullopt;
        if (u == first && u < 2 && v == 0) return std::nullopt;  // a leading zero part is left out
        total += v * scale[u];
        pos = end + 3;
        if (u < 2) {
            if (text.compare(pos, 2, ", ") != 0) return std::nullopt;
            pos += 2;
        }
    }
    if (pos != text.size()) return std::nullopt;
    return negative ? -total : total;
}

struct Expected {
    bool usable = false;
    std::int64_t avg = 0, min = 0, max = 0;
    int bar = 0;
    bool servoOn = false;
};

Expected expect(const std::vector<std::uint8_t>& r) {
    Expected e;
    const std::int32_t additional = nms::protocol::GetLongFromReply(r, field::kAdditional);
    e.bar = static_cast<int>(nms::protocol::roundHalfEven(
        std::clamp(static_cast<double>(additional) / 100.0, 0.0, 25000.0)));
    if (r.size() <= field::kServoState) return e;
    e.servoOn = r[field::kServoState] == 1;
    const std::int64_t servo =
        e.servoOn ? nms::protocol::GetLongFromReply(r, field::kServoCorrection) : 0;
    auto figure = [&](std::size_t at) {
        return std::int64_t{nms::protocol::GetLongFromReply(r, at)} + additional + servo;
    };
    e.avg = figure(field::kAverage), e.min = figure(field::kMinimum),
    e.max = figure(field::kMaximum);
    auto fits = [](std::int64_t v) {
        return v >= INT32_MIN && v <= INT32_MAX && v + kFixedLatencyNs <= INT32_MAX;
    };
    e.usable = fits(e.avg) && fits(e.min) && fits(e.max);
    return e;
}

void deliver(nms::fuzz::Station& s, std::vector<std::uint8_t> reply) {
    auto& w = s.main->adjust();
    const bool open = w.isOpen();
    const std::size_t boxes = s.dialogs.boxes, points = w.history.size();
    const Expected e = expect(reply);
    const bool accepted = reply.size() <= field::kReplyLength;
    s.network.deliver(2978, reply, "192.168.1.60");
    if (!open || !accepted) {
        check(w.history.size() == points && s.dialogs.boxes == boxes,
              "nothing shown for a datagram that is no reply");
        return;
    }
    check(w.scrlAdditionalDelay.value() == e.bar, "the element's additional delay on the bar");
    check(w.lblAdditionalDelay.caption() == nms::sfn::FormatDelay(e.bar * 100),
          "additional delay text");
    if (!e.usable) {
        check(s.dialogs.boxes == boxes + 1 && w.history.size() == points,
              "an unusable reply is said, not drawn");
        return;
    }
    check(s.dialogs.boxes == boxes, "a usable reply needs no box");
    check(w.chkAutoServo.checked() == e.servoOn, "servo state");
    check(
        w.lblCurrentDelayAVG.caption() == nms::sfn::FormatDelay(static_cast<std::int32_t>(e.avg)) &&
            w.lblCurrentDelayMIN.caption() ==
                nms::sfn::FormatDelay(static_cast<std::int32_t>(e.min)) &&
            w.lblCurrentDelayMAX.caption() ==
                nms::sfn::FormatDelay(static_cast<std::int32_t>(e.max)),
        "network delays");
    check(parseDelay(w.lblDelaySumAVG.caption()) == e.avg + kFixedLatencyNs,
          "summary includes the fixed latency");
    check(w.history.size() == std::min(points + 1, w.history.capacity()),
          "one point per usable reply");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nms::fuzz::Bytes in(data, size);

    // The pure parts first.
    const auto ns = static_cast<std::int32_t>(in.u32());
    check(parseDelay(nms::sfn::FormatDelay(ns)) == std::int64_t{ns}, "delay text reads back");
    const nms::protocol::DelaySetting setting{static_cast<std::int32_t>(in.u32()), in.flag()};
    check(nms::protocol::decodeDelaySet(nms::protocol::encodeDelaySet(setting)) == setting,
          "set command round trip");
    (void)nms::protocol::decodeDelaySet(in.take(in.byte() % 8));

    nms::fuzz::Station s(kDatabase);
    s.network.macs["192.168.1.60"] = {0x00, 0xAA, 0, 0, 0, 0x02};
    s.operatorDoes([&] { s.main->TreeView1.clickNode(0); });
    s.operatorDoes([&] { s.main->cmdAdjust_Click(); });
    auto& w = s.main->adjust();
    check(w.isOpen(), "the window opens for an SFN decoder");

    for (int step = 0; !in.empty() && step < 64; ++step) {
        switch (in.pick(8)) {
            case 0:
                deliver(s, in.take(in.byte() % 80));
                break;
            case 1: {
                nms::protocol::DelayReplyFields f;
                f.averageNs = static_cast<std::int32_t>(in.u32());
                f.minimumNs = static_cast<std::int32_t>(in.u16()) - 1000;
                f.maximumNs = static_cast<std::int32_t>(in.u32() % 5000000);
                f.additionalNs = static_cast<std::int32_t>(in.u32() % 3000000) - 100000;
                f.servoCorrectionNs = static_cast<std::int16_t>(in.u16());
                f.autoServo = in.flag();
                deliver(s, nms::protocol::encodeDelayReply(f));
                break;
            }
            case 2:
                s.operatorDoes([&, v = in.u16()] {
                    w.scrlAdditionalDelay.setValue(v, nms::ports::Origin::Operator);
                });
                break;
            case 3:
                s.operatorDoes([&] { w.cmdSet.click(); });
                break;
            case 4:
                s.operatorDoes([&, which = in.pick(4)] {
                    if (which == 0)
                        w.chkAutoUpdate.setValue(1 - w.chkAutoUpdate.value(),
                                                 nms::ports::Origin::Operator);
                    if (which == 1)
                        w.chkAutoServo.setValue(1 - w.chkAutoServo.value(),
                                                nms::ports::Origin::Operator);
                    if (which == 2)
                        w.chkAutoClear.setValue(1 - w.chkAutoClear.value(),
                                                nms::ports::Origin::Operator);
                    if (which == 3) w.cmdResetStats.click();
                });
                break;
            case 5:
                s.time.advance(in.byte() * 50);
                break;
            case 6:
                s.operatorDoes([&] { w.cmdRefresh.click(); });
                break;
            case 7:
                s.operatorDoes([&] { w.form.closeByOperator(); });
                s.operatorDoes([&] { s.main->cmdAdjust_Click(); });
                break;
        }
        check(!s.main->ended(), "the station runs on");
    }
    return 0;
}
