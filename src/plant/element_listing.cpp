#include "plant/element_listing.h"

#include "plant/json_reader.h"
#include "protocol/address.h"
#include "protocol/text.h"
#include "store/element_record.h"
#include "store/profile_store.h"

namespace nms::plant {

namespace {

std::string roleWord(const std::string& stored) {
    const double role = protocol::text::leadingNumber(stored);
    if (role == store::record::kRoleEncoder) return "ENCODER";
    if (role == store::record::kRoleDecoder) return "DECODER";
    return "UNKNOWN";
}

}  // namespace

ElementListing readElementListing(store::ProfileStore& db, const std::string& path,
                                  const std::string& section, bool wholeRecord) {
    ElementListing r;
    r.key = section;
    r.mac = protocol::Decode_MAC(section);
    auto read = [&](std::string_view key) {
        return db.ReadFromINI(section, std::string(key), path, "");
    };
    r.name = protocol::text::trim(read(store::record::kName));
    r.role = roleWord(read(store::record::kRole));
    r.ip = read(store::record::kIp);
    r.firmware = read(store::record::kVersion);
    if (!wholeRecord) return r;
    std::vector<std::string> keys;
    db.LoadIniSectionKeysLB(section, keys, path);
    r.record.reserve(keys.size());
    for (const auto& k : keys) {
        const std::string key = protocol::text::toLower(k);
        if (key.empty()) continue;
        std::string value = db.ReadFromINI(section, key, path, "");
        if (key == store::record::kName) value = protocol::text::trim(value);
        r.record.emplace_back(key, std::move(value));
    }
    return r;
}

std::string elementListingJson(const ElementListing& r, const std::string& extra) {
    std::string out = "{\"key\": " + json::quote(r.key) + ", \"mac\": " + json::quote(r.mac) +
                      ", \"name\": " + json::quote(r.name) + ", \"role\": " + json::quote(r.role) +
                      ", \"ip\": " + json::quote(r.ip) +
                      ", \"firmware\": " + json::quote(r.firmware) + ", \"record\": {";
    for (std::size_t k = 0; k < r.record.size(); ++k) {
        const auto& [key, value] = r.record[k];
        if (k) out += ", ";
        out += json::quote(key);
        out += ": ";
        out += protocol::text::isWholeNumber(value) ? value : json::quote(value);
    }
    out += '}';
    out += extra;
    out += '}';
    return out;
}

}  // namespace nms::plant
