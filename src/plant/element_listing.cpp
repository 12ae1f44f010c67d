#include "plant/element_listing.h"

#include "plant/json_reader.h"
#include "protocol/address.h"
#include "protocol/element_key.h"
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
    r.mac = protocol::ElementIdentity(section);
    // One walk over the record: the first line of each key is the one a lookup would find.
    bool name = false, role = false, ip = false, firmware = false;
    std::string roleText;
    db.forEachKey(section, path, [&](std::string_view key, std::string_view value) {
        auto first = [&](std::string_view wanted, bool& seen) {
            if (seen || !store::sameName(key, wanted)) return false;
            return seen = true;
        };
        if (first(store::record::kName, name)) r.name = protocol::text::trim(value);
        else if (first(store::record::kRole, role)) roleText = value;
        else if (first(store::record::kIp, ip)) r.ip = value;
        else if (first(store::record::kVersion, firmware)) r.firmware = value;
        if (!wholeRecord) return !(name && role && ip && firmware);
        std::string lower = protocol::text::toLower(key);
        if (lower.empty()) return true;
        r.record.emplace_back(std::move(lower), lower == store::record::kName ? protocol::text::trim(value)
                                                                               : std::string(value));
        return true;
    });
    r.role = roleWord(roleText);
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
