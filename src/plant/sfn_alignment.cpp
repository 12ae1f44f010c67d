#include "plant/sfn_alignment.h"

#include <algorithm>

namespace nms::plant {

std::int64_t ceilDiv(std::int64_t n, std::int64_t d) {
    const std::int64_t q = n / d;
    return (n % d != 0 && n > 0) ? q + 1 : q;
}

namespace {

std::optional<std::int64_t> spread(const std::vector<AlignmentInput>& decoders,
                                   const std::vector<std::int64_t>& totals) {
    std::optional<std::int64_t> lo, hi;
    for (std::size_t i = 0; i < decoders.size(); ++i) {
        if (!decoders[i].answered) continue;
        lo = std::min(lo.value_or(totals[i]), totals[i]);
        hi = std::max(hi.value_or(totals[i]), totals[i]);
    }
    if (!lo) return std::nullopt;
    return *hi - *lo;
}

}  // namespace

Alignment alignGroup(const std::vector<AlignmentInput>& decoders, std::int64_t marginNs) {
    Alignment a;
    a.marginNs = marginNs;
    a.proposals.resize(decoders.size());
    std::optional<std::int64_t> slowest;
    for (const auto& d : decoders)
        if (d.answered) slowest = std::max(slowest.value_or(d.pathNs), d.pathNs);
    std::vector<std::int64_t> before, after;
    for (const auto& d : decoders) before.push_back(d.totalNs());
    a.spreadBeforeNs = spread(decoders, before);
    if (!slowest) {
        a.error = kNoneAnswered;
        return a;
    }
    a.targetNs = ceilDiv(*slowest + marginNs, kNsPerStep) * kNsPerStep;
    int inRange = 0;
    for (std::size_t i = 0; i < decoders.size(); ++i) {
        auto& p = a.proposals[i];
        p.totalAfterNs = decoders[i].totalNs();
        if (!decoders[i].answered) continue;
        p.steps = ceilDiv(a.targetNs - decoders[i].pathNs, kNsPerStep);
        p.inRange = *p.steps >= 0 && *p.steps <= kMaxSteps;
        if (p.inRange) {
            p.totalAfterNs = decoders[i].pathNs + *p.steps * kNsPerStep;
            ++inRange;
        }
    }
    for (const auto& p : a.proposals) after.push_back(p.totalAfterNs);
    a.spreadAfterNs = spread(decoders, after);
    if (inRange == 0)
        a.error =
            "The target leaves every decoder out of range (0 to 25000 steps of 100 ns): "
            "nothing can be applied.";
    return a;
}

}  // namespace nms::plant
