#include "plant/sfn_overview.h"

#include <algorithm>

#include "protocol/address.h"
#include "protocol/element_key.h"
#include "protocol/commands.h"
#include "protocol/delay.h"
#include "protocol/paging.h"
#include "sfn/delay_reading.h"
#include "sfn/frm_adjust.h"
#include "store/element_record.h"

namespace nms::plant {

namespace rec = store::record;

namespace {

std::string servoText(bool on) {
    return on ? "on" : "off";
}

std::vector<AlignmentInput> alignmentInputs(const std::vector<SfnOverview::Decoder>& decoders,
                                            bool confirmation) {
    std::vector<AlignmentInput> in;
    for (const auto& d : decoders) {
        const auto& m = confirmation ? d.confirmation : d.measured;
        in.push_back({m.answered(), m.pathNs(), m.additionalNs});
    }
    return in;
}

}  // namespace

SfnOverview::SfnOverview(station::StationContext& context)
    : context_(context),
      socket_(context, protocol::kPortStatistics, protocol::kPortStatistics),
      roundTimer_(context.scheduler(), context.gate(), kRoundMs),
      deadlineTimer_(context.scheduler(), context.gate(), kReplyTimeoutMs) {
    roundTimer_.onTimer = [this] { round(); };
    deadlineTimer_.onTimer = [this] { expire(); };
    auto& client = socket_.client();
    client.onDataArrival = [this](const ports::Datagram& d) { reply(d); };
    // Only an awaited decoder's reply is worth queueing: another sender, or an answer the
    // monitor's poll still owed, is dropped as it arrives.
    client.acceptIncoming = [this](const ports::Datagram& d) {
        if (awaitedAt_.count(d.senderAddress)) return true;
        ++ignored_;
        return false;
    };
    // The overview may go before the station ends (a command's, a closed window's).
    context.atEnd([this, alive = std::weak_ptr<SfnOverview*>(self_)] {
        if (alive.expired()) return;
        roundTimer_.setEnabled(false);
        deadlineTimer_.setEnabled(false);
        socket_.close();
    });
}

// A measurement cut short by the window going away still gives its lease back, as the lease goes.
SfnOverview::~SfnOverview() = default;

void SfnOverview::reload() {
    auto& db = context_.db();
    const auto& path = context_.databasePath();
    const std::vector<std::string> sections = context_.databaseSections();
    std::vector<Group> next;
    for (const auto& section : sections) {
        const auto stored = store::readElementRecord(db, path, section);
        if (!stored.isDecoder() || !stored.sfnEnabled()) continue;
        const std::string& stream = stored.streamAddress;
        auto it = std::find_if(next.begin(), next.end(),
                               [&](const Group& g) { return g.stream == stream; });
        if (it == next.end()) {
            next.emplace_back().stream = stream;
            it = next.end() - 1;
        }
        Decoder d;
        d.section = section;
        d.mac = protocol::ElementIdentity(section);
        d.name = stored.name;
        d.ip = stored.ip;
        it->decoders.push_back(std::move(d));
    }
    groups_ = std::move(next);
    // What was said of the groups read before is no word on these.
    if (!busy()) status_.clear();
    changed();
}

bool SfnOverview::takePort() {
    if (port_) return true;
    port_ = context_.port2978().take();
    // Nothing goes to a decoder before the monitor would have given up on its last poll: that
    // answer looks like any other on the port.
    firstRoundAtMs_ = context_.clock().monotonicMs();
    for (const auto& o : port_.owed()) firstRoundAtMs_ = std::max(firstRoundAtMs_, o.untilMs);
    if (!socket_.bind()) {
        status_ = "Unable to use UDP port 2978: " + socket_.errorDescription();
        port_.giveBack();
        return false;
    }
    ignored_ = 0;
    return true;
}

void SfnOverview::releasePort() {
    roundTimer_.setEnabled(false);
    deadlineTimer_.setEnabled(false);
    socket_.close();
    waiting_.clear();
    sent_.clear();
    awaitedAt_.clear();
    port_.giveBack();
}

bool SfnOverview::measure(std::size_t group, int seconds) {
    if (busy() || group >= groups_.size() || seconds < 1) return false;
    for (auto& d : groups_[group].decoders) {
        d.measured = {};
        d.confirmation = {};
        d.appliedSteps.reset();
        d.sent = d.recorded = d.confirmed = false;
        d.applyProblem.clear();
    }
    auto& g = groups_[group];
    g.measured = g.aligned = g.applied = false;
    g.alignment = {};
    g.spreadAchievedNs.reset();
    g.applyToLastConfirmationMs.reset();
    if (!takePort()) return false;
    state_ = State::Measuring;
    startRounds(group, seconds);
    return true;
}

void SfnOverview::startRounds(std::size_t group, int seconds) {
    group_ = group;
    rounds_ = seconds;
    roundsDone_ = 0;
    cancelled_ = false;
    busyDecoder_.assign(groups_[group].decoders.size(), false);
    status_ = "Measuring " + groups_[group].stream + "...";
    const std::int64_t wait = firstRoundAtMs_ - context_.clock().monotonicMs();
    if (wait > 0) {
        roundTimer_.setInterval(static_cast<int>(wait));
        roundTimer_.setEnabled(true);
    } else {
        roundTimer_.setInterval(kRoundMs);
        roundTimer_.setEnabled(true);
        round();
    }
    changed();
}

void SfnOverview::round() {
    if (!busy()) return;
    if (roundTimer_.interval() != kRoundMs) roundTimer_.setInterval(kRoundMs);
    ++roundsDone_;
    if (roundsDone_ >= rounds_) roundTimer_.setEnabled(false);
    auto& decoders = groups_[group_].decoders;
    for (std::size_t i = 0; i < decoders.size(); ++i) {
        // A decoder still waiting or awaited from the last round is not asked twice.
        if (busyDecoder_[i]) continue;
        busyDecoder_[i] = true;
        waiting_.push_back(i);
    }
    pump();
    changed();
    finishIfDone();
}

void SfnOverview::pump() {
    static const auto request = protocol::requestBytes(protocol::kGetDelayRequest);
    auto& decoders = groups_[group_].decoders;
    const std::int64_t now = context_.clock().monotonicMs();
    while (!waiting_.empty() && static_cast<int>(sent_.size()) < kMaxOutstanding) {
        const std::size_t i = waiting_.front();
        waiting_.pop_front();
        Decoder& d = decoders[i];
        Measurement& m = current(d);
        ++m.asked;
        if (!protocol::IsValidIP(d.ip)) {
            m.problem = "No address is stored for this element.";
            busyDecoder_[i] = false;
            continue;
        }
        auto& client = socket_.client();
        client.remoteHost = d.ip;
        client.remotePort = protocol::kPortStatistics;
        if (!client.send(request)) {
            m.problem = "The request did not go out: " + client.errorDescription();
            busyDecoder_[i] = false;
            continue;
        }
        sent_.push_back({i, now});
        awaitedAt_.emplace(d.ip, i);
    }
    if (!sent_.empty() && !deadlineTimer_.enabled()) {
        deadlineTimer_.setInterval(static_cast<int>(
            std::max<std::int64_t>(1, sent_.front().sentMs + kReplyTimeoutMs - now)));
        deadlineTimer_.setEnabled(true);
    }
}

void SfnOverview::expire() {
    deadlineTimer_.setEnabled(false);
    const std::int64_t now = context_.clock().monotonicMs();
    while (!sent_.empty() && sent_.front().sentMs + kReplyTimeoutMs <= now) {
        const std::size_t i = sent_.front().index;
        sent_.pop_front();
        const auto& ip = groups_[group_].decoders[i].ip;
        for (auto [it, end] = awaitedAt_.equal_range(ip); it != end; ++it)
            if (it->second == i) {
                awaitedAt_.erase(it);
                break;
            }
        busyDecoder_[i] = false;
    }
    pump();
    finishIfDone();
}

void SfnOverview::reply(const ports::Datagram& d) {
    if (!busy()) return;
    const auto it = awaitedAt_.find(d.senderAddress);
    if (it == awaitedAt_.end()) {
        ++ignored_;
        return;
    }
    const std::size_t i = it->second;
    awaitedAt_.erase(it);
    sent_.erase(
        std::find_if(sent_.begin(), sent_.end(), [i](const Sent& s) { return s.index == i; }));
    busyDecoder_[i] = false;
    Decoder& decoder = groups_[group_].decoders[i];
    Measurement& m = current(decoder);
    const auto read = sfn::readDelayReply(d.bytes);
    if (!read.reading) {
        // Said for this decoder; its other replies still count.
        m.problem = "Error 4 while retrieving values: " + read.problem + ".";
    } else {
        const auto& r = *read.reading;
        const std::int64_t path = std::int64_t{r.summaryMaxNs} - r.additionalNs;
        if (m.replies == 0) {
            m.networkMinNs = r.latencyMinNs;
            m.networkMaxNs = r.latencyMaxNs;
            m.summaryMinNs = r.summaryMinNs;
            m.summaryMaxNs = r.summaryMaxNs;
            m.pathMaxNs = path;
            m.firstAdditionalNs = r.additionalNs;
        } else if (r.additionalNs != m.additionalNs || r.autoServo != m.autoServo) {
            m.delayChanged = true;
        }
        m.pathMaxNs = std::max(m.pathMaxNs, path);
        ++m.replies;
        m.networkMinNs = std::min(m.networkMinNs, r.latencyMinNs);
        m.networkMaxNs = std::max(m.networkMaxNs, r.latencyMaxNs);
        m.networkAvgSumNs += r.latencyAvgNs;
        m.summaryMinNs = std::min(m.summaryMinNs, r.summaryMinNs);
        m.summaryMaxNs = std::max(m.summaryMaxNs, r.summaryMaxNs);
        m.summaryAvgSumNs += r.summaryAvgNs;
        m.additionalNs = r.additionalNs;
        m.autoServo = r.autoServo;
        m.servoCorrectionNs = r.servoCorrectionNs;
        if (state_ == State::Confirming && decoder.appliedSteps && !decoder.confirmed &&
            r.additionalNs == *decoder.appliedSteps * kNsPerStep &&
            r.autoServo == decoder.measured.autoServo) {
            decoder.confirmed = true;
            groups_[group_].applyToLastConfirmationMs =
                context_.clock().monotonicMs() - applyStartMs_;
        }
    }
    pump();
    changed();
    finishIfDone();
}

void SfnOverview::finishIfDone() {
    if (busy() && roundsDone_ >= rounds_ && waiting_.empty() && sent_.empty()) finish();
}

void SfnOverview::finish() {
    const State was = state_;
    state_ = State::Idle;
    releasePort();
    auto& g = groups_[group_];
    if (was == State::Measuring) {
        g.measured = true;
        const bool anyAnswered =
            std::any_of(g.decoders.begin(), g.decoders.end(),
                        [](const Decoder& d) { return d.measured.answered(); });
        status_ = anyAnswered ? "Measured " + g.stream + "." : std::string(kNoneAnswered);
    } else {
        g.spreadAchievedNs = alignGroup(alignmentInputs(g.decoders, true), 0).spreadBeforeNs;
        int unconfirmed = 0;
        for (const auto& d : g.decoders) unconfirmed += d.recorded && !d.confirmed;
        status_ = unconfirmed
                      ? std::to_string(unconfirmed) + " decoder(s) did not confirm the new delay."
                      : "Alignment applied to " + g.stream + ".";
    }
    changed();
}

void SfnOverview::align(std::size_t group, std::int64_t marginNs) {
    if (busy() || group >= groups_.size()) return;
    auto& g = groups_[group];
    if (!g.measured || g.applied) return;
    g.alignment = alignGroup(alignmentInputs(g.decoders, false), marginNs);
    g.aligned = true;
    status_ = g.alignment.error.empty() ? "Proposed for " + g.stream + "." : g.alignment.error;
    changed();
}

std::string applyConfirmationText(const SfnOverview::Group& group) {
    std::string text = "Set the additional delay of " + group.stream + "'s decoders?\r";
    for (std::size_t i = 0; i < group.decoders.size(); ++i) {
        const auto& d = group.decoders[i];
        const auto& p = group.alignment.proposals[i];
        if (!p.steps || !p.inRange) continue;
        text += "\r" + d.name + ": " + std::to_string(d.measured.additionalNs / kNsPerStep) +
                " -> " + std::to_string(*p.steps) + " steps, servo " +
                servoText(d.measured.autoServo);
    }
    return text;
}

bool SfnOverview::apply(std::size_t group) {
    if (busy() || group >= groups_.size()) return false;
    auto& g = groups_[group];
    if (!g.aligned || g.applied || !g.alignment.error.empty() ||
        g.alignment.proposals.size() != g.decoders.size()) {
        status_ = !g.measured  ? "Measure the group first."
                  : g.applied  ? "Measure the group again first."
                  : !g.aligned ? "Align the group first."
                               : g.alignment.error;
        changed();
        return false;
    }
    if (context_.msgBox(applyConfirmationText(g), ports::MessageIcon::Question,
                        ports::MessageButtons::YesNo, ports::Answer::No,
                        "SFN alignment") != ports::Answer::Yes)
        return false;
    if (!takePort()) {
        changed();
        return false;
    }
    applyStartMs_ = context_.clock().monotonicMs();
    auto& db = context_.db();
    const auto& path = context_.databasePath();
    int sent = 0;
    for (std::size_t i = 0; i < g.decoders.size(); ++i) {
        auto& d = g.decoders[i];
        const auto& p = g.alignment.proposals[i];
        if (!p.steps || !p.inRange) continue;
        const std::int64_t steps = *p.steps;
        const bool servo = d.measured.autoServo;
        const auto command =
            protocol::encodeDelaySet({static_cast<std::int32_t>(steps * kNsPerStep), servo});
        auto& client = socket_.client();
        client.remoteHost = d.ip;
        client.remotePort = protocol::kPortStatistics;
        if (!protocol::IsValidIP(d.ip)) {
            d.applyProblem = "No address is stored for this element.";
            continue;
        }
        if (!client.send(command)) {
            d.applyProblem = "The set command did not go out: " + client.errorDescription();
            continue;
        }
        ++sent;
        d.sent = true;
        d.appliedSteps = steps;
        // Kept in the record and journalled as the SFN window keeps and journals its set.
        db.WriteToINI(d.section, std::string(rec::kDelay), std::to_string(steps), path);
        db.WriteToINI(d.section, std::string(rec::kServo), servo ? "1" : "0", path);
        d.recorded = true;
        if (context_.onOperatorChange)
            context_.onOperatorChange(
                d.mac, d.name, "SFN delay set",
                sfn::FormatDelay(d.measured.additionalNs) + ", auto delay compensation " +
                    servoText(servo),
                sfn::FormatDelay(static_cast<std::int32_t>(steps * kNsPerStep)) +
                    ", auto delay compensation " + servoText(servo));
    }
    g.applied = true;
    if (sent == 0) {
        releasePort();
        status_ = "No set command went out.";
        changed();
        return false;
    }
    for (auto& d : g.decoders) d.confirmation = {};
    // The set has no answer of its own, and a request sent right behind it may overtake it.
    firstRoundAtMs_ = std::max(firstRoundAtMs_, applyStartMs_ + kSettleMs);
    state_ = State::Confirming;
    startRounds(group, rounds_ > 0 ? rounds_ : kDefaultSeconds);
    return true;
}

void SfnOverview::cancel() {
    if (!busy()) return;
    state_ = State::Idle;
    cancelled_ = true;
    releasePort();
    status_ = "Measurement cancelled.";
    changed();
}

int SfnOverview::progress() const {
    if (!busy() || rounds_ <= 0) return 0;
    return std::clamp(roundsDone_ * 100 / rounds_, 0, 100);
}

}  // namespace nms::plant
