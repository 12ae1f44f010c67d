#include "station/element_socket.h"

#include "protocol/address.h"

namespace nms::station {

ElementSocket::ElementSocket(StationContext& context, std::uint16_t localPort,
                             std::uint16_t remotePort)
    : context_(context),
      client_(context.network(), context.gate(), localPort, remotePort),
      localPort_(localPort),
      remotePort_(remotePort) {}

ElementSocket::~ElementSocket() = default;

bool ElementSocket::bind() {
    if (client_.state() != ports::UdpSocket::State::Closed) client_.close();
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
    if (!protocol::IsValidIP(client_.remoteHost)) return Result::NoAddress;
    if (beforeSend) beforeSend();
    if (!client_.send(bytes)) {
        // Nothing is wrong with the port: the network is unreachable for now (a cable out, a
        // link down). That is worth saying, not worth ending the station for.
        saySendFailure(failure);
        return Result::SendFailed;
    }
    return Result::Sent;
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
