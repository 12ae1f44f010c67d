#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "ports/controls.h"
#include "ports/udp_client.h"
#include "station/station_context.h"

namespace nms::station {

// A socket of the station that talks to the shown element: the main socket on port 2976, and
// the statistics and SFN windows' sockets on port 2978. It is bound on the chosen interface and
// stays bound between sends (an answer already waiting in it is never thrown away by a rebind);
// every send goes to the address stored for the shown element. A port that cannot be bound is
// said with the owner's text and ends the program; a send that fails (no route, link down, no
// buffer space) is said with the socket's words and the station goes on.
class ElementSocket {
public:
    // A failure's text: a prefix followed by the socket's own words ("101 - Unable to use UDP
    // port 2976: Address in use"), or a fixed sentence.
    struct FailureText {
        std::string text;
        bool appendError = true;
        // What a failed send says before the socket's words; empty: `text`.
        std::string sendPrefix;
    };
    enum class Result { Sent, NoAddress, Failed, SendFailed };

    ElementSocket(StationContext& context, std::uint16_t localPort, std::uint16_t remotePort);
    ~ElementSocket();
    ElementSocket(const ElementSocket&) = delete;
    ElementSocket& operator=(const ElementSocket&) = delete;

    ports::UdpClient& client() { return client_; }
    std::uint16_t localPort() const { return localPort_; }

    // Binds the local port on the chosen interface, closing the socket first when it is open.
    // False on failure; nothing is reported.
    bool bind();
    // True when bound on the local port of the chosen interface.
    bool isBoundOnChosenInterface() const;
    void close();
    const std::string& errorDescription() const { return client_.errorDescription(); }

    // Sends `bytes` to the shown element's stored address, on `remotePort`. The socket is
    // (re)bound only when it is not bound on the chosen interface. `beforeSend` runs just
    // before the datagram leaves (a reply time-out starts there). NoAddress: the record holds
    // no usable address, nothing was sent and nothing said. Failed: the port could not be
    // bound; said, and the program has ended. SendFailed: the datagram did not leave; said once
    // (the owner stops whatever would send again), and the station goes on.
    Result sendToShown(std::span<const std::uint8_t> bytes, std::uint16_t remotePort,
                       const FailureText& failure, const std::function<void()>& beforeSend = {});
    Result sendToShown(std::span<const std::uint8_t> bytes, const FailureText& failure) {
        return sendToShown(bytes, remotePort_, failure);
    }

    // A reply that the port's previous holder (the plant monitor) still awaits from an element
    // when a window takes the port from it, until `untilMs` (monotonic), when the holder would
    // have given up on it.
    struct OwedReply {
        std::string address;
        std::int64_t untilMs = 0;
    };
    // From now on only datagrams of at most `maxLength` bytes that come from the address the
    // last request to the shown element went to reach onDataArrival. Anything else on the port
    // (another element still answering the plant monitor, a host spraying the port) is ignored
    // and counted: it must never be shown as this element's figures.
    void acceptRepliesFromShownOnly(std::size_t maxLength);
    // Replies owed to the port's previous holder. A request to an element that still owes one
    // waits until that answer has come (and is ignored) or the holder would have given up: a
    // statistics reply looks like any other reply on the port, and datagrams may overtake each
    // other, so only what comes after the request left can be its answer. Forgotten when the
    // socket closes.
    void oweReplies(std::vector<OwedReply> owed) { owed_ = std::move(owed); }
    // Datagrams ignored since the socket was last bound.
    std::uint64_t ignoredReplies() const { return ignored_; }

    // Says the failure (with the socket's words when asked) and ends the program.
    void fail(const FailureText& failure);
    // Says that a send failed, with the socket's words; the program goes on.
    void saySendFailure(const FailureText& failure);
    // Says, in a box, that a send had nowhere to go (prefix + "no valid address is stored for
    // this element."); the program goes on, as nothing is wrong with the socket.
    void sayNoAddress(const std::string& prefix);

private:
    bool fromShown(const ports::Datagram& datagram);
    bool owesReply(const std::string& address) const;
    // Sends the requests that waited for an owed answer, in order.
    void releaseHeld();
    struct Held {
        std::vector<std::uint8_t> bytes;
        std::uint16_t remotePort;
        FailureText failure;
    };
    StationContext& context_;
    ports::UdpClient client_;
    std::uint16_t localPort_;
    std::uint16_t remotePort_;
    std::string boundAddress_;
    bool bound_ = false;
    // Where the last request to the shown element went; empty when none went out.
    std::string shownAddress_;
    std::vector<OwedReply> owed_;
    std::vector<Held> held_;
    ports::Timer releaseTimer_;
    std::uint64_t ignored_ = 0;
};

}  // namespace nms::station
