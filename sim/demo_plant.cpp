#include "sim/demo_plant.h"

#include <charconv>
#include <sstream>
#include <tuple>

namespace nms::sim {

namespace {

DemoPlant::Member member(const char* name, Role role, std::int32_t serial, std::uint8_t minor, std::uint8_t host) {
    DemoPlant::Member m;
    m.identity.name = name;
    m.identity.role = role;
    m.identity.serial = serial;
    m.identity.major = 3;
    m.identity.minor = minor;
    m.identity.ip = {192, 168, 50, host};
    m.identity.mask = {255, 255, 255, 0};
    m.identity.gateway = {192, 168, 50, 1};
    m.identity.mac = {0x00, 0x1A, 0x2B, 0x50, 0x00, host};
    return m;
}

}  // namespace

VirtualLan::Options DemoPlant::lanOptions() {
    VirtualLan::Options o;
    o.stationAddresses = {stationAddress()};
    o.stationMac = {0x02, 0x00, 0x5E, 0x50, 0x00, 0x0A};
    o.netmask = "255.255.255.0";
    o.seed = 50;
    o.routeOffSegment = true;
    return o;
}

std::vector<DemoPlant::Member> DemoPlant::members() {
    constexpr std::uint8_t kLrHd = 16, kMpxHd = 32, kFlac = 0x80;
    const Ipv4 kSfnStream = {239, 192, 50, 1};
    struct Row {
        const char* name;
        Role role;
        std::int32_t serial;
        std::uint8_t minor;  // firmware 3.minor
        std::uint8_t host;   // 192.168.50.host
        ElementSettings settings;
    };
    // The decoders of the SFN stream differ only in their silence detection and their delay.
    auto sfnDecoder = [&](std::uint8_t silenceMode, std::uint8_t silenceTime, std::int32_t delayNs,
                          bool servo) {
        return ElementSettings{.remote = kSfnStream,
                               .type = kMpxHd | kFlac,
                               .tx = 1,
                               .sfn = 1,
                               .buffer = 5,
                               .silenceMode = silenceMode,
                               .silenceTime = silenceTime,
                               .level = 245,
                               .additionalDelayNs = delayNs,
                               .autoServo = servo};
    };
    // clang-format off
    const Row rows[] = {
        {"STUDIO A LR", Role::Encoder, 710021, 72, 21,
         {.remote = {192, 168, 50, 31}, .type = kLrHd, .tx = 0, .level = 255}},
        {"STUDIO B MPX", Role::Encoder, 710022, 75, 22,
         {.remote = kSfnStream, .type = kMpxHd | kFlac, .tx = 1, .sfn = 1, .level = 251}},
        {"TX NORTH", Role::Decoder, 720031, 72, 31,
         {.remote = {192, 168, 50, 21}, .type = kLrHd, .buffer = 3,
          .silenceMode = 0, .silenceLevel = 40, .silenceTime = 10, .level = 245}},
        {"TX EAST SFN", Role::Decoder, 720032, 75, 32, sfnDecoder(3, 5, 120000, true)},
        {"TX WEST SFN", Role::Decoder, 720033, 70, 33, sfnDecoder(1, 1, 0, false)},
    };
    // clang-format on
    std::vector<Member> out;
    for (const Row& r : rows) {
        out.push_back(member(r.name, r.role, r.serial, r.minor, r.host));
        out.back().settings = r.settings;
    }
    // A transmitter site behind a router (10.50.7.0/24): the broadcast does not reach it, and
    // the station never learns these MAC addresses; declared as a site, a scan finds them.
    for (const auto& [name, serial, host] : {std::tuple{"TX HILLTOP", 730041, 11}, std::tuple{"TX RIDGE", 730042, 12}}) {
        Member m = member(name, Role::Decoder, serial, 75, static_cast<std::uint8_t>(host));
        m.identity.ip = {10, 50, 7, static_cast<std::uint8_t>(host)};
        m.identity.gateway = {10, 50, 7, 1};
        m.identity.mac = {0x00, 0x1A, 0x2B, 0x07, 0x00, static_cast<std::uint8_t>(host)};
        m.settings = {.remote = {192, 168, 50, 21}, .type = kLrHd, .buffer = 4, .level = 245};
        out.push_back(m);
    }
    return out;
}

DemoPlant::DemoPlant(ports::Scheduler& scheduler, const ports::Clock& clock)
    : scheduler_(scheduler), lan_(std::make_unique<VirtualLan>(scheduler, clock, lanOptions())) {
    for (auto& m : members()) lan_->addElement(m.identity, m.settings);
    // Standing conditions, so that every indicator of the statistics window can be seen: a
    // 10 MHz reference problem on STUDIO B MPX, a half-duplex link at TX NORTH.
    if (auto* b = byName("STUDIO B MPX")) b->alarmWord = 0x0C00;
    if (auto* north = byName("TX NORTH")) north->ethernetWord = 0x0100;
}

Element* DemoPlant::byName(const std::string& name) {
    for (auto* e : lan_->elements())
        if (e->identity().name == name) return e;
    return nullptr;
}

void DemoPlant::every(std::int64_t periodMs, std::int64_t firstMs, std::function<void()> task) {
    recurring_.push_back({periodMs, std::move(task)});
    const std::size_t index = recurring_.size() - 1;
    scheduler_.callAfter(firstMs, [this, index] { fire(index); });
}

void DemoPlant::fire(std::size_t index) {
    recurring_[index].task();
    scheduler_.callAfter(recurring_[index].periodMs, [this, index] { fire(index); });
}

void DemoPlant::startIncidents() {
    if (auto* west = byName("TX WEST SFN")) {
        every(240000, 90000, [this, west] {
            west->alarmWord |= 0x8000;
            scheduler_.callAfter(20000, [west] { west->alarmWord &= static_cast<std::uint16_t>(~0x8000); });
        });
    }
    if (auto* north = byName("TX NORTH")) {
        every(300000, 150000, [this, north] {
            north->faults.onlyForPort = 2978;
            north->faults.drop = -1;
            scheduler_.callAfter(45000, [north] {
                north->faults.drop = 0;
                north->faults.onlyForPort = 0;
            });
        });
    }
}

namespace {

std::string macText(const Mac& mac) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const auto b : mac) {
        out += kHex[b >> 4];
        out += kHex[b & 0xF];
    }
    return out;
}

}  // namespace

// One line an element: its MAC, then numbers and addresses separated by '|', the name last
// (it may hold any character but a line break).
std::string DemoPlant::stateText() {
    std::string out;
    for (const auto* e : lan_->elements()) {
        const auto& id = e->identity();
        const auto& s = e->settings();
        std::ostringstream line;
        line << macText(id.mac) << '|' << formatIpv4(id.ip) << '|' << formatIpv4(id.mask) << '|'
             << formatIpv4(id.gateway) << '|' << formatIpv4(s.remote) << '|' << int{s.input}
             << '|' << int{s.type} << '|' << int{s.tx} << '|' << int{s.sfn} << '|'
             << int{s.buffer} << '|' << int{s.lowLatency} << '|' << int{s.sampleWidth} << '|'
             << int{s.silenceMode} << '|' << int{s.silenceLevel} << '|' << int{s.silenceTime}
             << '|' << int{s.level} << '|' << s.additionalDelayNs << '|' << (s.autoServo ? 1 : 0)
             << '|';
        out += line.str() + id.name + "\n";
    }
    return out;
}

void DemoPlant::restoreState(const std::string& text) {
    constexpr std::size_t kFields = 18;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        std::size_t at = 0;
        for (std::size_t i = 0; i < kFields; ++i) {
            const auto bar = line.find('|', at);
            if (bar == std::string::npos) break;
            f.push_back(line.substr(at, bar - at));
            at = bar + 1;
        }
        if (f.size() != kFields) continue;
        Element* e = nullptr;
        for (auto* candidate : lan_->elements())
            if (macText(candidate->identity().mac) == f[0]) e = candidate;
        const auto ip = parseIpv4(f[1]), mask = parseIpv4(f[2]), gateway = parseIpv4(f[3]),
                   remote = parseIpv4(f[4]);
        std::int64_t n[kFields] = {};
        bool numbers = true;
        for (std::size_t i = 5; i < kFields; ++i) {
            const auto r = std::from_chars(f[i].data(), f[i].data() + f[i].size(), n[i]);
            numbers = numbers && r.ec == std::errc{} && r.ptr == f[i].data() + f[i].size();
        }
        if (!e || !ip || !mask || !gateway || !remote || !numbers) continue;
        auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(n[i] & 0xFF); };
        e->identity().ip = *ip;
        e->identity().mask = *mask;
        e->identity().gateway = *gateway;
        auto& s = e->settings();
        s.remote = *remote;
        s.input = byte(5);
        s.type = byte(6);
        s.tx = byte(7);
        s.sfn = byte(8);
        s.buffer = byte(9);
        s.lowLatency = byte(10);
        s.sampleWidth = byte(11);
        s.silenceMode = byte(12);
        s.silenceLevel = byte(13);
        s.silenceTime = byte(14);
        s.level = byte(15);
        s.additionalDelayNs = static_cast<std::int32_t>(n[16]);
        s.autoServo = n[17] != 0;
        e->rename(line.substr(at));
    }
}

}  // namespace nms::sim
