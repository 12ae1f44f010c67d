#include "station/element_socket.h"

#include <algorithm>

#include "protocol/address.h"

namespace nms::station {

namespace {

// Compared as addresses: a record may keep leading zeros that a sender's text never has.
bool sameAddress(const std::string& a, const std::string& b) {
    return protocol::IsValidIP(a) && protocol::IsValidIP(b) &&
           protocol::IPBytes(a) == protocol::IPBytes(b);
}

}  // namespace

ElementSocket::ElementSocket(StationContext& context, std::uint16_t localPort,
                             std::uint16_t remotePort)
    : context_(context),
      client_(context.network(), context.gate(), localPort, remotePort),
      localPort_(localPort),
      remotePort_(remotePort),
      releaseTimer_(context.scheduler(), context.gate()) {
    releaseTimer_.onTimer = [this] { releaseHeld(); };
}

ElementSocket::~ElementSocket() = default;

bool ElementSocket::bind() {
    if (client_.state() != ports::UdpSocket::State::Closed)
        client_.close();
    else
        ignored_ = 0;
    bound_ = client_.bind(context_.strLocalNMSIPAddress, localPort_);
    boundAddress_ = bound_ ? context_.strLocalNMSIPAddress : std::string();
    return bound_;
}

bool ElementSocket::isBoundOnChosenInterface() const {
    return bound_ && client_.state() != ports::UdpSocket::State::Closed &&
           client_.localPort == localPort_ && boundAddress_ == context_.strLocalNMSIPAddress;
}

void ElementSocket::close() {
    client_.close();
    bound_ = false;
    boundAddress_.clear();
    shownAddress_.clear();
    owed_.clear();
    held_.clear();
    releaseTimer_.setEnabled(false);
}

ElementSocket::Result ElementSocket::sendToShown(std::span<const std::uint8_t> bytes,
                                                 std::uint16_t remotePort,
                                                 const FailureText& failure,
                                                 const std::function<void()>& beforeSend) {
    if (context_.ended()) return Result::Failed;
    if (!isBoundOnChosenInterface() && !bind()) {
        fail(failure);
        return Result::Failed;
    }
    client_.remotePort = remotePort;
    client_.remoteHost = context_.shownElementAddress();
    // A record without a usable address (edited by hand) has nowhere to send to; nothing is
    // wrong with the socket, so the owner says so in its own way.
    if (!protocol::IsValidIP(client_.remoteHost)) {
        shownAddress_.clear();
        return Result::NoAddress;
    }
    shownAddress_ = client_.remoteHost;
    if (!held_.empty() || owesReply(shownAddress_)) {
        // Goes when the owed answer has come, at the latest when its holder would have given up.
        if (beforeSend) beforeSend();
        held_.push_back({{bytes.begin(), bytes.end()}, remotePort, failure});
        if (!releaseTimer_.enabled()) {
            std::int64_t waitMs = 1;
            for (const auto& o : owed_)
                if (sameAddress(o.address, shownAddress_))
                    waitMs = std::max(waitMs, o.untilMs - context_.clock().monotonicMs());
            releaseTimer_.setInterval(static_cast<int>(waitMs));
            releaseTimer_.setEnabled(true);
        }
        return Result::Sent;
    }
    if (beforeSend) beforeSend();
    if (!client_.send(bytes)) {
        // Nothing is wrong with the port: the network is unreachable for now (a cable out, a
        // link down). That is worth saying, not worth ending the station for.
        saySendFailure(failure);
        return Result::SendFailed;
    }
    return Result::Sent;
}

void ElementSocket::acceptRepliesFromShownOnly(std::size_t maxLength) {
    client_.acceptIncoming = [this, maxLength](const ports::Datagram& d) {
        return fromShown(d) && d.bytes.size() <= maxLength;
    };
}

bool ElementSocket::owesReply(const std::string& address) const {
    const std::int64_t now = context_.clock().monotonicMs();
    return std::any_of(owed_.begin(), owed_.end(), [&](const OwedReply& o) {
        return now < o.untilMs && sameAddress(o.address, address);
    });
}

bool ElementSocket::fromShown(const ports::Datagram& d) {
    if (!sameAddress(shownAddress_, d.senderAddress)) {
        ++ignored_;
        return false;
    }
    if (held_.empty()) return true;
    // Nothing has been asked yet: this is the answer owed to the port's previous holder, and
    // the request that waited for it can go.
    std::erase_if(owed_,
                  [&](const OwedReply& o) { return sameAddress(o.address, d.senderAddress); });
    ++ignored_;
    releaseTimer_.setInterval(1);
    releaseTimer_.setEnabled(true);
    return false;
}

void ElementSocket::releaseHeld() {
    releaseTimer_.setEnabled(false);
    owed_.clear();  // what has not come by now is not awaited any more
    auto held = std::move(held_);
    held_.clear();
    for (const auto& h : held) {
        if (context_.ended()) return;
        client_.remoteHost = shownAddress_;
        client_.remotePort = h.remotePort;
        if (!client_.send(h.bytes)) {
            saySendFailure(h.failure);
            return;
        }
    }
}

void ElementSocket::sayNoAddress(const std::string& prefix) {
    context_.msgBox(prefix + "no valid address is stored for this element.", ports::MessageIcon::Critical);
}

void ElementSocket::saySendFailure(const FailureText& failure) {
    const std::string& prefix = failure.sendPrefix.empty() ? failure.text : failure.sendPrefix;
    context_.msgBox(prefix + client_.errorDescription(), ports::MessageIcon::Critical);
}

void ElementSocket::fail(const FailureText& failure) {
    if (context_.ended()) return;
    const std::string text =
        failure.appendError ? failure.text + client_.errorDescription() : failure.text;
    context_.msgBox(text, ports::MessageIcon::Critical);
    context_.endProgram(kExitSocketFailure);
}

}  // namespace nms::station
