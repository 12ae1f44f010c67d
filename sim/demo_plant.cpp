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
    std::vector<Member> out;

    Member studioA = member("STUDIO A LR", Role::Encoder, 710021, 72, 21);
    studioA.settings.type = kLrHd;
    studioA.settings.tx = 0;
    studioA.settings.remote = {192, 168, 50, 31};
    studioA.settings.level = 255;
    out.push_back(studioA);

    Member studioB = member("STUDIO B MPX", Role::Encoder, 710022, 75, 22);
    studioB.settings.type = kMpxHd | kFlac;
    studioB.settings.tx = 1;
    studioB.settings.remote = {239, 192, 50, 1};
    studioB.settings.sfn = 1;
    studioB.settings.level = 251;
    out.push_back(studioB);

    Member north = member("TX NORTH", Role::Decoder, 720031, 72, 31);
    north.settings.type = kLrHd;
    north.settings.remote = {192, 168, 50, 21};
    north.settings.buffer = 3;
    north.settings.level = 245;
    north.settings.silenceMode = 0;
    north.settings.silenceLevel = 40;
    north.settings.silenceTime = 10;
    out.push_back(north);

    Member east = member("TX EAST SFN", Role::Decoder, 720032, 75, 32);
    east.settings.type = kMpxHd | kFlac;
    east.settings.tx = 1;
    east.settings.remote = {239, 192, 50, 1};
    east.settings.sfn = 1;
    east.settings.buffer = 5;
    east.settings.level = 245;
    east.settings.silenceMode = 3;
    east.settings.silenceTime = 5;
    east.settings.additionalDelayNs = 120000;
    east.settings.autoServo = true;
    out.push_back(east);

    Member west = member("TX WEST SFN", Role::Decoder, 720033, 70, 33);
    west.settings.type = kMpxHd | kFlac;
    west.settings.tx = 1;
    west.settings.remote = {239, 192, 50, 1};
    west.settings.sfn = 1;
    west.settings.buffer = 5;
    west.settings.level = 245;
    west.settings.silenceMode = 1;
    west.settings.additionalDelayNs = 0;
    out.push_back(west);
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
