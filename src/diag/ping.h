#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ports/controls.h"
#include "ports/dialogs.h"
#include "ports/event_gate.h"
#include "ports/icmp.h"

namespace nms::diag {

// The ping of the properties panel (cmdPing) and the silent ping that the station sends before a
// configuration and on every tick of the MAC wait.
//
// The echo never blocks: cmdPing shows "Trying..." until the answer or the time-out arrives, and
// a click meanwhile starts nothing. A silent ping only sends the request; its answer would be
// discarded anyway, and the request alone is what makes the host resolve the element's address.
class Ping {
public:
    // Fixed echo parameters.
    static constexpr const char* kPayload = "hello";
    static constexpr int kPayloadSize = 5;
    static constexpr int kTimeoutMs = 3000;

    static constexpr const char* kCaptionTrying = "Trying...";
    static constexpr const char* kCaptionFailed = "Failed!";
    static constexpr const char* kCaptionNoSockets = "No sockets!";
    static constexpr const char* kNoSocketsText = "Windows Sockets not responding correctly.";
    static constexpr const char* kNoSocketsTitle = "Ping failed";

    // cmdPing and txtElementIP belong to the owner's properties panel and must outlive this.
    Ping(ports::Icmp& icmp, ports::Dialogs& dialogs, ports::EventGate& gate, ports::Button& cmdPing,
         ports::TextBox& txtElementIP);
    ~Ping();
    Ping(const Ping&) = delete;
    Ping& operator=(const Ping&) = delete;

    // Sends one echo with the fixed payload and time-out. -1 (and `done` never runs) when the
    // address is not usable (unreadable, 0.0.0.0, 255.255.255.255) or nothing could be sent;
    // otherwise 0, and `done` runs later through the event gate with the echo's result.
    std::int32_t PingAddress(const std::string& address, std::function<void(ports::EchoResult)> done);
    // The station's words for an echo status.
    static std::string EchoStatusText(std::int32_t status);
    // True when an ICMP socket can be used at all.
    bool StartWinsock();

    // One ping shown on cmdPing.
    void PingElement(const std::string& address);
    // One ping without display: only the request is sent. Without ICMP it shows the message box
    // (the first time only); the button never changes.
    void mySilentPing(const std::string& strIPAddress);
    void cmdPing_Click();

    // True while a ping started from the button waits for its answer.
    bool busy() const { return pending_ != 0; }
    // Forgets the ping in flight (the panel moved on); its answer, when it comes, changes nothing.
    void abandon();

private:
    void showResult(const ports::EchoResult& result);

    ports::Icmp& icmp_;
    ports::Dialogs& dialogs_;
    ports::EventGate& gate_;
    ports::Button& cmdPing_;
    ports::TextBox& txtElementIP_;
    ports::Icmp::RequestId pending_ = 0;
    ports::Icmp::RequestId lastRequest_ = 0;
    bool silentWarned_ = false;
    // Cleared on destruction, so that an answer already queued in the gate finds no Ping.
    std::shared_ptr<Ping*> self_;
};

}  // namespace nms::diag
