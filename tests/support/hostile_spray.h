#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "protocol/feedback.h"

namespace nms::testing {

// What a hostile host on the station's segment sends: junk of every length, truncated and
// over-long answers, answers the checks reject, plausible answers from addresses never paged,
// names with control bytes, brackets, "=" and line feeds, and level replies nobody asked for.
// Plausible answers come from `network`.x with x from `firstHost` on, `hosts` of them, so a
// look-up of them stays where the caller wants it.
class HostileSpray {
public:
    HostileSpray(std::array<std::uint8_t, 3> network, std::uint8_t firstHost, std::uint8_t hosts)
        : network_(network), firstHost_(firstHost), hosts_(hosts) {}

    std::vector<std::uint8_t> next() {
        switch (rng_() % 8) {
            case 0:
                return junk(rng_() % 1500);
            case 1:
                return answer(1 + rng_() % 40);  // truncated
            case 2:
                return junk(57 + rng_() % 300);  // over-long
            case 3: {
                auto a = answer(0);
                a[protocol::feedback::kSerial] = 0x80;  // a negative serial number: rejected
                return a;
            }
            case 4:
                return answer(0);  // plausible, from a stranger
            case 5:
                return junk(1203);  // a level reply nobody asked for
            default: {
                auto a = answer(0);
                static const char kNames[][17] = {"[00AA00000001]\n=", "X]\r\nIP=6.6.6.6\r\n",
                                                  "=\x01\x02\x7f[]=\n[A]\nB=C", "\n[EVIL]\nNAME=XX"};
                std::memcpy(a.data() + protocol::feedback::kName, kNames[rng_() % 4], 16);
                return a;
            }
        }
    }

private:
    std::vector<std::uint8_t> junk(std::size_t n) {
        std::vector<std::uint8_t> d(n);
        for (auto& b : d) b = static_cast<std::uint8_t>(rng_());
        return d;
    }
    std::vector<std::uint8_t> answer(std::size_t length) {
        protocol::FeedbackFields f;
        const std::uint8_t ip[4] = {network_[0], network_[1], network_[2],
                                    static_cast<std::uint8_t>(firstHost_ + rng_() % hosts_)};
        const std::uint8_t mask[4] = {255, 255, 255, 0}, gw[4] = {network_[0], network_[1], network_[2], 1},
                           remote[4] = {239, 1, 1, 1};
        std::memcpy(f.ip, ip, 4), std::memcpy(f.mask, mask, 4), std::memcpy(f.gateway, gw, 4);
        std::memcpy(f.remote, remote, 4);
        f.type = 16, f.role = static_cast<std::uint8_t>(1 + rng_() % 2);
        f.sn = 1 + static_cast<std::int32_t>(rng_() % 99999);
        f.major = 3, f.minor = 70;
        std::memset(f.name, 'H', 16);
        return protocol::encodeFeedback(f, length);
    }

    std::array<std::uint8_t, 3> network_;
    std::uint8_t firstHost_;
    std::uint8_t hosts_;
    std::mt19937 rng_{2976};
};

}  // namespace nms::testing
