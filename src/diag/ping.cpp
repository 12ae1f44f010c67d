#include "diag/ping.h"

#include <array>
#include <utility>

#include "ports/colors.h"
#include "protocol/address.h"

namespace nms::diag {

namespace {

struct StatusText {
    std::int32_t code;
    const char* text;
};

// Codes as the Windows ICMP functions define them; the Linux adapter maps the kernel's answers
// onto the same codes.
constexpr std::array<StatusText, 21> kStatusTexts{{
    {0, "Success!"},
    {11001, "Buffer Too Small"},
    {11002, "Destination Net Unreachable"},
    {11003, "Destination Host Unreachable"},
    {11004, "Destination Protocol Unreachable"},
    {11005, "Destination Port Unreachable"},
    {11006, "No Resources"},
    {11007, "Bad Option"},
    {11008, "Hardware Error"},
    {11009, "Packet Too Big"},
    {11010, "Request Timed Out"},
    {11011, "Bad Request"},
    {11012, "Bad Route"},
    {11013, "TimeToLive Expired Transit"},
    {11014, "TimeToLive Expired Reassembly"},
    {11015, "Parameter Problem"},
    {11016, "Source Quench"},
    {11017, "Option Too Big"},
    {11018, "Bad Destination"},
    {11032, "Negotiating IPSEC"},
    {11050, "General Failure"},
}};

constexpr const char* kSuccessText = "Success!";

}  // namespace

Ping::Ping(ports::Icmp& icmp, ports::Dialogs& dialogs, ports::EventGate& gate, ports::Button& cmdPing,
           ports::TextBox& txtElementIP)
    : icmp_(icmp), dialogs_(dialogs), gate_(gate), cmdPing_(cmdPing), txtElementIP_(txtElementIP),
      self_(std::make_shared<Ping*>(this)) {}

Ping::~Ping() {
    *self_ = nullptr;
    abandon();
}

std::string Ping::EchoStatusText(std::int32_t status) {
    for (const auto& entry : kStatusTexts)
        if (entry.code == status) return entry.text;
    return "Unknown Response";
}

bool Ping::StartWinsock() { return icmp_.available(); }

std::int32_t Ping::PingAddress(const std::string& address, std::function<void(ports::EchoResult)> done) {
    const std::uint32_t a = protocol::IPTextToAddress(address);
    if (a == protocol::kInaddrNone || a == 0) return ports::echo_status::kUnusable;
    const std::string dotted = protocol::AddressToIPText(a);

    static constexpr std::array<std::uint8_t, kPayloadSize> payload{'h', 'e', 'l', 'l', 'o'};
    std::weak_ptr<Ping*> weak = self_;
    ports::EventGate* gate = &gate_;
    // The answer is posted, not queued as a datagram: the MAC wait holds datagrams back, and a
    // ping answer has nothing to do with the feedback being processed there.
    const ports::Icmp::RequestId id = icmp_.echo(
        dotted, payload, kTimeoutMs,
        [weak, gate, done = std::move(done)](ports::EchoResult result) {
            gate->dispatch(ports::EventGate::Kind::Posted, [weak, done, result] {
                auto self = weak.lock();
                if (!self || !*self) return;
                if (done) done(result);
            });
        });
    lastRequest_ = id;
    return id == 0 ? ports::echo_status::kUnusable : 0;
}

void Ping::abandon() {
    if (pending_ != 0) icmp_.cancel(pending_);
    pending_ = 0;
}

void Ping::cmdPing_Click() {
    // One ping at a time from the button. If the panel has been reset since (the caption is no
    // longer the one this ping set), the old ping is forgotten and a new one may start.
    if (busy()) {
        if (cmdPing_.caption() == kCaptionTrying) return;
        abandon();
    }
    cmdPing_.setBackColor(ports::kLightYellow);
    cmdPing_.setCaption(kCaptionTrying);
    PingElement(txtElementIP_.text());
}

void Ping::PingElement(const std::string& address) {
    if (!protocol::IsValidIP(address)) return;
    if (!StartWinsock()) {
        dialogs_.messageBox({kNoSocketsText, kNoSocketsTitle, ports::MessageIcon::Critical, ports::MessageButtons::Ok,
                             ports::Answer::Ok});
        cmdPing_.setBackColor(ports::kPingFailed);
        cmdPing_.setCaption(kCaptionNoSockets);
        return;
    }
    abandon();
    auto mine = std::make_shared<ports::Icmp::RequestId>(0);
    const std::int32_t status = PingAddress(address, [this, mine](ports::EchoResult result) {
        // Only the answer to the ping in flight counts, and only while the button still shows
        // the wait this ping put there: an answer arriving after the panel was cleared
        // ("<Unknown>") must not paint a result for an element that is no longer shown.
        if (pending_ != *mine) return;
        pending_ = 0;
        if (cmdPing_.caption() != kCaptionTrying) return;
        showResult(result);
    });
    if (status != 0) {
        showResult({ports::echo_status::kUnusable, 0});
        return;
    }
    *mine = lastRequest_;
    pending_ = lastRequest_;
}

void Ping::showResult(const ports::EchoResult& result) {
    if (EchoStatusText(result.status) == kSuccessText) {
        cmdPing_.setBackColor(ports::kGreen);
        cmdPing_.setCaption(std::to_string(result.roundTripMs) + " ms");
    } else {
        cmdPing_.setBackColor(ports::kPingFailed);
        cmdPing_.setCaption(kCaptionFailed);
    }
}

void Ping::mySilentPing(const std::string& strIPAddress) {
    if (!protocol::IsValidIP(strIPAddress)) return;
    if (!StartWinsock()) {
        // Said once per run: the MAC wait pings every second, and a host without ICMP permission
        // would otherwise stop the wait with the same box on every tick.
        if (!silentWarned_) {
            silentWarned_ = true;
            dialogs_.messageBox({kNoSocketsText, kNoSocketsTitle, ports::MessageIcon::Critical,
                                 ports::MessageButtons::Ok, ports::Answer::Ok});
        }
        return;
    }
    if (PingAddress(strIPAddress, nullptr) == 0) icmp_.cancel(lastRequest_);
}

}  // namespace nms::diag
