#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/configuration.h"
#include "protocol/feedback.h"
#include "protocol/statistics.h"

// One simulated Network Element (a Vantrelo NG encoder or decoder) as a pure state machine: a
// datagram in, the datagrams it answers with out. No sockets and no clock of its own: the
// caller passes the time, so the same element runs on the virtual LAN, in the daemon and in
// tests.
namespace nms::sim {

enum class Role : std::uint8_t { Encoder = 1, Decoder = 2 };

using Ipv4 = std::array<std::uint8_t, 4>;
using Mac = std::array<std::uint8_t, 6>;

// Dotted text ↔ bytes; nothing for a text that is not four parts of 0 to 255.
std::optional<Ipv4> parseIpv4(const std::string& dotted);
std::string formatIpv4(const Ipv4& ip);
// "00:1A:2B:3C:4D:5E" (":" or "-" between the groups); nothing for any other text.
std::optional<Mac> parseMac(const std::string& text);
std::string formatMac(const Mac& mac);

struct ElementIdentity {
    std::string name = "ELEMENT";  // up to 16 characters; stored upper case and blank-padded
    Role role = Role::Encoder;
    std::int32_t serial = 1;
    std::uint8_t major = 3, minor = 70;
    Ipv4 ip{192, 168, 50, 100};
    Ipv4 mask{255, 255, 255, 0};
    Ipv4 gateway{192, 168, 50, 1};
    Mac mac{0x00, 0x1A, 0x2B, 0x00, 0x00, 0x01};
};

// The settings a configuration packet changes, with the level and the SFN delay besides.
struct ElementSettings {
    Ipv4 remote{0, 0, 0, 0};  // decoder or multicast address
    std::uint8_t input = 0;
    std::uint8_t type = 16;  // type byte: code, narrowband and FLAC bits
    std::uint8_t tx = 0;
    std::uint8_t sfn = 0;
    std::uint8_t buffer = 1;
    std::uint8_t lowLatency = 0;
    std::uint8_t sampleWidth = 24;
    std::uint8_t silenceMode = 0, silenceLevel = 1, silenceTime = 1;
    // Level setting, 14 (mute) to 255, in the units of the station's level control.
    std::uint8_t level = 255;
    std::int32_t additionalDelayNs = 0;
    bool autoServo = false;
    // Not the unit's own but its path's: the network delay an SFN decoder measures, held still
    // (its minimum 9 us below, its maximum 12 us above). Nothing: a delay that wanders around a
    // figure of the serial number.
    std::optional<std::int32_t> networkDelayNs;
};

struct OutDatagram {
    std::string destinationIp;
    std::uint16_t destinationPort = 0;
    std::uint16_t sourcePort = 0;  // the element port the request came in on
    std::string sourceIp;          // empty: the element's own address
    std::vector<std::uint8_t> bytes;
    std::int64_t delayMs = 0;  // held back this long before it leaves
};

// Misbehaviour on demand, applied to answers (and, with keepDelay, to one command).
struct Faults {
    std::uint16_t onlyForPort = 0;  // 0: every answer; else only answers to requests on this port
    int drop = 0;                   // answers to swallow; -1 swallows all
    std::int64_t delayMs = 0;
    bool answerTwice = false;
    std::optional<std::pair<std::size_t, std::uint8_t>> overwriteByte;  // offset, value
    std::optional<std::size_t> truncateTo;
    std::size_t padTo = 0;   // zero bytes appended up to this length
    std::string answerFrom;  // another source address
    bool answerPing = true;  // false: ICMP echo is ignored (read by the hosts of an element)
    bool keepDelay = false;  // the SFN delay set command is not taken: the unit keeps its own
};

class Element {
public:
    explicit Element(ElementIdentity identity, ElementSettings settings = {});

    // Handles one datagram that reached element port `port`.
    std::vector<OutDatagram> receive(std::uint16_t port, std::span<const std::uint8_t> bytes,
                                     const std::string& senderIp, std::uint16_t senderPort, std::int64_t nowMs);

    const ElementIdentity& identity() const { return identity_; }
    // Addresses, serial, firmware and MAC may be changed at will; the name through rename().
    ElementIdentity& identity() { return identity_; }
    void rename(const std::string& name);
    const ElementSettings& settings() const { return settings_; }
    ElementSettings& settings() { return settings_; }
    Faults faults;

    bool isDecoder() const { return identity_.role == Role::Decoder; }
    float firmware() const;
    std::string ipText() const { return formatIpv4(identity_.ip); }
    // The 16 name bytes as the element holds them.
    const std::array<std::uint8_t, 16>& nameBytes() const { return name_; }

    // The feedback packet of what the element holds now, in the length its firmware sends.
    std::vector<std::uint8_t> feedback() const;
    std::size_t feedbackLength() const;
    std::vector<std::uint8_t> statisticsReply(std::int64_t nowMs) const;
    std::vector<std::uint8_t> delayReply(std::int64_t nowMs) const;
    std::vector<std::uint8_t> levelReply(std::int64_t nowMs) const;

    // The counters as they stand; they grow with time and start again from 0 on "RstStats".
    protocol::StatisticsFields counters(std::int64_t nowMs) const;
    void resetCounters(std::int64_t nowMs) { countersSinceMs_ = nowMs; }
    // Alarm/status and Ethernet words of the statistics reply. The defaults: no alarm, link up
    // at 100 Mbit/s full duplex.
    std::uint16_t alarmWord = 0;
    std::uint16_t ethernetWord = protocol::statistics::kEthLinkUp | protocol::statistics::kEthFullDuplex;

    // The programme at the input, in dBFS before the level setting; a live programme wanders
    // a few dB below it, a fixed one (for tests) is a steady tone.
    double programmeDbfs = -6.0;
    bool liveProgramme = true;
    // Samples per level reply: 401 make 1203 bytes, more than the 1201 the station needs.
    std::size_t levelSamples = 401;

    // Every datagram handled, for the daemon's verbose output and for tests.
    std::uint64_t requestsHandled = 0;

private:
    void applyConfiguration(const protocol::DecodedConfiguration& c);
    std::vector<OutDatagram> withFaults(std::uint16_t port, std::vector<OutDatagram> out);
    double levelGainDb() const;

    ElementIdentity identity_;
    ElementSettings settings_;
    std::array<std::uint8_t, 16> name_{};
    std::int64_t countersSinceMs_ = 0;
};

}  // namespace nms::sim
