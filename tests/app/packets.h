#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "protocol/address.h"
#include "protocol/feedback.h"

namespace nms::testing {

// A feedback packet as a plausible element sends it; tests change the fields they care about.
struct ElementAnswer {
    protocol::FeedbackFields f;
    std::size_t length = 0;

    static ElementAnswer encoder(const std::string& ip = "192.168.1.50") {
        ElementAnswer a;
        a.setIp(ip);
        a.setAddress(a.f.mask, "255.255.255.0");
        a.setAddress(a.f.gateway, "192.168.1.1");
        a.setAddress(a.f.remote, "192.168.1.91");
        a.f.input = 1;
        a.f.type = 16;
        a.f.tx = 0;
        a.setName("STUDIO A");
        a.f.role = 1;
        a.f.sn = 1001;
        a.f.major = 3;
        a.f.minor = 70;
        a.f.att = 200;
        return a;
    }
    static ElementAnswer decoder(const std::string& ip = "192.168.1.60") {
        ElementAnswer a = encoder(ip);
        a.f.role = 2;
        a.setAddress(a.f.remote, "239.1.1.1");
        a.setName("TX SITE");
        a.f.sn = 2002;
        a.f.att = 245;
        a.f.buf = 4;
        a.f.sdm = 0;
        a.f.sdl = 37;
        a.f.sdt = 43;
        a.f.delayNs = 12300;
        return a;
    }
    void setIp(const std::string& ip) { setAddress(f.ip, ip); }
    static void setAddress(std::uint8_t* out, const std::string& text) {
        auto b = protocol::IPBytes(text);
        std::memcpy(out, b.data(), 4);
    }
    void setName(const std::string& name) {
        std::memset(f.name, ' ', 16);
        std::memcpy(f.name, name.data(), std::min<std::size_t>(16, name.size()));
    }
    std::vector<std::uint8_t> bytes() const { return protocol::encodeFeedback(f, length); }
};

}  // namespace nms::testing
