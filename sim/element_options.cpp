#include "sim/element_options.h"

#include <charconv>
#include <optional>

namespace nms::sim {

namespace {

bool toInt(const std::string& s, long long lo, long long hi, long long& out) {
    const char* end = s.data() + s.size();
    auto [p, ec] = std::from_chars(s.data(), end, out);
    return ec == std::errc{} && p == end && out >= lo && out <= hi;
}

template <typename T>
bool setNumber(const std::string& key, const std::string& value, long long lo, long long hi, T& field,
               std::string& error) {
    long long v = 0;
    if (!toInt(value, lo, hi, v)) {
        error = key + ": expected a number from " + std::to_string(lo) + " to " + std::to_string(hi) + ", got '" +
                value + "'";
        return false;
    }
    field = static_cast<T>(v);
    return true;
}

bool setAddress(const std::string& key, const std::string& value, Ipv4& field, std::string& error) {
    if (auto ip = parseIpv4(value)) {
        field = *ip;
        return true;
    }
    error = key + ": not a dotted IPv4 address: '" + value + "'";
    return false;
}

// Splits at blanks; a double-quoted stretch keeps its blanks (name="TX NORTH").
bool tokenize(const std::string& text, std::vector<std::string>& tokens) {
    std::string current;
    bool inQuotes = false, have = false;
    for (char c : text) {
        if (c == '"') {
            inQuotes = !inQuotes;
            have = true;
        } else if (!inQuotes && (c == ' ' || c == '\t' || c == '\r')) {
            if (have) tokens.push_back(current);
            current.clear();
            have = false;
        } else {
            current.push_back(c);
            have = true;
        }
    }
    if (have) tokens.push_back(current);
    return !inQuotes;
}

}  // namespace

bool parseFirmware(const std::string& text, std::uint8_t& major, std::uint8_t& minor) {
    const auto dot = text.find('.');
    long long ma = 0, mi = 0;
    if (dot == std::string::npos) {
        if (!toInt(text, 0, 255, ma)) return false;
    } else {
        const std::string minorText = text.substr(dot + 1);
        if (!toInt(text.substr(0, dot), 0, 255, ma) || minorText.empty() || minorText.size() > 2 ||
            !toInt(minorText, 0, 99, mi)) {
            return false;
        }
        if (minorText.size() == 1) mi *= 10;  // 3.7 is 3.70
    }
    major = static_cast<std::uint8_t>(ma);
    minor = static_cast<std::uint8_t>(mi);
    return true;
}

namespace {

// The options that say who the element is (role, name, addresses, MAC, serial, firmware);
// nothing for a key that is none of them.
std::optional<bool> applyIdentityOption(ElementDefinition& definition, const std::string& key, const std::string& value,
                                        std::string& error) {
    auto& id = definition.identity;
    auto& s = definition.settings;
    if (key == "role") {
        if (value == "encoder") id.role = Role::Encoder;
        else if (value == "decoder") id.role = Role::Decoder;
        else {
            error = "role: expected encoder or decoder, got '" + value + "'";
            return false;
        }
        return true;
    }
    if (key == "name") {
        id.name = value;
        return true;
    }
    if (key == "ip") {
        definition.ipGiven = true;
        return setAddress(key, value, id.ip, error);
    }
    if (key == "mask") {
        definition.maskGiven = true;
        return setAddress(key, value, id.mask, error);
    }
    if (key == "gw") {
        definition.gatewayGiven = true;
        return setAddress(key, value, id.gateway, error);
    }
    if (key == "remote") return setAddress(key, value, s.remote, error);
    if (key == "mac") {
        if (auto mac = parseMac(value)) {
            id.mac = *mac;
            definition.macGiven = true;
            return true;
        }
        error = "mac: expected six hexadecimal pairs like 00:1A:2B:3C:4D:5E, got '" + value + "'";
        return false;
    }
    if (key == "serial") {
        definition.serialGiven = true;
        return setNumber(key, value, 1, 2147483647, id.serial, error);
    }
    if (key == "fw") {
        if (parseFirmware(value, id.major, id.minor)) return true;
        error = "fw: expected a version like 3.70, got '" + value + "'";
        return false;
    }
    return std::nullopt;
}

}  // namespace

bool applyElementOption(ElementDefinition& definition, const std::string& key, const std::string& value, std::string& error) {
    if (const auto applied = applyIdentityOption(definition, key, value, error)) return *applied;
    auto& s = definition.settings;
    if (key == "tx") return setNumber(key, value, 0, 1, s.tx, error);
    if (key == "sfn") return setNumber(key, value, 0, 1, s.sfn, error);
    if (key == "type") return setNumber(key, value, 0, 255, s.type, error);
    if (key == "input") return setNumber(key, value, 0, 255, s.input, error);
    if (key == "level") return setNumber(key, value, 0, 255, s.level, error);
    if (key == "buffer") return setNumber(key, value, 0, 255, s.buffer, error);
    if (key == "llo") return setNumber(key, value, 0, 1, s.lowLatency, error);
    if (key == "delay") return setNumber(key, value, -2147483648LL, 2147483647, s.additionalDelayNs, error);
    if (key == "servo") {
        int v = 0;
        if (!setNumber(key, value, 0, 1, v, error)) return false;
        s.autoServo = v == 1;
        return true;
    }
    if (key == "net-delay") {
        std::int32_t v = 0;
        if (!setNumber(key, value, 0, 100000000, v, error)) return false;
        s.networkDelayNs = v;
        return true;
    }
    if (key == "drop") return setNumber(key, value, -1, 1000000, definition.faults.drop, error);
    if (key == "delay-ms") return setNumber(key, value, 0, 600000, definition.faults.delayMs, error);
    if (key == "twice") {
        int v = 0;
        if (!setNumber(key, value, 0, 1, v, error)) return false;
        definition.faults.answerTwice = v == 1;
        return true;
    }
    if (key == "keep-delay") {
        int v = 0;
        if (!setNumber(key, value, 0, 1, v, error)) return false;
        definition.faults.keepDelay = v == 1;
        return true;
    }
    error = "unknown option '" + key + "'";
    return false;
}

LineResult parseElementLine(const std::string& line) {
    LineResult r;
    std::vector<std::string> tokens;
    if (!tokenize(line.substr(0, line.find('#')), tokens)) {
        r.error = "unbalanced quotes";
        return r;
    }
    ElementDefinition definition;
    bool any = false;
    for (const auto& token : tokens) {
        const auto eq = token.find('=');
        if (eq == std::string::npos || eq == 0) {
            r.error = "expected key=value, got '" + token + "'";
            return r;
        }
        if (!applyElementOption(definition, token.substr(0, eq), token.substr(eq + 1), r.error)) return r;
        any = true;
    }
    if (any) r.definition = definition;
    return r;
}

void completeElementDefinition(ElementDefinition& definition) {
    const auto& ip = definition.identity.ip;
    if (!definition.macGiven) definition.identity.mac = {0x02, 0x56, ip[0], ip[1], ip[2], ip[3]};  // locally administered
    if (!definition.serialGiven) definition.identity.serial = 100000 + ip[2] * 256 + ip[3];
    if (!definition.gatewayGiven) {
        for (std::size_t i = 0; i < 4; ++i) definition.identity.gateway[i] = ip[i] & definition.identity.mask[i];
        definition.identity.gateway[3] |= 1;
    }
}

}  // namespace nms::sim
