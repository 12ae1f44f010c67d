#pragma once

#include <string>
#include <utility>
#include <vector>

namespace nms::store {
class ProfileStore;
}

namespace nms::plant {

// One element as `nms-cli list` and the web service show it: the fields a person looks for
// first, then every key of its record in file order.
struct ElementListing {
    std::string key, mac, name, role, ip, firmware;
    std::vector<std::pair<std::string, std::string>> record;  // lower-case keys
};

// The record of the database section `section` ("ENCODER"/"DECODER"/"UNKNOWN" for its role);
// without `wholeRecord`, only the fields a person looks for first (a table shows no more).
ElementListing readElementListing(store::ProfileStore& db, const std::string& path,
                                  const std::string& section, bool wholeRecord = true);

// {"key": ..., "mac": ..., "name": ..., "role": ..., "ip": ..., "firmware": ..., "record": {...}}
// with whole numbers of the record as numbers. `extra` is appended inside the object as it is
// (", \"health\": ..."), so that a caller can add members without a second writer.
std::string elementListingJson(const ElementListing& listing, const std::string& extra = {});

}  // namespace nms::plant
