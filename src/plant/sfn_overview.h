#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plant/sfn_alignment.h"
#include "ports/controls.h"
#include "station/element_socket.h"
#include "station/port_2978.h"
#include "station/station_context.h"

namespace nms::plant {

// The SFN overview: the SFN decoders of the database (role 2, sfn 1) grouped by the stream they
// receive, each group measured at once ("GetDel" from port 2978 to every decoder, once a second),
// aligned on its slowest path, and the alignment applied with the SFN window's own set command,
// recorded and journalled as that window does, then measured again to show what it achieved.
//
// Port 2978 has one owner at a time: a measurement or an apply holds a lease of it (the plant
// monitor pauses meanwhile), and the replies the monitor's polls still await are not taken for a
// decoder's.
class SfnOverview {
public:
    static constexpr int kMaxOutstanding = 32;
    static constexpr int kReplyTimeoutMs = 500;
    static constexpr int kRoundMs = 1000;
    static constexpr int kDefaultSeconds = 10;
    // From the set commands to the first request of the measurement that confirms them.
    static constexpr int kSettleMs = 100;

    // A decoder's figures over one measurement.
    struct Measurement {
        int asked = 0, replies = 0;
        std::string problem;  // the last reply that could not be read, or a send that failed
        // The network latency as the SFN window shows it (the delay the decoder measured + the
        // additional delay + the servo correction, each reply's own): the smallest minimum, the
        // mean of the averages, the largest maximum.
        std::int32_t networkMinNs = 0, networkMaxNs = 0;
        std::int64_t networkAvgSumNs = 0;
        // The latency summary as the SFN window computes it, over the measurement.
        std::int32_t summaryMinNs = 0, summaryMaxNs = 0;
        std::int64_t summaryAvgSumNs = 0;
        // In effect at the last reply.
        std::int32_t additionalNs = 0;
        bool autoServo = false;
        std::int32_t servoCorrectionNs = 0;
        // The largest path of any reply: its latency summary MAX less the additional delay that
        // reply reports, so that a delay set from elsewhere during the measurement moves neither
        // the path nor the proposals.
        std::int64_t pathMaxNs = 0;
        // The additional delay or the servo state differed between replies (someone set the
        // decoder meanwhile); the delay at the first reply.
        bool delayChanged = false;
        std::int32_t firstAdditionalNs = 0;
        bool answered() const { return replies > 0; }
        std::int64_t networkAvgNs() const { return replies ? networkAvgSumNs / replies : 0; }
        std::int64_t summaryAvgNs() const { return replies ? summaryAvgSumNs / replies : 0; }
        // The total before the additional delay: network MAX + servo correction + fixed
        // latencies, what alignment makes up for.
        std::int64_t pathNs() const { return pathMaxNs; }
        // The path with the additional delay in effect now: the largest latency summary the
        // decoder gives as it is set.
        std::int64_t totalNs() const { return pathMaxNs + additionalNs; }
    };

    struct Decoder {
        std::string section, mac, name, ip;
        Measurement measured;      // the measurement the alignment stands on
        Measurement confirmation;  // the measurement after an apply
        // The apply: whether the set command went out and the record was written.
        std::optional<std::int64_t> appliedSteps;
        bool sent = false, recorded = false, confirmed = false;
        std::string applyProblem;
    };

    // A group goes through its states in order, each showing only its own figures: not
    // measured, measured (figures), aligned (proposals), applied (set, then measured again).
    struct Group {
        std::string stream;
        std::vector<Decoder> decoders;
        bool measured = false;
        bool aligned = false;  // the alignment holds proposals for this measurement
        Alignment alignment;
        bool applied = false;
        // After an apply: the spread of totals the second measurement found, and the time from
        // the apply to the last decoder confirming its new delay.
        std::optional<std::int64_t> spreadAchievedNs;
        std::optional<std::int64_t> applyToLastConfirmationMs;
    };

    enum class State { Idle, Measuring, Confirming };

    explicit SfnOverview(station::StationContext& context);
    ~SfnOverview();
    SfnOverview(const SfnOverview&) = delete;
    SfnOverview& operator=(const SfnOverview&) = delete;

    // The groups from the database, in the order their first decoder stands in it.
    void reload();
    std::vector<Group>& groups() { return groups_; }
    const std::vector<Group>& groups() const { return groups_; }

    // Measures a group for `seconds` rounds; what was aligned or applied before goes. False
    // (said in status()) when the port cannot be used or a measurement already runs.
    bool measure(std::size_t group, int seconds = kDefaultSeconds);
    // Proposes the additional delays for the measured group with `marginNs`, again with another
    // margin as often as asked, until the group is applied.
    void align(std::size_t group, std::int64_t marginNs = kDefaultMarginNs);
    // Asks for one confirmation listing every change, then sends each in-range decoder its new
    // additional delay (servo as in effect), records and journals it, and measures the group
    // again. False when nothing went out (refused, nothing to apply, the port cannot be used).
    bool apply(std::size_t group);
    void cancel();

    State state() const { return state_; }
    bool busy() const { return state_ != State::Idle; }
    // 0 to 100 over the rounds of the running measurement.
    int progress() const;
    const std::string& status() const { return status_; }
    bool cancelled() const { return cancelled_; }
    // Datagrams on the port that were no awaited decoder's reply.
    std::uint64_t ignoredReplies() const { return ignored_; }
    // What a view needs to export a group: the clock, the dialogs, the settings.
    station::StationContext& context() { return context_; }
    // Runs whenever what the overview shows changes (a reply, a round, the end).
    std::function<void()> onChanged;

private:
    bool takePort();
    void releasePort();
    void startRounds(std::size_t group, int seconds);
    void round();
    void pump();
    void expire();
    void reply(const ports::Datagram& d);
    void finishIfDone();
    void finish();
    Measurement& current(Decoder& d) {
        return state_ == State::Confirming ? d.confirmation : d.measured;
    }
    void changed() {
        if (onChanged) onChanged();
    }

    station::StationContext& context_;
    // Held while measuring or applying; given back after the socket has closed (it goes first).
    station::Port2978Lease port_;
    station::ElementSocket socket_;
    ports::Timer roundTimer_;
    ports::Timer deadlineTimer_;
    std::vector<Group> groups_;
    State state_ = State::Idle;
    std::size_t group_ = 0;
    int rounds_ = 0, roundsDone_ = 0;
    std::int64_t firstRoundAtMs_ = 0;
    std::deque<std::size_t> waiting_;
    struct Sent {
        std::size_t index;
        std::int64_t sentMs;
    };
    std::deque<Sent> sent_;  // in sending order
    std::unordered_multimap<std::string, std::size_t> awaitedAt_;
    std::vector<bool> busyDecoder_;  // waiting or awaited
    std::int64_t applyStartMs_ = 0;
    bool cancelled_ = false;
    std::uint64_t ignored_ = 0;
    std::string status_;
    std::shared_ptr<SfnOverview*> self_ = std::make_shared<SfnOverview*>(this);
};

// "TX EAST SFN: 1200 -> 1571 steps, servo on" lines for the apply confirmation.
std::string applyConfirmationText(const SfnOverview::Group& group);

}  // namespace nms::plant
