#include "sim/demo_plant.h"

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

}  // namespace nms::sim
