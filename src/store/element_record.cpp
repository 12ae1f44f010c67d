#include "store/element_record.h"

#include <cmath>

#include "protocol/address.h"
#include "protocol/feedback.h"
#include "protocol/text.h"
#include "store/ini_document.h"
#include "store/profile_store.h"

namespace nms::store {

void ElementRecord::setStreamAddress(int txType, int elementRole, std::string address) {
    if (record::streamAddressKey(txType, elementRole) == record::kMulticast)
        multicast = std::move(address);
    else
        remote = std::move(address);
}

ElementRecord recordFromAnswer(const protocol::FeedbackRecord& f, const std::string& ip) {
    ElementRecord r;
    r.name = protocol::FormatElementName(f.name);
    r.ip = ip;
    r.mask = f.mask;
    r.gateway = f.gateway;
    r.input = f.input;
    r.type = f.type;
    r.tx = f.tx;
    r.setStreamAddress(f.tx, f.role, f.remote);
    r.role = f.role;
    r.serial = f.sn;
    r.version = f.versionText();
    r.sfn = f.sfn;
    r.buffer = f.buf;
    if (f.role == record::kRoleDecoder) {
        r.silenceMode = f.sdm;
        r.silenceLevel = f.sdl;
        r.silenceTime = f.sdt;
        r.delay = f.dly;
    }
    r.attenuation = f.att;
    r.lowLatency = f.llo;
    return r;
}

void writeElementRecord(ProfileStore& db, const std::string& path, const std::string& section,
                        const ElementRecord& r) {
    namespace k = record;
    auto text = [&](std::string_view key, const std::optional<std::string>& value) {
        if (value) db.WriteToINI(section, std::string(key), *value, path);
    };
    auto number = [&](std::string_view key, const std::optional<long long>& value) {
        if (value) db.WriteToINI(section, std::string(key), std::to_string(*value), path);
    };
    text(k::kName, r.name);
    text(k::kIp, r.ip);
    text(k::kMask, r.mask);
    text(k::kGateway, r.gateway);
    number(k::kInput, r.input);
    number(k::kType, r.type);
    number(k::kTx, r.tx);
    text(k::kRemote, r.remote);
    text(k::kMulticast, r.multicast);
    number(k::kRole, r.role);
    number(k::kSerial, r.serial);
    text(k::kVersion, r.version);
    number(k::kSfn, r.sfn);
    number(k::kBuffer, r.buffer);
    number(k::kSilenceMode, r.silenceMode);
    number(k::kSilenceLevel, r.silenceLevel);
    number(k::kSilenceTime, r.silenceTime);
    number(k::kDelay, r.delay);
    number(k::kAttenuation, r.attenuation);
    number(k::kLowLatency, r.lowLatency);
}

namespace {

std::optional<int> wholeNumber(std::string_view text) {
    const auto v = protocol::text::decimalNumber(text);
    // The range first: converting a number beyond it is undefined.
    if (!v || *v < -2147483648.0 || *v > 2147483647.0 || std::trunc(*v) != *v) return std::nullopt;
    return static_cast<int>(*v);
}

}  // namespace

StoredElement readElementRecord(ProfileStore& db, const std::string& path, const std::string& section) {
    namespace k = record;
    StoredElement e;
    e.section = section;
    std::optional<std::string> remote, multicast;
    db.forEachKey(section, path, [&](std::string_view key, std::string_view value) {
        if (sameName(key, k::kName)) {
            e.name = protocol::text::trim(value);
        } else if (sameName(key, k::kIp)) {
            e.ip = protocol::text::trim(value);
        } else if (sameName(key, k::kSerial)) {
            e.serial = value;
        } else if (sameName(key, k::kVersion)) {
            e.version = value;
        } else if (sameName(key, k::kRole)) {
            const auto r = wholeNumber(value);
            e.role = r == k::kRoleEncoder   ? Role::Encoder
                     : r == k::kRoleDecoder ? Role::Decoder
                                            : Role::Unknown;
        } else {
            const std::pair<std::string_view, std::optional<int>*> numbers[] = {
                {k::kTx, &e.tx},          {k::kSfn, &e.sfn},
                {k::kSilenceMode, &e.silenceMode}, {k::kDelay, &e.delay},
                {k::kAttenuation, &e.attenuation}};
            for (auto [name, field] : numbers)
                if (sameName(key, name)) *field = wholeNumber(value);
            if (sameName(key, k::kRemote)) remote = protocol::text::trim(value);
            if (sameName(key, k::kMulticast)) multicast = protocol::text::trim(value);
        }
        return true;
    });
    if (k::streamAddressKey(e.tx.value_or(0), static_cast<int>(e.role)) == k::kMulticast)
        e.streamAddress = multicast.value_or(std::string(k::defaults::kMulticast));
    else
        e.streamAddress = remote.value_or(std::string(k::defaults::kRemote));
    return e;
}

}  // namespace nms::store
