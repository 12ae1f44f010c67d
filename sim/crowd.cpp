#include "sim/crowd.h"

#include <algorithm>
#include <string>

#include "protocol/paging.h"

namespace nms::sim {

namespace {

constexpr std::uint16_t kEthArp = 0x0806;
constexpr std::uint16_t kEthIpv4 = 0x0800;
constexpr std::size_t kEthHeader = 14;

std::uint32_t toHost(const Ipv4& ip) {
    return (std::uint32_t{ip[0]} << 24) | (std::uint32_t{ip[1]} << 16) |
           (std::uint32_t{ip[2]} << 8) | ip[3];
}
Ipv4 fromHost(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}
Ipv4 ipAt(const std::uint8_t* p) {
    return {p[0], p[1], p[2], p[3]};
}
Mac macAt(const std::uint8_t* p) {
    return {p[0], p[1], p[2], p[3], p[4], p[5]};
}

void put16(Frame& f, std::size_t at, std::uint16_t v) {
    f[at] = static_cast<std::uint8_t>(v >> 8);
    f[at + 1] = static_cast<std::uint8_t>(v);
}
std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint16_t ipChecksum(const std::uint8_t* header, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<std::uint32_t>((header[i] << 8) | header[i + 1]);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

Frame ethernet(const Mac& to, const Mac& from, std::uint16_t type, std::size_t payload) {
    Frame f(kEthHeader + payload, 0);
    std::copy(to.begin(), to.end(), f.begin());
    std::copy(from.begin(), from.end(), f.begin() + 6);
    put16(f, 12, type);
    return f;
}

}  // namespace

Frame udpFrame(const Mac& toMac, const Mac& fromMac, const Ipv4& fromIp, const Ipv4& toIp,
               std::uint16_t fromPort, std::uint16_t toPort, std::span<const std::uint8_t> payload,
               std::uint16_t ipId) {
    Frame f = ethernet(toMac, fromMac, kEthIpv4, 20 + 8 + payload.size());
    std::uint8_t* ip = f.data() + kEthHeader;
    ip[0] = 0x45;
    put16(f, 16, static_cast<std::uint16_t>(20 + 8 + payload.size()));
    put16(f, 18, ipId);
    ip[8] = 64;  // time to live
    ip[9] = 17;  // UDP
    std::copy(fromIp.begin(), fromIp.end(), ip + 12);
    std::copy(toIp.begin(), toIp.end(), ip + 16);
    put16(f, 24, ipChecksum(ip, 20));
    put16(f, 34, fromPort);
    put16(f, 36, toPort);
    put16(f, 38, static_cast<std::uint16_t>(8 + payload.size()));
    std::copy(payload.begin(), payload.end(), f.begin() + 42);
    return f;
}

Crowd::Crowd(const CrowdOptions& options) {
    std::uint32_t address = toHost(options.first);
    members_.reserve(static_cast<std::size_t>(std::max(options.count, 0)));
    for (int i = 1; i <= options.count; ++i) {
        if (options.perSubnet > 0 && i > 1 && (i - 1) % options.perSubnet == 0)
            address = (address & 0xFFFFFF00u) + 0x100 + (toHost(options.first) & 0xFF);
        while ((address & 0xFF) == 0 || (address & 0xFF) == 0xFF) ++address;
        ElementIdentity id;
        id.name = "ELEMENT " + std::to_string(i);
        id.role = i % 3 == 0 ? Role::Decoder : Role::Encoder;
        id.serial = options.firstSerial + i - 1;
        id.ip = fromHost(address);
        id.mask = options.mask;
        id.gateway = fromHost((address & toHost(options.mask)) + 1);
        const auto n = static_cast<std::uint32_t>(i);
        id.mac = {options.macPrefix[0],
                  options.macPrefix[1],
                  static_cast<std::uint8_t>(n >> 24),
                  static_cast<std::uint8_t>(n >> 16),
                  static_cast<std::uint8_t>(n >> 8),
                  static_cast<std::uint8_t>(n)};
        const bool silent = (options.silentEvery > 0 && i % options.silentEvery == 0) ||
                            (options.silentFrom > 0 && i >= options.silentFrom);
        byAddress_[address] = members_.size();
        members_.push_back(Member{Element(id), silent});
        ++address;
    }
}

Crowd::Handled Crowd::handle(std::span<const std::uint8_t> f, std::int64_t nowMs) {
    if (f.size() < kEthHeader + 28) return {};
    const std::uint16_t type = get16(f.data() + 12);
    if (type == kEthArp) return onArp(f);
    if (type == kEthIpv4) return onIpv4(f, nowMs);
    return {};
}

Crowd::Handled Crowd::onArp(std::span<const std::uint8_t> f) {
    const std::uint8_t* a = f.data() + kEthHeader;
    if (get16(a) != 1 || get16(a + 2) != kEthIpv4 || a[4] != 6 || a[5] != 4 || get16(a + 6) != 1)
        return {};
    const auto it = byAddress_.find(toHost(ipAt(a + 24)));
    if (it == byAddress_.end()) return {};
    const Mac askerMac = macAt(a + 8);
    ++arpAnswered;
    return {Kind::Arp, {{arp(members_[it->second], 2, askerMac, ipAt(a + 14), askerMac)}}};
}

Crowd::Handled Crowd::onIpv4(std::span<const std::uint8_t> f, std::int64_t nowMs) {
    const std::uint8_t* ip = f.data() + kEthHeader;
    const std::size_t headerLength = static_cast<std::size_t>(ip[0] & 0x0F) * 4;
    if ((ip[0] >> 4) != 4 || headerLength < 20 || ip[9] != 17 ||
        kEthHeader + headerLength + 8 > f.size())
        return {};
    const std::uint8_t* udp = ip + headerLength;
    const std::size_t udpLength = get16(udp + 4);
    if (udpLength < 8 || kEthHeader + headerLength + udpLength > f.size()) return {};
    const std::span<const std::uint8_t> payload(udp + 8, udpLength - 8);
    const std::uint16_t port = get16(udp + 2);
    const Mac stationMac = macAt(f.data() + 6);
    const Ipv4 stationIp = ipAt(ip + 12);
    const std::uint16_t stationPort = get16(udp);
    const std::string stationText = formatIpv4(stationIp);

    if (port == protocol::kPortPaging) {
        Handled handled{Kind::Paging, {}};
        const Mac broadcast{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        const std::uint32_t from = toHost(stationIp);
        auto answer = [&](Member& m) {
            const auto out = m.element.receive(port, payload, stationText, stationPort, nowMs);
            if (out.empty()) return;
            ++pagingAnswered;
            std::vector<Frame> frames;
            // The element's stack asks for the station's MAC before its answer can leave; a
            // station on another subnet is reached through the MAC the request came from.
            const auto& id = m.element.identity();
            if ((from & toHost(id.mask)) == (toHost(id.ip) & toHost(id.mask)))
                frames.push_back(arp(m, 1, broadcast, stationIp, Mac{}));
            for (auto& frame : datagrams(m, stationMac, out)) frames.push_back(std::move(frame));
            handled.answers.push_back(std::move(frames));
        };
        // Sent to one element's address: that element answers, and no other.
        if (const auto it = byAddress_.find(toHost(ipAt(ip + 16))); it != byAddress_.end()) {
            answer(members_[it->second]);
            return handled;
        }
        if (macAt(f.data()) != broadcast) return {};
        for (auto& m : members_) answer(m);
        return handled;
    }
    // Only the statistics port reaches a single element: a configuration packet would move an
    // element to an address the crowd does not answer for.
    if (port != protocol::kPortStatistics) return {};
    const auto it = byAddress_.find(toHost(ipAt(ip + 16)));
    if (it == byAddress_.end()) return {};
    Member& m = members_[it->second];
    if (m.silent) {
        ++requestsIgnored;
        return {Kind::Silent, {}};
    }
    const auto out = m.element.receive(port, payload, stationText, stationPort, nowMs);
    Handled handled{Kind::Request, {}};
    if (!out.empty()) {
        ++requestsAnswered;
        handled.answers.push_back(datagrams(m, stationMac, out));
    }
    return handled;
}

Frame Crowd::arp(const Member& m, std::uint16_t op, const Mac& to, const Ipv4& targetIp,
                 const Mac& targetMac) const {
    const auto& id = m.element.identity();
    Frame f = ethernet(to, id.mac, kEthArp, 28);
    put16(f, 14, 1);
    put16(f, 16, kEthIpv4);
    f[18] = 6;
    f[19] = 4;
    put16(f, 20, op);
    std::copy(id.mac.begin(), id.mac.end(), f.begin() + 22);
    std::copy(id.ip.begin(), id.ip.end(), f.begin() + 28);
    std::copy(targetMac.begin(), targetMac.end(), f.begin() + 32);
    std::copy(targetIp.begin(), targetIp.end(), f.begin() + 38);
    return f;
}

// The answers leave toward the asker's MAC: the station is on the crowd's own link.
std::vector<Frame> Crowd::datagrams(const Member& m, const Mac& toMac,
                                    const std::vector<OutDatagram>& out) {
    std::vector<Frame> frames;
    const auto& id = m.element.identity();
    for (const auto& d : out) {
        const auto to = parseIpv4(d.destinationIp);
        if (!to) continue;
        frames.push_back(
            udpFrame(toMac, id.mac, id.ip, *to, d.sourcePort, d.destinationPort, d.bytes, ++ipId_));
    }
    return frames;
}

}  // namespace nms::sim
