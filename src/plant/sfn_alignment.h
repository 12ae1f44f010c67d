#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nms::plant {

// A decoder's additional delay moves in steps of 100 ns, from 0 to 25000 steps (2.5 ms).
inline constexpr std::int64_t kNsPerStep = 100;
inline constexpr std::int64_t kMaxSteps = 25000;
inline constexpr std::int64_t kDefaultMarginNs = 100000;
inline constexpr std::string_view kNoneAnswered =
    "No decoder of the group answered: there is nothing to align.";

// What the alignment needs of one decoder of a group, from a measurement.
struct AlignmentInput {
    bool answered = false;
    // The decoder's path before its additional delay: the largest network delay measured plus
    // the fixed latencies (and the servo correction in effect, which the decoder adds itself).
    std::int64_t pathNs = 0;
    std::int64_t additionalNs = 0;  // in effect
    std::int64_t totalNs() const { return pathNs + additionalNs; }
};

struct AlignmentProposal {
    // Nothing for a decoder that did not answer: nothing is guessed for it.
    std::optional<std::int64_t> steps;
    // False for a proposal outside 0 to 25000 steps: it is left out and keeps its delay.
    bool inRange = false;
    std::int64_t totalAfterNs = 0;  // what its total becomes (unchanged when left out)
};

struct Alignment {
    std::int64_t targetNs = 0;
    std::int64_t marginNs = 0;
    std::vector<AlignmentProposal> proposals;  // one per input, in order
    // The largest minus the smallest total of the decoders that answered; nothing when none did.
    std::optional<std::int64_t> spreadBeforeNs, spreadAfterNs;
    // Why nothing can be applied (no decoder answered, or every proposal is out of range);
    // empty when at least one proposal is in range.
    std::string error;
};

// The target is the largest path of the decoders that answered plus the margin, rounded up to
// the 100 ns step; each decoder's proposal is the rest up to the target, rounded up, so that no
// total ends below it and each ends less than one step above it.
Alignment alignGroup(const std::vector<AlignmentInput>& decoders, std::int64_t marginNs);

// n / d rounded towards plus infinity (d > 0).
std::int64_t ceilDiv(std::int64_t n, std::int64_t d);

}  // namespace nms::plant
