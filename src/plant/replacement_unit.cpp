#include "plant/replacement_unit.h"

#include <algorithm>

#include "editor/operator_settings.h"
#include "editor/save_configuration.h"
#include "plant/sfn_alignment.h"
#include "protocol/address.h"
#include "protocol/element_key.h"
#include "protocol/commands.h"
#include "protocol/delay.h"
#include "protocol/paging.h"
#include "protocol/statistics.h"
#include "protocol/text.h"
#include "sfn/delay_reading.h"
#include "sfn/frm_adjust.h"
#include "store/element_record.h"
#include "store/profile_store.h"

namespace nms::plant {

namespace rec = store::record;
using SaveEnd = editor::ConfigurationExchange::SaveEnd;

namespace {

std::string roleName(long long role) {
    return role == rec::kRoleDecoder   ? "a decoder"
           : role == rec::kRoleEncoder ? "an encoder"
                                       : "of role " + std::to_string(role);
}

// What the summary says became of the configuration.
const char* saveOutcome(SaveEnd end) {
    switch (end) {
        case SaveEnd::Confirmed: return "sent and confirmed by the element.";
        case SaveEnd::Differs: return "sent; the element answered otherwise (see the message).";
        case SaveEnd::NotAnswered: return "sent; the element did not answer in time.";
        case SaveEnd::NotSent: return "not sent.";
        case SaveEnd::SendFailed: return "not sent: the network refused it (see the message).";
    }
    return "";
}

}  // namespace

bool ReplacementUnit::Summary::complete() const {
    // A level has no answer: it counts once it went out, or when nothing had to go.
    return configurationConfirmed && (!delaySteps || delayConfirmed) &&
           (!level || levelSent || levelNote.rfind("already", 0) == 0);
}

std::string ReplacementUnit::Summary::text() const {
    std::string t = "Settings of " + source + " applied to " + element + ".\r";
    t += "\rConfiguration: " + configuration;
    for (const auto& c : changes) t += "\r   " + c;
    t += "\rAudio level: ";
    if (!level)
        t += "not in the record.";
    else if (!levelNote.empty())
        t += levelNote;
    else
        t += levelSent ? std::to_string(*level) + " sent (the element does not answer a level)."
                       : std::to_string(*level) + " not sent.";
    if (delaySteps || !delayNote.empty()) {
        t += "\rSFN additional delay: ";
        if (delaySteps)
            t += std::to_string(*delaySteps) + " steps, servo " + (servo ? "on" : "off") + ": ";
        t += delayNote;
    }
    return t;
}

ReplacementUnit::ReplacementUnit(Links links)
    : links_(std::move(links)),
      socket_(links_.context, protocol::kPortStatistics, protocol::kPortStatistics),
      timer_(links_.context.scheduler(), links_.context.gate(), kReplyTimeoutMs) {
    timer_.onTimer = [this] { delayTimeout(); };
    auto& client = socket_.client();
    client.onDataArrival = [this](const ports::Datagram& d) { delayReply(d); };
    client.acceptIncoming = [this](const ports::Datagram& d) {
        return (state_ == State::Delay || state_ == State::Probing) &&
               d.senderAddress == delayIp_;
    };
    links_.exchange.saveEnded.connect(
        [this, alive = std::weak_ptr<ReplacementUnit*>(self_)](SaveEnd end) {
            if (!alive.expired()) saveEnded(end);
        });
    links_.context.atEnd([this, alive = std::weak_ptr<ReplacementUnit*>(self_)] {
        if (alive.expired()) return;
        timer_.setEnabled(false);
        socket_.close();
    });
}

ReplacementUnit::~ReplacementUnit() = default;

std::string ReplacementUnit::apply(const SourceRecord& source) {
    if (busy()) return "Settings are already being applied to an element.";
    auto& ctx = links_.context;
    if (!ctx.hasShownElement()) return "Show the element that takes the settings first.";
    const std::string shownSection = protocol::ElementKey(ctx.shownElementMac());
    // The element's own record from a file (last week's backup) puts it back as it was; only
    // the database's own is what the element already holds.
    if (protocol::text::toUpper(source.key) == protocol::text::toUpper(shownSection) &&
        source.origin == kFromDatabase)
        return "That is the shown element's own record: there is nothing to apply.";
    const auto role = wholeNumberOf(source.value(rec::kRole));
    const store::Role shownRole = ctx.shownElement().role;
    if (!role) return "The record of " + source.name() + " holds no role.";
    if (shownRole == store::Role::Unknown)
        return "The shown element's record names it neither an encoder nor a decoder: settings go "
               "only to an element of the same role. Nothing was changed.";
    if (*role != static_cast<long long>(shownRole))
        return "The record of " + source.name() + " is " + roleName(*role) +
               ", the shown element " + roleName(static_cast<int>(shownRole)) +
               ": settings go only to an element of the same role. Nothing was changed.";

    // The whole record is judged before anything goes out, so that nothing is half applied.
    if (const auto why = recordValueRefusal(source.values, RecordUse::ForTheEditor))
        return "The record of " + source.name() + " cannot be applied: " + *why +
               ". Nothing was changed.";
    auto& panel = links_.panel;
    // Every value goes in as the operator would type it; one the element cannot take undoes
    // them all.
    for (const auto key : editor::settableKeys()) {
        const auto v = source.value(key);
        if (!v) continue;
        const auto refusal =
            editor::setAsOperator(panel, links_.editor, ctx.AudioTypes, key, *v,
                                  {.leaveOutWhatDoesNotApply = true, .keepFlacFlag = true});
        if (refusal) {
            links_.editor.reloadShown();
            return "The record of " + source.name() + " cannot be applied: " + *refusal +
                   ". Nothing was changed.";
        }
    }
    summary_ = {};
    summary_.source = source.name() + " in " + source.origin;
    summary_.element =
        protocol::text::trim(ctx.readShown(rec::kName, "")) + " (" + ctx.shownElementMac() + ")";
    source_ = source;
    // Another element's address: refused, unless it is the unit being replaced, which must be
    // gone from the network before its replacement takes its address.
    if (const auto holder = editor::addressHolder(panel, ctx.db(), ctx.databasePath())) {
        if (protocol::text::toUpper(holder->section) != protocol::text::toUpper(source.key)) {
            links_.editor.reloadShown();
            return "The record of " + source.name() + " cannot be applied: " +
                   editor::addressTakenRefusal(panel.txtElementIP.text(), *holder) +
                   " Nothing was changed.";
        }
        replaced_ = *holder;
        return probeReplaced();
    }
    replaced_.reset();
    return proceed();
}

std::string ReplacementUnit::proceed() {
    auto& ctx = links_.context;
    auto& panel = links_.panel;
    const auto& source = *source_;
    const auto changes = editor::configurationChanges(
        panel, ctx.AudioTypes, [&ctx](std::string_view key, std::string_view fallback) {
            return ctx.readShown(key, fallback);
        });
    for (const auto& c : changes)
        summary_.changes.push_back(c.label + ": " + c.from + " → " + c.to);
    if (changes.empty()) {
        summary_.configuration = "already as in the record; nothing to send.";
        summary_.configurationConfirmed = true;
        sendLevel(source);
        sendDelay();
        return {};
    }
    state_ = State::Saving;
    // The replaced unit's name is the replacement's to take; its address only once it is gone.
    links_.exchange.allowReplacing(source.key, replaced_.has_value());
    links_.save();
    return {};
}

// The replaced unit is asked for its statistics at the address its replacement is to take; any
// answer from there means it is still on the network.
std::string ReplacementUnit::probeReplaced() {
    auto& ctx = links_.context;
    // As the answer's sender is written: "192.168.050.031" is the same address.
    delayIp_ = protocol::FormatIP(protocol::IPBytes(protocol::text::trim(links_.panel.txtElementIP.text())));
    probedFor_ = ctx.shownElementMac();
    port_ = ctx.port2978().take();
    std::int64_t startAt = ctx.clock().monotonicMs();
    for (const auto& o : port_.owed()) startAt = std::max(startAt, o.untilMs);
    if (!socket_.bind()) {
        const std::string why = "unable to use UDP port 2978: " + socket_.errorDescription();
        links_.editor.reloadShown();
        port_.giveBack();
        return "The record of " + source_->name() + " cannot be applied: " + why +
               ". Nothing was changed.";
    }
    state_ = State::Probing;
    probesSent_ = 0;
    timer_.setInterval(static_cast<int>(
        std::max<std::int64_t>(kSettleMs, startAt - ctx.clock().monotonicMs())));
    timer_.setEnabled(true);
    return {};
}

void ReplacementUnit::probeTimeout() {
    // The settings belong to the element shown when they were applied: another one shown since
    // (a click in the list) gets nothing of them.
    if (links_.context.shownElementMac() != probedFor_)
        return probeEnded("not sent: another element was shown before " + replaced_->label() +
                          " had been asked.");
    if (probesSent_ < kDelayRequests) {
        ++probesSent_;
        static const auto request = protocol::requestBytes(protocol::kGetStatsRequest);
        auto& client = socket_.client();
        client.remoteHost = delayIp_;
        client.remotePort = protocol::kPortStatistics;
        // A question that cannot go out has no silence to read.
        if (!client.send(request))
            return probeEnded("not sent: " + replaced_->label() + " could not be asked at " +
                              delayIp_ + " (" + client.errorDescription() + ").");
        timer_.setInterval(kReplyTimeoutMs);
        timer_.setEnabled(true);
        return;
    }
    // Silent: the address is free to take.
    state_ = State::Idle;
    socket_.close();
    port_.giveBack();
    const std::string refusal = proceed();
    (void)refusal;  // proceed() refuses nothing: the checks ran before the probe
}

void ReplacementUnit::probeAnswered() {
    probeEnded("not sent: " + replaced_->label() + " still answers at " + delayIp_ +
               ". Take it off the network before its replacement takes its address.");
}

void ReplacementUnit::probeEnded(const std::string& why) {
    if (links_.context.shownElementMac() == probedFor_) links_.editor.reloadShown();
    summary_.configurationEnd = SaveEnd::NotSent;
    summary_.configuration = why;
    finish();
}

void ReplacementUnit::saveEnded(SaveEnd end) {
    if (state_ != State::Saving) return;
    state_ = State::Idle;
    summary_.configurationEnd = end;
    summary_.configurationSent = end != SaveEnd::NotSent && end != SaveEnd::SendFailed;
    summary_.configurationConfirmed = end == SaveEnd::Confirmed;
    summary_.configuration = saveOutcome(end);
    if (!summary_.configurationConfirmed) {
        // The level and the delay belong to the unit that took the configuration.
        if (source_ && source_->value(rec::kAttenuation)) {
            summary_.level =
                static_cast<int>(wholeNumberOf(source_->value(rec::kAttenuation)).value_or(0));
            summary_.levelNote = "not sent: the configuration was not confirmed.";
        }
        if (source_ && source_->value(rec::kDelay) && links_.context.shownElement().isDecoder())
            summary_.delayNote = "not sent: the configuration was not confirmed.";
        return finish();
    }
    sendLevel(*source_);
    sendDelay();
}

void ReplacementUnit::sendLevel(const SourceRecord& source) {
    const auto level = wholeNumberOf(source.value(rec::kAttenuation));
    if (!level) return;
    summary_.level = static_cast<int>(*level);
    auto& bar = links_.panel.scrlAtten;
    if (*level < bar.min() || *level > bar.max()) {
        summary_.levelNote = "not sent: outside " + std::to_string(bar.min()) + " to " +
                             std::to_string(bar.max()) + ".";
        return;
    }
    if (bar.value() == *level) {
        summary_.levelNote = "already " + std::to_string(*level) + "; nothing to send.";
        return;
    }
    // The editor sends it and keeps it in the record only once it went out.
    bar.setValue(static_cast<int>(*level), ports::Origin::Operator);
    summary_.levelSent = wholeNumberOf(links_.context.readShown(rec::kAttenuation, "")) == *level;
}

void ReplacementUnit::sendDelay() {
    auto& ctx = links_.context;
    const auto steps = wholeNumberOf(source_->value(rec::kDelay));
    const bool decoder = ctx.shownElement().isDecoder();
    if (!steps || !decoder) return finish();
    summary_.delaySteps = *steps;
    summary_.servo = wholeNumberOf(source_->value(rec::kServo)).value_or(0) == 1;
    if (*steps < 0 || *steps > kMaxSteps) {
        summary_.delayNote = "not sent: outside 0 to 25000 steps.";
        return finish();
    }
    delayIp_ = protocol::text::trim(ctx.readShown(rec::kIp, ""));
    if (!protocol::IsValidIP(delayIp_)) {
        summary_.delayNote = "not sent: no address is stored for this element.";
        return finish();
    }
    // Port 2978 is the plant monitor's until it pauses; nothing goes out before the answers it
    // still awaits would have come.
    port_ = ctx.port2978().take();
    std::int64_t startAt = ctx.clock().monotonicMs();
    for (const auto& o : port_.owed()) startAt = std::max(startAt, o.untilMs);
    if (!socket_.bind()) {
        summary_.delayNote = "not sent: unable to use UDP port 2978: " + socket_.errorDescription();
        return finish();
    }
    const auto ns = static_cast<std::int32_t>(*steps * kNsPerStep);
    auto& client = socket_.client();
    client.remoteHost = delayIp_;
    client.remotePort = protocol::kPortStatistics;
    if (!client.send(protocol::encodeDelaySet({ns, summary_.servo}))) {
        summary_.delayNote = "not sent: " + client.errorDescription();
        return finish();
    }
    summary_.delaySent = true;
    // Kept and journalled as the SFN window keeps and journals its set.
    const std::string section = protocol::ElementKey(ctx.shownElementMac());
    // What the new unit's record said of its delay before, as far as it said anything.
    const auto stepsBefore = wholeNumberOf(ctx.readShown(rec::kDelay, ""));
    const std::string before =
        stepsBefore
            ? sfn::FormatDelay(static_cast<std::int32_t>(*stepsBefore * kNsPerStep)) +
                  ", auto delay compensation " +
                  (wholeNumberOf(ctx.readShown(rec::kServo, "")).value_or(0) == 1 ? "on" : "off")
            : std::string();
    ctx.db().WriteToINI(section, std::string(rec::kDelay), std::to_string(*steps),
                        ctx.databasePath());
    ctx.db().WriteToINI(section, std::string(rec::kServo), summary_.servo ? "1" : "0",
                        ctx.databasePath());
    ctx.noteOperatorChange(
        "SFN delay set", before,
        sfn::FormatDelay(ns) + ", auto delay compensation " + (summary_.servo ? "on" : "off"));
    // The set has no answer of its own: the element's delay reply confirms it.
    state_ = State::Delay;
    delayAsked_ = 0;
    const std::int64_t wait =
        std::max<std::int64_t>(kSettleMs, startAt - ctx.clock().monotonicMs());
    timer_.setInterval(static_cast<int>(wait));
    timer_.setEnabled(true);
}

void ReplacementUnit::askDelay() {
    static const auto request = protocol::requestBytes(protocol::kGetDelayRequest);
    ++delayAsked_;
    auto& client = socket_.client();
    client.remoteHost = delayIp_;
    client.remotePort = protocol::kPortStatistics;
    client.send(request);
    timer_.setInterval(kReplyTimeoutMs);
    timer_.setEnabled(true);
}

void ReplacementUnit::delayTimeout() {
    timer_.setEnabled(false);
    if (state_ == State::Probing) return probeTimeout();
    if (state_ != State::Delay) return;
    if (delayAsked_ < kDelayRequests) return askDelay();
    summary_.delayNote = "sent and recorded; the element did not report its delay.";
    finish();
}

void ReplacementUnit::delayReply(const ports::Datagram& d) {
    if (state_ == State::Probing) {
        if (probesSent_ > 0) probeAnswered();
        return;
    }
    if (state_ != State::Delay || delayAsked_ == 0) return;
    const auto read = sfn::readDelayReply(d.bytes);
    if (!read.reading) {
        summary_.delayNote = "sent and recorded; its delay reply cannot be read: " + read.problem;
        return finish();
    }
    const auto& r = *read.reading;
    summary_.delayConfirmed =
        r.additionalNs == *summary_.delaySteps * kNsPerStep && r.autoServo == summary_.servo;
    summary_.delayNote = summary_.delayConfirmed
                             ? "sent, recorded and confirmed by the element."
                             : "sent and recorded; the element reports " +
                                   std::to_string(r.additionalNs / kNsPerStep) + " steps, servo " +
                                   (r.autoServo ? "on." : "off.");
    finish();
}

void ReplacementUnit::finish() {
    state_ = State::Idle;
    timer_.setEnabled(false);
    socket_.close();
    port_.giveBack();
    if (onFinished) onFinished();
}

}  // namespace nms::plant
